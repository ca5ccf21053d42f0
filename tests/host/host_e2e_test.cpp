// Quorvelle as a new user meets it: installed into a temporary home with the
// project's own scripts, the browser started with the real band and driven
// by a script (QUORVELLE_HOST_SCRIPT) against a loopback server that serves
// the collected real-world feeds. A feed is added from a page that announces
// one and another from the context menu, the report shows the headlines of
// every enabled feed, the report becomes the home page, and uninstalling
// gives the previous home page back and removes the context-menu entry.

#include "platform/registry/registry.h"
#include "tests/helpers/child_process.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/helpers/test_environment.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace quorvelle {
namespace {

namespace fs = std::filesystem;
using platform::HKEY_CURRENT_USER;
using platform::RegistryKey;

constexpr const char *kMainKey = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char *kMenuKey =
    "Software\\Microsoft\\Internet Explorer\\MenuExt\\Add RSS/OPML/XML/RDF/ATOM Feed To Quorvelle";

// First headline of each enabled feed, as the report shows it.
struct ShownFeed {
  const char *file;
  const char *headline;
};
const ShownFeed kListedFeeds[] = {
    {"kde-inhabitat-rss20.xml", "ELASTIC CO."},
    {"kde-pro-linux-rss091.xml", "Mainsoft und IBM wollen Portierung auf Linux unterst\xC3\xBCtzen"},
    {"kde-security-debian-rss10.xml", "DSA-1008 kdegraphics - buffer overflow"},
    {"kde-slashdot-rss10.xml", "First 500 Terabytes Transmitted via LHCGlobal Grid"},
    {"kde-tagesschau-rss090.xml", "Aktionstag: Zehntausende demonstrieren in Frankreich"},
    {"kde-tbray-nested-xmlbase-atom10.xml", "Rent-seeking for Nomads"},
};
// Added from the page that announces it.
const ShownFeed kAnnounced = {"kde-heise-atom10.xml", "Was war. Was wird."};
// Added from the context menu.
const ShownFeed kCaptured = {"kde-schockwellenreiter-rss092.xml", "P\xC3\xA4uschen (auf der Rixdorfer B\xC3\xBChne)"};
// In the list but disabled: not in the report.
const ShownFeed kDisabled = {"kde-wordpress2-atom03.xml", "Some title"};

// Runs a shell command line; its exit status and what it printed (both streams).
int RunCommand(const std::string &command, std::string &output) {
  output.clear();
  FILE *pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::string &text) { return "'" + text + "'"; }

std::string StartPage() {
  const auto key = RegistryKey::Open(HKEY_CURRENT_USER, kMainKey, false);
  return key && key->ValueExists("Start Page") ? key->ReadString("Start Page") : std::string();
}

// scripts/test.sh sets QUORVELLE_REQUIRE_BROWSER: on a machine set up by
// scripts/setup-debian.sh a browser that cannot start is a failure, not a skip.
bool BrowserRequired() {
  const char *required = std::getenv("QUORVELLE_REQUIRE_BROWSER");
  return required != nullptr && *required != '\0' && std::string(required) != "0";
}
constexpr const char *kNoEngine =
    "the web engine could not start, and QUORVELLE_REQUIRE_BROWSER asks for the browser tests to run here:\n";

TEST(HostEndToEnd, HelpVersionAndUnknownOptionsAnswerInTheTerminalWithoutAWindow) {
  test::IsolatedUser user;
  const std::string browser = std::string(QUORVELLE_BINARY_DIR) + "/bin/quorvelle-browser";
  // Without a display, as in a terminal over ssh; a browser that opened its
  // window instead would run until the time limit ends it (status 124).
  for (const auto &[arg, status, shown] : std::vector<std::tuple<std::string, int, std::string>>{
           {"--version", 0, "quorvelle-browser 1.0\n"},
           {"-v", 0, "quorvelle-browser 1.0\n"},
           {"--help", 0, "usage: quorvelle-browser"},
           {"--frobnicate", 2, "quorvelle-browser: unknown option --frobnicate\n"}}) {
    std::string output;
    EXPECT_EQ(RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 " + Quoted(browser) + " " + arg, output), status)
        << arg << ": " << output;
    EXPECT_NE(output.find(shown), std::string::npos) << arg << ": " << output;
  }
}

TEST(HostEndToEnd, ClosingTheWindowDuringEachLongBandCommandEndsCleanly) {
  test::IsolatedUser user;
  const std::string prefix = user.Home() + "/opt";
  test::ScopedEnv prefixEnv("QUORVELLE_PREFIX", prefix);
  const std::string install = prefix + "/Quorvelle/";
  fs::create_directories(user.DataFolder());
  const std::string list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>"
                           "<Quorvelle_Feed src=\"http://127.0.0.1:1/feed.xml\" enabled=\"true\" title=\"Kept\"/>"
                           "</Quorvelle_Categories></Quorvelle_Feeds>";
  test::WriteFile(user.FeedsFile(), list);
  std::string output;
  ASSERT_EQ(
      RunCommand(Quoted(std::string(QUORVELLE_SOURCE_DIR) + "/scripts/install.sh") + " " + Quoted(QUORVELLE_BINARY_DIR),
                 output),
      0)
      << output;
  const std::string script = user.Home() + "/steps.txt";
  for (const char *command :
       {"Manage Feeds...", "Add RSS/XML/RDF/ATOM Feed...", "Import XML/OPML...", "Export XML/OPML..."}) {
    SCOPED_TRACE(command);
    // The window closes while the command's dialog is open.
    test::WriteFile(script, std::string("timeout 30000\nwait-band\nband ") + command + "\nsleep 1500\nquit\n");
    const int status =
        RunCommand("QUORVELLE_HOST_SCRIPT=" + Quoted(script) + " " + Quoted(install + "quorvelle-browser"), output);
    if (status != 0 && output.find("[host] ok line 1") == std::string::npos) {
      if (BrowserRequired()) FAIL() << kNoEngine << output;
      GTEST_SKIP() << "the web engine could not start here; the browser was not checked:\n" << output;
    }
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[host] script done"), std::string::npos) << output;
    EXPECT_NE(test::ReadFile(user.FeedsFile()).find("title=\"Kept\""), std::string::npos);
  }
  ASSERT_EQ(RunCommand(Quoted(std::string(QUORVELLE_SOURCE_DIR) + "/scripts/uninstall.sh"), output), 0) << output;
}

TEST(HostEndToEnd, NewUserAddsFeedsViewsHeadlinesSetsHomePageAndUninstalls) {
  test::IsolatedUser user;
  const std::string prefix = user.Home() + "/opt";
  test::ScopedEnv prefixEnv("QUORVELLE_PREFIX", prefix);
  const std::string install = prefix + "/Quorvelle/";

  test::LoopbackHttpServer server;
  const std::string feeds = std::string(QUORVELLE_REALWORLD_DIR) + "/feeds/";
  for (const auto &entry : fs::directory_iterator(feeds)) {
    server.RouteFile("/feeds/" + entry.path().filename().string(), entry.path().string(), "application/xml");
  }
  auto feedUrl = [&](const ShownFeed &feed) { return server.Url(std::string("/feeds/") + feed.file); };
  server.Route("/previous-home.html", {200, "text/html; charset=utf-8",
                                       "<html><head><title>Previous home</title></head><body>home</body></html>"});
  server.Route("/announce.html",
               {200, "text/html; charset=utf-8",
                "<html><head><title>A site</title><link rel=\"alternate\" type=\"application/rss+xml\" title=\"heise "
                "online\" href=\"" +
                    feedUrl(kAnnounced) + "\"></head><body><p>News site</p></body></html>"});

  // The user's list before: enabled feeds and one disabled feed.
  std::string list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>";
  for (const ShownFeed &feed : kListedFeeds) {
    list += "<Quorvelle_Feed src=\"" + feedUrl(feed) + "\" enabled=\"true\" title=\"" + feed.file + "\"/>";
  }
  list += "<Quorvelle_Feed src=\"" + feedUrl(kDisabled) + "\" enabled=\"false\" title=\"disabled\"/>";
  // Two the browser cannot hand over: a local file (refused) and a site that is down.
  list += "<Quorvelle_Feed src=\"file:///etc/hostname\" enabled=\"true\" title=\"local file\"/>";
  list += "<Quorvelle_Feed src=\"" + server.Url("/down.xml") + "\" enabled=\"true\" title=\"down\"/>";
  list += "</Quorvelle_Categories></Quorvelle_Feeds>";
  fs::create_directories(user.DataFolder());
  test::WriteFile(user.FeedsFile(), list);
  // The browser's home page before Quorvelle.
  RegistryKey::Open(HKEY_CURRENT_USER, kMainKey, true)->WriteString("Start Page", server.Url("/previous-home.html"));

  std::string output;
  ASSERT_EQ(
      RunCommand(Quoted(std::string(QUORVELLE_SOURCE_DIR) + "/scripts/install.sh") + " " + Quoted(QUORVELLE_BINARY_DIR),
                 output),
      0)
      << output;
  ASSERT_TRUE(test::PathExists(install + "quorvelle-browser")) << output;
  ASSERT_TRUE(RegistryKey::Open(HKEY_CURRENT_USER, kMenuKey, false).has_value());
  for (const char *program : {"quorvelle-browser", "quorvelle", "QuorvelleInstall", "libQuorvelle.so"}) {
    RunCommand("readelf -S " + Quoted(install + program), output);
    EXPECT_EQ(output.find(".debug_info"), std::string::npos) << program << " is installed stripped";
  }

  const std::string script = user.Home() + "/steps.txt";
  const std::string reportReady =
      "location.href.indexOf('/headlines/index.html') >= 0 && document.querySelectorAll('.q-item').length > 0 && "
      "document.querySelectorAll('.q-loading').length === 0";
  test::WriteFile(script, "timeout 30000\n"
                          "wait-band\n"
                          "wait-js location.href === '" +
                              server.Url("/previous-home.html") +
                              "'\n"
                              "open " +
                              server.Url("/announce.html") +
                              "\n"
                              "wait-js document.title === 'A site'\n"
                              "band Add RSS/XML/RDF/ATOM Feed...\n"
                              "print-modal-field edURL\n"
                              "modal-button Add\n"
                              "wait-no-modal\n"
                              "menu-ext Add RSS/OPML/XML/RDF/ATOM Feed To Quorvelle\t" +
                              feedUrl(kCaptured) +
                              "\n"
                              "print-modal-field edURL\n"
                              "modal-button Add\n"
                              "wait-no-modal\n"
                              "wait-menu-pages\n"
                              "band View Feeds...\n"
                              "wait-js " +
                              reportReady +
                              "\n"
                              "print-js document.body.innerText\n"
                              "band Set As Home Page...\n"
                              "modal-button Yes\n"
                              "wait-no-modal\n"
                              "quit\n");
  const int status =
      RunCommand("QUORVELLE_HOST_SCRIPT=" + Quoted(script) + " " + Quoted(install + "quorvelle-browser"), output);
  if (status != 0 && output.find("[host] ok line 1") == std::string::npos) {
    if (BrowserRequired()) FAIL() << kNoEngine << output;
    GTEST_SKIP() << "the web engine could not start here; the browser was not checked:\n" << output;
  }
  ASSERT_EQ(status, 0) << output;
  EXPECT_NE(output.find("[host] field edURL: " + feedUrl(kAnnounced)), std::string::npos)
      << "the add dialog opens with the feed the page announces";
  EXPECT_NE(output.find("[host] field edURL: " + feedUrl(kCaptured)), std::string::npos)
      << "the add dialog opens with the right-clicked address";

  const std::size_t shown = output.find("[host] js: ");
  ASSERT_NE(shown, std::string::npos) << output;
  const std::string report = output.substr(shown);
  for (const ShownFeed &feed : kListedFeeds) {
    EXPECT_NE(report.find(feed.headline), std::string::npos) << feed.file;
  }
  EXPECT_NE(report.find(kAnnounced.headline), std::string::npos) << "the feed added from the page";
  EXPECT_NE(report.find(kCaptured.headline), std::string::npos) << "the feed added from the context menu";
  EXPECT_EQ(report.find(kDisabled.headline), std::string::npos) << "a disabled feed is not shown";
  EXPECT_NE(report.find("Quorvelle does not fetch this address."), std::string::npos)
      << "the refused feed says why, in place";
  EXPECT_NE(report.find("This feed could not be reached."), std::string::npos) << "the feed that is down says so";

  const std::string saved = test::ReadFile(user.FeedsFile());
  EXPECT_NE(saved.find(feedUrl(kAnnounced)), std::string::npos);
  EXPECT_NE(saved.find(feedUrl(kCaptured)), std::string::npos);
  EXPECT_EQ(StartPage(), "file://" + install + "headlines/index.html");

  ASSERT_EQ(RunCommand(Quoted(std::string(QUORVELLE_SOURCE_DIR) + "/scripts/uninstall.sh"), output), 0) << output;
  EXPECT_EQ(StartPage(), server.Url("/previous-home.html"));
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, kMenuKey, false).has_value());
  EXPECT_FALSE(test::PathExists(install + "quorvelle-browser"));
  EXPECT_FALSE(test::PathExists(install + "headlines"));
  EXPECT_EQ(test::ReadFile(user.FeedsFile()), saved) << "the feed list stays";
}

