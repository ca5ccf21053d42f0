#include "host/feed_proxy.h"

#include "feeds/feed_store.h"
#include "platform/files/file_io.h"
#include "platform/registry/registry.h"
#include "platform/shell/known_folders.h"
#include "report/headlines_renderer.h"
#include "report/new_headlines.h"
#include "report/seen_items.h"
#include "support/debug_log.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QUrlQuery>
#include <QUuid>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <algorithm>
#include <utility>

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

namespace {
// The report's feeds go through the user's shared feed cache.
fetch::FeedFetcherOptions FetcherOptions(const platform::CurlInetOptions &download) {
  fetch::FeedFetcherOptions options;
  options.download = download;
  options.perHostLimit = kFeedsPerHost;
  return options;
}
} // namespace

FeedProxySchemeHandler::FeedProxySchemeHandler(QObject *parent, platform::CurlInetOptions options, QString reportFolder)
    : QWebEngineUrlSchemeHandler(parent), reportFolder_(std::move(reportFolder)),
      fetcher_(std::make_unique<fetch::FeedFetcher>(FetcherOptions(options))) {
  clock_.start();
}

namespace {
// A category's count, placed in its slot like a box: its text, nothing for
// none.
QByteArray CountJson(const std::string &slotId, const report::GroupCount &count) {
  const QJsonObject value{
      {QStringLiteral("slot"), QString::fromStdString(slotId)},
      {QStringLiteral("state"), QStringLiteral("q-counted")},
      {QStringLiteral("final"), true},
      {QStringLiteral("count"), static_cast<qint64>(count.newCount)},
      {QStringLiteral("html"),
       count.newCount == 0 ? QString() : QString::fromStdString(report::NewHeadlinesText(count.newCount))}};
  return QJsonDocument(value).toJson(QJsonDocument::Compact);
}

// What one report page showed, recorded as seen when the page is done with
// it: when its last box is placed or the page goes away, whichever is
// first, once every download of it has let go.
struct PageView {
  report::SeenItems seen;
  PageView() = default;
  PageView(const PageView &) = delete;
  PageView &operator=(const PageView &) = delete;
  ~PageView() {
    Guard("TFeedProxy.RecordSeen", [&] { seen.Commit(); });
  }
};

} // namespace

// One report page being filled: its feeds, and the boxes rendered so far in
// the order they arrived (a feed's kept copy, then the site's answer); the
// counts of the categories it lists arrive as boxes of their own.
struct FeedProxySchemeHandler::ReportSession {
  std::shared_ptr<PageView> view;
  // After the view it reads: destroyed first.
  std::unique_ptr<report::NewHeadlinesCounter> counter;
  std::vector<fetch::FeedFetcher::Id> downloads;
  std::size_t feeds = 0;
  std::size_t finals = 0;
  QList<QByteArray> boxes;
  QPointer<QWebEngineUrlRequestJob> waiting;
  qsizetype waitingAfter = 0;
  QMetaObject::Connection waitingGone;
  qint64 touched = 0;
};

// The fetcher cancels what still runs; no server is waited for.
FeedProxySchemeHandler::~FeedProxySchemeHandler() {
  for (const auto &session : std::as_const(sessions_))
    if (session->waitingGone) disconnect(session->waitingGone);
}

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
    const QUrlQuery query(job->requestUrl().query(QUrl::FullyEncoded));
    if (job->requestMethod() == QByteArrayLiteral("GET") && query.hasQueryItem(QStringLiteral("report"))) {
      AnswerFrame(job, QUrl(query.queryItemValue(QStringLiteral("report"), QUrl::FullyDecoded)),
                  query.hasQueryItem(QStringLiteral("reload")));
      return;
    }
    if (job->requestMethod() == QByteArrayLiteral("GET") && query.hasQueryItem(QStringLiteral("session"))) {
      AnswerPoll(job, query.queryItemValue(QStringLiteral("session"), QUrl::FullyDecoded),
                 query.queryItemValue(QStringLiteral("after")).toLongLong());
      return;
    }
    const FeedProxyDecision decision = DecideFeedRequest(job->requestUrl(), job->initiator());
    if (decision.status != 0 || job->requestMethod() != QByteArrayLiteral("GET")) {
      Answer(job, 403, {});
      return;
    }
    // The answer comes on the fetcher's thread and is handed to this one;
    // the job is deleted when the page goes away, and its download with it.
    QPointer<QWebEngineUrlRequestJob> pending(job);
    const fetch::FeedFetcher::Id id = fetcher_->Start(
        decision.feedAddress.toStdString(), fetch::FetchMode::Normal, [pending](fetch::FeedDelivery delivery) {
          // Only the site's answer is handed over: one request, one answer.
          if (!delivery.final) return;
          QMetaObject::invokeMethod(
              QCoreApplication::instance(),
              [pending, delivery = std::move(delivery)]() mutable {
                if (pending) {
                  Answer(pending.data(), StatusOfFetch(delivery.status),
                         QByteArray(delivery.bytes.data(), static_cast<qsizetype>(delivery.bytes.size())));
                }
              },
              Qt::QueuedConnection);
        });
    connect(job, &QObject::destroyed, this, [this, id] { fetcher_->Cancel(id); });
  });
}

