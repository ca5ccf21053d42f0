#pragma once
// TfrmImportDlg: where an OPML list goes, into a new category (its name
// proposed from the list's title) or into the category picked in the list.
// ImportFromFilename shows it and reads FCreateNewCategory,
// GetCurrentCategory and GetNewCategoryName after it closed.

#include <QDialog>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorvelle {

class TRSSFeedOptions;

class TfrmImportDlg : public QDialog {
  Q_OBJECT

public:
  explicit TfrmImportDlg(TRSSFeedOptions &store, QWidget *parent = nullptr);

  void FormCreate();
  // The selected category; "" for "<< GENERAL >>".
  std::string GetCurrentCategory();
  void UPdate();
  void rgCreateNewCategoryClick();
  void SetNewCategoryName(const std::string &name);
  // The text of edNewCategory, trimmed.
  std::string GetNewCategoryName();

  bool FCreateNewCategory = true;

  QRadioButton *rgCreateNewCategory = nullptr;
  QLineEdit *edNewCategory = nullptr;
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
