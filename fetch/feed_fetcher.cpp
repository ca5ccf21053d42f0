#include "fetch/feed_fetcher.h"

#include "fetch/feed_cache.h"
#include "fetch/http_freshness.h"

#include <condition_variable>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quorvelle::fetch {
namespace {

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::chrono::system_clock::time_point TimePoint(std::int64_t seconds) {
  return std::chrono::system_clock::from_time_t(static_cast<std::time_t>(seconds));
}

bool Fresh(const CacheEntry &entry, std::int64_t now) {
  // A clock set back makes nothing fresh for longer than it said.
  return now < entry.freshUntil && entry.fetchedAt <= now;
}

std::string HeaderValue(const std::map<std::string, std::string> &headers, const char *name) {
  const auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

} // namespace

// One worker thread does the cache's reading and writing and every
// delivery; downloads run on the downloader's thread and hand their results
// over to it.
class FeedFetcher::Impl {
public:
  explicit Impl(const FeedFetcherOptions &options)
      : downloader_(std::make_unique<platform::ConcurrentDownloader>(options.download, options.perHostLimit)) {
    if (options.useCache) cache_.emplace(options.cacheFolder, options.cacheBytes);
    thread_ = std::thread([this] { Run(); });
  }

  ~Impl() {
    // The worker stops after the task it is running (it may start a
    // download); then the downloader drops what still runs. Results that
    // arrive meanwhile stay in the queue unread.
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    downloader_.reset();
  }

  Id Start(const std::string &url, FetchMode mode, Deliver deliver) {
    std::lock_guard lock(mutex_);
    const Id id = ++lastId_;
    Job &job = jobs_[id];
    job.url = url;
    job.mode = mode;
    job.deliver = std::move(deliver);
    tasks_.emplace_back([this, id] { Begin(id); });
    wake_.notify_all();
    return id;
  }

  void Cancel(Id id) {
    std::optional<platform::ConcurrentDownloader::Id> download;
    {
      std::lock_guard lock(mutex_);
      const auto it = jobs_.find(id);
      if (it == jobs_.end()) return;
      download = it->second.download;
      jobs_.erase(it);
    }
    if (download && downloader_) downloader_->Cancel(*download);
  }

  std::size_t Pending() const {
    std::lock_guard lock(mutex_);
    return jobs_.size();
  }

private:
  struct Job {
    std::string url;
    FetchMode mode = FetchMode::Normal;
    Deliver deliver;
    std::optional<platform::ConcurrentDownloader::Id> download;
    // Set when the download started: where it went and whether it was
    // conditional (a copy is kept).
    std::string asked;
    bool conditional = false;
    bool retried = false;
  };

  void Run() {
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
        if (stopping_) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      try {
        task();
      } catch (...) {
        // A caller's callback or the disk must not end the worker.
      }
    }
  }

  // A copy of what a job needs, nullopt when it was cancelled.
  std::optional<Job> Peek(Id id) {
    std::lock_guard lock(mutex_);
    const auto it = jobs_.find(id);
    if (it == jobs_.end()) return std::nullopt;
    Job copy;
    copy.url = it->second.url;
    copy.mode = it->second.mode;
    copy.asked = it->second.asked;
    copy.conditional = it->second.conditional;
    copy.retried = it->second.retried;
    return copy;
  }

  // Hands a delivery to the job's caller; a final one ends the job first.
  void Hand(Id id, FeedDelivery delivery) {
    Deliver deliver;
    {
      std::lock_guard lock(mutex_);
      const auto it = jobs_.find(id);
      if (it == jobs_.end()) return;
      if (delivery.final) {
        deliver = std::move(it->second.deliver);
        jobs_.erase(it);
      } else {
        deliver = it->second.deliver;
      }
    }
    if (deliver) deliver(std::move(delivery));
  }

  static FeedDelivery Kept(CacheEntry &entry, bool final, StaleReason stale) {
    FeedDelivery delivery;
    delivery.status = platform::FetchStatus::Ok;
    delivery.bytes = std::move(entry.body);
    delivery.final = final;
    delivery.fromCache = true;
    delivery.readAt = TimePoint(entry.fetchedAt);
    delivery.stale = stale;
    delivery.movedTo = entry.movedTo;
    return delivery;
  }

  void Begin(Id id) {
    const std::optional<Job> job = Peek(id);
    if (!job) return;
    if (!cache_) return Ask(id, job->url, {}, false);
    const std::int64_t now = Now();
    std::optional<CacheEntry> entry = cache_->Load(job->url);
    if (entry && job->mode == FetchMode::Normal && Fresh(*entry, now))
      return Hand(id, Kept(*entry, true, StaleReason::None));
    const std::string asked = entry && !entry->movedTo.empty() ? entry->movedTo : job->url;
    const std::optional<HostWait> wait = cache_->Wait(platform::HostKey(asked));
    if (wait && wait->until > now) {
      if (entry) return Hand(id, Kept(*entry, true, StaleReason::BackingOff));
      FeedDelivery failed;
      failed.stale = StaleReason::BackingOff;
      return Hand(id, std::move(failed));
    }
    std::vector<std::string> headers;
    if (entry) {
      if (!entry->etag.empty()) headers.push_back("If-None-Match: " + entry->etag);
      if (!entry->lastModified.empty()) headers.push_back("If-Modified-Since: " + entry->lastModified);
      Hand(id, Kept(*entry, false, StaleReason::None));
    }
    Ask(id, asked, std::move(headers), entry.has_value());
  }

