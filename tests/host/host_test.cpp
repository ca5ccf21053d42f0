// The browser host: finding and creating classes through the registry, the
// feed proxy's rules and raw downloads, context-menu entries, and a real
// window hosting a stand-in band (sizes, navigation, the page's markup, the
// context-menu page with its automation call, the proxy from a report page).

#include "band/core/feed_discovery.h"
#include "feeds/feed_store.h"
#include "host/browser_window.h"
#include "host/com_loader.h"
#include "host/feed_proxy.h"
#include "host/menu_extensions.h"
#include "host/starter_feeds.h"
#include "platform/registry/registry.h"
#include "report/item_identity.h"
#include "report/seen_items.h"
#include "tests/helpers/collected_pages.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/helpers/scripted_ui.h"
#include "tests/helpers/test_environment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestInterceptor>
#include <dlfcn.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace quorvelle {
void PrintTo(const DiscoveredFeed &feed, std::ostream *out) { *out << '{' << feed.url << ", " << feed.title << '}'; }
} // namespace quorvelle

namespace quorvelle::host {
namespace {

using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_CURRENT_USER;
using platform::RegistryKey;

constexpr com::CLSID kFakeBand = com::GuidLiteral("{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}");

// Registers the stand-in band library into the isolated user's registry.
void RegisterFakeBand() {
  void *library = dlopen(QUORVELLE_FAKE_HOST_BAND, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto registerServer = reinterpret_cast<com::DllRegisterServerFn>(dlsym(library, com::kDllRegisterServer));
  ASSERT_NE(registerServer, nullptr);
  EXPECT_EQ(registerServer(), com::S_OK);
  dlclose(library);
}

std::string Recorded(const std::string &name) {
  const auto key = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\FakeBand", false);
  return key && key->ValueExists(name) ? key->ReadString(name) : std::string();
}

// Runs the event loop until done() or the time is up.
bool WaitFor(const std::function<bool()> &done, int ms = 15000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

TEST(ComLoaderTest, FindsLibrariesAndClassesThroughTheRegistry) {
  test::IsolatedUser user;
  EXPECT_TRUE(RegisteredToolbarBands().empty());
  ComLoader loader;
  EXPECT_THROW(loader.CreateObject(kFakeBand, com::IUnknown::iid), EComLoadError);
  EXPECT_THROW(loader.CreateObject(std::string("FakeBand.Capture"), com::IDispatch::iid), EComLoadError);

  RegisterFakeBand();
  ASSERT_EQ(RegisteredToolbarBands(), std::vector<com::CLSID>{kFakeBand});
  EXPECT_EQ(InprocServerPath(kFakeBand), std::string(QUORVELLE_FAKE_HOST_BAND));
  // A toolbar value whose name is no class id is passed over.
  RegistryKey::Open(platform::HKEY_LOCAL_MACHINE, kToolbarKey, false)->WriteString("not a clsid", "x");
  EXPECT_EQ(RegisteredToolbarBands().size(), 1U);
  EXPECT_EQ(ClassOfProgID("No.Such"), std::nullopt);
  EXPECT_EQ(ClassOfProgID("..\\CLSID"), std::nullopt);

  {
    com::ComPtr<com::IDispatch> capture;
    loader.CreateObject(std::string("FakeBand.Capture"), com::IDispatch::iid).As(capture);
    ASSERT_TRUE(capture);
    com::Variant result;
    EXPECT_EQ(capture->Invoke(1, {std::string("a"), std::string("b")}, &result), com::S_OK);
    EXPECT_EQ(std::get<std::int32_t>(result), 42);
    EXPECT_EQ(loader.LoadedCount(), 1U);
    // An object is alive: its library stays.
    EXPECT_EQ(loader.Unload(), 0U);
  }
  EXPECT_EQ(loader.Unload(), 1U);

  // A registered path that cannot be loaded is a failure, not a crash.
  RegistryKey::Open(HKEY_CLASSES_ROOT, "CLSID\\" + com::GuidToString(kFakeBand) + "\\InprocServer32", false)
      ->WriteString("", user.Home() + "/missing.so");
  EXPECT_THROW(loader.CreateObject(kFakeBand, com::IUnknown::iid), EComLoadError);
}

TEST(FeedProxyTest, AnswersOnlyReportPagesAndFetchesOnlyWebAddresses) {
  const QUrl report(QStringLiteral("file:///home/u/.local/opt/Quorvelle/headlines/index.html"));
  auto request = [](const QString &address) {
    return QUrl(QStringLiteral("quorvelle-feed:?url=") + QString::fromLatin1(QUrl::toPercentEncoding(address)));
  };
  const FeedProxyDecision ok = DecideFeedRequest(request(QStringLiteral("http://e.example/rss?a=1&b=2")), report);
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.feedAddress, QStringLiteral("http://e.example/rss?a=1&b=2"));
  EXPECT_EQ(DecideFeedRequest(request(QStringLiteral("https://e.example/f")), report).status, 0);
  EXPECT_EQ(DecideFeedRequest(request(QStringLiteral("ftp://e.example/f.xml")), report).status, 0);
  EXPECT_EQ(DecideFeedRequest(request(QStringLiteral("HTTP://E.example/f")), report).status, 0);

  for (const char *refused : {"file:///etc/passwd", "javascript:alert(1)", "data:text/xml,<a/>",
                              "quorvelle-feed:?url=x", "http:///nohost", "", "gopher://e.example/"}) {
    EXPECT_EQ(DecideFeedRequest(request(QString::fromLatin1(refused)), report).status, 403) << refused;
  }
  // Pages from the web, and requests without exactly one address.
  EXPECT_EQ(
      DecideFeedRequest(request(QStringLiteral("http://e.example/f")), QUrl(QStringLiteral("http://evil.example/")))
          .status,
      403);
  EXPECT_EQ(DecideFeedRequest(request(QStringLiteral("http://e.example/f")), QUrl()).status, 403);
  EXPECT_EQ(DecideFeedRequest(QUrl(QStringLiteral("quorvelle-feed:?other=1")), report).status, 403);
  EXPECT_EQ(
      DecideFeedRequest(
          QUrl(QStringLiteral("quorvelle-feed:?url=http%3A%2F%2Fa.example%2F&url=http%3A%2F%2Fb.example%2F")), report)
          .status,
      403);

  EXPECT_EQ(StatusOfFetch(platform::FetchStatus::Ok), 200);
  EXPECT_EQ(StatusOfFetch(platform::FetchStatus::Unsupported), 403);
  EXPECT_EQ(StatusOfFetch(platform::FetchStatus::TooLarge), 413);
  EXPECT_EQ(StatusOfFetch(platform::FetchStatus::TimedOut), 504);
  EXPECT_EQ(StatusOfFetch(platform::FetchStatus::Failed), 502);

  // Which pages are report pages: files inside the report folder, nothing else.
  const QString folder = QStringLiteral("/opt/Quorvelle/headlines/");
  const std::pair<const char *, bool> pages[] = {
      {"file:///opt/Quorvelle/headlines/index.html", true},
      {"file:///opt/Quorvelle/headlines/World/Asia/3.html", true},
      {"file:///opt/Quorvelle/headlines/a/../index.html", true},
      {"file:///opt/Quorvelle/headlines/../evil.html", false},
      {"file:///opt/Quorvelle/headlinesX/index.html", false},
      {"file:///opt/Quorvelle/headlines", false},
      {"file:///opt/Quorvelle/headlines/", false},
      {"file:///tmp/index.html", false},
      {"file://other.host/opt/Quorvelle/headlines/index.html", false},
      {"http://127.0.0.1/opt/Quorvelle/headlines/index.html", false},
      {"about:blank", false},
  };
  for (const auto &[page, inside] : pages) {
    EXPECT_EQ(IsInsideReportFolder(QUrl(QString::fromLatin1(page)), folder), inside) << page;
  }
  EXPECT_FALSE(IsInsideReportFolder(QUrl(QStringLiteral("file:///opt/x.html")), QString()));
}

TEST(FeedProxyTest, RawFetchKeepsEveryByteAndReportsFailuresApart) {
  test::LoopbackHttpServer server;
  const std::string utf16("\xFF\xFE<\0r\0s\0s\0/\0>\0", 14); // a UTF-16 feed is full of NUL bytes
  server.Route("/utf16.xml", {200, "application/xml", utf16});
  server.Route("/big.xml", {200, "application/xml", std::string(4096, 'x')});
  server.Route("/error.xml", {500, "text/plain", "error page"});

  platform::FetchResult result = platform::CurlFetchBytes(server.Url("/utf16.xml"));
  EXPECT_EQ(result.status, platform::FetchStatus::Ok);
  EXPECT_EQ(result.bytes, utf16);

  platform::CurlInetOptions small;
  small.maxBytes = 1000;
  EXPECT_EQ(platform::CurlFetchBytes(server.Url("/big.xml"), small).status, platform::FetchStatus::TooLarge);
  EXPECT_EQ(platform::CurlFetchBytes(server.Url("/error.xml")).status, platform::FetchStatus::Failed);
  EXPECT_EQ(platform::CurlFetchBytes(server.Url("/missing.xml")).status, platform::FetchStatus::Failed);
  // Port 9 is one browsers refuse: refused before anything connects.
  EXPECT_EQ(platform::CurlFetchBytes("http://127.0.0.1:9/closed.xml").status, platform::FetchStatus::Unsupported);
  EXPECT_EQ(platform::CurlFetchBytes("file:///etc/hostname").status, platform::FetchStatus::Unsupported);
}

TEST(MenuExtensionsTest, ShowsEntriesPerContextAndRunsOnlyLocalPages) {
  test::IsolatedUser user;
  const std::string page = user.Home() + "/my page.html";
  test::WriteFile(page, "<html></html>");
  auto add = [](const std::string &text, const std::string &url, int contexts) {
    auto key = RegistryKey::Open(HKEY_CURRENT_USER, std::string(kMenuExtKey) + "\\" + text, true);
    key->WriteString("", url);
    key->WriteInteger("Contexts", contexts);
  };
  add("Add RSS/OPML/XML/RDF/ATOM Feed To Quorvelle", "file://" + page, 0x22);
  add("Links only", "file://" + page, 0x20);
  add("Images only", "file://" + page, 0x02);
  add("Remote page", "http://evil.example/page.html", 0x22);
  add("Missing page", "file://" + user.Home() + "/none.html", 0x22);

  auto texts = [](const std::vector<MenuExtension> &entries) {
    std::vector<std::string> result;
    for (const auto &entry : entries)
      result.push_back(entry.text);
    return result;
  };
  EXPECT_EQ(texts(MenuExtensionsFor(true, false)),
            (std::vector<std::string>{"Add RSS/OPML/XML/RDF/ATOM Feed To Quorvelle", "Links only", "Missing page",
                                      "Remote page"}));
  EXPECT_EQ(texts(MenuExtensionsFor(false, true)),
            (std::vector<std::string>{"Add RSS/OPML/XML/RDF/ATOM Feed To Quorvelle", "Images only", "Missing page",
                                      "Remote page"}));
  EXPECT_TRUE(MenuExtensionsFor(false, false).empty());

  const auto all = RegisteredMenuExtensions();
  ASSERT_EQ(all.size(), 5U);
  for (const MenuExtension &entry : all) {
    const QUrl url = ExtensionPageUrl(entry);
    if (entry.text == "Remote page" || entry.text == "Missing page") {
      EXPECT_TRUE(url.isEmpty()) << entry.text;
    } else {
      EXPECT_EQ(url, QUrl::fromLocalFile(QString::fromStdString(page))) << entry.text;
    }
  }
}

TEST(StarterFeedsTest, OfferedOnceAndOnlyForAnEmptyList) {
  test::IsolatedUser user;
  const std::string install = user.Home() + "/install/";
  test::WriteFile(install + kStarterFeedsFile,
                  test::ReadFile(std::string(QUORVELLE_SOURCE_DIR) + "/data/starter-feeds.opml"));

  // An existing list is never touched, and nothing is asked.
  std::filesystem::create_directories(user.DataFolder());
  const std::string list =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>"
      "<Quorvelle_Category name=\"Mine\" description=\"\"/></Quorvelle_Categories></Quorvelle_Feeds>";
  test::WriteFile(user.FeedsFile(), list);
  {
    test::ScriptedUi ui;
    EXPECT_FALSE(FeedListIsEmpty());
    EXPECT_FALSE(OfferStarterFeeds(install));
    EXPECT_TRUE(ui.messages.empty());
  }
  EXPECT_EQ(test::ReadFile(user.FeedsFile()), list);

  // An empty list: asked once; declining imports nothing and is remembered.
  std::filesystem::remove(user.FeedsFile());
  EXPECT_TRUE(FeedListIsEmpty());
  test::ScriptedUi ui;
  ui.messageAnswers.push_back(platform::ui::ModalResult::No);
  EXPECT_FALSE(OfferStarterFeeds(install));
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_EQ(ui.messages[0].caption, "Question");
  EXPECT_TRUE(FeedListIsEmpty());
  EXPECT_FALSE(OfferStarterFeeds(install));
  EXPECT_EQ(ui.messages.size(), 1U) << "asked only once";
}

TEST(StarterFeedsTest, AcceptedTheyGoIntoGeneralSoTheFirstReportShowsThem) {
  test::IsolatedUser user;
  const std::string install = user.Home() + "/install/";
  std::filesystem::create_directories(install);
  std::filesystem::copy(std::string(QUORVELLE_SOURCE_DIR) + "/data", install, std::filesystem::copy_options::recursive);
  RegistryKey::Open(HKEY_CURRENT_USER, kSettingsKey, true)->WriteString("AppPath", install);
  test::ScriptedUi ui;
  ui.messageAnswers.push_back(platform::ui::ModalResult::Yes);
  ASSERT_TRUE(OfferStarterFeeds(install));
  EXPECT_EQ(ui.messages.size(), 1U) << "only the question, no import dialog";
  TRSSFeedOptions store;
  store.Load();
  std::vector<std::string> urls;
  std::vector<std::string> titles;
  store.GetFeedsURLSForCategory("", urls, titles);
  EXPECT_EQ(urls.size(), 8U);
  EXPECT_EQ(store.GetListOfCategories(), "");
  // The report's first page, General, lists them.
  ASSERT_FALSE(urls.empty());
  EXPECT_NE(test::ReadFile(install + "headlines/index.xml").find(urls.front()), std::string::npos);
}

// A browser window with the stand-in band, in an isolated user.
class HostWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterFakeBand();
    // The installation whose report pages may use the proxy.
    RegistryKey::Open(HKEY_CURRENT_USER, kSettingsKey, true)->WriteString("AppPath", user.Home() + "/install/");
    reportFolder = user.Home() + "/install/headlines/";
    std::filesystem::create_directories(reportFolder);
    profile = std::make_unique<QWebEngineProfile>();
    profile->setHttpUserAgent(profile->httpUserAgent() + QStringLiteral(" Quorvelle/1.0"));
    proxy = new FeedProxySchemeHandler(profile.get());
    profile->installUrlSchemeHandler(kFeedProxyScheme, proxy);
    window = std::make_unique<BrowserWindow>(loader, profile.get());
    window->show();
  }
  void TearDown() override {
    window.reset();
    profile.reset();
  }

