#include "host/menu_page_runner.h"

#include "support/debug_log.h"

#include <QFile>
#include <QTimer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace quorvelle::host {
namespace {

// A page that may show only the address it was opened with.
class MenuPage : public QWebEnginePage {
public:
  MenuPage(QWebEngineProfile *profile, QUrl address, QObject *parent)
      : QWebEnginePage(profile, parent), address_(std::move(address)) {}

protected:
  bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override {
    return !isMainFrame || url.adjusted(QUrl::RemoveFragment | QUrl::RemoveQuery) == address_;
  }
  QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }

private:
  QUrl address_;
};

QString WebChannelScript() {
  QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// A page that never calls close() is closed after this long; a modal dialog
// it opened keeps it open until the dialog is closed.
constexpr int kPageLifetimeMs = 10 * 60 * 1000;

} // namespace

bool MenuPageRunner::Run(const MenuExtension &extension, const QString &clickedAddress) {
  bool started = false;
  Guard("TMenuPageRunner.Run", [&] {
    const QUrl address = ExtensionPageUrl(extension);
    if (!address.isValid() || address.isEmpty()) return;
    auto *page = new MenuPage(profile_, address, this);
    auto *bridge = new AutomationBridge(loader_, clickedAddress, page);
    auto *channel = new QWebChannel(page);
    channel->registerObject(QStringLiteral("external"), bridge);
    page->setWebChannel(channel);

    QWebEngineScript script;
    script.setName(QStringLiteral("qwebchannel"));
    script.setSourceCode(WebChannelScript());
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    page->scripts().insert(script);

    ++running_;
    auto finish = [this, page] {
      if (page->property("quorvelleFinished").toBool()) return;
      page->setProperty("quorvelleFinished", true);
      --running_;
      page->deleteLater();
      emit pageFinished();
    };
    // Queued: the bridge's call that asks for the close must return first.
    connect(bridge, &AutomationBridge::closeRequested, page, finish, Qt::QueuedConnection);
    connect(page, &QWebEnginePage::windowCloseRequested, page, finish, Qt::QueuedConnection);
    connect(page, &QWebEnginePage::loadFinished, page, [finish](bool ok) {
      if (!ok) finish();
    });
    QTimer::singleShot(kPageLifetimeMs, page, finish);
    page->load(address);
    started = true;
  });
  return started;
}

} // namespace quorvelle::host
