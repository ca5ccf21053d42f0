#include "platform/inet/inet_client.h"

#include "platform/codepage/text_case.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <curl/curl.h>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvelle::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kProtocols = "http,https,ftp";

// Owns one libcurl easy handle.
class CurlHandle {
public:
  CurlHandle() : handle_(curl_easy_init()) {}
  [[nodiscard]] CURL *Get() const noexcept { return handle_.get(); }
  explicit operator bool() const noexcept { return static_cast<bool>(handle_); }

private:
  struct Deleter {
    void operator()(CURL *handle) const noexcept { curl_easy_cleanup(handle); }
  };
  std::unique_ptr<CURL, Deleter> handle_;
};

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The state of one download. The body goes through a fixed-size chunker:
// each chunk is appended up to its first NUL byte, and the deadline is
// checked after each chunk.
// A raw transfer keeps every byte and treats a passed deadline as a failure.
class Transfer {
public:
  explicit Transfer(const CurlInetOptions &options, bool raw = false)
      : options_(options), start_(Clock::now()), raw_(raw) {
    if (!raw_) pending_.reserve(options_.chunkSize);
  }

  // libcurl write callback body; false stops the transfer.
  bool Write(const char *data, std::size_t size) {
    MarkOpened();
    received_ += size;
    if (received_ > options_.maxBytes) {
      tooLarge_ = true;
      return false;
    }
    if (raw_) {
      result_.append(data, size);
      if (Clock::now() > deadline_) {
        deadlinePassed_ = true;
        return false;
      }
      return true;
    }
    const std::size_t chunkSize = std::max<std::size_t>(options_.chunkSize, 1);
    while (size > 0) {
      const std::size_t take = std::min(size, chunkSize - pending_.size());
      pending_.append(data, take);
      data += take;
      size -= take;
      if (pending_.size() == chunkSize && !TakeChunk()) return false;
    }
    return true;
  }

  // A header line of a response; the blank line ends the headers, and the
  // address counts as opened from then (the last response of a redirect
  // chain restarts the clock).
  void Header(std::string_view line) {
    if (line == "\r\n" || line == "\n") {
      opened_ = true;
      deadline_ = Clock::now() + options_.deadline;
    }
  }

  // libcurl progress callback body; false aborts the transfer.
  bool Progress() {
    const Clock::time_point now = Clock::now();
    if (!opened_) {
      if (now - start_ <= options_.connectTimeout + options_.responseTimeout) return true;
      deadlinePassed_ = true;
      return false;
    }
    if (now > deadline_) {
      deadlinePassed_ = true;
      return false;
    }
    return true;
  }

  // The bytes of a raw transfer after it ended with the given code.
  FetchResult FinishRaw(CURLcode code) {
    if (tooLarge_ || code == CURLE_FILESIZE_EXCEEDED) return {FetchStatus::TooLarge, {}};
    if (deadlinePassed_ || code == CURLE_OPERATION_TIMEDOUT) return {FetchStatus::TimedOut, {}};
    if (code != CURLE_OK) return {FetchStatus::Failed, {}, httpStatus};
    return {FetchStatus::Ok, std::move(result_), httpStatus};
  }

  // The status of the last response, set once the transfer ended.
  long httpStatus = 0;

  // The text after the transfer ended with the given code.
  std::string Finish(CURLcode code) {
    if (tooLarge_) return {};
    if (code != CURLE_OK && !deadlinePassed_) return {};
    if (!pending_.empty()) AppendUpToNul(pending_);
    return std::move(result_);
  }

private:
  void MarkOpened() {
    if (!opened_) {
      opened_ = true;
      deadline_ = Clock::now() + options_.deadline;
    }
  }

  void AppendUpToNul(std::string_view chunk) { result_.append(chunk.substr(0, chunk.find('\0'))); }

  bool TakeChunk() {
    AppendUpToNul(pending_);
    pending_.clear();
    if (Clock::now() > deadline_) {
      deadlinePassed_ = true;
      return false;
    }
    return true;
  }

  const CurlInetOptions &options_;
  Clock::time_point start_;
  Clock::time_point deadline_{};
  bool raw_ = false;
  bool opened_ = false;
  bool deadlinePassed_ = false;
  bool tooLarge_ = false;
  std::size_t received_ = 0;
  std::string pending_;
  std::string result_;
};

