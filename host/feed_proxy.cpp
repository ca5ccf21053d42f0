#include "host/feed_proxy.h"

#include "support/debug_log.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QUrlQuery>
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
  case platform::FetchStatus::Failed: break;
  }
  return 502;
}

namespace {

// The web engine in use cannot answer a custom-scheme request with an HTTP
// status. A report page is told why its feed failed by an answer of its own
// type whose body is the status ("413"), which ReportErrors.js reads; anyone
// else gets a plain network error and learns nothing.
void Answer(QWebEngineUrlRequestJob *job, int status, QByteArray bytes) {
  const bool toReportPage = job->initiator().scheme() == QLatin1String("file");
  if (status != 200 && !toReportPage) {
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
    return;
  }
  auto *buffer = new QBuffer(job);
  buffer->setData(status == 200 ? std::move(bytes) : QByteArray::number(status));
  buffer->open(QIODevice::ReadOnly);
  // No charset on a feed: its own declaration and byte-order mark decide.
  job->reply(status == 200 ? QByteArrayLiteral("application/xml") : QByteArray(kProxyErrorContentType), buffer);
}

} // namespace

FeedProxySchemeHandler::FeedProxySchemeHandler(QObject *parent, Fetcher fetch)
    : QWebEngineUrlSchemeHandler(parent), fetch_(std::move(fetch)) {
  if (!fetch_) {
    fetch_ = [](const std::string &url) {
      platform::CurlInetOptions options;
      options.maxBytes = kMaxFeedBytes;
      options.deadline = std::chrono::milliseconds(30000);
      return platform::CurlFetchBytes(url, options);
    };
  }
}

void FeedProxySchemeHandler::requestStarted(QWebEngineUrlRequestJob *job) {
  Guard("TFeedProxy.requestStarted", [&] {
    const FeedProxyDecision decision = DecideFeedRequest(job->requestUrl(), job->initiator());
    if (decision.status != 0 || job->requestMethod() != QByteArrayLiteral("GET")) {
      Answer(job, decision.status != 0 ? decision.status : 403, {});
      return;
    }
    // The job is deleted when the page goes away; the answer is then dropped.
    QPointer<QWebEngineUrlRequestJob> pending(job);
    const std::string address = decision.feedAddress.toStdString();
    Fetcher fetch = fetch_;
    QThreadPool::globalInstance()->start([pending, address, fetch] {
      platform::FetchResult result;
      SilentGuard([&] { result = fetch(address); });
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
  });
}

} // namespace quorvelle::host
