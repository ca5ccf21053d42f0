// The band's toolbar and its commands, driven as a user would, with the
// browser recording where the band sent it.

#include "band/com_identities.h"
#include "tests/band/band_test_support.h"
#include "tests/helpers/loopback_http_server.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace quorvelle::test {
namespace {

constexpr const char *kFeedBody = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Loopback "
                                  "News</title><item><title>One</title></item></channel></rss>";

// A band shown in its browser, over a feed list of one feed.
class ToolbarTest : public BandTest {
protected:
  void SetUp() override {
    BandLibraryTest::SetUp();
    WriteFeeds(R"(<Quorvelle_Feed src="http://first.example/rss.xml" enabled="true" title="First"/>)");
    Reload();
  }

  void WriteFeeds(const std::string &categories) {
    WriteFile(user_.FeedsFile(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>" +
                                     categories + "</Quorvelle_Categories></Quorvelle_Feeds>");
  }

  // Loads the library afresh (its start reads the settings and the feed list
  // as they are now) and shows a new band.
  void Reload() {
    Unload();
    std::filesystem::create_directories(user_.DataFolder());
    Load();
    CreateBand();
    ASSERT_TRUE(SetSite());
    ASSERT_EQ(band_->ShowDW(1), com::S_OK);
  }

  void Trigger(const char *item) {
    auto *action = Find<QAction>(item);
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
  }

  [[nodiscard]] std::string Report() const { return AppPath() + "headlines/index.html"; }
  [[nodiscard]] std::string Feeds() const { return PathExists(user_.FeedsFile()) ? ReadFile(user_.FeedsFile()) : ""; }

  // What the add-feed dialog showed when it opened.
  struct Shown {
    std::string url;
    std::string title;
  };
  // Runs the "Add..." command; the dialog is answered by pressing OK (or
  // Cancel) once waitBeforeAnswer says the dialog is ready.
  Shown AddFeed(bool ok, const std::function<bool(QWidget *)> &ready = {}) {
    Shown shown;
    WhenModal(Named("frmAddFeedDlg"), [&shown, ok, ready](QWidget *dialog) {
      auto answer = [&shown, ok, dialog] {
        shown.url = dialog->findChild<QLineEdit *>("edURL")->text().toStdString();
        shown.title = dialog->findChild<QLineEdit *>("edTitle")->text().toStdString();
        dialog->findChild<QPushButton *>(ok ? "Button1" : "Button2")->click();
      };
      if (!ready) {
        answer();
        return;
      }
      // Polls until the dialog has done what it does on opening; the
      // pending timer holds the poll, the poll itself only a weak link.
      auto poll = std::make_shared<std::function<void(int)>>();
      *poll = [weakPoll = std::weak_ptr<std::function<void(int)>>(poll), ready, dialog, answer](int left) {
        if (ready(dialog) || left == 0) {
          answer();
        } else if (auto next = weakPoll.lock()) {
          QTimer::singleShot(10, [next, left] { (*next)(left - 1); });
        }
      };
      (*poll)(500);
    });
    Trigger("toolbtnAddRSSFeed");
    return shown;
  }
};

TEST_F(ToolbarTest, TheToolbarHoldsViewFeedsAndTheToolsMenu) {
  auto *toolbar = Find<QToolBar>("toolbarMain");
  ASSERT_NE(toolbar, nullptr);
  EXPECT_EQ(toolbar->windowTitle(), "toolbarMain");
  EXPECT_FALSE(toolbar->isMovable());
  const QList<QAction *> items = toolbar->actions();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0]->objectName(), "TBXItem1");
  EXPECT_EQ(items[0]->text(), "View Feeds...");
  auto *viewFeeds = qobject_cast<QToolButton *>(toolbar->widgetForAction(items[0]));
  ASSERT_NE(viewFeeds, nullptr);
  EXPECT_EQ(viewFeeds->text(), "View Feeds...");
  EXPECT_EQ(viewFeeds->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
  EXPECT_FALSE(items[0]->icon().isNull());
  EXPECT_EQ(items[1]->objectName(), "TBXSeparatorItem4");
  EXPECT_TRUE(items[1]->isSeparator());
  auto *tools = Find<QToolButton>("miMain");
  ASSERT_NE(tools, nullptr);
  EXPECT_EQ(toolbar->widgetForAction(items[2]), tools);
  EXPECT_EQ(tools->text(), "Tools");
  EXPECT_FALSE(tools->icon().isNull());
  EXPECT_EQ(tools->popupMode(), QToolButton::InstantPopup);
  EXPECT_EQ(tools->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
  // All of the toolbar is shown inside the band's fixed size.
  EXPECT_LE(toolbar->sizeHint().width(), toolbar->width());

  ASSERT_NE(tools->menu(), nullptr);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"toolbtnAddRSSFeed", "Add RSS/XML/RDF/ATOM Feed..."},
      {"toolbtnManage", "Manage Feeds..."},
      {"TBXSeparatorItem2", ""},
      {"toolbtnSetAsHomePage", "Set As Home Page..."},
      {"TBXSeparatorItem3", ""},
      {"toolbtnImport", "Import XML/OPML..."},
      {"toolbtnExport", "Export XML/OPML..."},
      {"TBXSeparatorItem1", ""},
      {"toobtnHelp", "Help"},
      {"TBXItem4", "Visit Web-Site"},
      {"toolbtnAbout", "About"},
  };
  std::vector<std::pair<std::string, std::string>> actual;
  for (const QAction *item : tools->menu()->actions()) {
    actual.emplace_back(item->objectName().toStdString(), item->text().toStdString());
    EXPECT_EQ(item->isSeparator(), item->text().isEmpty()) << item->objectName().toStdString();
  }
  EXPECT_EQ(actual, expected);
}

TEST_F(ToolbarTest, ViewFeedsGeneratesAMissingReportThenShowsTheExistingOne) {
  ASSERT_FALSE(PathExists(Report()));
  Trigger("TBXItem1");
  ASSERT_TRUE(PathExists(Report()));
  ASSERT_EQ(site_->browser->Addresses(), std::vector<std::string>{"file://" + Report()});
  // The URL goes as text, everything else as the integer 0.
  const auto &navigation = site_->browser->navigations[0];
  for (const com::Variant *zero :
       {&navigation.flags, &navigation.targetFrameName, &navigation.postData, &navigation.headers}) {
    ASSERT_TRUE(std::holds_alternative<std::int32_t>(*zero));
    EXPECT_EQ(std::get<std::int32_t>(*zero), 0);
  }

  // The report on disk is shown as it is, not written again.
  WriteFile(Report(), "kept");
  Trigger("TBXItem1");
  EXPECT_EQ(site_->browser->Addresses().size(), 2U);
  EXPECT_EQ(site_->browser->Addresses().back(), "file://" + Report());
  EXPECT_EQ(ReadFile(Report()), "kept");
}

TEST_F(ToolbarTest, ViewFeedsShowsAnEmptyAddressWhenNoReportCanBeMade) {
  // No report is written below a relative installation folder.
  Unload();
  SetSetting("AppPath", "relative/");
  Reload();
  Trigger("TBXItem1");
  EXPECT_EQ(site_->browser->Addresses(), std::vector<std::string>{"file://"});
  EXPECT_FALSE(PathExists(Report()));
  EXPECT_FALSE(PathExists("relative"));
}

TEST_F(ToolbarTest, ViewFeedsOfAnEmptyListShowsTheStartPageThatSaysHowToFillIt) {
  // A new user's list: no feed, whether or not it has categories.
  for (const char *categories : {"", R"(<Quorvelle_Category name="Empty" description=""/>)"}) {
    WriteFeeds(categories);
    Reload();
    std::filesystem::remove_all(AppPath() + "headlines");
    Trigger("TBXItem1");
    ASSERT_FALSE(site_->browser->Addresses().empty());
    EXPECT_EQ(site_->browser->Addresses().back(), "file://" + Report()) << categories;
    const std::string page = ReadFile(Report());
    for (const char *text : {"Your feed list is empty", "Add RSS/XML/RDF/ATOM Feed...", "Import XML/OPML..."})
      EXPECT_NE(page.find(text), std::string::npos) << text;
    EXPECT_EQ(page.find("<script"), std::string::npos);
  }
  // A list with a feed gets its report.
  WriteFeeds(R"(<Quorvelle_Feed src="http://first.example/rss.xml" enabled="true" title="First"/>)");
  Reload();
  std::filesystem::remove_all(AppPath() + "headlines");
  Trigger("TBXItem1");
  EXPECT_EQ(ReadFile(Report()).find("Your feed list is empty"), std::string::npos);
}

TEST_F(ToolbarTest, HelpAndWebSiteNavigateTheHostingWindow) {
  Trigger("toobtnHelp");
  Trigger("TBXItem4");
  EXPECT_EQ(site_->browser->Addresses(), (std::vector<std::string>{"file://" + AppPath() + "help/index.html",
                                                                   "https://www.tolvane.example/quorvelle/"}));
}

TEST_F(ToolbarTest, ViewFeedsAndHelpReachFilesWhosePathsHoldAddressCharacters) {
  // An installation folder whose name an address would otherwise cut or decode.
  const std::string folder = user_.Home() + "/Caf\xC3\xA9 #1 ?x=%41 & 100%/";
  std::filesystem::create_directories(folder);
  std::filesystem::copy(std::string(QUORVELLE_SOURCE_DIR) + "/data", folder, std::filesystem::copy_options::recursive);
  Unload();
  SetSetting("AppPath", folder);
  Reload();
  Trigger("TBXItem1");
  Trigger("toobtnHelp");
  const std::vector<std::string> addresses = site_->browser->Addresses();
  ASSERT_EQ(addresses.size(), 2U);
  const std::string expected[] = {folder + "headlines/index.html", folder + "help/index.html"};
  for (std::size_t n = 0; n < 2; ++n) {
    const QUrl url(QString::fromStdString(addresses[n]), QUrl::StrictMode);
    EXPECT_TRUE(url.isValid() && url.isLocalFile()) << addresses[n];
    EXPECT_EQ(url.toLocalFile().toStdString(), expected[n]) << addresses[n];
    EXPECT_TRUE(PathExists(expected[n]));
  }
}

TEST_F(ToolbarTest, AFailingNavigationEndsTheCommandQuietly) {
  site_->browser->navigateResult = com::E_FAIL;
  Trigger("TBXItem4");
  Trigger("toobtnHelp");
  EXPECT_EQ(site_->browser->navigations.size(), 2U);
}

TEST_F(ToolbarTest, SetAsHomePageAsksAndOnlyYesChangesTheHomePage) {
  constexpr const char *kMain = "Software\\Microsoft\\Internet Explorer\\Main";
  auto main = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kMain, true);
  ASSERT_TRUE(main);
  main->WriteString("Start Page", "http://old.example/");

  std::string text;
  std::string caption;
  for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Cancel}) {
    WhenModal(OfClass("QMessageBox"), [&, answer](QWidget *window) {
      auto *box = static_cast<QMessageBox *>(window);
      text = box->text().toStdString();
      caption = box->windowTitle().toStdString();
      EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      EXPECT_EQ(box->icon(), QMessageBox::Question);
      box->button(answer)->click();
    });
    Trigger("toolbtnSetAsHomePage");
    EXPECT_EQ(text, "Do you want to set Quorvelle index page as Home Page?");
    EXPECT_EQ(caption, "Question");
    EXPECT_EQ(RegistryText(platform::HKEY_CURRENT_USER, kMain, "Start Page"), "http://old.example/");
  }

  WhenModal(OfClass("QMessageBox"),
            [](QWidget *window) { static_cast<QMessageBox *>(window)->button(QMessageBox::Yes)->click(); });
  Trigger("toolbtnSetAsHomePage");
  EXPECT_EQ(RegistryText(platform::HKEY_CURRENT_USER, kMain, "Start Page"), "file://" + Report());
  EXPECT_EQ(RegistryText(platform::HKEY_CURRENT_USER, kSettingsKeyPath, "StoredHomePage"), "http://old.example/");
  EXPECT_TRUE(site_->browser->navigations.empty());
}

