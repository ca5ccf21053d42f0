#include "exchange/exchange_dialogs.h"

namespace quorvelle {
namespace {

// Used where no toolkit is installed (the setup program, headless tools):
// every dialog is cancelled, so nothing is exported or imported by accident.
class CancellingDialogs final : public ExchangeDialogs {
public:
  std::optional<ExportChoice> ShowExportDialog(TRSSFeedOptions & /*store*/) override { return std::nullopt; }
  std::optional<ImportChoice> ShowImportDialog(TRSSFeedOptions & /*store*/,
                                               const std::string & /*newCategoryName*/) override {
    return std::nullopt;
  }
};

CancellingDialogs gCancelling;
ExchangeDialogs *gCurrent = &gCancelling;

} // namespace

ExchangeDialogs &CurrentExchangeDialogs() { return *gCurrent; }

ExchangeDialogs *InstallExchangeDialogs(ExchangeDialogs *dialogs) {
  ExchangeDialogs *previous = gCurrent == &gCancelling ? nullptr : gCurrent;
  gCurrent = dialogs == nullptr ? &gCancelling : dialogs;
  return previous;
}

} // namespace quorvelle