  void Ask(Id id, const std::string &asked, std::vector<std::string> headers, bool conditional) {
    {
      std::lock_guard lock(mutex_);
      const auto it = jobs_.find(id);
      if (it == jobs_.end()) return;
      it->second.asked = asked;
      it->second.conditional = conditional;
    }
    const auto download = downloader_->Start(
        platform::DownloadRequest{asked, std::move(headers)}, [this, id](platform::FetchResult result) {
          std::lock_guard lock(mutex_);
          tasks_.emplace_back([this, id, result = std::move(result)]() mutable { Complete(id, std::move(result)); });
          wake_.notify_all();
        });
    std::lock_guard lock(mutex_);
    const auto it = jobs_.find(id);
    if (it != jobs_.end()) it->second.download = download;
  }

  void Complete(Id id, platform::FetchResult result) {
    const std::optional<Job> job = Peek(id);
    if (!job) return;
    if (!cache_) {
      FeedDelivery delivery;
      delivery.status = result.status;
      delivery.bytes = std::move(result.bytes);
      delivery.movedTo = result.movedTo;
      return Hand(id, std::move(delivery));
    }
    const std::int64_t now = Now();
    const std::string host = platform::HostKey(job->asked);
    // Where the feed lives now: a new permanent move, else the one known.
    const std::string movedTo = !result.movedTo.empty() ? result.movedTo : job->asked != job->url ? job->asked : "";
    if (result.status == platform::FetchStatus::Ok && result.httpStatus == 304) {
      std::optional<CacheEntry> entry = job->conditional ? cache_->Load(job->url) : std::nullopt;
      if (!entry) {
        // The copy went (another process replaced or evicted it): once more
        // without validators.
        if (job->retried) return Hand(id, FeedDelivery{});
        {
          std::lock_guard lock(mutex_);
          if (const auto it = jobs_.find(id); it != jobs_.end()) it->second.retried = true;
        }
        return Ask(id, job->asked, {}, false);
      }
      cache_->ClearWait(host);
      const Freshness freshness = FreshnessOf(result.headers, now);
      if (const std::string etag = HeaderValue(result.headers, "etag"); !etag.empty()) entry->etag = etag;
      if (const std::string modified = HeaderValue(result.headers, "last-modified"); !modified.empty())
        entry->lastModified = modified;
      entry->fetchedAt = now;
      entry->freshUntil = now + freshness.seconds;
      entry->movedTo = movedTo;
      if (freshness.keep) {
        cache_->Store(*entry);
      } else {
        cache_->Remove(job->url);
      }
      return Hand(id, Kept(*entry, true, StaleReason::None));
    }
    if (result.status == platform::FetchStatus::Ok) {
      cache_->ClearWait(host);
      const Freshness freshness = FreshnessOf(result.headers, now);
      CacheEntry entry;
      entry.url = job->url;
      entry.etag = HeaderValue(result.headers, "etag");
      entry.lastModified = HeaderValue(result.headers, "last-modified");
      entry.fetchedAt = now;
      entry.freshUntil = now + freshness.seconds;
      entry.movedTo = movedTo;
      entry.body = std::move(result.bytes);
      if (freshness.keep) {
        cache_->Store(entry);
      } else {
        cache_->Remove(job->url);
      }
      FeedDelivery delivery;
      delivery.status = platform::FetchStatus::Ok;
      delivery.bytes = std::move(entry.body);
      delivery.movedTo = movedTo;
      return Hand(id, std::move(delivery));
    }
    StaleReason reason = StaleReason::Unreachable;
    if (result.httpStatus == 429 || result.httpStatus == 503) {
      cache_->NoteBusy(host, RetryAfterSeconds(HeaderValue(result.headers, "retry-after"), now), now);
      reason = StaleReason::BackingOff;
    }
    if (result.status != platform::FetchStatus::Unsupported) {
      if (std::optional<CacheEntry> entry = cache_->Load(job->url)) return Hand(id, Kept(*entry, true, reason));
    }
    FeedDelivery failed;
    failed.status = result.status;
    failed.stale = reason == StaleReason::BackingOff ? reason : StaleReason::None;
    failed.movedTo = movedTo;
    Hand(id, std::move(failed));
  }

  std::optional<FeedCache> cache_;
  std::unique_ptr<platform::ConcurrentDownloader> downloader_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  std::map<Id, Job> jobs_;
  Id lastId_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

FeedFetcher::FeedFetcher(FeedFetcherOptions options) : impl_(std::make_unique<Impl>(options)) {}

FeedFetcher::~FeedFetcher() = default;

FeedFetcher::Id FeedFetcher::Start(const std::string &url, FetchMode mode, Deliver deliver) {
  return impl_->Start(url, mode, std::move(deliver));
}

void FeedFetcher::Cancel(Id id) { impl_->Cancel(id); }

std::size_t FeedFetcher::Pending() const { return impl_->Pending(); }

} // namespace quorvelle::fetch
