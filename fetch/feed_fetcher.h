#pragma once
// The one way the product asks the web for a feed it shows: the report in
// our browser, the extension's native host and the command line all start
// their feed downloads here. Many run side by side on one worker thread, at
// most a few to one host; destroying the fetcher cancels what still runs
// without waiting for any server.
//
// A download may be answered twice: first with a copy kept from an earlier
// read (final == false) so the caller can show it at once, then with the
// answer of the site (final == true), which replaces it. A caller that
// shows only one answer waits for the final one.

#include "platform/inet/inet_client.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorvelle::fetch {

enum class FetchMode {
  Normal,     // a kept copy that is still fresh is used without asking the site
  Revalidate, // the site is asked again (conditionally), as a browser's Reload does
};

// Why a kept copy is shown instead of the site's answer.
enum class StaleReason {
  None,        // the copy is current (or the bytes came from the site)
  Unreachable, // the site could not be reached or failed just now
  BackingOff,  // the site asked us to wait (429/503, Retry-After) or is backed off
};

struct FeedDelivery {
  // Ok when bytes holds a feed body to show (from the site or kept).
  platform::FetchStatus status = platform::FetchStatus::Failed;
  std::string bytes;
  // False for an early copy that a later delivery replaces.
  bool final = true;
  // The bytes are a kept copy, not what the site just sent.
  bool fromCache = false;
  // When the kept copy was read from the site (set when fromCache).
  std::optional<std::chrono::system_clock::time_point> readAt;
  StaleReason stale = StaleReason::None;
  // The address the feed moved to permanently (301/308), "" when it did not.
  std::string movedTo;
};

struct FeedFetcherOptions {
  platform::CurlInetOptions download{};
  long perHostLimit = 6;
};

class FeedFetcher {
public:
  // Runs on the fetcher's worker thread, once or twice per download (see
  // above).
  using Deliver = std::function<void(FeedDelivery)>;
  using Id = std::uint64_t;

  explicit FeedFetcher(FeedFetcherOptions options = {});
  ~FeedFetcher();
  FeedFetcher(const FeedFetcher &) = delete;
  FeedFetcher &operator=(const FeedFetcher &) = delete;

  // Queues the feed at url. Safe from any thread.
  Id Start(const std::string &url, FetchMode mode, Deliver deliver);
  // Stops a download; its deliver is not called afterwards (one already
  // running on the worker thread finishes). Unknown or finished ids are
  // ignored.
  void Cancel(Id id);
  // Downloads started and neither finished nor cancelled.
  [[nodiscard]] std::size_t Pending() const;

private:
  platform::ConcurrentDownloader downloader_;
};

} // namespace quorvelle::fetch