// The desktop's way in: the install step registers the menu entry, icons,
// metainfo and the file-type entries; a feed link opened with Quorvelle shows
// the band's add feed dialog with the address, an OPML list its import
// dialog; uninstalling removes exactly that registration.
TEST(HostEndToEnd, DesktopHandsFeedLinksAndListsToTheBandsDialogs) {
  test::IsolatedUser user;
  const std::string prefix = user.Home() + "/opt";
  test::ScopedEnv prefixEnv("QUORVELLE_PREFIX", prefix);
  const std::string install = prefix + "/Quorvelle/";
  const std::string data = user.Home() + "/.local/share/";
  test::LoopbackHttpServer server;
  const std::string feeds = std::string(QUORVELLE_REALWORLD_DIR) + "/feeds/";
  server.RouteFile("/captured.xml", feeds + kCaptured.file, "application/rss+xml");
  const std::string opml = user.Home() + "/Shared list.opml";
  test::WriteFile(opml, "<opml version=\"2.0\"><head><title>Shared</title></head><body>"
                        "<outline text=\"Listed\" xmlUrl=\"https://listed.example/feed\"/></body></opml>");

  std::string output;
  ASSERT_EQ(
      RunCommand(Quoted(std::string(QUORVELLE_SOURCE_DIR) + "/scripts/install.sh") + " " + Quoted(QUORVELLE_BINARY_DIR),
                 output),
      0)
      << output;
  const std::vector<std::string> registered = {
      "applications/net.tolvane.Quorvelle.desktop",         "applications/net.tolvane.Quorvelle.AddFeed.desktop",
      "applications/net.tolvane.Quorvelle.Import.desktop",  "icons/hicolor/scalable/apps/net.tolvane.Quorvelle.svg",
      "icons/hicolor/48x48/apps/net.tolvane.Quorvelle.png", "metainfo/net.tolvane.Quorvelle.metainfo.xml"};
  for (const std::string &file : registered) {
    EXPECT_TRUE(test::PathExists(data + file)) << file;
  }
  if (test::FindProgram("desktop-file-validate")) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(RunCommand("desktop-file-validate " + Quoted(data + registered[i]), output), 0) << output;
    }
  }
  EXPECT_NE(test::ReadFile(data + registered[1]).find("Exec=\"" + install + "quorvelle-browser\" --add-feed %u"),
            std::string::npos);

  const std::string script = user.Home() + "/steps.txt";
  test::WriteFile(script, "timeout 30000\n"
                          "print-modal-field edURL\n"
                          "modal-button Add\n"
                          "wait-no-modal\n"
                          "wait-js location.href.indexOf('/headlines/index.html') >= 0\n"
                          "quit\n");
  const std::string browser = "QUORVELLE_HOST_SCRIPT=" + Quoted(script) + " " + Quoted(install + "quorvelle-browser");
  const int status = RunCommand(browser + " --add-feed " + Quoted(server.Url("/captured.xml")), output);
  if (status != 0 && output.find("[host] ok line 1") == std::string::npos) {
    GTEST_SKIP() << "the web engine could not start here; the browser was not checked:\n" << output;
  }
  ASSERT_EQ(status, 0) << output;
  EXPECT_NE(output.find("[host] field edURL: " + server.Url("/captured.xml")), std::string::npos) << output;
  EXPECT_NE(test::ReadFile(user.FeedsFile()).find(server.Url("/captured.xml")), std::string::npos);

  test::WriteFile(script, "timeout 30000\n"
                          "modal-button Import\n"
                          "wait-no-modal\n"
                          "quit\n");
  ASSERT_EQ(RunCommand(browser + " --import " + Quoted(opml), output), 0) << output;
  const std::string saved = test::ReadFile(user.FeedsFile());
  EXPECT_NE(saved.find("<Quorvelle_Category name=\"Shared\" description=\"\"><Quorvelle_Feed "
                       "src=\"https://listed.example/feed\""),
            std::string::npos)
      << saved;

  ASSERT_EQ(RunCommand(Quoted(std::string(QUORVELLE_SOURCE_DIR) + "/scripts/uninstall.sh"), output), 0) << output;
  for (const std::string &file : registered) {
    EXPECT_FALSE(test::PathExists(data + file)) << file;
  }
  EXPECT_EQ(test::ReadFile(user.FeedsFile()), saved) << "the feed list stays";
}

