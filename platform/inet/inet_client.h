#pragma once
// Downloads of feeds and feed lists, behind one small interface so tests can
// put a canned client in place of the network.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvelle::platform {

// True for the addresses downloads accept: http, https and ftp.
bool HasSupportedScheme(const std::string &url);

// "Quorvelle/<version> (+<the project's address>)": sent as the User-Agent of
// every request the product makes.
const std::string &UserAgent();

// False for an address on a port that browsers refuse to connect to (the
// ports of mail, shell, name, file-sharing and chat services, where a crafted
// request could talk to another protocol), whatever the scheme or host,
// loopback included; ftp may still use its own ports 20 and 21. True for an
// address without a port or one that cannot be read (its download fails on
// its own).
bool IsAllowedPort(const std::string &url);

// The server an address names, as "host:port" in lower case (the scheme's
// default port when it names none); "" when the address cannot be read.
std::string HostKey(const std::string &url);

// True when the address reads as a URL that names a host (not an empty one);
// false for text that is no address or a relative one.
bool NamesHost(const std::string &url);

// An HTTP date (the three forms HTTP allows) as seconds since the epoch.
std::optional<std::int64_t> ParseHttpDate(std::string_view text);

enum class FetchStatus {
  Ok,
  Unsupported, // not an http, https or ftp address, or a refused port
  TooLarge,    // larger than maxBytes
  TimedOut,    // a time limit passed before the whole body arrived
  Failed,      // unreachable, an error status or a network error
};

struct FetchResult {
  FetchResult(FetchStatus fetchStatus = FetchStatus::Failed, std::string body = {})
      : status(fetchStatus), bytes(std::move(body)) {}

  FetchStatus status = FetchStatus::Failed;
  std::string bytes; // the whole body, every byte kept (Ok only)
  // The last response's HTTP status (200, 304, 429, 503...); 0 when no HTTP
  // response arrived (ftp, an unreachable server).
  long httpStatus = 0;
  // The last response's headers, names lower-cased (etag, last-modified,
  // cache-control, expires, age, date, retry-after...); the last of repeated
  // names wins, except cache-control, whose values are joined with ", ".
  std::map<std::string, std::string> headers;
  // The address that answered last (after redirects); "" when none did.
  std::string finalUrl;
  // That address when it was reached through redirects that were all
  // permanent (301, 308), else "".
  std::string movedTo;
};

// A download with extra request header lines ("If-None-Match: ...").
struct DownloadRequest {
  std::string url;
  std::vector<std::string> headers;
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
  // A hard limit on the whole download, from the moment it started, that no
  // server answer extends (a train of "102 Processing" interim answers
  // included): what connectTimeout and responseTimeout add up to by default.
  std::chrono::milliseconds totalLimit{40000};
};

// libcurl client: http, https and ftp only (redirects too), the ports
// browsers allow only, our User-Agent, compressed transfers, proxy from the
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
// CurlInetClient (schemes, ports, redirects, timeouts, size cap, error
// statuses). Unlike the text form, a transfer cut off by the deadline is a
// failure. Safe to call from any thread.
FetchResult CurlFetchBytes(const std::string &url, const CurlInetOptions &options = {});
FetchResult CurlFetchBytes(const DownloadRequest &request, const CurlInetOptions &options = {});

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
  // Connections to a host are kept open and reused by later downloads.
  Id Start(const std::string &url, Done done);
  Id Start(DownloadRequest request, Done done);
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
