#pragma once
// Downloads of feeds and feed lists, behind one small interface so tests can
// put a canned client in place of the network.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quorvelle::platform {

// True for the addresses downloads accept: http, https and ftp.
bool HasSupportedScheme(const std::string &url);

enum class FetchStatus {
  Ok,
  Unsupported, // not an http, https or ftp address
  TooLarge,    // larger than maxBytes
  TimedOut,    // a time limit passed before the whole body arrived
  Failed,      // unreachable, an error status or a network error
};

struct FetchResult {
  FetchStatus status = FetchStatus::Failed;
  std::string bytes; // the whole body, every byte kept (Ok only)
  // The status of the last response when a server answered over HTTP
  // (404 for a missing page), else 0.
  long httpStatus = 0;
};

class InetClient {
public:
  virtual ~InetClient() = default;
  // The body of the resource as text; "" on any failure. Never throws for a
  // network failure.
  virtual std::string GetInetFileToString(const std::string &url) = 0;
  // The body as raw bytes (NUL bytes kept) with how the download went. This
  // default takes GetInetFileToString's text (an empty one as Failed).
  virtual FetchResult FetchBytes(const std::string &url);
};

// The client in use: the installed one, else a process-wide CurlInetClient.
InetClient &Inet();

// Makes client the one Inet() returns (nullptr puts the default back) and
// returns the one installed before. The caller keeps ownership.
InetClient *InstallInet(InetClient *client);

struct CurlInetOptions {
  // Reading stops after the chunk during which this much time has passed
  // since the address was opened (the response headers arrived); the text
  // read so far is then the result. A transfer that stalls past it is cut
  // off at that moment.
  std::chrono::milliseconds deadline{10000};
  // Time allowed to connect, and then to get the response headers.
  std::chrono::milliseconds connectTimeout{10000};
  std::chrono::milliseconds responseTimeout{30000};
  // A body larger than this is a failed download.
  std::size_t maxBytes = std::size_t{32} * 1024 * 1024;
  // The body is appended in chunks of this size, each up to its first NUL byte.
  std::size_t chunkSize = 1026;
  long maxRedirects = 10;
  // The whole download, from the moment it was asked for (time spent waiting
  // for a free connection included), ends after this long; 0 sets no limit.
  std::chrono::milliseconds timeLimit{0};
};

// libcurl client: http, https and ftp only (redirects too), proxy from the
// environment, nothing cached, no user interface. An HTTP error status
// (4xx, 5xx) is a failed download.
class CurlInetClient : public InetClient {
public:
  explicit CurlInetClient(CurlInetOptions options = {});
  std::string GetInetFileToString(const std::string &url) override;
  // CurlFetchBytes with these options.
  FetchResult FetchBytes(const std::string &url) override;
  [[nodiscard]] const CurlInetOptions &Options() const { return options_; }

private:
  CurlInetOptions options_;
};

// The body of url as raw bytes, with the same libcurl set-up as
// CurlInetClient (schemes, redirects, timeouts, size cap, error statuses).
// Unlike the text form, a transfer cut off by the deadline is a failure.
// Safe to call from any thread.
FetchResult CurlFetchBytes(const std::string &url, const CurlInetOptions &options = {});

// Raw downloads like CurlFetchBytes, many at once, all on one worker thread
// (libcurl's multi interface): how many run side by side does not depend on
// the number of processor cores, at most perHostLimit connections go to one
// host (the rest wait for a free one), and a slow or silent server holds up
// only its own downloads. Destroying the object cancels what is still
// running without waiting for any server.
class ConcurrentDownloader {
public:
  // Called once on the worker thread with the result, unless the download
  // was cancelled first.
  using Done = std::function<void(FetchResult)>;
  using Id = std::uint64_t;

  explicit ConcurrentDownloader(CurlInetOptions options = {}, long perHostLimit = 6);
  ~ConcurrentDownloader();
  ConcurrentDownloader(const ConcurrentDownloader &) = delete;
  ConcurrentDownloader &operator=(const ConcurrentDownloader &) = delete;

  // Queues a download; done runs with its result. Safe from any thread.
  Id Start(const std::string &url, Done done);
  // Stops a download; its done is not called afterwards (one already running
  // on the worker thread finishes). Unknown or finished ids are ignored.
  void Cancel(Id id);
  // Downloads started and neither finished nor cancelled.
  [[nodiscard]] std::size_t Pending() const;

private:
  class Worker;
  std::unique_ptr<Worker> worker_;
};

} // namespace quorvelle::platform
