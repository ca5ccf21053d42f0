#pragma once
// The browser window that hosts the toolbar bands: navigation buttons and an
// address bar, the registered bands in a toolbar area above the page, the
// page view with its context-menu extensions, and the feed proxy that the
// report pages use.

#include "host/band_site.h"
#include "host/com_loader.h"
#include "host/menu_extensions.h"
#include "host/menu_page_runner.h"
#include "host/web_browser.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QToolBar>
#include <QWebEngineView>
#include <memory>
#include <vector>

namespace quorvelle::host {

inline constexpr const char *kBrowserMainKey = "Software\\Microsoft\\Internet Explorer\\Main";
inline constexpr const char *kStartPageValue = "Start Page";

// The start page: the browser's "Start Page" value when there is one, else
// the installation's help page when it exists, else about:blank.
QUrl StartPageUrl(const std::string &installationFolder);

// Makes sure the browser's settings key holds a "Start Page" value (written
// as about:blank when missing), so there is always a home page to hand back.
void EnsureBrowserSettings();

// The page view; its context menu carries the registered extensions.
class BrowserView : public QWebEngineView {
  Q_OBJECT

public:
  using QWebEngineView::QWebEngineView;

signals:
  void extensionChosen(const quorvelle::host::MenuExtension &extension, const QString &address);

protected:
  void contextMenuEvent(QContextMenuEvent *event) override;
};

class BrowserWindow : public QMainWindow {
  Q_OBJECT

public:
  BrowserWindow(ComLoader &loader, QWebEngineProfile *profile, QWidget *parent = nullptr);
  ~BrowserWindow() override;

  // Creates every registered band and shows it in the band area; the count shown.
  int LoadBands();
  // Hides, closes and releases every band.
  void CloseBands();

  void Navigate(const QUrl &url);
  // Runs the extension with the given menu text for address, as the context
  // menu does; false when there is no such extension or no local page.
  bool RunMenuExtension(const QString &menuText, const QString &address);

  [[nodiscard]] BrowserView *View() const { return view_; }
  [[nodiscard]] QToolBar *BandArea() const { return bandArea_; }
  // The windows the bands were given (one per band).
  [[nodiscard]] std::vector<QWidget *> BandWindows() const;
  [[nodiscard]] MenuPageRunner &MenuPages() { return *menuPages_; }
  [[nodiscard]] WebBrowser *Browser() const { return browser_.Get(); }

protected:
  void closeEvent(QCloseEvent *event) override;

private:
  struct HostedBand {
    com::ComPtr<com::IDeskBand> band;
    com::ComPtr<BandSite> site;
    QWidget *window = nullptr;
  };
  void ApplyBandInfo(HostedBand &hosted);

  ComLoader &loader_;
  BrowserView *view_ = nullptr;
  QLineEdit *address_ = nullptr;
  QToolBar *bandArea_ = nullptr;
  com::ComPtr<WebBrowser> browser_;
  std::vector<HostedBand> bands_;
  MenuPageRunner *menuPages_ = nullptr;
};

} // namespace quorvelle::host