std::size_t WriteCallback(char *data, std::size_t size, std::size_t count, void *user) {
  auto *transfer = static_cast<Transfer *>(user);
  const std::size_t bytes = size * count;
  try {
    return transfer->Write(data, bytes) ? bytes : 0;
  } catch (...) {
    return 0;
  }
}

std::size_t HeaderCallback(char *data, std::size_t size, std::size_t count, void *user) {
  auto *transfer = static_cast<Transfer *>(user);
  const std::size_t bytes = size * count;
  transfer->Header(std::string_view(data, bytes));
  return bytes;
}

int ProgressCallback(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto *transfer = static_cast<Transfer *>(user);
  return transfer->Progress() ? 0 : 1;
}

std::atomic<InetClient *> gInstalled{nullptr};

// Sets up h to download url into transfer; false when libcurl refused.
bool SetUp(CURL *h, const std::string &url, const CurlInetOptions &options, Transfer &transfer) {
  bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, kProtocols) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols) == CURLE_OK;
  if (!ok) return false;
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, options.maxRedirects);
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeLimit.count()));
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteCallback);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HeaderCallback);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &ProgressCallback);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
  return true;
}

// Sets up one download of url into transfer and runs it; nullopt when
// libcurl could not be set up.
std::optional<CURLcode> Perform(const std::string &url, const CurlInetOptions &options, Transfer &transfer) {
  EnsureCurlInitialised();
  CurlHandle curl;
  if (!curl || !SetUp(curl.Get(), url, options, transfer)) return std::nullopt;
  const CURLcode code = curl_easy_perform(curl.Get());
  long status = 0;
  if (curl_easy_getinfo(curl.Get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) transfer.httpStatus = status;
  return code;
}

} // namespace

bool HasSupportedScheme(const std::string &url) {
  const std::string lowered = LowerCase(url.substr(0, 8));
  return lowered.starts_with("http://") || lowered.starts_with("https://") || lowered.starts_with("ftp://");
}

CurlInetClient::CurlInetClient(CurlInetOptions options) : options_(options) {}

std::string CurlInetClient::GetInetFileToString(const std::string &url) {
  if (!HasSupportedScheme(url)) return {};
  Transfer transfer(options_);
  const auto code = Perform(url, options_, transfer);
  return code ? transfer.Finish(*code) : std::string();
}

FetchResult InetClient::FetchBytes(const std::string &url) {
  std::string text = GetInetFileToString(url);
  if (text.empty()) return {FetchStatus::Failed, {}};
  return {FetchStatus::Ok, std::move(text)};
}

FetchResult CurlInetClient::FetchBytes(const std::string &url) { return CurlFetchBytes(url, options_); }

FetchResult CurlFetchBytes(const std::string &url, const CurlInetOptions &options) {
  if (!HasSupportedScheme(url)) return {FetchStatus::Unsupported, {}};
  Transfer transfer(options, true);
  const auto code = Perform(url, options, transfer);
  return code ? transfer.FinishRaw(*code) : FetchResult{FetchStatus::Failed, {}};
}

// The worker of ConcurrentDownloader: a thread that runs one libcurl multi
// handle. Requests and cancellations arrive under the mutex and wake it.
class ConcurrentDownloader::Worker {
public:
  Worker(CurlInetOptions options, long perHostLimit) : options_(options) {
    EnsureCurlInitialised();
    multi_.reset(curl_multi_init());
    if (multi_) {
      curl_multi_setopt(multi_.get(), CURLMOPT_MAX_HOST_CONNECTIONS, perHostLimit);
      thread_ = std::thread([this] { Run(); });
    }
  }

  ~Worker() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    if (multi_) curl_multi_wakeup(multi_.get());
    if (thread_.joinable()) thread_.join();
  }

  Id Start(const std::string &url, Done done) {
    std::unique_lock lock(mutex_);
    const Id id = ++lastId_;
    if (!multi_ || stopping_) {
      lock.unlock();
      done({FetchStatus::Failed, {}});
      return id;
    }
    if (!HasSupportedScheme(url)) {
      lock.unlock();
      done({FetchStatus::Unsupported, {}});
      return id;
    }
    incoming_.push_back({id, url, std::move(done)});
    ++pending_;
    lock.unlock();
    curl_multi_wakeup(multi_.get());
    return id;
  }

  void Cancel(Id id) {
    {
      std::lock_guard lock(mutex_);
      cancelled_.push_back(id);
    }
    if (multi_) curl_multi_wakeup(multi_.get());
  }

  std::size_t Pending() const {
    std::lock_guard lock(mutex_);
    return pending_;
  }

