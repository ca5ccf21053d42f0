#include "host/demo_mode.h"

#include "feeds/feed_store.h"
#include "support/debug_log.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QProcess>
#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>

namespace quorvelle::host {

DemoFeedServer::DemoFeedServer(QString folder) : folder_(std::move(folder)) {}

DemoFeedServer::~DemoFeedServer() {
  thread_.quit();
  thread_.wait();
  // The thread has ended: the server and its connections can go from here.
  server_.reset();
}

bool DemoFeedServer::Start() {
  thread_.setObjectName(QStringLiteral("DemoFeedServer"));
  thread_.start();
  const QDir folder(folder_);
  server_ = std::make_unique<QHttpServer>();
  QHttpServer *server = server_.get();
  server->moveToThread(&thread_);
  QMetaObject::invokeMethod(
      server,
      [server, folder, this] {
        server->route(QStringLiteral("/<arg>"), [folder](const QString &name) {
          static const QRegularExpression safeName(QStringLiteral("^[A-Za-z0-9_-]+\\.xml$"));
          if (!safeName.match(name).hasMatch()) {
            return QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
          }
          QFile file(folder.filePath(name));
          if (!file.open(QIODevice::ReadOnly)) {
            return QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
          }
          return QHttpServerResponse(QByteArrayLiteral("application/xml"), file.readAll());
        });
        port_ = server->listen(QHostAddress::LocalHost, 0);
      },
      Qt::BlockingQueuedConnection);
  return port_ != 0;
}

QString DemoFeedServer::Url(const QString &name) const {
  return QStringLiteral("http://127.0.0.1:%1/%2").arg(port_).arg(name);
}

namespace {

// "garden-notes.xml" -> "Garden notes"
QString TitleOfFile(const QString &fileName) {
  QString title = QFileInfo(fileName).completeBaseName().replace(QLatin1Char('-'), QLatin1Char(' '));
  if (!title.isEmpty()) title[0] = title[0].toUpper();
  return title;
}

bool CopyInstallation(const QString &from, const QString &to) {
  QDir source(from);
  QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString file = it.next();
    const QString relative = source.relativeFilePath(file);
    if (relative.startsWith(QLatin1String("headlines/")) || relative == QLatin1String("DEBUG.LOG")) continue;
    const QString target = to + relative;
    QDir().mkpath(QFileInfo(target).path());
    if (!QFile::copy(file, target)) return false;
    QFile::setPermissions(target, QFileInfo(file).permissions());
  }
  return true;
}

void SetEnv(const char *name, const QString &value) { ::setenv(name, value.toLocal8Bit().constData(), 1); }

} // namespace

bool DemoMode::Prepare(const QString &installationFolder) {
  if (!home_.isValid()) {
    std::fprintf(stderr, "quorvelle-browser: cannot create a temporary folder for the demo\n");
    return false;
  }
  const QString install = home_.path() + QStringLiteral("/Quorvelle/");
  if (!CopyInstallation(installationFolder, install)) {
    std::fprintf(stderr, "quorvelle-browser: cannot copy the installation for the demo\n");
    return false;
  }
  SetEnv("QUORVELLE_REGISTRY", home_.path() + QStringLiteral("/registry"));
  SetEnv("XDG_DATA_HOME", home_.path() + QStringLiteral("/data"));
  SetEnv("XDG_CONFIG_HOME", home_.path() + QStringLiteral("/config"));
  server_ = std::make_unique<DemoFeedServer>(install + QStringLiteral("demo"));
  if (!server_->Start()) {
    std::fprintf(stderr, "quorvelle-browser: the demo feed server cannot listen on 127.0.0.1\n");
    return false;
  }
  if (QProcess::execute(install + QStringLiteral("QuorvelleInstall"), {QStringLiteral("/install")}) != 0) {
    std::fprintf(stderr, "quorvelle-browser: the demo installation could not be registered\n");
    return false;
  }
  TRSSFeedOptions store;
  store.Load();
  const QStringList feeds =
      QDir(install + QStringLiteral("demo")).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name);
  for (const QString &feed : feeds) {
    const std::string category = feed.startsWith(QLatin1String("world-")) ? "World" : "";
    store.AddNewRSSFeed(server_->Url(feed).toStdString(), TitleOfFile(feed).toStdString(), category);
  }
  store.Save();
  reportPage_ = QString::fromStdString(store.GenerateXML());
  std::printf("Demo: %lld sample feeds served from http://127.0.0.1:%u/ (temporary user in %s)\n",
              static_cast<long long>(feeds.size()), server_->Port(), home_.path().toLocal8Bit().constData());
  std::fflush(stdout);
  return true;
}

} // namespace quorvelle::host
