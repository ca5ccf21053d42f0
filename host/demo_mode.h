#pragma once
// The demo mode (quorvelle-browser --demo): a throw-away user and copy of the
// installation in a temporary folder, a feed list of the sample feeds in the
// installation's "demo" folder, and a small server on 127.0.0.1 that serves
// them, so the report shows headlines without any network. The real user's
// settings, feed list and report are never touched.

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <string>

class QHttpServer;

namespace quorvelle::host {

// Serves the *.xml files of one folder as /<name>.xml over HTTP on
// 127.0.0.1, on a thread of its own (a blocking download on the window's
// thread must still get its answer). Any other path: 404.
class DemoFeedServer {
public:
  explicit DemoFeedServer(QString folder);
  ~DemoFeedServer();
  DemoFeedServer(const DemoFeedServer &) = delete;
  DemoFeedServer &operator=(const DemoFeedServer &) = delete;

  // Listens on an ephemeral port; false when it cannot.
  bool Start();
  [[nodiscard]] quint16 Port() const { return port_; }
  [[nodiscard]] QString Url(const QString &name) const;

private:
  QString folder_;
  QThread thread_;
  std::unique_ptr<QHttpServer> server_; // works on thread_
  quint16 port_ = 0;
};

class DemoMode {
public:
  // Sets up the demo user and installation from the installation folder
  // (with a trailing '/'); false, with a message on standard error, when it
  // cannot. Must run before any band library is loaded.
  bool Prepare(const QString &installationFolder);
  // The report's start page, generated for the demo feed list.
  [[nodiscard]] const QString &ReportPage() const { return reportPage_; }

private:
  QTemporaryDir home_;
  std::unique_ptr<DemoFeedServer> server_;
  QString reportPage_;
};

} // namespace quorvelle::host
