#pragma once
// The first-run offer: a user whose feed list is empty (no feed, no
// category) is asked once whether to import the installation's starter list
// of public feeds. An existing list is never touched.

#include <string>

namespace quorvelle::host {

inline constexpr const char *kStarterFeedsFile = "starter-feeds.opml";
inline constexpr const char *kBrowserSettingsKey = "Software\\Tolvane\\Quorvelle Browser";
inline constexpr const char *kStarterOfferedValue = "StarterFeedsOffered";

// True when the feed list holds no feed and no category.
bool FeedListIsEmpty();

// Asks (once per user) and imports through the import command, into General
// (the category the report's first page shows); true when it imported. Must run before a band library is loaded, so the
// band reads the list as it is afterwards.
bool OfferStarterFeeds(const std::string &installationFolder);

} // namespace quorvelle::host