  bool Load(const QUrl &url) {
    bool finished = false;
    auto connection = QObject::connect(window->View(), &QWebEngineView::loadFinished, [&](bool) { finished = true; });
    window->Navigate(url);
    const bool ok = WaitFor([&] { return finished; });
    QObject::disconnect(connection);
    return ok;
  }

  std::optional<QString> Script(const QString &code) {
    std::optional<QString> answer;
    window->View()->page()->runJavaScript(code, [&](const QVariant &value) { answer = value.toString(); });
    if (!WaitFor([&] { return answer.has_value(); })) return std::nullopt;
    return answer;
  }

  QAction *BandAction(const QString &text) {
    for (QWidget *band : window->BandWindows()) {
      for (QWidget *child : band->findChildren<QWidget *>()) {
        for (QAction *action : child->actions()) {
          if (action->text() == text) return action;
        }
      }
    }
    return nullptr;
  }

  test::IsolatedUser user;
  std::string reportFolder;
  ComLoader loader;
  std::unique_ptr<QWebEngineProfile> profile;
  FeedProxySchemeHandler *proxy = nullptr;
  std::unique_ptr<BrowserWindow> window;
};

TEST_F(HostWindowTest, HostsTheBandAtItsSizeAndLetsItNavigateAndReadThePage) {
  ASSERT_EQ(window->LoadBands(), 1);
  ASSERT_EQ(window->BandWindows().size(), 1U);
  QWidget *bandWindow = window->BandWindows().front();
  EXPECT_EQ(bandWindow->minimumSize(), QSize(150, 30));
  EXPECT_EQ(bandWindow->maximumSize(), QSize(150, 30));
  EXPECT_TRUE(bandWindow->isVisible());
  EXPECT_NE(bandWindow->findChild<QWidget *>(QStringLiteral("toolbarMain")), nullptr)
      << "the band's form lives inside the window it was given";

  test::LoopbackHttpServer server;
  server.Route("/page.html", {200, "text/html; charset=utf-8",
                              "<html><head><link rel=\"alternate\" type=\"application/rss+xml\" title=\"News\" "
                              "href=\"news.xml\"></head><body><p>Caf\xC3\xA9</p></body></html>"});
  test::ScopedEnv go("FAKE_BAND_GO", server.Url("/page.html"));
  bool finished = false;
  QObject::connect(window->View(), &QWebEngineView::loadFinished, [&](bool) { finished = true; });
  QAction *goAction = BandAction(QStringLiteral("Go"));
  ASSERT_NE(goAction, nullptr);
  goAction->trigger();
  ASSERT_TRUE(WaitFor([&] { return finished; }));
  EXPECT_EQ(window->View()->url(), QUrl(QString::fromStdString(server.Url("/page.html"))));

  BandAction(QStringLiteral("Read page"))->trigger();
  const std::string page = Recorded("Page");
  EXPECT_NE(page.find("<link rel=\"alternate\" type=\"application/rss+xml\" title=\"News\" href=\"news.xml\">"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("Caf\xC3\xA9"), std::string::npos);

  window->CloseBands();
  EXPECT_EQ(Recorded("Closed"), "yes");
  EXPECT_TRUE(window->BandWindows().empty());
  EXPECT_EQ(loader.Unload(), 1U) << "no band object is left alive";
}

TEST_F(HostWindowTest, ContextMenuPageCapturesTheClickedAddressAsSecondArgument) {
  // The installation's own page, run for a clicked link.
  const std::string page = std::string(QUORVELLE_SOURCE_DIR) + "/data/rssfeed.html";
  const std::string copy = user.Home() + "/rssfeed.html";
  std::string html = test::ReadFile(page);
  // The stand-in automation object takes the place of the band's.
  const std::string progId = "RSSQuorvelle.ContextMenuAdd";
  html.replace(html.find(progId), progId.size(), "FakeBand.Capture");
  test::WriteFile(copy, html);
  auto key = RegistryKey::Open(HKEY_CURRENT_USER, std::string(kMenuExtKey) + "\\Add to fake", true);
  key->WriteString("", "file://" + copy);
  key->WriteInteger("Contexts", 0x22);

  const QString clicked = QStringLiteral("http://e.example/feed.xml?a=1&b=%C3%A9");
  ASSERT_TRUE(window->RunMenuExtension(QStringLiteral("Add to fake"), clicked));
  EXPECT_EQ(window->MenuPages().Running(), 1);
  ASSERT_TRUE(WaitFor([&] { return window->MenuPages().Running() == 0; })) << "the page closes itself";
  EXPECT_EQ(Recorded("CaptureURL"), "");
  EXPECT_EQ(Recorded("CaptureTitle"), clicked.toStdString());
  EXPECT_FALSE(window->RunMenuExtension(QStringLiteral("No such entry"), clicked));
}

TEST_F(HostWindowTest, ReportPagesReadFeedsThroughTheProxyAndWebPagesCannot) {
  test::LoopbackHttpServer server;
  server.Route("/feed.xml", {200, "application/xml",
                             "<?xml version=\"1.0\"?><rss><channel><title>T\xC3\xA9st</title></channel></rss>"});
  server.Route("/page.html", {200, "text/html", "<html><body>web page</body></html>"});
  const std::string report = reportFolder + "index.html";
  test::WriteFile(report, "<html><body>report</body></html>");
  // A page saved elsewhere on this computer: not a report page.
  const std::string saved = user.Home() + "/headlines/index.html";
  test::WriteFile(saved, "<html><body>saved</body></html>");

  // The same request the report's script makes.
  auto request = [&](const std::string &address) {
    return QStringLiteral("new Promise(function(done){var x=new XMLHttpRequest();"
                          "x.open('GET','quorvelle-feed:?url='+encodeURIComponent('%1'),true);"
                          "x.onload=function(){done('status '+x.status+' '+x.responseText);};"
                          "x.onerror=function(){done('error '+x.status);};x.send();})")
        .arg(QString::fromStdString(address));
  };
  auto awaitScript = [&](const QString &promise) {
    const QString run =
        QStringLiteral("window.__answer=null;(%1).then(function(a){window.__answer=a;});0").arg(promise);
    Script(run);
    std::optional<QString> answer;
    WaitFor([&] {
      answer = Script(QStringLiteral("window.__answer"));
      return answer && !answer->isEmpty();
    });
    return answer.value_or(QString());
  };

  ASSERT_TRUE(Load(QUrl::fromLocalFile(QString::fromStdString(report))));
  EXPECT_EQ(awaitScript(request(server.Url("/feed.xml"))),
            QStringLiteral("status 200 <?xml version=\"1.0\"?><rss><channel><title>T\u00e9st</title></channel></rss>"));
  // A report page learns why: the status comes as the text of the proxy's own answer type.
  const QString withType =
      QStringLiteral("new Promise(function(done){var x=new XMLHttpRequest();"
                     "x.open('GET','quorvelle-feed:?url='+encodeURIComponent('%1'),true);"
                     "x.onload=function(){done(x.getResponseHeader('Content-Type')+' '+x.responseText);};"
                     "x.onerror=function(){done('error '+x.status);};x.send();})");
  EXPECT_EQ(awaitScript(withType.arg(QStringLiteral("file:///etc/hostname"))),
            QStringLiteral("application/x-quorvelle-proxy-error 403"));
  EXPECT_EQ(awaitScript(withType.arg(QString::fromStdString(server.Url("/missing.xml")))),
            QStringLiteral("application/x-quorvelle-proxy-error 502"));
  EXPECT_TRUE(Script(QStringLiteral("navigator.userAgent")).value_or(QString()).contains(QStringLiteral("Quorvelle")));

  ASSERT_TRUE(Load(QUrl(QString::fromStdString(server.Url("/page.html")))));
  EXPECT_TRUE(awaitScript(request(server.Url("/feed.xml"))).startsWith(QStringLiteral("error")))
      << "a page from the web gets nothing through the proxy";
  ASSERT_TRUE(Load(QUrl::fromLocalFile(QString::fromStdString(saved))));
  EXPECT_TRUE(awaitScript(request(server.Url("/feed.xml"))).startsWith(QStringLiteral("error")))
      << "nor does a local page outside the report folder";
  EXPECT_TRUE(awaitScript(withType.arg(QStringLiteral("file:///etc/hostname"))).startsWith(QStringLiteral("error")));
}

// A report page asks for feeds from a silent host and a slow one: the slow
// host's feeds arrive while the silent one's wait, and leaving the page
// cancels the downloads still running.
TEST_F(HostWindowTest, SilentHostsHoldUpOnlyTheirOwnFeedsUntilThePageGoes) {
  test::LoopbackHttpServer silent;
  test::HttpResponse stalled{200, "application/xml", "<rss/>"};
  stalled.chunkSize = 1;
  stalled.chunkDelay = std::chrono::seconds(60);
  silent.Route("/hang.xml", stalled);
  test::LoopbackHttpServer slow;
  test::HttpResponse late{200, "application/xml", "<rss><channel><title>late</title></channel></rss>"};
  late.chunkSize = 16;
  late.chunkDelay = std::chrono::milliseconds(100);
  slow.Route("/feed.xml", late);
  const std::string report = reportFolder + "index.html";
  test::WriteFile(report, "<html><body>report</body></html>");
  ASSERT_TRUE(Load(QUrl::fromLocalFile(QString::fromStdString(report))));

  Script(QStringLiteral("window.__arrived=0;window.__failed=0;function get(a){var x=new XMLHttpRequest();"
                        "x.open('GET','quorvelle-feed:?url='+encodeURIComponent(a),true);"
                        "x.onload=function(){if(x.responseText.indexOf('late')>0)window.__arrived++;};"
                        "x.onerror=function(){window.__failed++;};x.send();}"
                        "for(var i=0;i<8;i++)get('%1');for(var j=0;j<12;j++)get('%2?'+j);0")
             .arg(QString::fromStdString(silent.Url("/hang.xml")), QString::fromStdString(slow.Url("/feed.xml"))));
  EXPECT_TRUE(WaitFor([&] { return Script(QStringLiteral("window.__arrived")) == QStringLiteral("12"); }))
      << "the slow host's feeds arrive while the silent host's hang";
  EXPECT_EQ(Script(QStringLiteral("window.__failed")), QStringLiteral("0"));
  EXPECT_EQ(proxy->PendingDownloads(), 8U);
  EXPECT_EQ(silent.RequestCount("/hang.xml"), 6U) << "six connections to one host at most";

  ASSERT_TRUE(Load(QUrl(QStringLiteral("about:blank"))));
  EXPECT_TRUE(WaitFor([&] { return proxy->PendingDownloads() == 0; })) << "leaving the page cancels its downloads";
}

// Our browser renders the report itself: with the web engine's
// XSLTProcessor taken from the page, a category page still shows every
// headline, and the boxes of the feeds that arrived are shown while a slow
// one is still loading.
TEST_F(HostWindowTest, ReportPagesShowEveryHeadlineWithoutTheEnginesXslt) {
  const std::string install = user.Home() + "/install/";
  std::filesystem::copy(std::string(QUORVELLE_SOURCE_DIR) + "/data", install,
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  test::LoopbackHttpServer server;
  std::vector<std::string> headlines;
  std::string feeds;
  // Feeds 0 and 1 were viewed before with only their first item: two new
  // headlines each.
  std::vector<std::pair<std::string, std::vector<std::string>>> viewedBefore;
  const auto viewedOnlyTheFirstItems = [&] {
    std::filesystem::remove(report::SeenItemsFile());
    report::SeenItems seen;
    for (const auto &[url, identities] : viewedBefore)
      seen.View(url, identities, report::Mark::Yes);
    seen.Commit();
  };
  for (int f = 0; f < 6; ++f) {
    std::string items;
    for (int i = 0; i < 3; ++i) {
      headlines.push_back("Headline " + std::to_string(f) + "." + std::to_string(i));
      items += "<item><title>" + headlines.back() + "</title><link>http://h.example/" + std::to_string(f) + "/" +
               std::to_string(i) + "</link><pubDate>Mon, 25 Apr 2005 19:39:00 GMT</pubDate></item>";
      if (i == 0 && f < 2)
        viewedBefore.emplace_back(
            server.Url("/feed" + std::to_string(f) + ".xml"),
            report::ItemIdentities("<rss version=\"2.0\"><channel>" + items + "</channel></rss>"));
    }
    test::HttpResponse feed{200, "application/xml",
                            "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed " + std::to_string(f) +
                                "</title>" + items + "</channel></rss>"};
    if (f == 5) {
      feed.chunkSize = 64;
      feed.chunkDelay = std::chrono::milliseconds(700);
    }
    const std::string path = "/feed" + std::to_string(f) + ".xml";
    server.Route(path, feed);
    feeds += "<Quorvelle_Feed src=\"" + server.Url(path) + "\" enabled=\"true\" title=\"F" + std::to_string(f) + "\"/>";
  }
  TRSSFeedOptions store;
  store.AppPath = install;
  store.FXMLDoc->LoadXML("<Quorvelle_Feeds><Quorvelle_Categories><Quorvelle_Category name=\"News\" description=\"\">" +
                         feeds + "</Quorvelle_Category></Quorvelle_Categories></Quorvelle_Feeds>");
  ASSERT_NE(store.GenerateXML(), "");
  viewedOnlyTheFirstItems();

  QWebEngineScript noXslt;
  noXslt.setSourceCode(QStringLiteral("delete window.XSLTProcessor; window.XSLTProcessor = undefined;"));
  noXslt.setInjectionPoint(QWebEngineScript::DocumentCreation);
  noXslt.setWorldId(QWebEngineScript::MainWorld);
  profile->scripts()->insert(noXslt);
  ASSERT_TRUE(Load(QUrl::fromLocalFile(QString::fromStdString(reportFolder + "News/index.html"))));
  EXPECT_EQ(Script(QStringLiteral("typeof XSLTProcessor")), QStringLiteral("undefined"));

  const QString items = QStringLiteral("document.querySelectorAll('#OutputResult .q-item').length");
  const QString loading = QStringLiteral("document.querySelectorAll('#OutputResult .q-loading').length");
  ASSERT_TRUE(WaitFor([&] { return Script(items) == QStringLiteral("15"); }))
      << Script(QStringLiteral("document.getElementById('OutputResult').innerHTML")).value_or(QString()).toStdString();
  EXPECT_EQ(Script(loading), QStringLiteral("1")) << "the slow feed's box still loads";
  ASSERT_TRUE(WaitFor([&] { return Script(loading) == QStringLiteral("0"); }));
  const std::string shown =
      Script(QStringLiteral("document.getElementById('OutputResult').textContent")).value_or(QString()).toStdString();
  for (const std::string &headline : headlines)
    EXPECT_NE(shown.find(headline), std::string::npos) << headline;
  EXPECT_NE(shown.find("Apr 25, 2005"), std::string::npos) << "dates read as every window shows them";
  EXPECT_EQ(Script(QStringLiteral("document.querySelector('#OutputResult a[href=\"http://h.example/5/2\"]') !== null")),
            QStringLiteral("true"));
  EXPECT_EQ(proxy->OpenReports(), 0U) << "the page's boxes are all handed over";
  EXPECT_EQ(Script(QStringLiteral("document.querySelectorAll('#OutputResult .q-new').length")), QStringLiteral("4"));

  // Seen as before that view, the start page counts the category's new
  // headlines (from the copies just kept), and marks nothing.
  viewedOnlyTheFirstItems();
  ASSERT_TRUE(Load(QUrl::fromLocalFile(QString::fromStdString(reportFolder + "index.html"))));
  const QString counted = QStringLiteral("document.querySelector('#OutputResult .q-category-new').textContent");
  EXPECT_TRUE(WaitFor([&] { return Script(counted) == QStringLiteral("4 new headlines"); }))
      << Script(counted).value_or(QString()).toStdString();
  ASSERT_TRUE(WaitFor([&] { return proxy->OpenReports() == 0U; }));
}

// What the band reads through the browser object: the page as the view
// serialises it, and the page's address.
struct BandView {
  std::string html;
  std::string address;
};
BandView ReadAsTheBandDoes(WebBrowser &browser) {
  BandView view;
  com::ComPtr<com::IDispatch> document;
  EXPECT_EQ(browser.get_Document(document.ReleaseAndGetAddressOf()), com::S_OK);
  com::ComPtr<com::IHTMLDocument3> document3;
  com::ComPtr<com::IHTMLDocument2> document2;
  if (!document || com::FAILED(document.As(document3)) || com::FAILED(document.As(document2))) return view;
  com::ComPtr<com::IHTMLElement> element;
  com::WideString text;
  if (com::SUCCEEDED(document3->get_documentElement(element.ReleaseAndGetAddressOf())) &&
      com::SUCCEEDED(element->get_outerHTML(&text))) {
    view.html = com::WideToUtf8(text);
  }
  if (com::SUCCEEDED(document2->get_URL(&text))) view.address = com::WideToUtf8(text);
  return view;
}

// Keeps the captured pages' scripts and pictures from reaching the network.
class LoopbackOnly : public QWebEngineUrlRequestInterceptor {
public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo &info) override {
    const QUrl url = info.requestUrl();
    if ((url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
        url.host() != QLatin1String("127.0.0.1")) {
      info.block(true);
    }
  }
};

TEST_F(HostWindowTest, DiscoveryOnEachCapturedPageAsTheBrowserHandsItOver) {
  LoopbackOnly loopbackOnly;
  profile->setUrlRequestInterceptor(&loopbackOnly);
  test::LoopbackHttpServer server;
  const std::string pages = std::string(QUORVELLE_REALWORLD_DIR) + "/pages/";
  // Each page loaded in the browser and read as the band reads it offers the
  // same feeds as the native host offers for the page's source.
  for (const test::CollectedPage &page : test::CollectedPages()) {
    SCOPED_TRACE(page.file);
    server.RouteFile(std::string("/pages/") + page.file, pages + page.file, "text/html; charset=utf-8");
    ASSERT_TRUE(Load(QUrl(QString::fromStdString(server.Url(std::string("/pages/") + page.file)))));
    const BandView view = ReadAsTheBandDoes(*window->Browser());
    EXPECT_EQ(view.address, server.Url(std::string("/pages/") + page.file));
    ASSERT_NE(view.html.find("<head"), std::string::npos) << view.html;
    const std::vector<DiscoveredFeed> expected = test::ExpectedFeeds(page, server.Url(""));
    EXPECT_EQ(DiscoverFeeds(view.html, view.address), expected) << view.html.substr(0, 3000);
  }
  profile->setUrlRequestInterceptor(nullptr);
}

TEST_F(HostWindowTest, ThePageCannotChangeWhatTheBandReads) {
  test::LoopbackHttpServer server;
  // The page replaces what its own scripts see of the document's markup.
  server.Route("/spoof.html",
               {200, "text/html; charset=utf-8",
                "<html><head><link rel=\"alternate\" type=\"application/rss+xml\" title=\"Real\" href=\"/real.xml\">"
                "<script>Object.defineProperty(Element.prototype, 'outerHTML', {get: function() {"
                "return '<' + 'link rel=\"alternate\" type=\"application/rss+xml\" title=\"Spoof\" "
                "href=\"http://evil.example/\">'; }});</script></head><body></body></html>"});
  ASSERT_TRUE(Load(QUrl(QString::fromStdString(server.Url("/spoof.html")))));
  ASSERT_EQ(Script(QStringLiteral("document.documentElement.outerHTML.indexOf('Spoof') >= 0")), QStringLiteral("true"));
  const BandView view = ReadAsTheBandDoes(*window->Browser());
  EXPECT_EQ(DiscoverFeeds(view.html, view.address), (std::vector<DiscoveredFeed>{{server.Url("/real.xml"), "Real"}}));
}

} // namespace
} // namespace quorvelle::host
