// Feeds.xml as found on disk: load it, run a few editing commands on what it
// holds, save, and load the saved file again. A list that loaded must still
// load after the save, with every feed it had plus the one added.

#include "feeds/feed_store.h"
#include "fuzz/fuzz_support.h"
#include "platform/codepage/codepage.h"

#include <algorithm>

using namespace quorvelle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const fuzz::FuzzUser &user = fuzz::User();
  fuzz::ResetFiles();
  fuzz::WriteBytes(user.dataFolder + "Feeds.xml", std::string_view(reinterpret_cast<const char *>(data), size));

  TRSSFeedOptions store;
  store.Load();
  if (!store.FXMLDoc->HasRoot()) return 0; // unreadable: kept aside, nothing to compare
  const fuzz::FeedCensus before = fuzz::Census(*store.FXMLDoc);

  // A feed to edit: the first one found going down through the first children
  // (the General container, then its first category, ...), and its category.
  std::string src;
  std::string category;
  for (XmlNode node = store.FXMLDoc->DocumentElement().FirstChild(); node && src.empty();) {
    for (XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
      if (child.NodeName() == "Quorvelle_Feed") {
        src = child.FindAttribute("src").value_or("");
        if (node.NodeName() == "Quorvelle_Category")
          category = platform::DecodeStoredText(node.FindAttribute("name").value_or(""));
        break;
      }
    }
    node = node.FirstChild().IsNull() ? node.NextSibling() : node.FirstChild();
  }

  const bool added = store.AddNewRSSFeed("http://fuzz.example/added.xml", "Added <\"&'> feed", "");
  store.AddCategory("Fuzz category");
  if (!src.empty()) {
    store.SetFeedStateEnabled(src, category, false);
    store.MoveFeed(src, category, mdBottom);
    store.MoveFeedToCategory(src, category, "Fuzz category");
  }
  store.Save();

  TRSSFeedOptions reloaded;
  reloaded.Load();
  fuzz::Require(reloaded.FXMLDoc->HasRoot(), "a list that loaded still loads after a save");
  const fuzz::FeedCensus after = fuzz::Census(*reloaded.FXMLDoc);
  fuzz::Require(after.feeds == before.feeds + (added ? 1 : 0), "the saved list keeps every feed");
  std::vector<std::string> expected = before.sources;
  if (added) expected.push_back("http://fuzz.example/added.xml");
  std::vector<std::string> got = after.sources;
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  fuzz::Require(expected == got, "the saved list keeps every feed's address");
  return 0;
}
