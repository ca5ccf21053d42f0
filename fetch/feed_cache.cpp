#include "fetch/feed_cache.h"

#include "platform/shell/known_folders.h"
#include "support/debug_log.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quorvelle::fetch {
namespace {

constexpr std::string_view kEntryMagic = "QuorvelleFeedCache 1\n";
constexpr std::string_view kWaitMagic = "QuorvelleHostWait 1\n";
// Seconds either side of 1970 the system clock can hold (it counts
// nanoseconds in 64 bits: about 1678 to 2261).
constexpr std::int64_t kClockRange = 9'000'000'000;
// A temporary file left by a writer that died is removed after this long.
constexpr std::int64_t kStaleTemporarySeconds = 3600;

std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// A value fit for one header line: no line breaks, else left out.
std::string OneLine(const std::string &value) {
  return value.find_first_of("\r\n") == std::string::npos ? value : std::string();
}

std::optional<std::int64_t> Number(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

class Fd {
public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  [[nodiscard]] int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

private:
  int fd_;
};

void MakeFolder(const std::string &path) {
  // Private to the user: what they read is nobody else's business.
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) throw std::runtime_error("cannot create " + path);
}

// Creates the folder and its missing parents.
void MakeFolders(const std::string &path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    MakeFolder(path.substr(0, slash));
  MakeFolder(path);
}

std::optional<std::string> ReadWhole(const std::string &path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.Get() < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

// Writes bytes to a file created exclusively in folder, then renames it
// over path: a reader sees the old file or the new one, never a part.
void ReplaceFile(const std::string &folder, const std::string &path, std::string_view bytes) {
  std::string temp = folder + "/.tmp-XXXXXX";
  Fd fd(::mkstemp(temp.data()));
  if (fd.Get() < 0) throw std::runtime_error("cannot create a file in " + folder);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::unlink(temp.c_str());
      throw std::runtime_error("cannot write " + temp);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd.Release()) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw std::runtime_error("cannot replace " + path);
  }
}

// Holds the cache's lock file (exclusively) while it lives.
class CacheLock {
public:
  explicit CacheLock(const std::string &folder)
      : fd_(::open((folder + "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    if (fd_.Get() < 0) throw std::runtime_error("cannot open the lock of " + folder);
    while (::flock(fd_.Get(), LOCK_EX) != 0)
      if (errno != EINTR) throw std::runtime_error("cannot lock " + folder);
  }

private:
  Fd fd_;
};

std::optional<HostWait> DecodeWait(std::string_view bytes, const std::string &host) {
  if (!bytes.starts_with(kWaitMagic)) return std::nullopt;
  bytes.remove_prefix(kWaitMagic.size());
  HostWait wait;
  bool hostMatches = false;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end + 1);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view name = line.substr(0, space);
    const std::string_view value = line.substr(space + 1);
    if (name == "host") {
      hostMatches = value == host;
    } else if (name == "until" || name == "failures") {
      const auto number = Number(value);
      if (!number || *number < 0) return std::nullopt;
      if (name == "until")
        wait.until = *number;
      else
        wait.failures = static_cast<int>(std::min<std::int64_t>(*number, 64));
    }
  }
  if (!hostMatches) return std::nullopt;
  return wait;
}

} // namespace

std::string EncodeCacheEntry(const CacheEntry &entry) {
  std::string out(kEntryMagic);
  auto field = [&](const char *name, const std::string &value) {
    out += name;
    out += ' ';
    out += value;
    out += '\n';
  };
  field("url", OneLine(entry.url));
  field("etag", OneLine(entry.etag));
  field("last-modified", OneLine(entry.lastModified));
  field("fetched-at", std::to_string(entry.fetchedAt));
  field("fresh-until", std::to_string(entry.freshUntil));
  field("moved-to", OneLine(entry.movedTo));
  field("body-length", std::to_string(entry.body.size()));
  field("body-hash", Hex(Fnv1a(entry.body)));
  out += '\n';
  out += entry.body;
  return out;
}

std::optional<CacheEntry> DecodeCacheEntry(std::string_view bytes, bool withBody) {
  if (!bytes.starts_with(kEntryMagic)) return std::nullopt;
  bytes.remove_prefix(kEntryMagic.size());
  CacheEntry entry;
  std::optional<std::int64_t> length;
  std::string hash;
  bool sawUrl = false;
  for (;;) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end + 1);
    if (line.empty()) break;
    // The writer leaves out a value holding a line break, so a carriage
    // return here means a file it did not write; its etag would otherwise go
    // into a request header as it is.
    if (line.find('\r') != std::string_view::npos) return std::nullopt;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view name = line.substr(0, space);
    const std::string value(line.substr(space + 1));
    if (name == "url") {
      entry.url = value;
      sawUrl = true;
    } else if (name == "etag") {
      entry.etag = value;
    } else if (name == "last-modified") {
      entry.lastModified = value;
    } else if (name == "moved-to") {
      entry.movedTo = value;
    } else if (name == "body-hash") {
      hash = value;
    } else if (name == "fetched-at" || name == "fresh-until" || name == "body-length") {
      const auto number = Number(value);
      if (!number) return std::nullopt;
      // A time beyond the clock's range is not one the fetcher wrote, and
      // would overflow where it tells when the copy was read.
      if (name != "body-length" && (*number > kClockRange || *number < -kClockRange)) return std::nullopt;
      if (name == "fetched-at")
        entry.fetchedAt = *number;
      else if (name == "fresh-until")
        entry.freshUntil = *number;
      else
        length = *number;
    }
    // Names this version does not know are left for a later one.
  }
  if (!sawUrl || entry.url.empty() || !length || *length < 0 || static_cast<std::uint64_t>(*length) != bytes.size())
    return std::nullopt;
  if (hash != Hex(Fnv1a(bytes))) return std::nullopt;
  if (withBody) entry.body.assign(bytes);
  return entry;
}

