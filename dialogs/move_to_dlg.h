#pragma once
// TfrmMoveToDlg: asks for the source and the target category of a feed that
// the manage dialog moves. The last target is remembered in the settings
// ("ToCategory"), so moving several feeds into one category needs no new
// choice each time. After exec() returned QDialog::Accepted the caller reads
// FFromCategory and FToCategory (store names: "" is General).

#include <QDialog>

#include <string>
#include <string_view>

class QComboBox;
class QPushButton;
class QWidget;

namespace quorvelle {

class TfrmMoveToDlg : public QDialog {
  Q_OBJECT

public:
  explicit TfrmMoveToDlg(QWidget *owner = nullptr);
  ~TfrmMoveToDlg() override;

  void SetFromCategory(std::string_view name);
  void SetToCategory(std::string_view name);

  QComboBox *cbxCategoryFrom = nullptr;
  QComboBox *cbxCategoryTo = nullptr;
  QPushButton *Button1 = nullptr;
  QPushButton *Button2 = nullptr;

  std::string FFromCategory;
  std::string FToCategory;

public slots:
  void Button1Click();

protected:
  void showEvent(QShowEvent *event) override;

private:
  void FormCreate();
  void FormShow();
};

} // namespace quorvelle
