#include "band/rss_quorvelle_form.h"

#include "band/band_support.h"
#include "band/core/feed_discovery.h"
#include "band/rss_quorvelle.h"
#include "dialogs/about_box.h"
#include "dialogs/add_feed_dlg.h"
#include "dialogs/manage_dlg.h"
#include "dialogs/product_info.h"
#include "feeds/feed_store.h"
#include "platform/files/file_io.h"
#include "platform/files/file_url.h"
#include "platform/ui/user_interface.h"
#include "report/empty_list_page.h"
#include "support/debug_log.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QToolBar>
#include <QToolButton>

#include <memory>

namespace quorvelle {
namespace {

// The toolbar's size in the form's layout; the toolbar grows beyond it when
// its items need more room, so none of them is ever cut off.
constexpr QSize kDesignedToolbarSize(186, 27);

QString Q(const std::string &text) { return QString::fromStdString(text); }
std::string S(const QString &text) { return text.toStdString(); }

// For the two commands without a guard of their own: a failure that leaves
// them goes to the application's handler instead of into the event loop.
template <typename Body> void Unguarded(Body &&body) noexcept {
  try {
    body();
  } catch (...) {
    ApplicationExceptionHandler("TRSSQuorvelleForm");
  }
}

} // namespace

TRSSQuorvelleForm::TRSSQuorvelleForm(QWidget *parent, TzCustomBandObject *bandObject)
    : TJvBandForm(parent, bandObject) {
  setObjectName("RSSQuorvelleForm");
  // No caption: the band shows no title in the browser.
  setAutoFillBackground(true);
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  resize(kDesignedToolbarSize);

  TBImageList1.append(ProductIcon());

  TBXDock1 = new QWidget(this);
  TBXDock1->setObjectName("TBXDock1");

  toolbarMain = new QToolBar(QStringLiteral("toolbarMain"), TBXDock1);
  toolbarMain->setObjectName("toolbarMain");
  toolbarMain->setMovable(false);
  toolbarMain->setFloatable(false);
  toolbarMain->setOrientation(Qt::Horizontal);
  toolbarMain->setIconSize(QSize(16, 16));
  toolbarMain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

  TBXItem1 = new QAction(TBImageList1.at(0), QStringLiteral("View Feeds..."), this);
  TBXItem1->setObjectName("TBXItem1");
  // The button shows the caption as it is (Qt would drop the dots).
  TBXItem1->setIconText(TBXItem1->text());
  connect(TBXItem1, &QAction::triggered, this, &TRSSQuorvelleForm::GenerateReport);
  toolbarMain->addAction(TBXItem1);

  TBXSeparatorItem4 = toolbarMain->addSeparator();
  TBXSeparatorItem4->setObjectName("TBXSeparatorItem4");

  miMain = new QToolButton(toolbarMain);
  miMain->setObjectName("miMain");
  miMain->setText(QStringLiteral("Tools"));
  miMain->setIcon(TBImageList1.at(0));
  miMain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  miMain->setPopupMode(QToolButton::InstantPopup);
  // Like the toolbar's own buttons: clicked, never tabbed into.
  miMain->setFocusPolicy(Qt::NoFocus);
  miMainMenu = new QMenu(miMain);
  miMainMenu->setObjectName("miMainMenu");
  toolbtnAddRSSFeed = MenuItem("toolbtnAddRSSFeed", "Add RSS/XML/RDF/ATOM Feed...", &TRSSQuorvelleForm::AddRSSFeed);
  toolbtnManage = MenuItem("toolbtnManage", "Manage Feeds...", &TRSSQuorvelleForm::ManageList);
  TBXSeparatorItem2 = MenuSeparator("TBXSeparatorItem2");
  toolbtnSetAsHomePage =
      MenuItem("toolbtnSetAsHomePage", "Set As Home Page...", &TRSSQuorvelleForm::toolbtnSetAsHomePageClick);
  TBXSeparatorItem3 = MenuSeparator("TBXSeparatorItem3");
  toolbtnImport = MenuItem("toolbtnImport", "Import XML/OPML...", &TRSSQuorvelleForm::toolbtnImportClick);
  toolbtnExport = MenuItem("toolbtnExport", "Export XML/OPML...", &TRSSQuorvelleForm::toolbtnExportClick);
  TBXSeparatorItem1 = MenuSeparator("TBXSeparatorItem1");
  toobtnHelp = MenuItem("toobtnHelp", "Help", &TRSSQuorvelleForm::toobtnHelpClick);
  TBXItem4 = MenuItem("TBXItem4", "Visit Web-Site", &TRSSQuorvelleForm::TBXItem4Click);
  toolbtnAbout = MenuItem("toolbtnAbout", "About", &TRSSQuorvelleForm::toolbtnAboutClick);
  miMain->setMenu(miMainMenu);
  toolbarMain->addWidget(miMain);

  // The dock sits at the top left and the toolbar fills it.
  const QSize toolbarSize = toolbarMain->sizeHint().expandedTo(kDesignedToolbarSize);
  TBXDock1->setGeometry(QRect(QPoint(0, 0), toolbarSize));
  toolbarMain->setGeometry(QRect(QPoint(0, 0), toolbarSize));
}

TRSSQuorvelleForm::~TRSSQuorvelleForm() = default;

QAction *TRSSQuorvelleForm::MenuItem(const char *name, const char *caption, void (TRSSQuorvelleForm::*handler)()) {
  QAction *item = miMainMenu->addAction(QString::fromUtf8(caption));
  item->setObjectName(name);
  connect(item, &QAction::triggered, this, handler);
  return item;
}

QAction *TRSSQuorvelleForm::MenuSeparator(const char *name) {
  QAction *separator = miMainMenu->addSeparator();
  separator->setObjectName(name);
  return separator;
}

void TRSSQuorvelleForm::FormCreate() { JvBandFormCreate(); }

void TRSSQuorvelleForm::JvBandFormCreate() {
  Guard("TRSSQuorvelleForm.JvBandFormCreate", [&] {
    // One fixed size: the toolbar's.
    setMinimumSize(toolbarMain->width(), toolbarMain->height());
    setMaximumSize(toolbarMain->width(), toolbarMain->height());
  });
}

TRSSQuorvelle *TRSSQuorvelleForm::GetBandObject() {
  TRSSQuorvelle *result = nullptr;
  Guard("TRSSQuorvelleForm.GetBandObject", [&] { result = dynamic_cast<TRSSQuorvelle *>(BandObject()); });
  return result;
}

com::ComPtr<com::IWebBrowser2> TRSSQuorvelleForm::Browser() {
  TRSSQuorvelle *band = GetBandObject();
  return band != nullptr ? band->WebBrowser() : com::ComPtr<com::IWebBrowser2>();
}

void TRSSQuorvelleForm::Navigate(const std::string &address) {
  const com::ComPtr<com::IWebBrowser2> browser = Browser();
  if (!browser) return;
  // No frame is named: the window that hosts the band shows the page.
  com::OleCheck(browser->Navigate2(com::Variant(com::Utf8ToWide(address)), com::Variant(std::int32_t{0}),
                                   com::Variant(std::int32_t{0}), com::Variant(std::int32_t{0}),
                                   com::Variant(std::int32_t{0})));
}

void TRSSQuorvelleForm::OpenURLInIE(const std::string &URL) {
  Guard("TRSSQuorvelleForm.OpenURLInIE", [&] { Navigate(URL); });
}

void TRSSQuorvelleForm::OpenFileInIE(const std::string &path) {
  // A path may hold '#', '?' or '%', which an address would read otherwise.
  Guard("TRSSQuorvelleForm.OpenFileInIE", [&] { Navigate(platform::FileUrlFromPath(path)); });
}

void TRSSQuorvelleForm::FindRSSLinkOnPage(std::string &URL, std::string &title) {
  URL.clear();
  title.clear();
  std::vector<DiscoveredFeed> feeds = FindFeedsOnPage();
  if (feeds.empty()) return;
  URL = std::move(feeds.front().url);
  title = std::move(feeds.front().title);
}

std::vector<DiscoveredFeed> TRSSQuorvelleForm::FindFeedsOnPage() {
  std::vector<DiscoveredFeed> feeds;
  Guard("TRSSQuorvelleForm.FindRSSLinkOnPage", [&] {
    const com::ComPtr<com::IWebBrowser2> browser = Browser();
    if (!browser) return;
    com::ComPtr<com::IDispatch> document;
    com::OleCheck(browser->get_Document(document.ReleaseAndGetAddressOf()));
    com::ComPtr<com::IHTMLDocument3> htmlDocument;
    // No HTML page shown (a feed, a picture, nothing yet): nothing to find.
    if (!document || com::FAILED(document.As(htmlDocument)) || !htmlDocument) return;
    com::ComPtr<com::IHTMLElement> element;
    com::OleCheck(htmlDocument->get_documentElement(element.ReleaseAndGetAddressOf()));
    if (!element) return;
    com::WideString html;
    com::OleCheck(element->get_outerHTML(&html));
    // The page's address, to resolve relative feed addresses against; a
    // document without one leaves them as written.
    com::WideString address;
    com::ComPtr<com::IHTMLDocument2> withAddress;
    if (com::SUCCEEDED(document.As(withAddress)) && withAddress && com::FAILED(withAddress->get_URL(&address))) {
      address.clear();
    }
    feeds = DiscoverFeeds(com::WideToUtf8(html), com::WideToUtf8(address));
  });
  return feeds;
}

void TRSSQuorvelleForm::GenerateReport() {
  CommandScope command(*this);
  Guard("TRSSQuorvelleForm.GenerateReport", [&] {
    TRSSFeedOptions &store = Store();
    std::string path = platform::IncludeTrailingPathDelimiter(store.AppPath) + "headlines/index.html";
    // An existing report is shown as it is; only a missing one is generated.
    if (!platform::FileExists(path)) {
      path = store.GenerateXML();
      // A list without a feed has no headlines to show: its start page says
      // how to fill the list (and the browser is not sent to "file://").
      const std::string start = report::WriteEmptyListPage(store);
      if (!start.empty()) path = start;
    }
    OpenFileInIE(path);
  });
}

void TRSSQuorvelleForm::AddRSSFeed() {
  CommandScope command(*this);
  Guard("TRSSQuorvelleForm.AddRSSFeed", [&] {
    const std::vector<DiscoveredFeed> feeds = FindFeedsOnPage();
    const std::string url = feeds.empty() ? std::string() : feeds.front().url;
    const std::string title = feeds.empty() ? std::string() : feeds.front().title;
    TRSSFeedOptions &store = Store();
    const auto dialog = std::make_unique<TfrmAddFeedDlg>(this);
    store.Load();
    dialog->edURL->setText(!url.empty() ? Q(url) : QGuiApplication::clipboard()->text());
    dialog->edTitle->setText(Q(title));
    // Several feeds: the address field offers them all, the first chosen.
    if (feeds.size() > 1) {
      std::vector<TfrmAddFeedDlg::OfferedFeed> offered;
      offered.reserve(feeds.size());
      for (const DiscoveredFeed &feed : feeds)
        offered.push_back({feed.url, feed.title});
      dialog->OfferFeeds(offered);
    }
    // Without both values the dialog reads the feed's title when it opens.
    dialog->SetDownloadXMLBeforeDialogShow(url.empty() || title.empty());
    // The list is changed only after the dialog, under its lock; a cancelled
    // dialog writes nothing.
    if (dialog->exec() != QDialog::Accepted) return;
    const std::string feedUrl = S(dialog->edURL->text());
    const std::string feedTitle = S(dialog->edTitle->text());
    const std::string category = dialog->GetCurrentCategory();
    store.EditList([&] { store.AddNewRSSFeed(feedUrl, feedTitle, category); });
  });
}

void TRSSQuorvelleForm::ManageList() {
  CommandScope command(*this);
  Guard("TRSSQuorvelleForm.ManageList", [&] {
    const auto dialog = std::make_unique<TfrmManageDlg>(this);
    if (dialog->exec() == QDialog::Accepted) Store().GenerateXML();
  });
}

void TRSSQuorvelleForm::toolbtnSetAsHomePageClick() {
  CommandScope command(*this);
  Guard("TRSSQuorvelleForm.toolbtnSetAsHomePageClick", [&] {
    platform::ui::MessageRequest question;
    question.text = "Do you want to set Quorvelle index page as Home Page?";
    question.caption = "Question";
    question.type = platform::ui::MsgDlgType::Question;
    question.buttons = platform::ui::mbYes | platform::ui::mbNo | platform::ui::mbCancel;
    question.defaultButton = platform::ui::ModalResult::Yes;
    if (platform::ui::Ui().ShowMessage(question) == platform::ui::ModalResult::Yes) Store().SetHomePageToHeaders();
  });
}

void TRSSQuorvelleForm::toolbtnImportClick() {
  CommandScope command(*this);
  Unguarded([&] { Store().ImportFromFilename(""); });
}

void TRSSQuorvelleForm::toolbtnExportClick() {
  CommandScope command(*this);
  Unguarded([&] { Store().ExportToFilename(); });
}

void TRSSQuorvelleForm::toobtnHelpClick() {
  CommandScope command(*this);
  // AppPath as stored: it ends with a delimiter when the setup program wrote it.
  Guard("TRSSQuorvelleForm.toobtnHelpClick", [&] { OpenFileInIE(Store().AppPath + "help/index.html"); });
}

void TRSSQuorvelleForm::TBXItem4Click() {
  CommandScope command(*this);
  Guard("TRSSQuorvelleForm.TBXItem4Click", [&] { OpenURLInIE(kProductWebPage); });
}

void TRSSQuorvelleForm::toolbtnAboutClick() {
  CommandScope command(*this);
  Guard("TRSSQuorvelleForm.toolbtnAboutClick", [&] { ShowAboutBox(); });
}

} // namespace quorvelle