FeedCache::FeedCache(std::string folder, std::uint64_t maxBytes)
    : folder_(folder.empty() ? DefaultFolder() : std::move(folder)), maxBytes_(maxBytes) {
  if (folder_.back() != '/') folder_ += '/';
}

std::string FeedCache::DefaultFolder() { return platform::UserCacheFolder() + "Quorvelle/"; }

bool FeedCache::RemoveUserCache() {
  std::string folder = DefaultFolder();
  folder.pop_back();
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  if (error) LogMessage("FeedCache.RemoveUserCache: " + folder + ": " + error.message(), 0);
  return !error;
}

std::string FeedCache::EntryPath(const std::string &url) const {
  return folder_ + "feeds/" + Hex(Fnv1a(url)) + ".entry";
}

std::optional<CacheEntry> FeedCache::Load(const std::string &url, bool withBody) const {
  const std::string path = EntryPath(url);
  const std::optional<std::string> bytes = ReadWhole(path);
  if (!bytes) return std::nullopt;
  std::optional<CacheEntry> entry = DecodeCacheEntry(*bytes, withBody);
  // Another address with the same hash, or a foreign file: not ours.
  if (!entry || entry->url != url) return std::nullopt;
  ::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
  return entry;
}

bool FeedCache::Store(const CacheEntry &entry) const {
  try {
    const std::string feeds = folder_ + "feeds";
    MakeFolders(feeds);
    const std::string bytes = EncodeCacheEntry(entry);
    ReplaceFile(feeds, EntryPath(entry.url), bytes);
    const std::uint64_t before = estimate_.load();
    const std::uint64_t after = before == UINT64_MAX ? before : before + bytes.size();
    if (after > maxBytes_) {
      estimate_ = Evict();
    } else {
      estimate_ = after;
    }
    return true;
  } catch (const std::exception &) {
    LogException("FeedCache.Store");
    return false;
  }
}

void FeedCache::Remove(const std::string &url) const { ::unlink(EntryPath(url).c_str()); }

std::uint64_t FeedCache::Evict() const {
  struct File {
    std::string path;
    std::int64_t used;
    std::uint64_t size;
  };
  const std::string feeds = folder_ + "feeds/";
  const CacheLock lock(folder_);
  std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(feeds.c_str()), &::closedir);
  if (!dir) return 0;
  std::vector<File> files;
  std::uint64_t total = 0;
  const std::int64_t now = std::time(nullptr);
  while (const dirent *item = ::readdir(dir.get())) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = feeds + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (name.starts_with(".tmp-")) {
      if (now - st.st_mtime > kStaleTemporarySeconds) ::unlink(path.c_str());
      continue;
    }
    const std::int64_t used = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    files.push_back({path, used, static_cast<std::uint64_t>(st.st_size)});
    total += static_cast<std::uint64_t>(st.st_size);
  }
  if (total <= maxBytes_) return total;
  std::sort(files.begin(), files.end(), [](const File &a, const File &b) { return a.used < b.used; });
  for (const File &file : files) {
    if (total <= maxBytes_) break;
    if (::unlink(file.path.c_str()) == 0) total -= file.size;
  }
  return total;
}

std::optional<HostWait> FeedCache::Wait(const std::string &host) const {
  const std::optional<std::string> bytes = ReadWhole(folder_ + "hosts/" + Hex(Fnv1a(host)) + ".wait");
  if (!bytes) return std::nullopt;
  return DecodeWait(*bytes, host);
}

HostWait FeedCache::NoteBusy(const std::string &host, std::optional<std::int64_t> retryAfter, std::int64_t now) const {
  HostWait wait;
  try {
    const std::string hosts = folder_ + "hosts";
    MakeFolders(hosts);
    const CacheLock lock(folder_);
    const std::optional<HostWait> before = Wait(host);
    if (retryAfter) {
      wait.until = now + std::clamp<std::int64_t>(*retryAfter, 0, kLongestRetryAfterSeconds);
      wait.failures = before ? before->failures : 0;
    } else {
      wait.failures = before ? before->failures + 1 : 1;
      std::int64_t backoff = kFirstBackoffSeconds;
      for (int i = 1; i < wait.failures && backoff < kLongestBackoffSeconds; ++i)
        backoff *= 2;
      wait.until = now + std::min(backoff, kLongestBackoffSeconds);
    }
    const std::string text = std::string(kWaitMagic) + "host " + OneLine(host) + "\nuntil " +
                             std::to_string(wait.until) + "\nfailures " + std::to_string(wait.failures) + "\n";
    ReplaceFile(hosts, folder_ + "hosts/" + Hex(Fnv1a(host)) + ".wait", text);
  } catch (const std::exception &) {
    LogException("FeedCache.NoteBusy");
  }
  return wait;
}

void FeedCache::ClearWait(const std::string &host) const {
  const std::string path = folder_ + "hosts/" + Hex(Fnv1a(host)) + ".wait";
  if (::access(path.c_str(), F_OK) != 0) return;
  try {
    const CacheLock lock(folder_);
    ::unlink(path.c_str());
  } catch (const std::exception &) {
    LogException("FeedCache.ClearWait");
  }
}

} // namespace quorvelle::fetch
