#pragma once
// TfmAbout: the about box with the product's name, version, web page and
// support address, a credit line and a short notice. ShowAboutBox creates it
// without an owner, shows it modally and destroys it.

#include <QDialog>
#include <QIcon>

class QKeyEvent;
class QLabel;
class QPushButton;

namespace quorvelle {

// The product's icon (the about box, the manage dialog's window).
QIcon ProductIcon();

class TfmAbout : public QDialog {
  Q_OBJECT

public:
  explicit TfmAbout(QWidget *owner = nullptr);
  ~TfmAbout() override;

  QLabel *Image1 = nullptr;
  QLabel *lblProductName = nullptr;
  QLabel *lblProductVersion = nullptr;
  QLabel *lblProductURL = nullptr;
  QLabel *lblProductEmail = nullptr;
  QLabel *lblNotice = nullptr;
  QPushButton *Button1 = nullptr;

public slots:
  void lblProductEmailClick();
  void lblProductURLClick();

protected:
  void keyPressEvent(QKeyEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void FormCreate();
  // The Escape key closes the box with the Cancel result.
  void FormKeyDown(int key);
};

void ShowAboutBox();

} // namespace quorvelle