namespace {

void AnswerJson(QWebEngineUrlRequestJob *job, const QJsonObject &value) {
  auto *buffer = new QBuffer(job);
  buffer->setData(QJsonDocument(value).toJson(QJsonDocument::Compact));
  buffer->open(QIODevice::ReadOnly);
  job->reply(QByteArrayLiteral("application/json"), buffer);
}

QByteArray BoxJson(const report::FeedBox &box) {
  QJsonObject value{{QStringLiteral("slot"), QString::fromStdString(box.slotId)},
                    {QStringLiteral("state"), QString::fromStdString(box.state)},
                    {QStringLiteral("final"), box.final},
                    {QStringLiteral("html"), QString::fromStdString(box.html)}};
  if (!box.feedTitle.empty()) value.insert(QStringLiteral("title"), QString::fromStdString(box.feedTitle));
  return QJsonDocument(value).toJson(QJsonDocument::Compact);
}

// How long a report page may leave its boxes unasked for before they go.
constexpr qint64 kIdleReportMs = 60000;

} // namespace

void FeedProxySchemeHandler::AnswerFrame(QWebEngineUrlRequestJob *job, const QUrl &pageUrl, bool reload) {
  PruneReports();
  const QString folder = reportFolder_.isEmpty() ? InstalledReportFolder() : reportFolder_;
  if (!IsInsideReportFolder(pageUrl, folder)) {
    Answer(job, 403, {});
    return;
  }
  const QString relative = QDir(QDir::cleanPath(folder)).relativeFilePath(QDir::cleanPath(pageUrl.toLocalFile()));
  std::shared_ptr<report::HeadlinesRenderer> renderer;
  report::PageFrame frame;
  try {
    renderer = std::make_shared<report::HeadlinesRenderer>(folder.toStdString());
    report::FrameOptions options;
    options.wholePage = false; // the page is shown already
    frame = renderer->RenderFrame(relative.toStdString(), options);
  } catch (const report::ReportPageError &error) {
    AnswerJson(job, {{QStringLiteral("message"), QString::fromStdString(error.what())}});
    return;
  }
  const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
  auto session = std::make_shared<ReportSession>();
  session->feeds = frame.feeds.size() + frame.counts.size();
  session->touched = clock_.elapsed();
  sessions_.insert(id, session);
  QPointer<FeedProxySchemeHandler> self(this);
  const fetch::FetchMode mode = reload ? fetch::FetchMode::Revalidate : fetch::FetchMode::Normal;
  const auto view = std::make_shared<PageView>();
  for (const report::FeedSlot &slot : frame.feeds) {
    // Rendered on the fetcher's thread, placed on this one.
    session->downloads.push_back(
        fetcher_->Start(slot.address, mode, [self, id, renderer, slot, view](fetch::FeedDelivery delivery) {
          QByteArray box;
          bool final = delivery.final;
          Guard("TFeedProxy.RenderBox", [&] {
            box = BoxJson(report::RenderViewedBox(*renderer, view->seen, slot, delivery, report::Mark::Yes));
          });
          if (box.isEmpty()) box = BoxJson(renderer->RenderFailure(slot, report::FeedFailure::NotFeed));
          QMetaObject::invokeMethod(
              QCoreApplication::instance(),
              [self, id, box = std::move(box), final]() mutable {
                if (self) self->BoxArrived(id, std::move(box), final);
              },
              Qt::QueuedConnection);
        }));
  }
  if (!frame.counts.empty()) {
    session->view = view;
    std::vector<std::vector<std::string>> groups;
    for (const report::CountSlot &count : frame.counts)
      groups.push_back(count.feeds);
    session->counter = std::make_unique<report::NewHeadlinesCounter>(
        *fetcher_, groups, view->seen,
        [self, id, countSlots = frame.counts](std::size_t group, const report::GroupCount &count) {
          QByteArray box = CountJson(countSlots[group].id, count);
          QMetaObject::invokeMethod(
              QCoreApplication::instance(),
              [self, id, box = std::move(box)]() mutable {
                if (self) self->BoxArrived(id, std::move(box), true);
              },
              Qt::QueuedConnection);
        });
  }
  const bool nothingToFollow = frame.feeds.empty() && frame.counts.empty();
  AnswerJson(job, {{QStringLiteral("content"), QString::fromStdString(frame.content)},
                   {QStringLiteral("title"), QString::fromStdString(frame.title)},
                   {QStringLiteral("session"), nothingToFollow ? QString() : id}});
  if (nothingToFollow) sessions_.remove(id);
}

