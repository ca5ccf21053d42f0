#include "native_host/new_count_command.h"

#include "feeds/feed_lists.h"
#include "feeds/feed_store.h"
#include "fetch/feed_fetcher.h"
#include "report/new_headlines.h"
#include "report/seen_items.h"

namespace quorvelle::native_host {

// Longer than one download may take, so a slow site counts when it answers.
constexpr std::chrono::seconds kCountDeadline{40};

nlohmann::json NewCount(TRSSFeedOptions &store) {
  store.Load();
  const std::vector<std::string> feeds = report::EnabledFeedAddresses(feedlist::RequireDocumentElement(*store.FXMLDoc));
  report::SeenItems seen;
  fetch::FeedFetcher fetcher;
  const report::NewCount count = report::CountNewHeadlines(fetcher, feeds, seen, kCountDeadline);
  return {{"count", count.total}, {"feeds", feeds.size()}, {"unread", count.unread}};
}

} // namespace quorvelle::native_host
