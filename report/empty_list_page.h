#pragma once
// The start page shown instead of a headlines report while the feed list
// holds no feed: it says so and how to fill the list. One page for every
// place that shows the report (the band's "View Feeds...", the extension's
// report tab through the native host), so they read alike. It carries no
// script and no link, so the extension takes it over as it stands.

#include <string>

namespace quorvelle {
class TRSSFeedOptions;
}

namespace quorvelle::report {

// The page's title (also its heading).
inline constexpr const char *kEmptyListTitle = "Your feed list is empty";

// True when the store's list holds no feed in any category (categories
// without feeds do not count).
bool ListHoldsNoFeed(TRSSFeedOptions &store);

// The whole page. starterList is the path of the installation's starter
// list, named on the page as one way to begin; "" leaves that way out.
std::string EmptyListPageHtml(const std::string &starterList);

// The installation's starter list (AppPath + "starter-feeds.opml") when it
// exists, else "".
std::string StarterListPath(const TRSSFeedOptions &store);

// For an empty list: writes the page as the report's start page
// (AppPath + "headlines/index.html", replacing what is there) and returns
// its path. "" when the list holds a feed, the installation folder is not an
// absolute path, or the page cannot be written (logged). The next report
// written replaces the page, since the report folder is rebuilt from scratch.
std::string WriteEmptyListPage(TRSSFeedOptions &store);

} // namespace quorvelle::report
