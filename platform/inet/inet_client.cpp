#include "platform/inet/inet_client.h"

#include "platform/codepage/text_case.h"

#include <algorithm>
#include <atomic>
#include <curl/curl.h>
#include <mutex>
#include <optional>
#include <string_view>

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

bool HasSupportedScheme(const std::string &url) {
  const std::string lowered = LowerCase(url.substr(0, 8));
  return lowered.starts_with("http://") || lowered.starts_with("https://") || lowered.starts_with("ftp://");
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
    if (!opened_) return now - start_ <= options_.connectTimeout + options_.responseTimeout;
    if (now > deadline_) {
      deadlinePassed_ = true;
      return false;
    }
    return true;
  }

  // The bytes of a raw transfer after it ended with the given code.
  FetchResult FinishRaw(CURLcode code) {
    if (tooLarge_ || code == CURLE_FILESIZE_EXCEEDED) return {FetchStatus::TooLarge, {}};
    if (code != CURLE_OK || deadlinePassed_) return {FetchStatus::Failed, {}};
    return {FetchStatus::Ok, std::move(result_)};
  }

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

// Sets up one download of url into transfer and runs it; nullopt when
// libcurl could not be set up.
std::optional<CURLcode> Perform(const std::string &url, const CurlInetOptions &options, Transfer &transfer) {
  EnsureCurlInitialised();
  CurlHandle curl;
  if (!curl) return std::nullopt;
  CURL *h = curl.Get();
  bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, kProtocols) == CURLE_OK &&
            curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, kProtocols) == CURLE_OK;
  if (!ok) return std::nullopt;
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, options.maxRedirects);
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteCallback);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HeaderCallback);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &ProgressCallback);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
  return curl_easy_perform(h);
}

} // namespace

CurlInetClient::CurlInetClient(CurlInetOptions options) : options_(options) {}

std::string CurlInetClient::GetInetFileToString(const std::string &url) {
  if (!HasSupportedScheme(url)) return {};
  Transfer transfer(options_);
  const auto code = Perform(url, options_, transfer);
  return code ? transfer.Finish(*code) : std::string();
}

FetchResult CurlFetchBytes(const std::string &url, const CurlInetOptions &options) {
  if (!HasSupportedScheme(url)) return {FetchStatus::Unsupported, {}};
  Transfer transfer(options, true);
  const auto code = Perform(url, options, transfer);
  return code ? transfer.FinishRaw(*code) : FetchResult{FetchStatus::Failed, {}};
}

InetClient &Inet() {
  if (InetClient *installed = gInstalled.load()) return *installed;
  static CurlInetClient defaultClient;
  return defaultClient;
}

InetClient *InstallInet(InetClient *client) { return gInstalled.exchange(client); }

} // namespace quorvelle::platform
