#pragma once
// Downloads of feeds and feed lists, behind one small interface so tests can
// put a canned client in place of the network.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace quorvelle::platform {

class InetClient {
public:
  virtual ~InetClient() = default;
  // The body of the resource as text; "" on any failure. Never throws for a
  // network failure.
  virtual std::string GetInetFileToString(const std::string &url) = 0;
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
  std::size_t maxBytes = 32U * 1024U * 1024U;
  // The body is appended in chunks of this size, each up to its first NUL byte.
  std::size_t chunkSize = 1026;
  long maxRedirects = 10;
};

// libcurl client: http, https and ftp only (redirects too), proxy from the
// environment, nothing cached, no user interface. An HTTP error status
// (4xx, 5xx) is a failed download.
class CurlInetClient : public InetClient {
public:
  explicit CurlInetClient(CurlInetOptions options = {});
  std::string GetInetFileToString(const std::string &url) override;
  [[nodiscard]] const CurlInetOptions &Options() const { return options_; }

private:
  CurlInetOptions options_;
};

enum class FetchStatus {
  Ok,
  Unsupported, // not an http, https or ftp address
  TooLarge,    // larger than maxBytes
  Failed,      // unreachable, an error status, a network error or the deadline passed
};

struct FetchResult {
  FetchStatus status = FetchStatus::Failed;
  std::string bytes; // the whole body, every byte kept (Ok only)
};

// The body of url as raw bytes, with the same libcurl set-up as
// CurlInetClient (schemes, redirects, timeouts, size cap, error statuses).
// Unlike the text form, a transfer cut off by the deadline is a failure.
// Safe to call from any thread.
FetchResult CurlFetchBytes(const std::string &url, const CurlInetOptions &options = {});

} // namespace quorvelle::platform
