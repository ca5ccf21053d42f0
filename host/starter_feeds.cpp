#include "host/starter_feeds.h"

#include "exchange/exchange_dialogs.h"
#include "feeds/feed_store.h"
#include "platform/files/file_io.h"
#include "platform/registry/registry.h"
#include "platform/ui/user_interface.h"
#include "support/debug_log.h"

namespace quorvelle::host {
namespace {

// The starter list goes into General, the category the report's first page
// shows, so the first report has headlines at once; the question before has
// already asked the user, so the import dialog does not ask again.
class IntoGeneral final : public ExchangeDialogs {
public:
  IntoGeneral() : previous_(InstallExchangeDialogs(this)) {}
  ~IntoGeneral() override { InstallExchangeDialogs(previous_); }
  IntoGeneral(const IntoGeneral &) = delete;
  IntoGeneral &operator=(const IntoGeneral &) = delete;
  std::optional<ExportChoice> ShowExportDialog(TRSSFeedOptions & /*store*/) override { return std::nullopt; }
  std::optional<ImportChoice> ShowImportDialog(TRSSFeedOptions & /*store*/, const std::string & /*name*/) override {
    return ImportChoice{false, "", ""};
  }

private:
  ExchangeDialogs *previous_;
};

} // namespace

bool FeedListIsEmpty() {
  bool empty = false;
  Guard("TStarterFeeds.FeedListIsEmpty", [&] {
    TRSSFeedOptions store;
    store.Load();
    std::vector<std::string> urls;
    std::vector<std::string> titles;
    store.GetFeedsURLSForCategory("", urls, titles);
    empty = urls.empty() && store.GetListOfCategories().empty();
  });
  return empty;
}

bool OfferStarterFeeds(const std::string &installationFolder) {
  bool imported = false;
  Guard("TStarterFeeds.OfferStarterFeeds", [&] {
    const std::string starter = installationFolder + kStarterFeedsFile;
    if (!platform::FileExists(starter)) return;
    auto settings = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kBrowserSettingsKey, true);
    if (!settings || (settings->ValueExists(kStarterOfferedValue) && settings->ReadBool(kStarterOfferedValue))) return;
    if (!FeedListIsEmpty()) return;
    settings->WriteBool(kStarterOfferedValue, true);
    platform::ui::MessageRequest question;
    question.text = "Your feed list is empty. Do you want to import a starter list of public news feeds?";
    question.caption = "Question";
    question.type = platform::ui::MsgDlgType::Question;
    question.buttons = platform::ui::mbYes | platform::ui::mbNo;
    question.defaultButton = platform::ui::ModalResult::Yes;
    if (platform::ui::Ui().ShowMessage(question) != platform::ui::ModalResult::Yes) return;
    // The import command works on the process-wide store; this process
    // holds one only for the import, so nothing stale is saved later.
    FeedOptions = std::make_unique<TRSSFeedOptions>();
    FeedOptions->Load();
    const IntoGeneral intoGeneral;
    FeedOptions->ImportFromFilename(starter);
    FeedOptions.reset();
    imported = !FeedListIsEmpty();
  });
  if (FeedOptions) FeedOptions.reset();
  return imported;
}

} // namespace quorvelle::host
