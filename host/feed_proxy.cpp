#include "host/feed_proxy.h"

#include "feeds/feed_store.h"
#include "platform/files/file_io.h"
#include "platform/registry/registry.h"
#include "platform/shell/known_folders.h"
#include "support/debug_log.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QUrlQuery>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace quorvelle::host {

void RegisterFeedProxyScheme() {
  QWebEngineUrlScheme scheme(kFeedProxyScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                  QWebEngineUrlScheme::CorsEnabled);
  QWebEngineUrlScheme::registerScheme(scheme);
}

FeedProxyDecision DecideFeedRequest(const QUrl &requestUrl, const QUrl &initiator) {
  FeedProxyDecision refused{403, {}};
  if (initiator.scheme() != QLatin1String("file")) return refused;
  if (requestUrl.scheme() != QLatin1String(kFeedProxyScheme)) return refused;
  const QUrlQuery query(requestUrl.query(QUrl::FullyEncoded));
  const QStringList values = query.allQueryItemValues(QStringLiteral("url"), QUrl::FullyDecoded);
  if (values.size() != 1) return refused;
  const QString &address = values.front();
  const QUrl feed(address, QUrl::StrictMode);
  const QString scheme = feed.scheme().toLower();
  if (!feed.isValid() || feed.host().isEmpty() ||
      (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("ftp"))) {
    return refused;
  }
  return {0, address};
}

int StatusOfFetch(platform::FetchStatus status) {
  switch (status) {
  case platform::FetchStatus::Ok: return 200;
  case platform::FetchStatus::Unsupported: return 403;
  case platform::FetchStatus::TooLarge: return 413;
  case platform::FetchStatus::TimedOut: return 504;
  case platform::FetchStatus::Failed: break;
  }
  return 502;
}

bool IsInsideReportFolder(const QUrl &pageUrl, const QString &reportFolder) {
  if (!pageUrl.isLocalFile() || !reportFolder.endsWith(QLatin1Char('/')) || !pageUrl.host().isEmpty()) return false;
  const QString folder = QDir::cleanPath(reportFolder) + QLatin1Char('/');
  const QString page = QDir::cleanPath(pageUrl.toLocalFile());
  return folder.size() > 1 && page.startsWith(folder) && page.size() > folder.size();
}

QString InstalledReportFolder() {
  QString folder;
  Guard("TFeedProxy.InstalledReportFolder", [&] {
    // The same default the feed store uses when the setting is missing.
    std::string appPath = platform::ProgramFilesFolder() + "Quorvelle/";
    const auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, false);
    if (key && key->ValueExists("AppPath")) appPath = key->ReadString("AppPath");
    if (!appPath.empty())
      folder = QString::fromStdString(platform::IncludeTrailingPathDelimiter(appPath) + "headlines/");
  });
  return folder;
}

namespace {

// The web engine in use cannot answer a custom-scheme request with an HTTP
// status. A report page is told why its feed failed by an answer of its own
// type whose body is the status ("413"), which ReportErrors.js reads.
void Answer(QWebEngineUrlRequestJob *job, int status, QByteArray bytes) {
  auto *buffer = new QBuffer(job);
  buffer->setData(status == 200 ? std::move(bytes) : QByteArray::number(status));
  buffer->open(QIODevice::ReadOnly);
  // No charset on a feed: its own declaration and byte-order mark decide.
  job->reply(status == 200 ? QByteArrayLiteral("application/xml") : QByteArray(kProxyErrorContentType), buffer);
}

} // namespace

// Sees every request of one page before the web engine serves it, and lets
// the proxy answer those the page made while it showed a report page.
class ReportPageInterceptor : public QWebEngineUrlRequestInterceptor {
public:
  ReportPageInterceptor(QWebEnginePage *page, FeedProxySchemeHandler *proxy)
      : QWebEngineUrlRequestInterceptor(page), page_(page), proxy_(proxy) {}

  void interceptRequest(QWebEngineUrlRequestInfo &info) override {
    if (info.requestUrl().scheme() != QLatin1String(kFeedProxyScheme) || !page_ || !proxy_) return;
    // Both the address shown and the last one committed: a navigation the
    // user started towards a report page does not lend the page still shown
    // its rights, nor the other way round.
    if (proxy_->IsReportPage(page_->url()) && proxy_->IsReportPage(page_->history()->currentItem().url())) {
      proxy_->Allow(info.requestUrl());
    }
  }

private:
  QPointer<QWebEnginePage> page_;
  QPointer<FeedProxySchemeHandler> proxy_;
};

