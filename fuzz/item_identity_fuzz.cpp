// The bytes a feed answers with, read for its items' identities, by which
// every view tells new headlines from seen ones: one identity per item, each
// bounded and naming its kind, and each surviving being stored in the
// seen-headlines file and read back (else the item would be new forever).

#include "fuzz/fuzz_support.h"
#include "report/item_identity.h"
#include "report/seen_items.h"

using namespace quorvelle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::User();
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  const std::vector<std::string> ids = report::ItemIdentities(bytes);
  fuzz::Require(ids.size() == report::ReadItemFields(bytes).size(), "one identity per item");

  report::SeenItems::State state;
  report::SeenItems::FeedState &feed = state["http://feeds.example/rss"];
  for (const std::string &id : ids) {
    fuzz::Require(!id.empty() && id.size() <= 300, "an identity within its bound");
    fuzz::Require(id.starts_with("id ") || id.starts_with("link ") || id.starts_with("title ") ||
                      id.starts_with("text "),
                  "an identity names its kind");
    if (feed.index.insert(id).second) feed.ids.push_back(id);
  }
  if (feed.ids.size() > report::kSeenPerFeedMax) return 0;
  const auto stored = report::SeenItems::Parse(report::SeenItems::Serialize(state));
  fuzz::Require(stored && stored->size() == 1 && stored->begin()->second.ids == feed.ids,
                "the identities survive being stored");
  return 0;
}
