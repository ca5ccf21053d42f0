#include "cli/moved_feeds.h"

#include "cli/cli_support.h"
#include "fetch/feed_cache.h"
#include "platform/xml/xml_document.h"

#include <iostream>
#include <vector>

namespace quorvelle::cli {
namespace {

void CollectFeedElements(const XmlNode &node, std::vector<XmlNode> &feeds) {
  for (XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
    if (!child.IsElement()) continue;
    if (child.NodeName() == "Quorvelle_Feed") {
      feeds.push_back(child);
    } else {
      CollectFeedElements(child, feeds);
    }
  }
}

} // namespace

std::optional<std::string> MovedAddress(const std::string &url) {
  const fetch::FeedCache cache;
  const std::optional<fetch::CacheEntry> entry = cache.Load(url, false);
  if (!entry || entry->movedTo.empty() || entry->movedTo == url) return std::nullopt;
  return entry->movedTo;
}

int UpdateMovedFeeds() {
  FeedList list;
  if (!list.Open()) return kFailed;
  TRSSFeedOptions &store = list.Store();
  std::vector<XmlNode> feeds;
  CollectFeedElements(store.FXMLDoc->DocumentElement(), feeds);
  const fetch::FeedCache cache;
  std::size_t changed = 0;
  bool refused = false;
  for (XmlNode &feed : feeds) {
    const std::string url = feed.FindAttribute("src").value_or("");
    if (url.empty()) continue;
    std::optional<fetch::CacheEntry> entry = cache.Load(url);
    if (!entry || entry->movedTo.empty() || entry->movedTo == url) continue;
    const std::string to = entry->movedTo;
    if (store.FindFeedWithURL(store.FXMLDoc->DocumentElement(), to)) {
      PrintError("Not changed: " + url + " moved to " + to + ", which is in the list already");
      refused = true;
      continue;
    }
    feed.SetAttribute("src", to);
    ++changed;
    std::cout << url << " -> " << to << '\n';
    // What was read at the old address serves the new one.
    entry->url = to;
    entry->movedTo.clear();
    cache.Store(*entry);
  }
  if (changed > 0) {
    if (!list.Save()) return kFailed;
    list.RefreshReport();
  } else if (!refused) {
    std::cout << "No feed has moved\n";
  }
  return refused ? kFailed : kDone;
}

} // namespace quorvelle::cli
