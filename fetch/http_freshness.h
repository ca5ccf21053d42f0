#pragma once
// How long a feed's answer may be used without asking its site again, and
// how long a busy site asked us to wait, read from the answer's headers.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace quorvelle::fetch {

// No copy stays fresh longer than this, so news is never older than an hour
// on a plain view.
constexpr std::int64_t kMaxFreshSeconds = 3600;

struct Freshness {
  // False when the answer must not be kept (Cache-Control: no-store).
  bool keep = true;
  // Seconds from now the answer stays fresh, 0..kMaxFreshSeconds: max-age
  // (no-cache makes it 0), else Expires minus Date, else a tenth of the time
  // since Last-Modified, else 0; the Age the answer already has is taken off.
  std::int64_t seconds = 0;
};

// headers: names lower-cased, as the downloader hands them on; now: seconds
// since the epoch.
Freshness FreshnessOf(const std::map<std::string, std::string> &headers, std::int64_t now);

// A Retry-After value (seconds, or an HTTP date) as seconds from now, at
// least 0; nullopt when it is missing or unreadable.
std::optional<std::int64_t> RetryAfterSeconds(const std::string &value, std::int64_t now);

} // namespace quorvelle::fetch