TEST_F(ToolbarTest, AddFromAPageThatAnnouncesAFeedFillsBothFieldsWithoutFetching) {
  LoopbackHttpServer server;
  server.Route("/news.xml", {200, "application/rss+xml", kFeedBody});
  site_->browser->page = "<html><head><LINK REL=\"alternate\" TYPE=\"application/rss+xml\" TITLE=\"Page News\" "
                         "HREF=\"" +
                         server.Url("/news.xml") + "\"></head><body></body></html>";
  const Shown shown = AddFeed(true);
  EXPECT_EQ(shown.url, server.Url("/news.xml"));
  EXPECT_EQ(shown.title, "Page News");
  EXPECT_EQ(server.RequestCount("/news.xml"), 0U);

  const std::string feeds = Feeds();
  EXPECT_NE(feeds.find("src=\"" + server.Url("/news.xml") + "\""), std::string::npos) << feeds;
  EXPECT_NE(feeds.find("title=\"Page News\""), std::string::npos) << feeds;
  // The report is rebuilt for the new feed.
  EXPECT_TRUE(PathExists(Report()));
}

TEST_F(ToolbarTest, AddFromAPageWithoutAFeedTakesTheClipboardAndFetchesTheTitle) {
  LoopbackHttpServer server;
  server.Route("/clip.xml", {200, "application/rss+xml", kFeedBody});
  QGuiApplication::clipboard()->setText(QString::fromStdString(server.Url("/clip.xml")));
  site_->browser->page = "<html><head><title>Nothing here</title></head><body></body></html>";
  std::filesystem::remove(user_.FeedsFile());
  const Shown shown =
      AddFeed(false, [](QWidget *dialog) { return !dialog->findChild<QLineEdit *>("edTitle")->text().isEmpty(); });
  EXPECT_EQ(shown.url, server.Url("/clip.xml"));
  EXPECT_EQ(shown.title, "Loopback News");
  EXPECT_EQ(server.RequestCount("/clip.xml"), 1U);

  // Cancelled: nothing is written (no list appears where there was none)
  // and no report is generated.
  EXPECT_FALSE(PathExists(user_.FeedsFile()));
  EXPECT_FALSE(PathExists(Report()));
}

