#include "host/browser_window.h"

#include "host/feed_proxy.h"

#include "platform/registry/registry.h"
#include "support/debug_log.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMenu>
#include <QStyle>
#include <QWebEngineContextMenuRequest>

namespace quorvelle::host {

QUrl StartPageUrl(const std::string &installationFolder) {
  QUrl result(QStringLiteral("about:blank"));
  Guard("TBrowserWindow.StartPageUrl", [&] {
    const auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kBrowserMainKey, false);
    if (key && key->ValueExists(kStartPageValue)) {
      const std::string page = key->ReadString(kStartPageValue);
      if (!page.empty()) {
        // "file://" + a plain path may hold characters an address escapes.
        if (page.starts_with("file:///")) {
          result = QUrl::fromLocalFile(QString::fromStdString(page.substr(7)));
        } else {
          result = QUrl::fromUserInput(QString::fromStdString(page));
        }
        return;
      }
    }
    if (!installationFolder.empty()) {
      const QString help = QString::fromStdString(installationFolder) + QStringLiteral("help/index.html");
      if (QFileInfo(help).isFile()) result = QUrl::fromLocalFile(help);
    }
  });
  return result;
}

void EnsureBrowserSettings() {
  Guard("TBrowserWindow.EnsureBrowserSettings", [&] {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kBrowserMainKey, true);
    if (key && !key->ValueExists(kStartPageValue)) key->WriteString(kStartPageValue, "about:blank");
  });
}

void BrowserView::contextMenuEvent(QContextMenuEvent *event) {
  QMenu *menu = createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  Guard("TBrowserView.contextMenuEvent", [&] {
    const QWebEngineContextMenuRequest *request = lastContextMenuRequest();
    if (request == nullptr) return;
    const QUrl link = request->linkUrl();
    const bool onImage = request->mediaType() == QWebEngineContextMenuRequest::MediaTypeImage;
    const QUrl address = link.isValid() && !link.isEmpty() ? link : (onImage ? request->mediaUrl() : QUrl());
    const auto extensions = MenuExtensionsFor(link.isValid() && !link.isEmpty(), onImage);
    if (extensions.empty() || address.isEmpty()) return;
    menu->addSeparator();
    for (const MenuExtension &extension : extensions) {
      QAction *action = menu->addAction(QString::fromStdString(extension.text));
      const QString clicked = address.toString(QUrl::FullyEncoded);
      connect(action, &QAction::triggered, this,
              [this, extension, clicked] { emit extensionChosen(extension, clicked); });
    }
  });
  menu->popup(event->globalPos());
}

BrowserWindow::BrowserWindow(ComLoader &loader, QWebEngineProfile *profile, QWidget *parent)
    : QMainWindow(parent), loader_(loader) {
  setObjectName(QStringLiteral("BrowserWindow"));
  setWindowTitle(QStringLiteral("Quorvelle Browser"));
  view_ = new BrowserView(this);
  view_->setObjectName(QStringLiteral("view"));
  view_->setPage(new QWebEnginePage(profile, view_));
  LetReportPagesUseFeedProxy(view_->page());
  setCentralWidget(view_);

  auto *navigation = addToolBar(QStringLiteral("Navigation"));
  navigation->setObjectName(QStringLiteral("navigationBar"));
  navigation->setMovable(false);
  navigation->addAction(view_->pageAction(QWebEnginePage::Back));
  navigation->addAction(view_->pageAction(QWebEnginePage::Forward));
  navigation->addAction(view_->pageAction(QWebEnginePage::Reload));
  address_ = new QLineEdit(navigation);
  address_->setObjectName(QStringLiteral("addressBar"));
  address_->setClearButtonEnabled(true);
  navigation->addWidget(address_);
  connect(address_, &QLineEdit::returnPressed, this,
          [this] { Navigate(QUrl::fromUserInput(address_->text().trimmed())); });
  connect(view_, &QWebEngineView::urlChanged, this,
          [this](const QUrl &url) { address_->setText(url.toDisplayString(QUrl::PreferLocalFile)); });
  connect(view_, &QWebEngineView::titleChanged, this, [this](const QString &title) {
    setWindowTitle(title.isEmpty() ? QStringLiteral("Quorvelle Browser")
                                   : title + QStringLiteral(" - Quorvelle Browser"));
  });

  addToolBarBreak();
  bandArea_ = addToolBar(QStringLiteral("Bands"));
  bandArea_->setObjectName(QStringLiteral("bandArea"));
  bandArea_->setMovable(false);

  browser_ = com::MakeComObject<WebBrowser>(view_->page());
  menuPages_ = new MenuPageRunner(loader_, profile, this);
  connect(view_, &BrowserView::extensionChosen, this,
          [this](const MenuExtension &extension, const QString &address) { menuPages_->Run(extension, address); });
  resize(1100, 800);
}

