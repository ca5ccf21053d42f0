#pragma once
// The feed cache: per feed address, the last good body and its HTTP facts
// (validators, freshness, when it was read, the permanent move it led to),
// and per host the wait a busy site asked for. Shared by every process of
// the user (our browser's windows, the extension's host, the command line):
// entries are replaced whole by renaming a file written beside them, the
// per-host state is changed under a lock file, and anything damaged, foreign
// or cut short reads as missing and is replaced by the next good answer.
//
// Layout under the folder ($XDG_CACHE_HOME/Quorvelle/ by default):
//   feeds/<hash of the address>.entry   one feed
//   hosts/<hash of host:port>.wait      one host under back-off
//   lock                                taken for back-off changes and eviction

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvelle::fetch {

struct CacheEntry {
  std::string url; // the feed's address as the list holds it
  std::string etag;
  std::string lastModified;
  std::int64_t fetchedAt = 0;  // seconds since the epoch the body was read or confirmed
  std::int64_t freshUntil = 0; // used without asking the site until then
  std::string movedTo;         // where the feed moved permanently, "" when it did not
  std::string body;            // the feed's bytes as the site sent them
};

// The entry as stored: a versioned header of "name value" lines, then the
// body, its length and checksum in the header.
std::string EncodeCacheEntry(const CacheEntry &entry);
// The entry stored in bytes; nullopt for anything that is not a whole entry
// (another format, a damaged header, a body cut short or changed). Without
// withBody the body is checked but not copied.
std::optional<CacheEntry> DecodeCacheEntry(std::string_view bytes, bool withBody = true);

struct HostWait {
  std::int64_t until = 0; // no request goes to the host before then
  int failures = 0;       // busy answers in a row without Retry-After
};

// Back-off without Retry-After: 5 minutes, doubling with each busy answer
// in a row, at most 6 hours. A Retry-After is honoured up to a week.
constexpr std::int64_t kFirstBackoffSeconds = 5 * 60;
constexpr std::int64_t kLongestBackoffSeconds = 6 * 60 * 60;
constexpr std::int64_t kLongestRetryAfterSeconds = 7 * 24 * 60 * 60;
constexpr std::uint64_t kDefaultCacheBytes = std::uint64_t{256} * 1024 * 1024;

class FeedCache {
public:
  // folder "" is the user's cache folder. Nothing is created until a write.
  explicit FeedCache(std::string folder = {}, std::uint64_t maxBytes = kDefaultCacheBytes);

  // $XDG_CACHE_HOME/Quorvelle/ (default ~/.cache/Quorvelle/).
  static std::string DefaultFolder();
  // Removes the user's cache folder and everything in it (the uninstall
  // step); a link in its place is removed, not followed. False (and
  // logged) when something could not be removed.
  static bool RemoveUserCache();
  [[nodiscard]] const std::string &Folder() const { return folder_; }
  [[nodiscard]] std::string EntryPath(const std::string &url) const;

  // The entry of the address; nullopt when there is none or it is unusable.
  // A use counts as recent for eviction.
  [[nodiscard]] std::optional<CacheEntry> Load(const std::string &url, bool withBody = true) const;
  // Writes the entry whole, then evicts the least recently used entries
  // while the cache holds more than its bound. False (and logged) when it
  // could not be written; the old entry then stays.
  bool Store(const CacheEntry &entry) const;
  void Remove(const std::string &url) const;

  // The wait of a host ("host:port"), nullopt when it is under none.
  [[nodiscard]] std::optional<HostWait> Wait(const std::string &host) const;
  // A busy answer (429, 503) from host: waits retryAfter seconds when given,
  // else backs off; returns the new wait.
  HostWait NoteBusy(const std::string &host, std::optional<std::int64_t> retryAfter, std::int64_t now) const;
  // A good answer from host ends its back-off.
  void ClearWait(const std::string &host) const;

private:
  void Evict() const;

  std::string folder_;
  std::uint64_t maxBytes_;
};

} // namespace quorvelle::fetch
