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
//
// What is kept lives in the feed cache (fetch/feed_cache.h), shared by every
// process of the user:
// - Normal: a fresh kept copy is the one final answer, without a request.
// - A stale copy is answered at once (final == false), then the site is
//   asked with If-None-Match and If-Modified-Since as it last gave them; a
//   304 makes the kept copy current again (final, fromCache, readAt = now),
//   a 200 replaces it (and no-store removes it).
// - When the site fails or cannot be reached, the final answer is the kept
//   copy (status Ok, stale = Unreachable, readAt = when it was read), or the
//   failure when nothing is kept.
// - A host that answered 429 or 503 gets no request until its Retry-After
//   (or back-off: 5 minutes doubling up to 6 hours) has passed, from any
//   process: the final answer is the kept copy with stale = BackingOff, or a
//   failure (status Failed) when nothing is kept. A good answer ends it.
// - A permanent move (301, 308, all the way) is remembered with the entry
//   of the address asked for: later downloads ask the new address directly,
//   and every answer names it in movedTo.
// - Revalidate: the site is asked (conditionally) even when the copy is
//   fresh; a host under back-off is still not asked.
// A body is handed on as it arrives and not held afterwards.

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
  // The cache's folder; "" for the user's ($XDG_CACHE_HOME/Quorvelle/).
  std::string cacheFolder;
  // False: nothing is read from or written to the cache (every download asks
  // its site, no host back-off is kept or honoured).
  bool useCache = true;
  // The cache's size bound; the least recently used entries go first.
  std::uint64_t cacheBytes = std::uint64_t{256} * 1024 * 1024;
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
  class Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace quorvelle::fetch