private:
  struct Request {
    Id id = 0;
    std::string url;
    Done done;
  };
  // One download in flight; Transfer keeps a reference to options.
  struct Download {
    Download(const CurlInetOptions &o, Done d) : options(o), transfer(options, true), done(std::move(d)) {}
    CurlInetOptions options;
    Transfer transfer;
    Done done;
    CurlHandle curl;
  };
  struct MultiDeleter {
    void operator()(CURLM *multi) const noexcept { curl_multi_cleanup(multi); }
  };

  void Run() {
    std::map<Id, std::unique_ptr<Download>> running;
    std::map<CURL *, Id> byHandle;
    auto remove = [&](Id id) {
      const auto it = running.find(id);
      if (it == running.end()) return std::unique_ptr<Download>();
      std::unique_ptr<Download> download = std::move(it->second);
      running.erase(it);
      byHandle.erase(download->curl.Get());
      curl_multi_remove_handle(multi_.get(), download->curl.Get());
      return download;
    };
    for (;;) {
      std::vector<Request> incoming;
      std::vector<Id> cancelled;
      {
        std::lock_guard lock(mutex_);
        if (stopping_) break;
        incoming.swap(incoming_);
        cancelled.swap(cancelled_);
      }
      for (Request &request : incoming) {
        auto download = std::make_unique<Download>(options_, std::move(request.done));
#if LIBCURL_VERSION_NUM >= 0x075700
        // A cancelled download whose host name is still being looked up must
        // not hold up the worker (or the browser's exit) until the lookup ends.
        if (download->curl) curl_easy_setopt(download->curl.Get(), CURLOPT_QUICK_EXIT, 1L);
#endif
        if (!download->curl || !SetUp(download->curl.Get(), request.url, download->options, download->transfer) ||
            curl_multi_add_handle(multi_.get(), download->curl.Get()) != CURLM_OK) {
          Finish(*download, {FetchStatus::Failed, {}});
          continue;
        }
        byHandle[download->curl.Get()] = request.id;
        running[request.id] = std::move(download);
      }
      for (const Id id : cancelled) {
        if (remove(id)) Forget();
      }
      int active = 0;
      curl_multi_perform(multi_.get(), &active);
      int left = 0;
      while (CURLMsg *message = curl_multi_info_read(multi_.get(), &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        const CURLcode code = message->data.result;
        const auto handle = byHandle.find(message->easy_handle);
        if (handle == byHandle.end()) continue;
        std::unique_ptr<Download> download = remove(handle->second);
        Finish(*download, download->transfer.FinishRaw(code));
      }
      curl_multi_poll(multi_.get(), nullptr, 0, 1000, nullptr);
    }
    // Stopping: whatever still runs is dropped without an answer.
    while (!running.empty())
      remove(running.begin()->first);
  }

  // Counts the download as done before its caller hears of it.
  void Finish(Download &download, FetchResult result) {
    Forget();
    try {
      download.done(std::move(result));
    } catch (...) {
      // The caller's callback must not end the worker.
    }
  }

  void Forget() {
    std::lock_guard lock(mutex_);
    if (pending_ > 0) --pending_;
  }

  const CurlInetOptions options_;
  std::unique_ptr<CURLM, MultiDeleter> multi_;
  mutable std::mutex mutex_;
  bool stopping_ = false;
  Id lastId_ = 0;
  std::size_t pending_ = 0;
  std::vector<Request> incoming_;
  std::vector<Id> cancelled_;
  std::thread thread_;
};

ConcurrentDownloader::ConcurrentDownloader(CurlInetOptions options, long perHostLimit)
    : worker_(std::make_unique<Worker>(options, perHostLimit)) {}

ConcurrentDownloader::~ConcurrentDownloader() = default;

ConcurrentDownloader::Id ConcurrentDownloader::Start(const std::string &url, Done done) {
  return worker_->Start(url, std::move(done));
}

void ConcurrentDownloader::Cancel(Id id) { worker_->Cancel(id); }

std::size_t ConcurrentDownloader::Pending() const { return worker_->Pending(); }

InetClient &Inet() {
  if (InetClient *installed = gInstalled.load()) return *installed;
  static CurlInetClient defaultClient;
  return defaultClient;
}

InetClient *InstallInet(InetClient *client) { return gInstalled.exchange(client); }

} // namespace quorvelle::platform
