// A seen-headlines state file as found on disk: read by a view, marked,
// written back and read again. A damaged file reads as empty and is rebuilt;
// whatever it held, the file written is one the store reads, it keeps every
// feed it read (within the bound) and the marks of the view.

#include "fuzz/fuzz_support.h"
#include "report/seen_items.h"

using namespace quorvelle;
using report::SeenItems;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const fuzz::FuzzUser &user = fuzz::User();
  fuzz::ResetFiles();
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  const std::string file = user.scratchDir + "/seen-items.json";
  fuzz::WriteBytes(file, text);

  const std::optional<SeenItems::State> read = SeenItems::Parse(text);
  if (read) {
    for (const auto &[url, feed] : *read)
      fuzz::Require(feed.ids.size() <= report::kSeenPerFeedMax && feed.ids.size() == feed.index.size(),
                    "a feed read holds each id once, within the bound");
  }

  const std::vector<std::string> ids = {"id a", "link http://x.example/1", "title t\x1f"};
  SeenItems view(file);
  const report::ViewResult first = view.View("http://x.example/feed", ids, report::Mark::Yes, 2);
  view.Commit();

  const std::optional<std::string> written = fuzz::ReadBytes(file);
  fuzz::Require(written.has_value(), "the view's marks are written");
  const std::optional<SeenItems::State> again = SeenItems::Parse(*written);
  fuzz::Require(again.has_value(), "the store reads the file it wrote");
  if (read) {
    for (const auto &[url, feed] : *read)
      fuzz::Require(again->contains(url), "every feed the file held is kept");
  }
  SeenItems next(file);
  const report::ViewResult second = next.View("http://x.example/feed", ids, report::Mark::No);
  fuzz::Require(second.known, "the viewed feed is known afterwards");
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const bool shown = !first.known || i < 2 || !first.isNew[i];
    fuzz::Require(second.isNew[i] == !shown, "what the view showed is seen, what it left out is not");
  }
  return 0;
}