// A folder on a tmpfs mounted noexec for the life of the object, where the
// machine lets the test mount one (root, mounts allowed); else just the folder.
class NoexecFolder {
public:
  explicit NoexecFolder(std::string path) : path_(std::move(path)) {
    fs::create_directories(path_);
    std::string output;
    mounted_ =
        ::geteuid() == 0 && RunCommand("mount -t tmpfs -o noexec,nosuid,size=256m tmpfs " + Quoted(path_), output) == 0;
    if (!mounted_) std::cout << "no noexec mount could be made here; " << path_ << " is a plain folder\n";
  }
  ~NoexecFolder() {
    std::string output;
    if (mounted_) RunCommand("umount -l " + Quoted(path_), output);
  }
  NoexecFolder(const NoexecFolder &) = delete;
  NoexecFolder &operator=(const NoexecFolder &) = delete;

private:
  std::string path_;
  bool mounted_ = false;
};

// The Debian package, unpacked into a temporary root instead of installed:
// lintian finds no error, and a new user's first start of its programs sets
// up the user's own installation folder, registers the band there, and the
// report renders in the browser.
TEST(HostEndToEnd, PackageUnpackedRunsForANewUser) {
  test::IsolatedUser user;
  std::string output;
  test::ScopedEnv outEnv("QUORVELLE_PACKAGE_OUT", user.Home() + "/out");
  ASSERT_EQ(
      RunCommand(Quoted(std::string(QUORVELLE_SOURCE_DIR) + "/scripts/package.sh") + " " + Quoted(QUORVELLE_BINARY_DIR),
                 output),
      0)
      << output;
  const std::string package = user.Home() + "/out/quorvelle_1.0_amd64.deb";
  ASSERT_EQ(output, package + "\n");
  if (test::FindProgram("lintian")) {
    RunCommand("lintian " + Quoted(package), output);
    EXPECT_EQ(output.find("E: "), std::string::npos) << output;
  }
  const std::string root = user.Home() + "/root";
  ASSERT_EQ(RunCommand("dpkg-deb -x " + Quoted(package) + " " + Quoted(root), output), 0) << output;
  for (const char *file :
       {"/usr/bin/quorvelle", "/usr/bin/quorvelle-browser", "/usr/lib/quorvelle/libQuorvelle.so",
        "/usr/share/applications/net.tolvane.Quorvelle.desktop",
        "/usr/share/metainfo/net.tolvane.Quorvelle.metainfo.xml", "/usr/share/man/man1/quorvelle.1.gz",
        "/usr/lib/quorvelle/quorvelle-native-host", "/usr/share/quorvelle/extension/chromium/manifest.json",
        "/usr/share/quorvelle/extension/firefox/manifest.json", "/usr/lib/quorvelle/index.xsl",
        "/etc/chromium/native-messaging-hosts/net.tolvane.quorvelle.json",
        "/usr/lib/mozilla/native-messaging-hosts/net.tolvane.quorvelle.json"}) {
    EXPECT_TRUE(test::PathExists(root + file)) << file;
  }

  test::LoopbackHttpServer server;
  server.RouteFile("/feed.xml", std::string(QUORVELLE_REALWORLD_DIR) + "/feeds/" + kCaptured.file,
                   "application/rss+xml");
  const std::string app = user.DataFolder() + "app/";
  // The user's data folder, and so the installation folder, on a home
  // mounted noexec: nothing of the package may need to run from there.
  const NoexecFolder noexec(user.Home() + "/.local/share");
  ASSERT_EQ(
      RunCommand(Quoted(root + "/usr/bin/quorvelle") + " add " + Quoted(server.Url("/feed.xml")) + " --title Captured",
                 output),
      0)
      << output;
  EXPECT_TRUE(fs::is_symlink(app + "libQuorvelle.so"));
  // No program is copied into the user's folder (a home mounted noexec could
  // not run it): everything there that runs is a link to the package.
  for (const fs::directory_entry &entry : fs::recursive_directory_iterator(app)) {
    if (entry.is_symlink() || !entry.is_regular_file()) continue;
    EXPECT_EQ(fs::status(entry.path()).permissions() & fs::perms::owner_exec, fs::perms::none) << entry.path();
    EXPECT_NE(test::ReadFile(entry.path().string()).substr(0, 4), "\x7f"
                                                                  "ELF")
        << entry.path();
  }
  EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle", false)->ReadString("AppPath"), app);

  const std::string script = user.Home() + "/steps.txt";
  test::WriteFile(script, "timeout 30000\n"
                          "wait-band\n"
                          "band View Feeds...\n"
                          "wait-js location.href.indexOf('/headlines/index.html') >= 0 && "
                          "document.querySelectorAll('.q-item').length > 0 && "
                          "document.querySelectorAll('.q-loading').length === 0\n"
                          "print-js location.href\n"
                          "print-js document.body.innerText\n"
                          "quit\n");
  const int status =
      RunCommand("QUORVELLE_HOST_SCRIPT=" + Quoted(script) + " " + Quoted(root + "/usr/bin/quorvelle-browser"), output);
  if (status != 0 && output.find("[host] ok line 1") == std::string::npos) {
    GTEST_SKIP() << "the web engine could not start here; the browser was not checked:\n" << output;
  }
  ASSERT_EQ(status, 0) << output;
  EXPECT_NE(output.find("[host] js: file://" + app + "headlines/index.html"), std::string::npos) << output;
  EXPECT_NE(output.find(kCaptured.headline), std::string::npos) << output;
  EXPECT_FALSE(test::PathExists(root + "/usr/lib/quorvelle/headlines")) << "nothing is written into the package";
}

} // namespace
} // namespace quorvelle
