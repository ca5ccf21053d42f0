#pragma once
// How many headlines of the enabled feeds no view has shown yet: the count a
// background check asks for (the extension's button). Each feed is read
// through the feed fetcher in its normal mode, so a fresh kept copy costs no
// request and a site that asked us to wait is not asked; nothing is marked
// seen and the list is only read.

#include "fetch/feed_fetcher.h"
#include "platform/xml/xml_document.h"
#include "report/headlines_renderer.h"
#include "report/seen_items.h"

#include <chrono>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace quorvelle::report {

// The addresses of the list's enabled feeds, in list order, each once.
std::vector<std::string> EnabledFeedAddresses(platform::XmlNode root);
// Every address of the list, enabled or not (what the seen state keeps).
std::set<std::string> ListedFeedAddresses(platform::XmlNode root);

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