TEST_F(ToolbarTest, AddSeesTheFeedListAsOtherProcessesLeftIt) {
  // Another process saved a category after this one loaded the list.
  WriteFeeds(R"(<Quorvelle_Category name="Elsewhere" description=""/>)");
  site_->browser->page = R"(<link rel="alternate" type="application/rss+xml" title="T" href="http://a.example/t.xml">)";
  AddFeed(true);
  const std::string feeds = Feeds();
  EXPECT_NE(feeds.find("Elsewhere"), std::string::npos) << feeds;
  EXPECT_NE(feeds.find("http://a.example/t.xml"), std::string::npos) << feeds;
}

struct RealPage {
  const char *file;
  const char *url;
  const char *title;
};

// The captured page heads, as a document without an address gives them (the
// addresses stay as written); pages that announce nothing discovery accepts
// give the clipboard text.
const RealPage kRealPages[] = {
    {"kde-planet-gentoo-head.html", "https://planet.gentoo.org/rss20.xml", "Planet Gentoo"},
    {"kde-youtube-channel-head.html", "https://www.youtube.com/feeds/videos.xml?channel_id=UCtM5z2gkrGRuWd0JQMx76qA",
     "RSS"},
    {"nnw-indiestack-head.html", "http://indiestack.com/feed/", "Indie Stack \xC2\xBB Feed"},
    {"nnw-inessential-head.html", "https://inessential.com/xml/rss.xml", "inessential.com RSS feed"},
    {"nnw-scripting-head.html", "http://scripting.com/rss.xml", ""},
    {"readability-blogger-head.html", "http://siliconexposed.blogspot.com/feeds/posts/default?alt=rss",
     "Silicon Exposed - RSS"},
    {"readability-ebb-org-head.html", "http://ebb.org/bkuhn/rss.xml", "Whole Website RSS for Bradley M. Kuhn"},
    {"readability-heise-head.html", "http://www.heise.de/mac-and-i/news-atom.xml", "Aktuelle News von Mac & i"},
    {"readability-pixnet-head.html", "http://feed.pixnet.net/blog/posts/rss/stevenhgm", "RSS 2.0"},
    {"readability-v8-blog-head.html", "/blog.atom", "V8 Atom feed"},
};

