#include "report/new_headlines.h"

#include "report/item_identity.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>

namespace quorvelle::report {

struct NewHeadlinesCounter::Shared {
  // Recursive: a caller may destroy its counter from inside `counted`.
  std::recursive_mutex mutex;
  bool closed = false;
  SeenItems *seen = nullptr;
  Counted counted;
  std::vector<std::string> sources;                           // each address once
  std::vector<std::vector<std::size_t>> groupsOf;             // per source, the groups naming it
  std::vector<std::vector<std::size_t>> sourcesOf;            // per group, its sources
  std::vector<std::optional<std::vector<std::string>>> items; // per source, its items' identities once read
  std::vector<bool> settled;                                  // per source, its final delivery came
  std::vector<std::size_t> open;                              // per group, sources not settled
  std::vector<bool> done;                                     // per group, counted
  std::vector<fetch::FeedFetcher::Id> ids;

  // With the lock held.
  void Count(std::size_t group) {
    if (closed || done[group]) return;
    done[group] = true;
    GroupCount count;
    for (const std::size_t source : sourcesOf[group]) {
      if (items[source])
        count.newCount += seen->View(sources[source], *items[source], Mark::No).newCount;
      else
        ++count.unread;
    }
    counted(group, count);
  }

  void Deliver(std::size_t source, const fetch::FeedDelivery &delivery) {
    // An early kept copy counts until the site's answer replaces it; a
    // failed answer keeps the copy that came before it. Only identities are
    // kept, never a body.
    std::optional<std::vector<std::string>> read;
    if (delivery.status == platform::FetchStatus::Ok) read = ItemIdentities(delivery.bytes);
    const std::lock_guard lock(mutex);
    if (closed || settled[source]) return;
    if (read) items[source] = std::move(read);
    if (!delivery.final) return;
    settled[source] = true;
    for (const std::size_t group : groupsOf[source])
      if (--open[group] == 0) Count(group);
  }
};

NewHeadlinesCounter::NewHeadlinesCounter(fetch::FeedFetcher &fetcher,
                                         const std::vector<std::vector<std::string>> &groups, SeenItems &seen,
                                         Counted counted)
    : fetcher_(fetcher), shared_(std::make_shared<Shared>()) {
  Shared &shared = *shared_;
  shared.seen = &seen;
  shared.counted = std::move(counted);
  std::map<std::string, std::size_t> index;
  shared.sourcesOf.resize(groups.size());
  for (std::size_t group = 0; group < groups.size(); ++group) {
    for (const std::string &feed : groups[group]) {
      const auto [at, added] = index.try_emplace(feed, shared.sources.size());
      if (added) {
        shared.sources.push_back(feed);
        shared.groupsOf.emplace_back();
      }
      std::vector<std::size_t> &of = shared.sourcesOf[group];
      if (std::find(of.begin(), of.end(), at->second) != of.end()) continue;
      of.push_back(at->second);
      shared.groupsOf[at->second].push_back(group);
    }
  }
  shared.items.resize(shared.sources.size());
  shared.settled.assign(shared.sources.size(), false);
  shared.done.assign(groups.size(), false);
  shared.open.resize(groups.size());
  for (std::size_t group = 0; group < groups.size(); ++group)
    shared.open[group] = shared.sourcesOf[group].size();
  {
    const std::lock_guard lock(shared.mutex);
    for (std::size_t group = 0; group < groups.size(); ++group)
      if (shared.open[group] == 0) shared.Count(group);
  }
  // Not under the lock: a download refused at once is delivered inside Start.
  std::vector<fetch::FeedFetcher::Id> ids;
  ids.reserve(shared.sources.size());
  for (std::size_t source = 0; source < shared.sources.size(); ++source) {
    ids.push_back(fetcher.Start(shared.sources[source], fetch::FetchMode::Normal,
                                [weak = std::weak_ptr<Shared>(shared_), source](fetch::FeedDelivery delivery) {
                                  if (const auto held = weak.lock()) held->Deliver(source, delivery);
                                }));
  }
  const std::lock_guard lock(shared.mutex);
  shared.ids = std::move(ids);
}

NewHeadlinesCounter::~NewHeadlinesCounter() {
  const std::lock_guard lock(shared_->mutex);
  shared_->closed = true;
}

void NewHeadlinesCounter::Stop() {
  std::vector<fetch::FeedFetcher::Id> ids;
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    ids = shared_->ids;
  }
  for (const fetch::FeedFetcher::Id id : ids)
    fetcher_.Cancel(id);
}

void NewHeadlinesCounter::Settle() {
  // Held here: `counted` may destroy this counter.
  const std::shared_ptr<Shared> shared = shared_;
  fetch::FeedFetcher &fetcher = fetcher_;
  std::vector<fetch::FeedFetcher::Id> ids;
  {
    const std::lock_guard lock(shared->mutex);
    for (std::size_t source = 0; source < shared->sources.size(); ++source)
      if (!shared->settled[source] && source < shared->ids.size()) ids.push_back(shared->ids[source]);
    for (std::size_t group = 0; group < shared->done.size(); ++group)
      shared->Count(group);
  }
  for (const fetch::FeedFetcher::Id id : ids)
    fetcher.Cancel(id);
}

NewCount CountNewHeadlines(fetch::FeedFetcher &fetcher, const std::vector<std::string> &feeds, SeenItems &seen,
                           std::chrono::milliseconds deadline) {
  struct Waiting {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<GroupCount>> counts;
    std::size_t counted = 0;
  };
  const auto waiting = std::make_shared<Waiting>();
  waiting->counts.resize(feeds.size());
  std::vector<std::vector<std::string>> groups;
  groups.reserve(feeds.size());
  for (const std::string &feed : feeds)
    groups.push_back({feed});
  NewHeadlinesCounter counter(fetcher, groups, seen, [waiting](std::size_t group, const GroupCount &count) {
    const std::lock_guard lock(waiting->mutex);
    waiting->counts[group] = count;
    ++waiting->counted;
    waiting->changed.notify_all();
  });
  {
    std::unique_lock lock(waiting->mutex);
    waiting->changed.wait_for(lock, deadline, [&] { return waiting->counted == feeds.size(); });
  }
  counter.Settle();
  NewCount count;
  const std::lock_guard lock(waiting->mutex);
  for (std::size_t i = 0; i < feeds.size(); ++i) {
    const GroupCount group = waiting->counts[i].value_or(GroupCount{0, 1});
    FeedNewCount feed{feeds[i], group.newCount, group.unread == 0};
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
