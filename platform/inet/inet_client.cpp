#include "platform/inet/inet_client.h"

#include "platform/codepage/text_case.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <curl/curl.h>
#include <iterator>
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

#ifndef QUORVELLE_VERSION
#define QUORVELLE_VERSION "0"
#endif
// The project's address, as the desktop metadata gives it.
constexpr const char *kProjectAddress = "https://tolvane.net/quorvelle/";

// The ports browsers refuse to connect to (the fetch standard's "bad port"
// list): services that a crafted request could talk to in their protocol.
constexpr long kRefusedPorts[] = {0,    1,    7,    9,    11,   13,   15,   17,   19,   20,   21,   22,   23,   25,
                                  37,   42,   43,   53,   69,   77,   79,   87,   95,   101,  102,  103,  104,  109,
                                  110,  111,  113,  115,  117,  119,  123,  135,  137,  139,  143,  161,  179,  389,
                                  427,  465,  512,  513,  514,  515,  526,  530,  531,  532,  540,  548,  554,  556,
                                  563,  587,  601,  636,  989,  990,  993,  995,  1719, 1720, 1723, 2049, 3659, 4045,
                                  4190, 5060, 5061, 6000, 6566, 6665, 6666, 6667, 6668, 6669, 6679, 6697, 10080};

struct UrlDeleter {
  void operator()(CURLU *url) const noexcept { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
  void operator()(char *text) const noexcept { curl_free(text); }
};

// The address's scheme (lower case) and port (the scheme's default when it
// names none); nullopt when libcurl cannot read it. base resolves a relative
// address first.
std::optional<std::pair<std::string, long>> SchemeAndPort(const std::string &url, const std::string &base = {}) {
  const std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
  if (!handle) return std::nullopt;
  if (!base.empty() && curl_url_set(handle.get(), CURLUPART_URL, base.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
    return std::nullopt;
  if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
    return std::nullopt;
  char *scheme = nullptr;
  char *port = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return std::nullopt;
  const std::unique_ptr<char, CurlTextDeleter> schemeText(scheme);
  if (curl_url_get(handle.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) != CURLUE_OK) {
    return std::pair<std::string, long>{LowerCase(scheme), -1};
  }
  const std::unique_ptr<char, CurlTextDeleter> portText(port);
  char *end = nullptr;
  const long number = std::strtol(port, &end, 10);
  return std::pair<std::string, long>{LowerCase(scheme), end != nullptr && *end == '\0' ? number : -1};
}

bool PortAllowed(const std::string &scheme, long port) {
  if (port < 0) return true;
  if (scheme == "ftp" && (port == 20 || port == 21)) return true;
  return std::find(std::begin(kRefusedPorts), std::end(kRefusedPorts), port) == std::end(kRefusedPorts);
}

// "Name: value" as a lower-cased name and a trimmed value.
std::optional<std::pair<std::string, std::string>> HeaderField(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.remove_suffix(1);
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
    value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
    value.remove_suffix(1);
  return std::pair<std::string, std::string>{LowerCase(std::string(line.substr(0, colon))), std::string(value)};
}

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

  // The handle that runs this transfer (for the address being read).
  void SetHandle(CURL *handle) { handle_ = handle; }
  // Notes the address that answered last and lets go of the handle; called
  // when the transfer has ended, before the handle goes.
  void Ended() {
    char *effective = nullptr;
    if (handle_ != nullptr && curl_easy_getinfo(handle_, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
        effective != nullptr)
      finalUrl_ = effective;
    handle_ = nullptr;
  }

  // libcurl write callback body; false stops the transfer.
  bool Write(const char *data, std::size_t size) {
    // An error status is a failed download: its body is not read.
    if (httpStatus_ >= 400) return false;
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

  // A header line of a response; false stops the transfer. The blank line
  // ends the headers, and the address counts as opened from then (the last
  // response of a redirect chain restarts the clock; an interim 1xx answer
  // does not).
  bool Header(std::string_view line) {
    if (line.starts_with("HTTP/")) {
      const std::size_t space = line.find(' ');
      httpStatus_ = space == std::string_view::npos ? 0 : std::atol(std::string(line.substr(space + 1, 3)).c_str());
      headers_.clear();
      return true;
    }
    if (line == "\r\n" || line == "\n") {
      if (httpStatus_ >= 100 && httpStatus_ < 200) return true;
      if (httpStatus_ >= 300 && httpStatus_ < 400 && httpStatus_ != 304 && headers_.contains("location"))
        return Redirect();
      opened_ = true;
      deadline_ = Clock::now() + options_.deadline;
      return true;
    }
    if (auto field = HeaderField(line)) {
      std::string &value = headers_[field->first];
      if (field->first == "cache-control" && !value.empty()) {
        value += ", " + field->second;
      } else {
        value = std::move(field->second);
      }
    }
    return true;
  }

  // libcurl progress callback body; false aborts the transfer.
  bool Progress() {
    const Clock::time_point now = Clock::now();
    if (PastTotalLimit(now)) return false;
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
    FetchResult result;
    result.httpStatus = httpStatus_;
    result.headers = std::move(headers_);
    if (httpStatus_ > 0) {
      result.finalUrl = finalUrl_;
      if (redirects_ > 0 && permanent_) result.movedTo = finalUrl_;
    }
    if (refused_) {
      result.status = FetchStatus::Unsupported;
    } else if (tooLarge_ || code == CURLE_FILESIZE_EXCEEDED) {
      result.status = FetchStatus::TooLarge;
    } else if (deadlinePassed_ || code == CURLE_OPERATION_TIMEDOUT) {
      result.status = FetchStatus::TimedOut;
    } else if (code != CURLE_OK || httpStatus_ >= 400) {
      result.status = FetchStatus::Failed;
    } else {
      result.status = FetchStatus::Ok;
      result.bytes = std::move(result_);
    }
    return result;
  }

  // The text after the transfer ended with the given code.
  std::string Finish(CURLcode code) {
    if (tooLarge_ || refused_ || httpStatus_ >= 400) return {};
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

  bool PastTotalLimit(Clock::time_point now) {
    if (options_.totalLimit.count() <= 0 || now - start_ <= options_.totalLimit) return false;
    deadlinePassed_ = true;
    return true;
  }

  // The end of a redirect's headers: the next address must be on an allowed
  // port; a chain is permanent while every step is.
  bool Redirect() {
    ++redirects_;
    if (httpStatus_ != 301 && httpStatus_ != 308) permanent_ = false;
    std::string base;
    char *effective = nullptr;
    if (handle_ != nullptr && curl_easy_getinfo(handle_, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
        effective != nullptr)
      base = effective;
    const auto target = SchemeAndPort(headers_["location"], base);
    if (target && !PortAllowed(target->first, target->second)) {
      refused_ = true;
      return false;
    }
    return true;
  }

  bool TakeChunk() {
    AppendUpToNul(pending_);
    pending_.clear();
    if (PastTotalLimit(Clock::now())) return false;
    if (Clock::now() > deadline_) {
      deadlinePassed_ = true;
      return false;
    }
    return true;
  }

  const CurlInetOptions &options_;
  Clock::time_point start_;
  Clock::time_point deadline_{};
  CURL *handle_ = nullptr;
  std::string finalUrl_;
  long httpStatus_ = 0;
  std::map<std::string, std::string> headers_;
  int redirects_ = 0;
  bool permanent_ = true;
  bool refused_ = false;
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
  try {
    return transfer->Header(std::string_view(data, bytes)) ? bytes : 0;
  } catch (...) {
    return 0;
  }
}

int ProgressCallback(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto *transfer = static_cast<Transfer *>(user);
  return transfer->Progress() ? 0 : 1;
}

std::atomic<InetClient *> gInstalled{nullptr};

// Owns a libcurl header list.
class HeaderList {
public:
  explicit HeaderList(const std::vector<std::string> &lines) {
    for (const std::string &line : lines) {
      curl_slist *grown = curl_slist_append(list_.get(), line.c_str());
      if (grown == nullptr) break;
      list_.release();
      list_.reset(grown);
    }
  }
  [[nodiscard]] curl_slist *Get() const noexcept { return list_.get(); }

private:
  struct Deleter {
    void operator()(curl_slist *list) const noexcept { curl_slist_free_all(list); }
  };
  std::unique_ptr<curl_slist, Deleter> list_;
};

// Sets up h to download url into transfer; false when libcurl refused.
// headers must outlive the transfer.
bool SetUp(CURL *h, const std::string &url, const CurlInetOptions &options, Transfer &transfer,
           const HeaderList *headers = nullptr) {
  transfer.SetHandle(h);
  bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, kProtocols) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols) == CURLE_OK;
  if (!ok) return false;
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, options.maxRedirects);
  curl_easy_setopt(h, CURLOPT_USERAGENT, UserAgent().c_str());
  if (headers != nullptr && headers->Get() != nullptr) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers->Get());
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
std::optional<CURLcode> Perform(const std::string &url, const CurlInetOptions &options, Transfer &transfer,
                                const std::vector<std::string> &headerLines = {}) {
  EnsureCurlInitialised();
  CurlHandle curl;
  const HeaderList headers(headerLines);
  if (!curl || !SetUp(curl.Get(), url, options, transfer, &headers)) return std::nullopt;
  const CURLcode code = curl_easy_perform(curl.Get());
  transfer.Ended();
  return code;
}

// A download that must not start: not http, https or ftp, or a refused port.
bool Refused(const std::string &url) { return !HasSupportedScheme(url) || !IsAllowedPort(url); }

} // namespace

bool HasSupportedScheme(const std::string &url) {
  const std::string lowered = LowerCase(url.substr(0, 8));
  return lowered.starts_with("http://") || lowered.starts_with("https://") || lowered.starts_with("ftp://");
}

const std::string &UserAgent() {
  static const std::string agent = std::string("Quorvelle/") + QUORVELLE_VERSION + " (+" + kProjectAddress + ")";
  return agent;
}

bool IsAllowedPort(const std::string &url) {
  const auto target = SchemeAndPort(url);
  return !target || PortAllowed(target->first, target->second);
}

std::string HostKey(const std::string &url) {
  const std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
  char *host = nullptr;
  char *port = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) return {};
  const std::unique_ptr<char, CurlTextDeleter> hostText(host);
  if (curl_url_get(handle.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) != CURLUE_OK) return LowerCase(host);
  const std::unique_ptr<char, CurlTextDeleter> portText(port);
  return LowerCase(host) + ":" + port;
}

bool NamesHost(const std::string &url) {
  const std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
  char *host = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) return false;
  const std::unique_ptr<char, CurlTextDeleter> hostText(host);
  return *host != '\0';
}