platform::CurlInetOptions FeedProxySchemeHandler::DownloadOptions() {
  platform::CurlInetOptions options;
  options.maxBytes = kMaxFeedBytes;
  options.deadline = kFeedTimeLimit;
  options.responseTimeout = kFeedTimeLimit;
  options.timeLimit = kFeedTimeLimit;
  return options;
}

FeedProxySchemeHandler::FeedProxySchemeHandler(QObject *parent, platform::CurlInetOptions options, QString reportFolder)
    : QWebEngineUrlSchemeHandler(parent), reportFolder_(std::move(reportFolder)),
      downloader_(std::make_unique<platform::ConcurrentDownloader>(options, kFeedsPerHost)) {
  clock_.start();
}

// The downloader cancels what still runs; no server is waited for.
FeedProxySchemeHandler::~FeedProxySchemeHandler() = default;

bool FeedProxySchemeHandler::IsReportPage(const QUrl &pageUrl) const {
  return IsInsideReportFolder(pageUrl, reportFolder_.isEmpty() ? InstalledReportFolder() : reportFolder_);
}

// How long a noted request may take to reach the handler.
constexpr qint64 kAllowanceMs = 10000;

void FeedProxySchemeHandler::Allow(const QUrl &requestUrl) { allowed_[requestUrl].append(clock_.elapsed()); }

bool FeedProxySchemeHandler::TakeAllowance(const QUrl &requestUrl) {
  const auto it = allowed_.find(requestUrl);
  if (it == allowed_.end()) return false;
  QList<qint64> &seen = it.value();
  const qint64 now = clock_.elapsed();
  while (!seen.isEmpty() && now - seen.front() > kAllowanceMs)
    seen.removeFirst();
  const bool allowed = !seen.isEmpty();
  if (allowed) seen.removeFirst();
  if (seen.isEmpty()) allowed_.erase(it);
  return allowed;
}

void FeedProxySchemeHandler::WatchPage(QWebEnginePage *page) {
  if (page != nullptr) page->setUrlRequestInterceptor(new ReportPageInterceptor(page, this));
}

void LetReportPagesUseFeedProxy(QWebEnginePage *page) {
  if (page == nullptr) return;
  auto *proxy = qobject_cast<FeedProxySchemeHandler *>(
      const_cast<QWebEngineUrlSchemeHandler *>(page->profile()->urlSchemeHandler(kFeedProxyScheme)));
  if (proxy != nullptr) proxy->WatchPage(page);
}

void FeedProxySchemeHandler::requestStarted(QWebEngineUrlRequestJob *job) {
  Guard("TFeedProxy.requestStarted", [&] {
    // Anyone but a report page gets a plain network error and learns nothing.
    if (!TakeAllowance(job->requestUrl()) || job->initiator().scheme() != QLatin1String("file")) {
      job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    }
    const FeedProxyDecision decision = DecideFeedRequest(job->requestUrl(), job->initiator());
    if (decision.status != 0 || job->requestMethod() != QByteArrayLiteral("GET")) {
      Answer(job, 403, {});
      return;
    }
    // The answer comes on the downloader's thread and is handed to this one;
    // the job is deleted when the page goes away, and its download with it.
    QPointer<QWebEngineUrlRequestJob> pending(job);
    const platform::ConcurrentDownloader::Id id =
        downloader_->Start(decision.feedAddress.toStdString(), [pending](platform::FetchResult result) {
          QMetaObject::invokeMethod(
              QCoreApplication::instance(),
              [pending, result = std::move(result)]() mutable {
                if (pending) {
                  Answer(pending.data(), StatusOfFetch(result.status),
                         QByteArray(result.bytes.data(), static_cast<qsizetype>(result.bytes.size())));
                }
              },
              Qt::QueuedConnection);
        });
    connect(job, &QObject::destroyed, this, [this, id] { downloader_->Cancel(id); });
  });
}

} // namespace quorvelle::host
