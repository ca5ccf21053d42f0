// quorvelle-browser: the browser window that hosts the Quorvelle band.
//   quorvelle-browser [address]   opens address instead of the start page
//   quorvelle-browser --demo      a throw-away user with sample feeds served
//                                 from 127.0.0.1 (no network needed)
// QUORVELLE_HOST_SCRIPT=<file> runs a script of steps (docs/host.md).

#include "dialogs/quorvelle_application.h"
#include "host/browser_window.h"
#include "host/demo_mode.h"
#include "host/feed_proxy.h"
#include "host/host_script.h"
#include "host/starter_feeds.h"
#include "support/debug_log.h"

#include <QDateTime>
#include <QFile>
#include <QWebEngineProfile>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

void AddChromiumFlag(QByteArray &flags, const char *flag) {
  if (!flags.contains(flag)) flags += QByteArray(flags.isEmpty() ? "" : " ") + flag;
}

// Settings the web engine reads from the environment before it starts: no
// display means the offscreen platform; the root user cannot use the
// engine's sandbox; without a display there is no GPU to use.
void PrepareEnvironment() {
  const bool display = qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
  if (!display && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (::geteuid() == 0) AddChromiumFlag(flags, "--no-sandbox");
  if (!display || qgetenv("QT_QPA_PLATFORM") == "offscreen") AddChromiumFlag(flags, "--disable-gpu");
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

} // namespace

int main(int argc, char **argv) {
  using namespace quorvelle;
  const qint64 started = QDateTime::currentMSecsSinceEpoch();
  PrepareEnvironment();
  host::RegisterFeedProxyScheme();
  QuorvelleApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("quorvelle-browser"));
  DebugM::Initialization();

  bool demo = false;
  QString address;
  for (const QString &arg : QCoreApplication::arguments().mid(1)) {
    if (arg == QLatin1String("--demo")) {
      demo = true;
    } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      std::printf("usage: quorvelle-browser [--demo] [address]\n");
      return 0;
    } else {
      address = arg;
    }
  }
  const QString installation = QCoreApplication::applicationDirPath() + QLatin1Char('/');
  const QByteArray scriptFile = qgetenv("QUORVELLE_HOST_SCRIPT");

  int status = 1;
  {
    host::DemoMode demoMode;
    if (demo && !demoMode.Prepare(installation)) return 2;
    // The start page is read before the browser's settings get their
    // default, so a first start shows the installation's help page.
    const QUrl startPage = host::StartPageUrl(installation.toStdString());
    host::EnsureBrowserSettings();
    if (!demo && scriptFile.isEmpty()) host::OfferStarterFeeds(installation.toStdString());

    QWebEngineProfile *profile = QWebEngineProfile::defaultProfile();
    profile->setHttpUserAgent(profile->httpUserAgent() + QStringLiteral(" Quorvelle/1.0"));
    auto *proxy = new host::FeedProxySchemeHandler(&app);
    profile->installUrlSchemeHandler(host::kFeedProxyScheme, proxy);

    host::ComLoader loader;
    {
      host::BrowserWindow window(loader, profile);
      window.show();
      window.LoadBands();
      QUrl first;
      if (!address.isEmpty()) {
        first = QUrl::fromUserInput(address, QDir::currentPath());
      } else if (demo && !demoMode.ReportPage().isEmpty()) {
        first = QUrl::fromLocalFile(demoMode.ReportPage());
      } else {
        first = startPage;
      }
      window.Navigate(first);

      std::unique_ptr<host::HostScript> script;
      if (!scriptFile.isEmpty()) {
        QFile file(QString::fromLocal8Bit(scriptFile));
        if (!file.open(QIODevice::ReadOnly)) {
          std::fprintf(stderr, "quorvelle-browser: cannot read the script %s\n", scriptFile.constData());
          return 2;
        }
        script = std::make_unique<host::HostScript>(window, host::ParseHostScript(QString::fromUtf8(file.readAll())));
        script->Start(started);
      }
      status = QApplication::exec();
      window.CloseBands();
    }
    // A band's form whose command was still running when the window closed
    // frees itself once the command ends; that happens here, before the
    // libraries are let go.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    loader.Unload();
  }
  DebugM::Finalization();
  return status;
}
