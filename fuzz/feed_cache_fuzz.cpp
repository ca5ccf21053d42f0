// A feed cache file as another process, a crash or a stranger may have left
// it: read as an entry of an address, then as a host's wait, and its lines
// as the HTTP facts the freshness rules read. A usable entry belongs to the
// address asked for, survives being written and read again unchanged and
// has a read time the clock can hold; freshness stays within its bounds.

#include "fetch/feed_cache.h"
#include "fetch/http_freshness.h"
#include "fuzz/fuzz_support.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>

using namespace quorvelle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  const std::string folder = fuzz::User().scratchDir + "/cache/";
  std::filesystem::create_directories(folder + "feeds");
  std::filesystem::create_directories(folder + "hosts");
  const fetch::FeedCache cache(folder, 1 << 20);
  const std::string url = "http://feeds.example/rss";

  // Through the file, as the fetcher reads it.
  fuzz::WriteBytes(cache.EntryPath(url), bytes);
  if (const auto entry = cache.Load(url)) {
    fuzz::Require(entry->url == url, "an entry read for an address belongs to it");
    const std::string again = fetch::EncodeCacheEntry(*entry);
    const auto reread = fetch::DecodeCacheEntry(again);
    fuzz::Require(reread && reread->body == entry->body && reread->etag == entry->etag &&
                      reread->lastModified == entry->lastModified && reread->fetchedAt == entry->fetchedAt &&
                      reread->freshUntil == entry->freshUntil && reread->movedTo == entry->movedTo,
                  "an entry survives being written and read again");
    fuzz::Require(fetch::DecodeCacheEntry(bytes, false).has_value(), "the header alone reads as the whole does");
    // The fetcher tells when the copy was read as a clock time.
    const auto readAt = std::chrono::system_clock::from_time_t(static_cast<std::time_t>(entry->fetchedAt));
    fuzz::Require(std::chrono::system_clock::to_time_t(readAt) == entry->fetchedAt,
                  "an entry's read time is one the clock can hold");
  }
  // The same bytes as a host's wait.
  for (const auto &file : std::filesystem::directory_iterator(folder + "hosts"))
    std::filesystem::remove(file.path());
  cache.NoteBusy("feeds.example:80", 1, 0);
  for (const auto &file : std::filesystem::directory_iterator(folder + "hosts"))
    fuzz::WriteBytes(file.path().string(), bytes);
  if (const auto wait = cache.Wait("feeds.example:80"))
    fuzz::Require(wait->until >= 0 && wait->failures >= 0, "a wait read is never negative");

  // Its lines as response headers.
  std::map<std::string, std::string> headers;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos)
      headers[std::string(line.substr(0, colon))] = std::string(line.substr(colon + 1));
  }
  const fetch::Freshness freshness = fetch::FreshnessOf(headers, 1'800'000'000);
  fuzz::Require(freshness.seconds >= 0 && freshness.seconds <= fetch::kMaxFreshSeconds,
                "freshness stays within an hour");
  if (const auto it = headers.find("retry-after"); it != headers.end()) {
    const auto seconds = fetch::RetryAfterSeconds(it->second, 1'800'000'000);
    fuzz::Require(!seconds || *seconds >= 0, "a wait is never negative");
  }
  return 0;
}
