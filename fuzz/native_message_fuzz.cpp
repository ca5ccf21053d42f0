// One message body from the browser extension, as quorvelle-native-host
// receives it. Every input gets exactly one answer: JSON of the request's
// protocol version (1 or 2, 1 when it could not be read) with a boolean
// "ok", within the browser's size limit, naming the request's id when the
// request had one (and an id short enough to repeat). Commands that read the
// list run for real, unknown ones too; those that would download, show a
// dialog or write stop at their validation (a report request writes the
// report tree).

#include "feeds/feed_store.h"
#include "fuzz/fuzz_support.h"
#include "native_host/host_commands.h"
#include "native_host/report_pages.h"

using namespace quorvelle;
using nlohmann::json;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::User();
  static TRSSFeedOptions store;
  static native_host::ReportPages report(store);
  static native_host::CommandHandler handler(store, report, nullptr);
  const std::string_view body(reinterpret_cast<const char *>(data), size);

  auto parsed = native_host::ParseRequest(body);
  std::string answer;
  if (auto *request = std::get_if<native_host::Request>(&parsed)) {
    const std::string &command = request->command;
    // Unknown commands run too: their error answer repeats the name.
    const bool writes = command == "add" || command == "import" || command == "report";
    const bool refusedFirst = command == "add" && request->args.value("dialog", json()) == json(true);
    if (writes && !refusedFirst) return 0;
    answer = handler.Handle(body);
  } else {
    answer = handler.Handle(body);
  }
  fuzz::Require(answer.size() <= native_host::kMaxMessageBytes, "an answer fits the browser's limit");
  const json message = json::parse(answer, nullptr, false);
  fuzz::Require(!message.is_discarded() && message.is_object(), "an answer is a JSON object");
  fuzz::Require(message.contains("ok") && message["ok"].is_boolean(), "an answer says whether it worked");
  if (auto *request = std::get_if<native_host::Request>(&parsed)) {
    fuzz::Require(message["id"] == request->id, "an answer names its request");
    fuzz::Require(message.value("v", 0) == request->version, "an answer speaks its request's version");
  } else {
    const int version = std::get<native_host::ProtocolError>(parsed).version;
    fuzz::Require(version >= native_host::kProtocolVersion && version <= native_host::kLatestProtocolVersion,
                  "a refusal names a version the host speaks");
    fuzz::Require(message.value("v", 0) == version, "a refusal speaks the version it names");
  }
  return 0;
}