TEST_F(ToolbarTest, AddOffersTheFeedOfEachCapturedPage) {
  QGuiApplication::clipboard()->setText("from the clipboard");
  for (const RealPage &page : kRealPages) {
    SCOPED_TRACE(page.file);
    site_->browser->page = ReadFile(std::string(QUORVELLE_REALWORLD_DIR) + "/pages/" + page.file);
    const Shown shown = AddFeed(false);
    EXPECT_EQ(shown.url, page.url != nullptr ? page.url : "from the clipboard");
    EXPECT_EQ(shown.title, page.title != nullptr ? page.title : "");
  }
}

TEST_F(ToolbarTest, AddWithoutAnHtmlPageOrABrowserTakesTheClipboard) {
  QGuiApplication::clipboard()->setText("copied");
  const std::string feedPage = R"(<link rel="alternate" type="application/rss+xml" title="T" href="t.xml">)";
  site_->browser->page = feedPage;
  site_->browser->pageIsHtml = false;
  EXPECT_EQ(AddFeed(false).url, "copied");
  site_->browser->page.reset();
  EXPECT_EQ(AddFeed(false).url, "copied");

  // A site without the web-browser service: the band shows, discovery finds
  // nothing and the commands that navigate do nothing.
  band_->CloseDW(0);
  site_->offerCommandTarget = false;
  site_->browser->page = feedPage;
  site_->browser->pageIsHtml = true;
  ASSERT_TRUE(SetSite());
  ASSERT_EQ(band_->ShowDW(1), com::S_OK);
  EXPECT_EQ(AddFeed(false).url, "copied");
  Trigger("toobtnHelp");
  Trigger("TBXItem1");
  EXPECT_TRUE(site_->browser->navigations.empty());
}