BrowserWindow::~BrowserWindow() {
  CloseBands();
  if (browser_) browser_->Detach();
}

void BrowserWindow::closeEvent(QCloseEvent *event) {
  CloseBands();
  QMainWindow::closeEvent(event);
}

void BrowserWindow::Navigate(const QUrl &url) { view_->load(url); }

int BrowserWindow::LoadBands() {
  int shown = 0;
  for (const com::CLSID &clsid : RegisteredToolbarBands()) {
    Guard("TBrowserWindow.LoadBands", [&] {
      HostedBand hosted;
      com::ComPtr<com::IUnknown> object = loader_.CreateObject(clsid, com::IDeskBand::iid);
      object.As(hosted.band);
      com::ComPtr<com::IObjectWithSite> withSite;
      object.As(withSite);
      if (!hosted.band || !withSite) throw EComLoadError("Not a band: " + com::GuidToString(clsid));
      hosted.window = new QWidget(bandArea_);
      hosted.window->setObjectName(QString::fromStdString("band" + com::GuidToString(clsid)));
      hosted.site = com::MakeComObject<BandSite>(hosted.window, com::ComPtr<com::IWebBrowser2>(browser_.Get()));
      bandArea_->addWidget(hosted.window);
      if (com::FAILED(withSite->SetSite(hosted.site->Identity()))) {
        delete hosted.window;
        throw EComLoadError("SetSite failed: " + com::GuidToString(clsid));
      }
      ApplyBandInfo(hosted);
      hosted.band->ShowDW(1);
      hosted.window->show();
      bands_.push_back(std::move(hosted));
      ++shown;
    });
  }
  return shown;
}

void BrowserWindow::ApplyBandInfo(HostedBand &hosted) {
  com::DESKBANDINFO info;
  info.dwMask = com::DBIM_MINSIZE | com::DBIM_MAXSIZE | com::DBIM_INTEGRAL | com::DBIM_ACTUAL | com::DBIM_TITLE |
                com::DBIM_MODEFLAGS;
  const auto bandId = static_cast<com::DWORD>(bands_.size());
  if (com::FAILED(hosted.band->GetBandInfo(bandId, com::DBIF_VIEWMODE_NORMAL, &info))) return;
  auto limit = [](com::LONG value) { return value < 0 ? QWIDGETSIZE_MAX : static_cast<int>(value); };
  const QSize minimum(std::max(0, info.ptMinSize.x), std::max(0, info.ptMinSize.y));
  const QSize maximum(limit(info.ptMaxSize.x), limit(info.ptMaxSize.y));
  hosted.window->setMinimumSize(minimum);
  hosted.window->setMaximumSize(maximum.expandedTo(minimum));
  QSize actual(std::max<int>(info.ptActual.x, minimum.width()), std::max<int>(info.ptActual.y, minimum.height()));
  hosted.window->resize(actual.boundedTo(hosted.window->maximumSize()));
  const QString title = QString::fromStdU16String(info.Title());
  if (!title.isEmpty()) hosted.window->setToolTip(title);
}

void BrowserWindow::CloseBands() {
  for (HostedBand &hosted : bands_) {
    SilentGuard([&] {
      hosted.band->ShowDW(0);
      hosted.band->CloseDW(0);
      com::ComPtr<com::IObjectWithSite> withSite;
      hosted.band.As(withSite);
      if (withSite) withSite->SetSite(nullptr);
      hosted.site->Detach();
    });
    hosted.band = nullptr;
    hosted.site = nullptr;
    delete hosted.window;
  }
  bands_.clear();
}

std::vector<QWidget *> BrowserWindow::BandWindows() const {
  std::vector<QWidget *> windows;
  for (const HostedBand &hosted : bands_)
    windows.push_back(hosted.window);
  return windows;
}

bool BrowserWindow::RunMenuExtension(const QString &menuText, const QString &address) {
  for (const MenuExtension &extension : RegisteredMenuExtensions()) {
    if (QString::fromStdString(extension.text) == menuText) return menuPages_->Run(extension, address);
  }
  return false;
}

} // namespace quorvelle::host
