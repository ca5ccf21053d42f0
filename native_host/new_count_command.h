#pragma once
// new-count -> {"count", "feeds", "unread"}: how many headlines of the
// enabled feeds no view has shown yet (the extension's button), how many
// enabled feeds were looked at and how many of them could not be read. The
// feeds come through the feed fetcher in its normal mode (a fresh kept copy
// costs no request, a site that asked us to wait is left alone); the list is
// only read, nothing is marked seen and no dialog opens.

#include <nlohmann/json.hpp>

namespace quorvelle {
class TRSSFeedOptions;
}

namespace quorvelle::native_host {

nlohmann::json NewCount(TRSSFeedOptions &store);

} // namespace quorvelle::native_host