TEST_F(ToolbarTest, ManageRegeneratesTheReportOnlyOnOk) {
  WhenModal(Named("frmManageDlg"), [](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); });
  Trigger("toolbtnManage");
  EXPECT_FALSE(PathExists(Report()));
  WhenModal(Named("frmManageDlg"), [](QWidget *dialog) { dialog->findChild<QPushButton *>("Button1")->click(); });
  Trigger("toolbtnManage");
  EXPECT_TRUE(PathExists(Report()));
  EXPECT_TRUE(site_->browser->navigations.empty());
}

TEST_F(ToolbarTest, AnUnreadableListIsToldOnceAndACaptureWaitsForTheOpenDialog) {
  WriteFile(user_.FeedsFile(), "<Quorvelle_Feeds><unclosed>");
  Reload();
  std::string aside;
  for (const auto &entry : std::filesystem::directory_iterator(user_.DataFolder()))
    if (entry.path().filename().string().starts_with("Feeds.xml.unreadable-")) aside = entry.path().string();
  ASSERT_FALSE(aside.empty());
  std::string told, caption;
  WhenModal(OfClass("QMessageBox"), [&](QWidget *window) {
    told = static_cast<QMessageBox *>(window)->text().toStdString();
    caption = window->windowTitle().toStdString();
    static_cast<QMessageBox *>(window)->button(QMessageBox::Ok)->click();
  });
  WhenModal(Named("frmManageDlg"), [](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); });
  Trigger("toolbtnManage");
  EXPECT_EQ(told,
            "Your feed list could not be read. It was kept as " + aside + "; Quorvelle starts with an empty list.");
  EXPECT_EQ(caption, "Information");

  // Once only; and a capture from the context menu while the manage dialog is
  // open waits until the dialog has closed.
  ASSERT_EQ(library_->RegisterServer(), com::S_OK);
  const auto capture = library_->Create<com::IDispatch>(CLASS_ContextMenuAdd);
  ASSERT_TRUE(capture);
  const std::string url = "http://127.0.0.1:1/captured.xml";
  bool addShownInside = false, inside = false;
  // So does an import the desktop asks for.
  const std::string imported = "http://127.0.0.1:1/imported.xml";
  const std::string list = user_.Home() + "/desktop-list.xml";
  WriteFile(list, "<Quorvelle_Feeds><Quorvelle_Categories><Quorvelle_Feed src='" + imported +
                      "' enabled='true' title='I'/></Quorvelle_Categories></Quorvelle_Feeds>");
  WhenModal(Named("frmManageDlg"), [&](QWidget *dialog) {
    inside = true;
    EXPECT_EQ(capture->Invoke(1, {com::WideString(u"x"), com::Utf8ToWide(url)}, nullptr), com::S_OK);
    EXPECT_EQ(capture->Invoke(2, {com::Utf8ToWide(list)}, nullptr), com::S_OK);
    EXPECT_EQ(Feeds().find(url), std::string::npos);
    EXPECT_EQ(Feeds().find(imported), std::string::npos);
    inside = false;
    static_cast<QDialog *>(dialog)->reject();
  });
  WhenModal(Named("frmAddFeedDlg"), [&](QWidget *dialog) {
    addShownInside = inside;
    dialog->findChild<QPushButton *>("Button1")->click();
  });
  Trigger("toolbtnManage");
  EXPECT_FALSE(addShownInside);
  EXPECT_NE(Feeds().find(url), std::string::npos);
  EXPECT_NE(Feeds().find(imported), std::string::npos);
}

