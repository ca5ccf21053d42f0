#include "fetch/feed_fetcher.h"

#include <utility>

namespace quorvelle::fetch {

FeedFetcher::FeedFetcher(FeedFetcherOptions options) : downloader_(options.download, options.perHostLimit) {}

FeedFetcher::~FeedFetcher() = default;

FeedFetcher::Id FeedFetcher::Start(const std::string &url, FetchMode /*mode*/, Deliver deliver) {
  return downloader_.Start(url, [deliver = std::move(deliver)](platform::FetchResult result) {
    FeedDelivery delivery;
    delivery.status = result.status;
    delivery.bytes = std::move(result.bytes);
    deliver(std::move(delivery));
  });
}

void FeedFetcher::Cancel(Id id) { downloader_.Cancel(id); }

std::size_t FeedFetcher::Pending() const { return downloader_.Pending(); }

} // namespace quorvelle::fetch
