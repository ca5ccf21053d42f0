// The quorvelle program run as a user runs it: a fresh user (own HOME and
// settings) per test, an installation folder with the data files, and the
// program's output, exit status and the list on disk after each command.

#include "feeds/feed_store.h"
#include "platform/registry/registry.h"
#include "tests/helpers/child_process.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/helpers/test_environment.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvelle::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string &text) {
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

// Runs a shell command line whose pipes fail when any of their programs does.
int Shell(const std::string &command) {
  const int status = std::system(("bash -o pipefail -c " + Quote(command) + " >/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CliTest : public ::testing::Test {
protected:
  CliTest() : app_(user_.Home() + "/opt/Quorvelle/") {
    fs::create_directories(app_);
    fs::copy(QUORVELLE_SOURCE_DIR "/data", app_, fs::copy_options::recursive);
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    key->WriteString("AppPath", app_);
  }

  // Runs quorvelle with the arguments; shellTail is appended to the command
  // line as it stands (a pipe, a redirection of standard input).
  Result Run(const std::vector<std::string> &args, const std::string &shellTail = "") {
    std::string command = Quote(QUORVELLE_CLI);
    for (const std::string &arg : args)
      command += " " + Quote(arg);
    command += " >" + Quote(user_.Home() + "/out") + " 2>" + Quote(user_.Home() + "/err") + " " + shellTail;
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(user_.Home() + "/out"),
            ReadFile(user_.Home() + "/err")};
  }
  json List() {
    const Result result = Run({"list", "--json"});
    EXPECT_EQ(result.status, 0) << result.err;
    return json::parse(result.out);
  }
  // category name -> its feeds' "url title enabled" in list order.
  std::map<std::string, std::vector<std::string>> Feeds() {
    std::map<std::string, std::vector<std::string>> feeds;
    const json list = List();
    for (const json &category : list["categories"]) {
      std::vector<std::string> &rows = feeds[category["name"].get<std::string>()];
      for (const json &feed : category["feeds"]) {
        rows.push_back(feed["url"].get<std::string>() + " " + feed["title"].get<std::string>() + " " +
                       (feed["enabled"].get<bool>() ? "on" : "off"));
      }
    }
    return feeds;
  }
  std::string ListFile() { return PathExists(user_.FeedsFile()) ? ReadFile(user_.FeedsFile()) : "<none>"; }

  IsolatedUser user_;
  std::string app_;
};

TEST_F(CliTest, EditingCommandsChangeTheListOnDisk) {
  EXPECT_EQ(Run({"add", "http://a.example/rss", "--title", "  Caf\xC3\xA9\tA  ", "--no-fetch"}).status, 0);
  EXPECT_EQ(Run({"add", "http://b.example/rss", "--title", "B", "--category", "News"}).status, 0);
  EXPECT_EQ(Run({"add", "http://c.example/rss", "--no-fetch", "--category", "News"}).status, 0);
  EXPECT_EQ(Run({"disable", "http://C.EXAMPLE/rss"}).status, 0);
  using Rows = std::vector<std::string>;
  EXPECT_EQ(Feeds(),
            (std::map<std::string, Rows>{{"", {"http://a.example/rss Caf\xC3\xA9 A on"}},
                                         {"News", {"http://b.example/rss B on", "http://c.example/rss  off"}}}));

  Result added = Run({"category", "add", "Tech/Web"});
  EXPECT_EQ(added.status, 0);
  EXPECT_EQ(added.out, "Tech Web\n"); // the name as the store keeps it
  EXPECT_EQ(Run({"move", "http://b.example/rss", "--to", "tech web"}).status, 0);
  EXPECT_EQ(Run({"move", "http://a.example/rss", "--to", "News"}).status, 0);
  EXPECT_EQ(Run({"enable", "http://c.example/rss"}).status, 0);
  EXPECT_EQ(Run({"category", "rename", "Tech Web", "Science"}).status, 0);
  EXPECT_EQ(Run({"remove", "http://c.example/rss"}).status, 0);
  EXPECT_EQ(Feeds(), (std::map<std::string, Rows>{{"", {}},
                                                  {"News", {"http://a.example/rss Caf\xC3\xA9 A on"}},
                                                  {"Science", {"http://b.example/rss B on"}}}));
  Result human = Run({"list", "--category", "News"});
  EXPECT_EQ(human.out, "News\n  [x] http://a.example/rss  Caf\xC3\xA9 A\n");
  EXPECT_EQ(Run({"categories"}).out, "<< GENERAL >>\nNews\nScience\n");
  EXPECT_EQ(Run({"category", "remove", "Science"}).status, 0);
  EXPECT_EQ(Feeds().count("Science"), 0U);
  EXPECT_EQ(Run({"check"}).status, 0);
}

TEST_F(CliTest, FailingCommandsSayWhyOnOneLineAndWriteNothing) {
  ASSERT_EQ(Run({"add", "http://a.example/rss", "--title", "A", "--category", "News"}).status, 0);
  ASSERT_EQ(Run({"report"}).status, 0);
  const std::string before = ListFile();
  const std::string reportBefore = ReadFile(app_ + "headlines/index.xml");
  LoopbackHttpServer server;
  server.Route("/page.html", {200, "text/html", "<html><head></head></html>"});
  const std::string wrongRoot = user_.Home() + "/wrong.opml";
  WriteFile(wrongRoot, "<rss><channel/></rss>");
  const std::string broken = user_.Home() + "/broken.opml";
  WriteFile(broken, "<opml><body>");

  const std::vector<std::pair<std::vector<std::string>, int>> cases = {
      {{"add", "HTTP://A.EXAMPLE/rss", "--no-fetch"}, 1},
      {{"add", server.Url("/missing.xml")}, 1},
      {{"remove", "http://x.example/"}, 1},
      {{"enable", "http://x.example/"}, 1},
      {{"move", "http://a.example/rss", "--to", "Nowhere"}, 1},
      {{"category", "add", "news"}, 1},
      {{"category", "add", "///"}, 1},
      {{"category", "rename", "Nowhere", "X"}, 1},
      {{"category", "remove", "<< GENERAL >>"}, 1},
      {{"import", user_.Home() + "/none.opml"}, 1},
      {{"import", wrongRoot}, 1},
      {{"import", broken}, 1},
      {{"import", server.Url("/missing.opml")}, 1},
      {{"export", user_.Home() + "/out.opml", "--category", "Nowhere"}, 1},
      {{"list", "--category", "Nowhere"}, 1},
      {{"discover", server.Url("/page.html")}, 1},
      {{"title", server.Url("/missing.xml")}, 1},
      {{"frobnicate"}, 2},
      {{"add"}, 2},
      {{"export", user_.Home() + "/out.txt"}, 2},
      {{"export", "-", "--format", "csv"}, 2},
  };
  for (const auto &[args, status] : cases) {
    const Result result = Run(args);
    std::string line = args[0] + (args.size() > 1 ? " " + args[1] : "");
    EXPECT_EQ(result.status, status) << line << ": " << result.err;
    EXPECT_FALSE(result.err.empty()) << line;
    EXPECT_EQ(result.err.find('\r'), std::string::npos) << line;
    if (status == 1) {
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << line << result.err;
    }
    EXPECT_EQ(ListFile(), before) << line;
    EXPECT_EQ(ReadFile(app_ + "headlines/index.xml"), reportBefore) << line;
  }
  EXPECT_FALSE(PathExists(user_.Home() + "/out.opml"));
  EXPECT_EQ(Run({"add", "HTTP://A.EXAMPLE/rss", "--no-fetch"}).err,
            "Feed with URL: HTTP://A.EXAMPLE/rss is already in the list\n");

  // A list that does not parse is neither edited nor set aside; check names it.
  WriteFile(user_.FeedsFile(), "<Quorvelle_Feeds><Quorvelle_Categories>");
  EXPECT_EQ(Run({"add", "http://b.example/", "--no-fetch"}).status, 1);
  EXPECT_EQ(ListFile(), "<Quorvelle_Feeds><Quorvelle_Categories>");
  const Result check = Run({"check", "--json"});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(json::parse(check.out)["problems"][0]["kind"], "not-well-formed");
}

TEST_F(CliTest, CheckFindsDuplicatesForeignAddressesAndEmptyTitles) {
  WriteFile(user_.FeedsFile(), "<Quorvelle_Feeds><Quorvelle_Categories>"
                               "<Quorvelle_Feed src=\"http://a.example/\" enabled=\"true\" title=\"A\"/>"
                               "<Quorvelle_Category name=\"X\" description=\"\">"
                               "<Quorvelle_Feed src=\"HTTP://A.example/\" enabled=\"true\" title=\"A2\"/>"
                               "<Quorvelle_Feed src=\"file:///etc/passwd\" enabled=\"true\" title=\" \"/>"
                               "</Quorvelle_Category></Quorvelle_Categories></Quorvelle_Feeds>");
  const Result result = Run({"check", "--json"});
  EXPECT_EQ(result.status, 1);
  std::multiset<std::string> kinds;
  const json report = json::parse(result.out);
  for (const json &problem : report["problems"])
    kinds.insert(problem["kind"].get<std::string>() + " " + problem["url"].get<std::string>());
  EXPECT_EQ(kinds, (std::multiset<std::string>{"duplicate HTTP://A.example/", "scheme file:///etc/passwd",
                                               "empty-title file:///etc/passwd"}));
  EXPECT_EQ(Run({"check"}).out.find("Duplicate address HTTP://A.example/ in \"X\" (first in \"<< GENERAL >>\")") !=
                std::string::npos,
            true);
}

TEST_F(CliTest, BandCoreAndCommandLineEditTheSameListInTurn) {
  TRSSFeedOptions band;
  band.Load();
  ASSERT_TRUE(band.AddNewRSSFeed("http://band.example/1", "One", "Band"));
  band.Save();
  ASSERT_EQ(Run({"add", "http://cli.example/2", "--title", "Two", "--category", "Band"}).status, 0);
  band.Load();
  std::vector<std::string> urls;
  std::vector<std::string> titles;
  band.GetFeedsURLSForCategory("Band", urls, titles);
  EXPECT_EQ(urls, (std::vector<std::string>{"http://band.example/1", "http://cli.example/2"}));
  band.MoveFeed("http://cli.example/2", "Band", mdTop);
  band.Save();
  ASSERT_EQ(Run({"disable", "http://band.example/1"}).status, 0);
  EXPECT_EQ(Feeds()["Band"],
            (std::vector<std::string>{"http://cli.example/2 Two on", "http://band.example/1 One off"}));
  band.Load();
  EXPECT_FALSE(band.GetFeedStateEnabled("http://band.example/1", "Band"));
  // The band's duplicate test sees what the command line added.
  EXPECT_FALSE(band.AddNewRSSFeed("HTTP://CLI.EXAMPLE/2", "", ""));
}

TEST_F(CliTest, TitleDiscoveryAndImportOverTheNetwork) {
  LoopbackHttpServer server;
  server.Route("/feed.xml",
               {200, "application/rss+xml", "<rss><channel><title>Loopback\n News</title></channel></rss>"});
  server.Route("/site/page.html",
               {200, "text/html",
                "<html><head><link rel=\"alternate\" type=\"application/rss+xml\" title=\"Site feed\" "
                "href=\"../feed.xml\"><link rel=\"alternate\" type=\"application/atom+xml\" href=\"atom.xml\">"
                "</head></html>"});
  server.Route("/list.opml", {200, "text/x-opml",
                              "<opml version=\"2.0\"><head><title>Shared</title></head><body>"
                              "<outline text=\"F\" xmlUrl=\"" +
                                  server.Url("/feed.xml") +
                                  "\"/>"
                                  "<outline text=\"G\" xmlUrl=\"https://g.example/\"/></body></opml>"});

  const Result title = Run({"title", server.Url("/feed.xml")});
  EXPECT_EQ(title.status, 0);
  EXPECT_EQ(title.out, "Loopback  News\n"); // the line break became a blank, as in the add dialog
  const Result discovered = Run({"discover", server.Url("/site/page.html"), "--json"});
  ASSERT_EQ(discovered.status, 0) << discovered.err;
  const json page = json::parse(discovered.out);
  EXPECT_EQ(page["feeds"][0]["url"], server.Url("/feed.xml")); // resolved against the page's address
  EXPECT_EQ(page["feeds"][0]["title"], "Site feed");
  EXPECT_EQ(Run({"discover", server.Url("/site/page.html")}).out, server.Url("/feed.xml") + "\tSite feed\n");

  ASSERT_EQ(Run({"add", server.Url("/feed.xml")}).status, 0);
  EXPECT_EQ(Feeds()[""], std::vector<std::string>{server.Url("/feed.xml") + " Loopback  News on"});
  const Result imported = Run({"import", server.Url("/list.opml")});
  EXPECT_EQ(imported.status, 0) << imported.err;
  // An address already in the list, in whatever category, is left out.
  EXPECT_EQ(imported.out, "1 feed added to \"Shared\"\n");
  EXPECT_EQ(Feeds()["Shared"], std::vector<std::string>{"https://g.example/ G on"});
  EXPECT_EQ(Run({"import", server.Url("/list.opml")}).out, "0 feeds added to \"Shared\"\n");
  EXPECT_EQ(Run({"check"}).status, 0);
}

// Editors that run at once keep every change: each holds the list's lock over
// its read, change, save and report rebuild.
TEST_F(CliTest, ConcurrentEditorsKeepEveryFeed) {
  ASSERT_EQ(Run({"add", "http://first.example/", "--title", "F", "--no-fetch"}).status, 0);
  ASSERT_EQ(Run({"report"}).status, 0); // so every add rebuilds the report as well
  const std::string failures = user_.Home() + "/failures";
  std::string script;
  for (int loop = 0; loop < 3; ++loop) {
    script += "(for i in $(seq 1 25); do " + Quote(QUORVELLE_CLI) + " add http://l" + std::to_string(loop) +
              ".example/$i --title T$i --no-fetch 2>>" + Quote(failures) + " || echo failed >>" + Quote(failures) +
              "; done) & ";
  }
  ASSERT_EQ(Shell(script + "wait"), 0);
  EXPECT_FALSE(PathExists(failures) && !ReadFile(failures).empty()) << ReadFile(failures);
  EXPECT_EQ(Feeds()[""].size(), 76U);
  std::size_t inReport = 0;
  const std::string index = ReadFile(app_ + "headlines/index.xml");
  for (std::size_t at = index.find("<Quorvelle_Feed "); at != std::string::npos;
       at = index.find("<Quorvelle_Feed ", at + 1))
    ++inReport;
  EXPECT_EQ(inReport, 76U) << "the last rebuild shows the whole list";
}

// Ctrl-C while an import rebuilds the report undoes the import: the list and
// the report stay as they were, nothing of the build is left, and the exit
// status says so.
TEST_F(CliTest, InterruptedImportPutsTheListBackAndKeepsTheReport) {
  ASSERT_EQ(Run({"add", "http://kept.example/", "--title", "K", "--no-fetch"}).status, 0);
  ASSERT_EQ(Run({"report"}).status, 0);
  const std::string listBefore = ReadFile(user_.FeedsFile());
  const std::string indexBefore = ReadFile(app_ + "headlines/index.xml");
  std::string outlines;
  for (int i = 0; i < 3000; ++i)
    outlines += "<outline text='F' xmlUrl='http://big.example/" + std::to_string(i) + "'/>";
  const std::string opml = user_.Home() + "/big.opml";
  WriteFile(opml, "<opml version='2.0'><head><title>Big</title></head><body>" + outlines + "</body></opml>");

  const pid_t child = fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::signal(SIGINT, SIG_DFL); // as a terminal's foreground program has it
    ::execl(QUORVELLE_CLI, QUORVELLE_CLI, "import", opml.c_str(), static_cast<char *>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(child, 0);
  const std::string build = app_ + ".headlines.build-" + std::to_string(child);
  for (int i = 0; i < 600 && !fs::exists(build + "/index.xml"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(build)) << "the build never started";
  ::kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(ReadFile(user_.FeedsFile()), listBefore);
  EXPECT_EQ(ReadFile(app_ + "headlines/index.xml"), indexBefore);
  EXPECT_FALSE(fs::exists(build));
}

TEST_F(CliTest, ExportImportRoundTripAndReport) {
  ASSERT_EQ(Run({"add", "http://a.example/?x=1&y=2", "--title", "A & <B>", "--no-fetch"}).status, 0);
  ASSERT_EQ(Run({"add", "http://b.example/", "--title", "\xE6\x96\xB0", "--category", "Caf\xC3\xA9"}).status, 0);
  ASSERT_EQ(Run({"disable", "http://b.example/"}).status, 0);
  const std::map<std::string, std::vector<std::string>> original = Feeds();
  const std::string xmlFile = user_.Home() + "/list.xml";
  const std::string opmlFile = user_.Home() + "/list.opml";
  ASSERT_EQ(Run({"export", xmlFile}).status, 0);
  ASSERT_EQ(Run({"export", opmlFile}).status, 0);
  EXPECT_EQ(Run({"export", "-", "--format", "xml"}).out, ReadFile(xmlFile));

  // Report: written, printed, opened in the browser of the installation, and
  // rebuilt by later edits.
  WriteFile(app_ + "quorvelle-browser", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/opened\"\n");
  fs::permissions(app_ + "quorvelle-browser", fs::perms::owner_all);
  const Result report = Run({"report", "--open"});
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(report.out, app_ + "headlines/index.html\n");
  for (int i = 0; i < 100 && !PathExists(app_ + "opened"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadFile(app_ + "opened"), app_ + "headlines/index.html\n");
  ASSERT_EQ(Run({"add", "http://c.example/", "--title", "C", "--no-fetch"}).status, 0);
  EXPECT_NE(ReadFile(app_ + "headlines/index.xml").find("http://c.example/"), std::string::npos);
  ASSERT_EQ(Run({"remove", "http://c.example/"}).status, 0);

  // A fresh list fed from both exports: the own format keeps everything,
  // OPML keeps addresses and titles in the categories given.
  fs::remove(user_.FeedsFile());
  const Result fromXml = Run({"import", xmlFile});
  ASSERT_EQ(fromXml.status, 0) << fromXml.err;
  EXPECT_EQ(fromXml.out, "2 feeds added\n");
  EXPECT_EQ(Feeds(), original);
  fs::remove(user_.FeedsFile());
  ASSERT_EQ(Run({"import", "-", "--category", ""}, "<" + Quote(opmlFile)).status, 0);
  const Result again = Run({"import", opmlFile, "--category", "<< GENERAL >>"});
  EXPECT_EQ(again.out, "0 feeds added to \"<< GENERAL >>\"\n");
  EXPECT_EQ(Feeds()[""],
            (std::vector<std::string>{"http://a.example/?x=1&y=2 A & <B> on", "http://b.example/ \xE6\x96\xB0 on"}));
}

TEST_F(CliTest, NewsboatTakesOurExportThroughAPipeAndGivesItBack) {
  const std::optional<std::string> newsboat = FindProgram("newsboat");
  if (!newsboat) GTEST_SKIP() << "newsboat is not installed: the round trip was not run";
  const std::vector<std::string> addresses = {"http://general.example/feed.xml", "https://news.example/rss?a=1&b=2",
                                              "http://news.example/caf\xC3\xA9.rss"};
  ASSERT_EQ(Run({"add", addresses[0], "--title", "G\xC3\xA9n\xC3\xA9ral", "--no-fetch"}).status, 0);
  ASSERT_EQ(Run({"add", addresses[1], "--title", "News & Views", "--category", "News"}).status, 0);
  ASSERT_EQ(Run({"add", addresses[2], "--title", "\xE6\x96\xB0", "--category", "News"}).status, 0);
  const std::string peer = user_.Home() + "/peer/";
  fs::create_directories(peer);
  WriteFile(peer + "urls", "");
  WriteFile(peer + "config", "");
  const std::string files =
      " -u " + Quote(peer + "urls") + " -C " + Quote(peer + "config") + " -c " + Quote(peer + "cache.db");
  ASSERT_EQ(Shell(Quote(QUORVELLE_CLI) + " export - | " + Quote(*newsboat) + files + " -i /dev/stdin"), 0);
  const std::string back = peer + "back.opml";
  ASSERT_EQ(Shell(Quote(*newsboat) + files + " -e > " + Quote(back)), 0);
  // Back into a fresh list: every address must have survived the trip.
  fs::remove(user_.FeedsFile());
  ASSERT_EQ(Run({"import", back, "--category", "From newsboat"}).status, 0);
  std::set<std::string> urls;
  const std::vector<std::string> rows = Feeds()["From newsboat"];
  for (const std::string &row : rows)
    urls.insert(row.substr(0, row.find(' ')));
  EXPECT_EQ(urls, std::set<std::string>(addresses.begin(), addresses.end())) << ReadFile(back);
}

} // namespace
} // namespace quorvelle::test
