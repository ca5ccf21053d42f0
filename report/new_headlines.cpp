#include "report/new_headlines.h"

#include "feeds/feed_lists.h"
#include "report/item_identity.h"

#include <condition_variable>
#include <mutex>
#include <optional>

namespace quorvelle::report {
namespace {

void Walk(platform::XmlNode node, bool enabledOnly, const std::function<void(const std::string &)> &found) {
  for (platform::XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
    if (feedlist::IsElementNamed(child.Raw(), kFeedElement)) {
      const std::optional<std::string> src = child.FindAttribute("src");
      if (src && !src->empty() && (!enabledOnly || child.FindAttribute("enabled").value_or("") == "true")) found(*src);
    } else if (child.IsElement()) {
      Walk(child, enabledOnly, found);
    }
  }
}

} // namespace

std::vector<std::string> EnabledFeedAddresses(platform::XmlNode root) {
  std::vector<std::string> out;
  std::set<std::string> once;
  Walk(root, true, [&](const std::string &src) {
    if (once.insert(src).second) out.push_back(src);
  });
  return out;
}

std::set<std::string> ListedFeedAddresses(platform::XmlNode root) {
  std::set<std::string> out;
  Walk(root, false, [&](const std::string &src) { out.insert(src); });
  return out;
}

NewCount CountNewHeadlines(fetch::FeedFetcher &fetcher, const std::vector<std::string> &feeds, SeenItems &seen,
                           std::chrono::milliseconds deadline) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    // Each feed's item identities, read as its bytes arrive (no body is kept).
    std::vector<std::optional<std::vector<std::string>>> items;
    std::size_t finished = 0;
  };
  const auto shared = std::make_shared<Shared>();
  shared->items.resize(feeds.size());
  std::vector<fetch::FeedFetcher::Id> ids;
  ids.reserve(feeds.size());
  for (std::size_t i = 0; i < feeds.size(); ++i) {
    ids.push_back(fetcher.Start(feeds[i], fetch::FetchMode::Normal, [shared, i](fetch::FeedDelivery delivery) {
      // An early kept copy counts until the site's answer replaces it; a
      // failed answer keeps the copy that came before it.
      std::optional<std::vector<std::string>> items;
      if (delivery.status == platform::FetchStatus::Ok) items = ItemIdentities(delivery.bytes);
      const std::lock_guard lock(shared->mutex);
      if (items) shared->items[i] = std::move(items);
      if (delivery.final) {
        ++shared->finished;
        shared->done.notify_all();
      }
    }));
  }
  {
    std::unique_lock lock(shared->mutex);
    shared->done.wait_for(lock, deadline, [&] { return shared->finished == feeds.size(); });
  }
  for (const fetch::FeedFetcher::Id id : ids)
    fetcher.Cancel(id);
  NewCount count;
  const std::lock_guard lock(shared->mutex);
  for (std::size_t i = 0; i < feeds.size(); ++i) {
    FeedNewCount feed{feeds[i]};
    if (shared->items[i]) {
      feed.read = true;
      feed.newCount = seen.View(feeds[i], *shared->items[i], Mark::No).newCount;
    }
    count.total += feed.newCount;
    count.unread += feed.read ? 0 : 1;
    count.feeds.push_back(std::move(feed));
  }
  return count;
}

std::size_t ShownItems(const FeedSlot &slot) {
  if (slot.limit > 0) return static_cast<std::size_t>(slot.limit);
  return slot.maxItems > 0 ? static_cast<std::size_t>(slot.maxItems) : kMaxFeedPageItems;
}

FeedBox RenderViewedBox(const HeadlinesRenderer &renderer, SeenItems &seen, const FeedSlot &slot,
                        const fetch::FeedDelivery &delivery, Mark mark) {
  if (delivery.status != platform::FetchStatus::Ok) return renderer.RenderBox(slot, delivery);
  const std::vector<std::string> identities = ItemIdentities(delivery.bytes);
  const ViewResult marks = seen.View(slot.address, identities, Mark::No, ShownItems(slot));
  FeedBox box = renderer.RenderBox(slot, delivery, &marks);
  // Only what the box really shows counts as seen: not a feed that failed
  // to render or was too large.
  if (!box.failed && delivery.final && mark == Mark::Yes)
    seen.View(slot.address, identities, Mark::Yes, box.headlines.size());
  return box;
}

} // namespace quorvelle::report
