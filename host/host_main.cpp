// quorvelle-browser: the browser window that hosts the Quorvelle band.
//   quorvelle-browser [address]   opens address instead of the start page
//   quorvelle-browser --add-feed ADDRESS / --import FILE
//                                 the band's add feed dialog with the address,
//                                 or its import of the list file; then the
//                                 report (the desktop entries use these)
//   quorvelle-browser --demo      a throw-away user with sample feeds served
//                                 from 127.0.0.1 (no network needed)
// QUORVELLE_HOST_SCRIPT=<file> runs a script of steps (docs/host.md).

#include "dialogs/quorvelle_application.h"
#include "host/browser_window.h"
#include "host/demo_mode.h"
#include "host/desktop_requests.h"
#include "host/feed_proxy.h"
#include "host/host_script.h"
#include "host/starter_feeds.h"
#include "setup/user_installation.h"
#include "support/debug_log.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QWebEngineProfile>
#include <cstdio>
#include <cstdlib>
#include <string_view>
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

constexpr const char *kUsage =
    "usage: quorvelle-browser [--demo] [address]\n"
    "       quorvelle-browser --add-feed ADDRESS   (the add feed dialog with the address filled in)\n"
    "       quorvelle-browser --import FILE        (imports an OPML or Quorvelle list)\n"
    "       quorvelle-browser --help | --version\n";

// --help and --version are answered in the terminal before anything of the
// window starts (no display is needed for them); -1 when neither is given.
int AnswerInTerminal(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version" || arg == "-v") {
      std::printf("quorvelle-browser %s\n", QUORVELLE_VERSION);
      return 0;
    }
  }
  return -1;
}

} // namespace

int main(int argc, char **argv) {
  using namespace quorvelle;
  if (const int answered = AnswerInTerminal(argc, argv); answered >= 0) return answered;
  const qint64 started = QDateTime::currentMSecsSinceEpoch();
  PrepareEnvironment();
  host::RegisterFeedProxyScheme();
  QuorvelleApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("quorvelle-browser"));
  DebugM::Initialization();

  bool demo = false;
  QString address;
  // From the desktop: an address for the add feed dialog, a list file to import.
  std::optional<QString> addFeed;
  std::optional<QString> importFile;
  // Qt has taken its own options (-platform, -style, ...) out of these.
  const QStringList arguments = QCoreApplication::arguments().mid(1);
  bool optionsEnded = false;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString &arg = arguments[i];
    if (optionsEnded) {
      address = arg;
    } else if (arg == QLatin1String("--")) {
      optionsEnded = true;
    } else if (arg == QLatin1String("--demo")) {
      demo = true;
    } else if ((arg == QLatin1String("--add-feed") || arg == QLatin1String("--import")) && i + 1 < arguments.size()) {
      (arg == QLatin1String("--add-feed") ? addFeed : importFile) = arguments[++i];
    } else if (arg == QLatin1String("--add-feed") || arg == QLatin1String("--import")) {
      std::fprintf(stderr, "quorvelle-browser: %s needs an argument\n", qPrintable(arg));
      return 2;
    } else if (arg.startsWith(QLatin1Char('-'))) {
      std::fprintf(stderr, "quorvelle-browser: unknown option %s\n%s", qPrintable(arg), kUsage);
      return 2;
    } else {
      address = arg;
    }
  }
  // A system package's programs work from the user's own installation folder.
  const std::string prepared =
      setup::PrepareInstallationFolder((QCoreApplication::applicationDirPath() + QLatin1Char('/')).toStdString());
  const QString installation =
      prepared.empty() ? QCoreApplication::applicationDirPath() + QLatin1Char('/') : QString::fromStdString(prepared);
  const QByteArray scriptFile = qgetenv("QUORVELLE_HOST_SCRIPT");

  int status = 1;
  {
    host::DemoMode demoMode;
    if (demo && !demoMode.Prepare(installation)) return 2;
    // The start page is read before the browser's settings get their
    // default, so a first start shows the installation's help page.
    const QUrl startPage = host::StartPageUrl(installation.toStdString());
    host::EnsureBrowserSettings();
    const bool starterImported =
        !demo && scriptFile.isEmpty() && !addFeed && !importFile && host::OfferStarterFeeds(installation.toStdString());

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
      } else if (starterImported && QFileInfo::exists(installation + QStringLiteral("headlines/index.html"))) {
        // The starter list's headlines at once.
        first = QUrl::fromLocalFile(installation + QStringLiteral("headlines/index.html"));
      } else {
        first = startPage;
      }
      window.Navigate(first);
      if (addFeed || importFile) {
        // Once the window runs: the band's own dialog, then its report.
        QTimer::singleShot(0, &window, [&] {
          host::HandDesktopRequestToBand(loader, addFeed, importFile);
          const QString report = installation + QStringLiteral("headlines/index.html");
          if (QFileInfo::exists(report)) window.Navigate(QUrl::fromLocalFile(report));
        });
      }

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
