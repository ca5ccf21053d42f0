#pragma once
// The export and import choices asked through TfrmExportDlg and
// TfrmImportDlg: each call creates the dialog without an owner, shows it
// modally, reads it and frees it.

#include "exchange/exchange_dialogs.h"

namespace quorvelle {

class QtExchangeDialogs final : public ExchangeDialogs {
public:
  std::optional<ExportChoice> ShowExportDialog(TRSSFeedOptions &store) override;
  std::optional<ImportChoice> ShowImportDialog(TRSSFeedOptions &store, const std::string &newCategoryName) override;
};

} // namespace quorvelle
