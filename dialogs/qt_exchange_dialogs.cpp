#include "dialogs/qt_exchange_dialogs.h"

#include "dialogs/export_dlg.h"
#include "dialogs/import_dlg.h"

namespace quorvelle {

std::optional<ExportChoice> QtExchangeDialogs::ShowExportDialog(TRSSFeedOptions &store) {
  TfrmExportDlg dialog(store);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  ExportChoice choice;
  choice.category = dialog.GetCurrentCategory();
  choice.FAllCategories = dialog.FAllCategories;
  return choice;
}

std::optional<ImportChoice> QtExchangeDialogs::ShowImportDialog(TRSSFeedOptions &store,
                                                                const std::string &newCategoryName) {
  TfrmImportDlg dialog(store);
  dialog.SetNewCategoryName(newCategoryName);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  ImportChoice choice;
  choice.category = dialog.GetCurrentCategory();
  choice.FCreateNewCategory = dialog.FCreateNewCategory;
  choice.newCategoryName = dialog.GetNewCategoryName();
  return choice;
}

} // namespace quorvelle
