#pragma once
// The feed proxy that the report pages use: "quorvelle-feed:?url=<address>".
// A report page is a file:// page and may not read an http feed itself, so
// the browser fetches the feed for it. It answers only pages loaded from
// file://, fetches only http, https and ftp addresses, caps the size and
// hands back the feed's bytes unchanged; the download runs on a worker
// thread, never on the window's thread.

#include "platform/inet/inet_client.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>
#include <functional>
#include <memory>

namespace quorvelle::host {

inline constexpr const char *kFeedProxyScheme = "quorvelle-feed";
// Content type of the proxy's answer to a report page whose feed could not be
// handed over; the body is the status ("403", "413", "502").
inline constexpr const char *kProxyErrorContentType = "application/x-quorvelle-proxy-error";

// Registers the scheme with the web engine; must run before the
// application object is created.
void RegisterFeedProxyScheme();

// What to do with one proxy request: fetch feedAddress (status 0), or
// answer with an HTTP-like status (403 refused).
struct FeedProxyDecision {
  int status = 0;
  QString feedAddress;
};

// 403 unless the initiator is a file:// page, the request carries one url
// parameter and that address is http, https or ftp.
FeedProxyDecision DecideFeedRequest(const QUrl &requestUrl, const QUrl &initiator);

// The status a finished download is answered with: 200, 403 (unsupported),
// 413 (too large), 502 (failed).
int StatusOfFetch(platform::FetchStatus status);

class FeedProxySchemeHandler : public QWebEngineUrlSchemeHandler {
  Q_OBJECT

public:
  // fetch downloads one address; the default is the libcurl raw fetch with a
  // 32 MiB cap. It runs on a worker thread.
  using Fetcher = std::function<platform::FetchResult(const std::string &url)>;
  explicit FeedProxySchemeHandler(QObject *parent = nullptr, Fetcher fetch = {});

  void requestStarted(QWebEngineUrlRequestJob *job) override;

  // The largest feed handed to a page.
  static constexpr std::size_t kMaxFeedBytes = 32U * 1024U * 1024U;

private:
  Fetcher fetch_;
};

} // namespace quorvelle::host
