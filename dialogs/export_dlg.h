#pragma once
// TfrmExportDlg: which categories the export writes, all of them or the one
// picked in the list. ExportToFilename shows it and reads FAllCategories and
// GetCurrentCategory after it closed.

#include <QDialog>
#include <string>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace quorvelle {

class TRSSFeedOptions;

class TfrmExportDlg : public QDialog {
  Q_OBJECT

public:
  explicit TfrmExportDlg(TRSSFeedOptions &store, QWidget *parent = nullptr);

  void FormCreate();
  // The selected category; "" for "<< GENERAL >>".
  std::string GetCurrentCategory();
  void UPdate();
  void rgAllCategoriesClick();

  bool FAllCategories = true;

  QLabel *Label1 = nullptr;
  QRadioButton *rgAllCategories = nullptr;
  QRadioButton *rgSelectedCategory = nullptr;
  QComboBox *cbxCategory = nullptr;
  QPushButton *Button1 = nullptr;
  QPushButton *Button2 = nullptr;

protected:
  void showEvent(QShowEvent *event) override;

private:
  TRSSFeedOptions &store_;
};

} // namespace quorvelle
