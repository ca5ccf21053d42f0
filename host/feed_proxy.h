#pragma once
// The feed proxy that the report pages use: "quorvelle-feed:?url=<address>",
// and the report rendered by the browser itself:
// "quorvelle-feed:?report=<page address>[&reload=1]" answers the page's frame
// (JSON: content, session) at once and starts every feed of the page;
// "quorvelle-feed:?session=<id>&after=<n>" answers the boxes that arrived
// after the first n (JSON: boxes, next, done), waiting until there is one.
// A report page is a file:// page and may not read an http feed itself, so
// the browser fetches the feed for it. Only pages of the installation's
// report folder may use it, as the browser itself sees them (never from
// anything a request carries); it fetches only http, https and ftp
// addresses, caps the size and hands back the feed's bytes unchanged. All
// downloads run side by side on one worker thread, at most a few to one
// host, and are cancelled when the page that asked goes away.

#include "fetch/feed_fetcher.h"
#include "platform/inet/inet_client.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>
#include <chrono>
#include <memory>

class QWebEnginePage;

namespace quorvelle::host {

inline constexpr const char *kFeedProxyScheme = "quorvelle-feed";
// Content type of the proxy's answer to a report page whose feed could not be
// handed over; the body is the status ("403", "413", "502", "504").
inline constexpr const char *kProxyErrorContentType = "application/x-quorvelle-proxy-error";
// How long one feed may take, from the page's request to its last byte. The
// report's script waits a little longer, so the proxy's answer always
// decides what the page shows.
inline constexpr std::chrono::milliseconds kFeedTimeLimit{30000};
// Connections to one host at a time, as a browser keeps them.
inline constexpr long kFeedsPerHost = 6;

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
// 413 (too large), 504 (timed out), 502 (failed).
int StatusOfFetch(platform::FetchStatus status);

// True when pageUrl is a local file inside reportFolder (a path ending in
// '/'), after "." and ".." steps are resolved.
bool IsInsideReportFolder(const QUrl &pageUrl, const QString &reportFolder);

// The installation's report folder: the setting AppPath + "headlines/".
QString InstalledReportFolder();

class FeedProxySchemeHandler : public QWebEngineUrlSchemeHandler {
  Q_OBJECT

public:
  // reportFolder: the folder whose pages may use the proxy; empty reads the
  // installation's (InstalledReportFolder) whenever a page asks.
  explicit FeedProxySchemeHandler(QObject *parent = nullptr, platform::CurlInetOptions options = DownloadOptions(),
                                  QString reportFolder = {});
  ~FeedProxySchemeHandler() override;

  void requestStarted(QWebEngineUrlRequestJob *job) override;

  // Lets page's report pages use the proxy: the browser checks every proxy
  // request of the page against the address it shows. Requests of pages
  // not watched get the plain network error.
  void WatchPage(QWebEnginePage *page);

  // Downloads still running.
  [[nodiscard]] std::size_t PendingDownloads() const { return fetcher_->Pending(); }
  // Report pages whose boxes are still being handed over.
  [[nodiscard]] std::size_t OpenReports() const { return static_cast<std::size_t>(sessions_.size()); }

  // The largest feed handed to a page.
  static constexpr std::size_t kMaxFeedBytes = std::size_t{32} * 1024 * 1024;
  static platform::CurlInetOptions DownloadOptions();

private:
  friend class ReportPageInterceptor;
  [[nodiscard]] bool IsReportPage(const QUrl &pageUrl) const;
  void Allow(const QUrl &requestUrl);
  bool TakeAllowance(const QUrl &requestUrl);

  QString reportFolder_;
  // Proxy requests a report page made that have not reached the handler yet,
  // with the time each was seen (one that never arrives is forgotten).
  QHash<QUrl, QList<qint64>> allowed_;
  QElapsedTimer clock_;

  struct ReportSession;
  void AnswerFrame(QWebEngineUrlRequestJob *job, const QUrl &pageUrl, bool reload);
  void AnswerPoll(QWebEngineUrlRequestJob *job, const QString &id, qsizetype after);
  void BoxArrived(const QString &id, QByteArray box, bool final);
  void HandOver(const QString &id);
  void CloseReport(const QString &id);
  void PruneReports();
  QHash<QString, std::shared_ptr<ReportSession>> sessions_;
  // Last: destroyed first, so no delivery runs once the rest is gone.
  std::unique_ptr<fetch::FeedFetcher> fetcher_;
};

// Lets page use the feed proxy installed on its profile, if there is one.
void LetReportPagesUseFeedProxy(QWebEnginePage *page);

} // namespace quorvelle::host