void FeedProxySchemeHandler::AnswerPoll(QWebEngineUrlRequestJob *job, const QString &id, qsizetype after) {
  const auto it = sessions_.find(id);
  if (it == sessions_.end()) {
    AnswerJson(
        job,
        {{QStringLiteral("boxes"), QJsonArray()}, {QStringLiteral("next"), after}, {QStringLiteral("done"), true}});
    return;
  }
  ReportSession &session = *it.value();
  session.touched = clock_.elapsed();
  if (session.waiting) {
    // A page asks again only once answered; an older question is done with.
    disconnect(session.waitingGone);
    AnswerJson(session.waiting.data(), {{QStringLiteral("boxes"), QJsonArray()},
                                        {QStringLiteral("next"), session.waitingAfter},
                                        {QStringLiteral("done"), false}});
  }
  session.waiting = job;
  session.waitingAfter = std::clamp<qsizetype>(after, 0, session.boxes.size());
  // The page went away while it waited: its downloads go with it.
  session.waitingGone = connect(job, &QObject::destroyed, this, [this, id] { CloseReport(id); });
  HandOver(id);
}

void FeedProxySchemeHandler::BoxArrived(const QString &id, QByteArray box, bool final) {
  const auto it = sessions_.find(id);
  if (it == sessions_.end()) return;
  it.value()->boxes.append(std::move(box));
  if (final) ++it.value()->finals;
  HandOver(id);
}

// Answers the waiting question with every box it has not seen yet.
void FeedProxySchemeHandler::HandOver(const QString &id) {
  const auto it = sessions_.find(id);
  if (it == sessions_.end()) return;
  const std::shared_ptr<ReportSession> session = it.value();
  if (!session->waiting || session->waitingAfter >= session->boxes.size()) return;
  QByteArray boxes = "[";
  for (qsizetype i = session->waitingAfter; i < session->boxes.size(); ++i) {
    if (i > session->waitingAfter) boxes += ',';
    boxes += session->boxes[i];
  }
  boxes += ']';
  const bool done = session->finals >= session->feeds;
  const QByteArray answer = "{\"boxes\":" + boxes + ",\"next\":" + QByteArray::number(session->boxes.size()) +
                            ",\"done\":" + (done ? "true" : "false") + "}";
  disconnect(session->waitingGone);
  QWebEngineUrlRequestJob *job = session->waiting.data();
  session->waiting.clear();
  auto *buffer = new QBuffer(job);
  buffer->setData(answer);
  buffer->open(QIODevice::ReadOnly);
  job->reply(QByteArrayLiteral("application/json"), buffer);
  if (done) sessions_.remove(id);
}

void FeedProxySchemeHandler::CloseReport(const QString &id) {
  const auto it = sessions_.find(id);
  if (it == sessions_.end()) return;
  for (const fetch::FeedFetcher::Id download : it.value()->downloads)
    fetcher_->Cancel(download);
  if (it.value()->counter) it.value()->counter->Stop();
  sessions_.erase(it);
}

void FeedProxySchemeHandler::PruneReports() {
  const qint64 now = clock_.elapsed();
  QStringList idle;
  for (auto it = sessions_.cbegin(); it != sessions_.cend(); ++it)
    if (!it.value()->waiting && now - it.value()->touched > kIdleReportMs) idle.append(it.key());
  for (const QString &id : idle)
    CloseReport(id);
}

} // namespace quorvelle::host
