#pragma once
// Feeds whose address moved permanently (a 301 or 308 the feed cache
// remembers), for "quorvelle check" and "quorvelle check --update-moved".

#include <optional>
#include <string>

namespace quorvelle::cli {

// Where the feed at url moved permanently, from the feed cache; nullopt
// when it did not (or nothing is known of it).
std::optional<std::string> MovedAddress(const std::string &url);

// Changes every moved feed of the list to its new address, the list loaded
// just before and saved atomically; a feed whose new address is in the list
// already is left as it is (no duplicate) and said so. kDone when every
// moved feed was changed.
int UpdateMovedFeeds();

} // namespace quorvelle::cli
