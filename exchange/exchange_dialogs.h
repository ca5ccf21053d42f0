#pragma once
// The two choices the import and export commands ask of the user, behind an
// interface without a toolkit: the commands live in the core, the dialogs
// TfrmExportDlg and TfrmImportDlg are Qt widgets. The Qt side installs its
// implementation when the application starts (dialogs/qt_exchange_dialogs.h);
// tests install a scripted one. Without an installed implementation every
// dialog counts as cancelled.

#include <optional>
#include <string>

namespace quorvelle {

class TRSSFeedOptions;

// What TfrmExportDlg holds after it closed with OK.
struct ExportChoice {
  bool FAllCategories = true;
  // GetCurrentCategory: "" for "<< GENERAL >>".
  std::string category;
};

// What TfrmImportDlg holds after it closed with OK.
struct ImportChoice {
  bool FCreateNewCategory = true;
  // GetCurrentCategory: "" for "<< GENERAL >>".
  std::string category;
  // GetNewCategoryName: the text of edNewCategory, trimmed.
  std::string newCategoryName;
};

class ExchangeDialogs {
public:
  virtual ~ExchangeDialogs() = default;
  // Shows TfrmExportDlg modally over the store's categories; nullopt unless
  // it closed with OK.
  virtual std::optional<ExportChoice> ShowExportDialog(TRSSFeedOptions &store) = 0;
  // Shows TfrmImportDlg modally with edNewCategory prefilled with
  // newCategoryName; nullopt unless it closed with OK.
  virtual std::optional<ImportChoice> ShowImportDialog(TRSSFeedOptions &store, const std::string &newCategoryName) = 0;
};

// The implementation in use (the cancelling one when none is installed).
ExchangeDialogs &CurrentExchangeDialogs();
// Installs dialogs (not owned; nullptr goes back to the cancelling one) and
// returns the previously installed one (nullptr for the cancelling one).
ExchangeDialogs *InstallExchangeDialogs(ExchangeDialogs *dialogs);

} // namespace quorvelle
