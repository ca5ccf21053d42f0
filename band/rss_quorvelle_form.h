#pragma once
// TRSSQuorvelleForm: the band's window in the browser's toolbar area, one
// toolbar with "View Feeds..." and the "Tools" menu. Every command works on
// the process-wide feed store, opens its dialog, and shows its result by
// navigating the browser window that hosts the band, which it reaches only
// through the band object that created it.

#include "band/band_form.h"
#include "band/core/feed_discovery.h"
#include "platform/com/browser_interfaces.h"

#include <QIcon>
#include <QList>

#include <string>
#include <vector>

class QAction;
class QMenu;
class QToolBar;
class QToolButton;

namespace quorvelle {

class TRSSQuorvelle;

class TRSSQuorvelleForm : public TJvBandForm {
  Q_OBJECT

public:
  TRSSQuorvelleForm(QWidget *parent, TzCustomBandObject *bandObject);
  ~TRSSQuorvelleForm() override;

  QWidget *TBXDock1 = nullptr;
  QToolBar *toolbarMain = nullptr;
  // The toolbar's images; image 0 is the product's icon.
  QList<QIcon> TBImageList1;

  // Items of toolbarMain.
  QAction *TBXItem1 = nullptr;
  QAction *TBXSeparatorItem4 = nullptr;
  QToolButton *miMain = nullptr;

  // Items of the "Tools" menu.
  QMenu *miMainMenu = nullptr;
  QAction *toolbtnAddRSSFeed = nullptr;
  QAction *toolbtnManage = nullptr;
  QAction *TBXSeparatorItem2 = nullptr;
  QAction *toolbtnSetAsHomePage = nullptr;
  QAction *TBXSeparatorItem3 = nullptr;
  QAction *toolbtnImport = nullptr;
  QAction *toolbtnExport = nullptr;
  QAction *TBXSeparatorItem1 = nullptr;
  QAction *toobtnHelp = nullptr;
  QAction *TBXItem4 = nullptr;
  QAction *toolbtnAbout = nullptr;

  // The band object that created the form (nullptr once it let go of it).
  TRSSQuorvelle *GetBandObject();
  // Navigate the hosting browser window; nothing happens without a browser.
  void OpenURLInIE(const std::string &URL);
  void OpenFileInIE(const std::string &path);
  // The feed link that the shown page announces; both empty when none.
  void FindRSSLinkOnPage(std::string &URL, std::string &title);
  // Every feed that the shown page announces, the one to preselect first,
  // addresses resolved against the page's address.
  std::vector<DiscoveredFeed> FindFeedsOnPage();

public slots:
  void JvBandFormCreate();
  void GenerateReport();
  void AddRSSFeed();
  void ManageList();
  void toolbtnSetAsHomePageClick();
  void toolbtnImportClick();
  void toolbtnExportClick();
  void toobtnHelpClick();
  void TBXItem4Click();
  void toolbtnAboutClick();

protected:
  void FormCreate() override;

private:
  [[nodiscard]] com::ComPtr<com::IWebBrowser2> Browser();
  void Navigate(const std::string &address);
  QAction *MenuItem(const char *name, const char *caption, void (TRSSQuorvelleForm::*handler)());
  QAction *MenuSeparator(const char *name);
};

} // namespace quorvelle