TEST_F(ToolbarTest, AboutImportAndExportOpenTheirDialogs) {
  bool aboutShown = false;
  WhenModal(Named("fmAbout"), [&](QWidget *dialog) {
    aboutShown = dialog->parentWidget() == nullptr;
    static_cast<QDialog *>(dialog)->accept();
  });
  Trigger("toolbtnAbout");
  EXPECT_TRUE(aboutShown);

  // Import asks for the file first; export asks which feeds to write.
  bool fileAsked = false;
  WhenModal([](QWidget *window) { return window->inherits("QFileDialog"); },
            [&](QWidget *window) {
              fileAsked = true;
              static_cast<QDialog *>(window)->reject();
            });
  Trigger("toolbtnImport");
  EXPECT_TRUE(fileAsked);
  bool exportAsked = false;
  WhenModal(Named("frmExportDlg"), [&](QWidget *window) {
    exportAsked = true;
    static_cast<QDialog *>(window)->reject();
  });
  Trigger("toolbtnExport");
  EXPECT_TRUE(exportAsked);
}

TEST_F(ToolbarTest, ClosingTheBrowserDuringEachLongCommandFreesTheFormOnceTheCommandEnds) {
  struct Command {
    const char *item;
    std::function<bool(QWidget *)> dialog;
  };
  const Command commands[] = {{"toolbtnManage", Named("frmManageDlg")},
                              {"toolbtnAddRSSFeed", Named("frmAddFeedDlg")},
                              {"toolbtnImport", OfClass("QFileDialog")},
                              {"toolbtnExport", Named("frmExportDlg")}};
  for (const Command &command : commands) {
    SCOPED_TRACE(command.item);
    if (!band_) {
      CreateBand();
      ASSERT_TRUE(SetSite());
      ASSERT_EQ(band_->ShowDW(1), com::S_OK);
    }
    QPointer<QWidget> form = Form();
    auto *action = Find<QAction>(command.item);
    ASSERT_NE(action, nullptr);
    bool closed = false;
    WhenModal(command.dialog, [&](QWidget *dialog) {
      // The browser closes its window while the command's dialog is open,
      // as quorvelle-browser does: the band is hidden, closed, left without
      // its site and released, then the window it lived in is freed.
      band_->ShowDW(0);
      band_->CloseDW(0);
      com::ComPtr<com::IObjectWithSite> withSite;
      band_.As(withSite);
      withSite->SetSite(nullptr);
      band_ = nullptr;
      site_ = nullptr;
      window_.reset();
      EXPECT_TRUE(form) << "the form outlives the window while its command runs";
      EXPECT_EQ(library_->CanUnloadNow(), com::S_FALSE) << "the form's code stays loaded";
      closed = true;
      static_cast<QDialog *>(dialog)->reject();
    });
    action->trigger();
    EXPECT_TRUE(closed);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form);
    EXPECT_EQ(library_->CanUnloadNow(), com::S_OK);
  }
}

} // namespace
} // namespace quorvelle::test