std::optional<std::int64_t> ParseHttpDate(std::string_view text) {
  const std::string date(text);
  if (date.empty()) return std::nullopt;
  const time_t seconds = curl_getdate(date.c_str(), nullptr);
  if (seconds == -1) return std::nullopt;
  return static_cast<std::int64_t>(seconds);
}

CurlInetClient::CurlInetClient(CurlInetOptions options) : options_(options) {}

std::string CurlInetClient::GetInetFileToString(const std::string &url) {
  if (Refused(url)) return {};
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
  return CurlFetchBytes(DownloadRequest{url, {}}, options);
}

FetchResult CurlFetchBytes(const DownloadRequest &request, const CurlInetOptions &options) {
  if (Refused(request.url)) return {FetchStatus::Unsupported, {}};
  Transfer transfer(options, true);
  std::optional<CURLcode> code = Perform(request.url, options, transfer, request.headers);
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

  Id Start(DownloadRequest request, Done done) {
    std::unique_lock lock(mutex_);
    const Id id = ++lastId_;
    if (!multi_ || stopping_) {
      lock.unlock();
      done({FetchStatus::Failed, {}});
      return id;
    }
    if (Refused(request.url)) {
      lock.unlock();
      done({FetchStatus::Unsupported, {}});
      return id;
    }
    incoming_.push_back({id, std::move(request), std::move(done)});
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
    DownloadRequest request;
    Done done;
  };
  // One download in flight; Transfer keeps a reference to options.
  struct Download {
    Download(const CurlInetOptions &o, const std::vector<std::string> &lines, Done d)
        : options(o), transfer(options, true), done(std::move(d)), headers(lines) {}
    CurlInetOptions options;
    Transfer transfer;
    Done done;
    HeaderList headers;
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
        auto download = std::make_unique<Download>(options_, request.request.headers, std::move(request.done));
#if LIBCURL_VERSION_NUM >= 0x075700
        // A cancelled download whose host name is still being looked up must
        // not hold up the worker (or the browser's exit) until the lookup ends.
        if (download->curl) curl_easy_setopt(download->curl.Get(), CURLOPT_QUICK_EXIT, 1L);
#endif
        if (!download->curl ||
            !SetUp(download->curl.Get(), request.request.url, download->options, download->transfer,
                   &download->headers) ||
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
        download->transfer.Ended();
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
  return worker_->Start(DownloadRequest{url, {}}, std::move(done));
}

ConcurrentDownloader::Id ConcurrentDownloader::Start(DownloadRequest request, Done done) {
  return worker_->Start(std::move(request), std::move(done));
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
