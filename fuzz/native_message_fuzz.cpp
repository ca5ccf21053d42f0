// One message body from the browser extension, as quorvelle-native-host
// receives it. Every input gets exactly one answer: JSON of the request's
// protocol version (1 or 2, 1 when it could not be read) with a boolean
// "ok", within the browser's size limit, naming the request's id when the
// request had one (and an id short enough to repeat). Every command runs for
// real in the isolated user, unknown ones too, with downloads that fail at
// once; a host without dialogs refuses those that would show one, and a
// feed an add says it added is in the list once. A report is not asked for:
// it fetches its feeds through the fetcher.

#include "feeds/feed_store.h"
#include "fuzz/fuzz_support.h"
#include "native_host/host_commands.h"
#include "native_host/report_pages.h"
#include "platform/inet/inet_client.h"

#include <algorithm>
#include <cctype>

using namespace quorvelle;
using nlohmann::json;

namespace {
// Every download fails as an unreachable server would.
class OfflineInet final : public platform::InetClient {
public:
  std::string GetInetFileToString(const std::string & /*url*/) override { return {}; }
  platform::FetchResult FetchBytes(const std::string & /*url*/) override { return {platform::FetchStatus::Failed, {}}; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::User();
  static OfflineInet inet;
  platform::InstallInet(&inet);
  static TRSSFeedOptions store;
  static native_host::ReportPages report(store);
  static native_host::CommandHandler handler(store, report, nullptr);
  // Each message meets a fresh list: what an add or import wrote is gone, so
  // no input depends on an earlier one and new-count has no feed to fetch.
  fuzz::ResetFiles();
  const std::string_view body(reinterpret_cast<const char *>(data), size);

  auto parsed = native_host::ParseRequest(body);
  if (const auto *request = std::get_if<native_host::Request>(&parsed); request && request->command == "report")
    return 0;
  const std::string answer = handler.Handle(body);
  fuzz::Require(answer.size() <= native_host::kMaxMessageBytes, "an answer fits the browser's limit");
  const json message = json::parse(answer, nullptr, false);
  fuzz::Require(!message.is_discarded() && message.is_object(), "an answer is a JSON object");
  fuzz::Require(message.contains("ok") && message["ok"].is_boolean(), "an answer says whether it worked");
  if (auto *request = std::get_if<native_host::Request>(&parsed)) {
    fuzz::Require(message["id"] == request->id, "an answer names its request");
    fuzz::Require(message.value("v", 0) == request->version, "an answer speaks its request's version");
    if (request->command == "add" && message["ok"] == true && message["result"].value("added", false)) {
      std::string url = request->args["url"].get<std::string>();
      std::transform(url.begin(), url.end(), url.begin(), [](unsigned char c) { return std::tolower(c); });
      TRSSFeedOptions reloaded;
      reloaded.Load();
      const fuzz::FeedCensus census = fuzz::Census(*reloaded.FXMLDoc);
      fuzz::Require(std::count(census.sources.begin(), census.sources.end(), url) == 1,
                    "a feed the answer says was added is in the list once");
    }
  } else {
    const int version = std::get<native_host::ProtocolError>(parsed).version;
    fuzz::Require(version >= native_host::kProtocolVersion && version <= native_host::kLatestProtocolVersion,
                  "a refusal names a version the host speaks");
    fuzz::Require(message.value("v", 0) == version, "a refusal speaks the version it names");
  }
  return 0;
}
