#pragma once
// How many headlines of the enabled feeds no view has shown yet: the count a
// background check asks for (the extension's button). Each feed is read
// through the feed fetcher in its normal mode, so a fresh kept copy costs no
// request and a site that asked us to wait is not asked; nothing is marked
// seen and the list is only read.

#include "fetch/feed_fetcher.h"
#include "report/headlines_renderer.h"
#include "report/listed_feeds.h"
#include "report/seen_items.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvelle::report {

struct FeedNewCount {
  std::string url;
  std::size_t newCount = 0;
  bool read = false; // false when the feed could not be read (no copy, no answer)
};

struct NewCount {
  std::vector<FeedNewCount> feeds; // in the order given
  std::size_t total = 0;
  std::size_t unread = 0; // feeds that could not be read
};

// What a group of feeds holds that no view has shown yet.
struct GroupCount {
  std::size_t newCount = 0;
  std::size_t unread = 0; // feeds of the group that could not be read (no copy, no answer)
};

// Counts, per group of feeds (a category on a report page), the new
// headlines the group holds, without waiting: every address the groups name
// is read once, side by side, and a group is counted as soon as its last
// feed has arrived. `counted` runs on the fetcher's thread (or inside the
// constructor, for a group without feeds or a feed refused at once), once
// per group, and must not call back into the counter but may destroy it; no
// call is made once the counter is destroyed. `seen` must outlive the counter; nothing is
// marked in it.
class NewHeadlinesCounter {
public:
  using Counted = std::function<void(std::size_t group, const GroupCount &count)>;
  NewHeadlinesCounter(fetch::FeedFetcher &fetcher, const std::vector<std::vector<std::string>> &groups, SeenItems &seen,
                      Counted counted);
  // No call is made afterwards; downloads still running go on into the
  // cache (the fetcher may be gone by then: it is not touched).
  ~NewHeadlinesCounter();
  NewHeadlinesCounter(const NewHeadlinesCounter &) = delete;
  NewHeadlinesCounter &operator=(const NewHeadlinesCounter &) = delete;

  // Counts every group not counted yet with what has arrived (the page's
  // time limit): a feed still on its way counts as unread.
  void Settle();
  // Cancels what still runs; no call is made afterwards.
  void Stop();

  struct Shared;

private:
  fetch::FeedFetcher &fetcher_;
  std::shared_ptr<Shared> shared_;
};

// Reads the feeds side by side, at most `deadline` in all (what has not
// arrived by then counts as unread), and counts what is new in each.
NewCount CountNewHeadlines(fetch::FeedFetcher &fetcher, const std::vector<std::string> &feeds, SeenItems &seen,
                           std::chrono::milliseconds deadline);

// The box of one feed in a view: its items judged against what earlier
// views showed, the headlines the box shows recorded as seen (with
// Mark::Yes, and only from the final delivery: an early kept copy is judged
// the same way but the site's answer replaces it), and the box rendered with
// its new headlines marked. The view's caller commits `seen` when it is done.
FeedBox RenderViewedBox(const HeadlinesRenderer &renderer, SeenItems &seen, const FeedSlot &slot,
                        const fetch::FeedDelivery &delivery, Mark mark);

// How many items a box of the slot shows.
std::size_t ShownItems(const FeedSlot &slot);

} // namespace quorvelle::report
