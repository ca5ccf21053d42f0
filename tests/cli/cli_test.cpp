// The quorvelle program run as a user runs it: a fresh user (own HOME and
// settings) per test, an installation folder with the data files, and the
// program's output, exit status and the list on disk after each command.

#include "feeds/feed_store.h"
#include "fetch/feed_cache.h"
#include "fetch/feed_fetcher.h"
#include "platform/registry/registry.h"
#include "report/new_headlines.h"
#include "report/seen_items.h"
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
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <tuple>
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
  EXPECT_EQ(Feeds(), (std::map<std::string, Rows>{
                         {"", {"http://a.example/rss Caf\xC3\xA9 A on"}},
                         {"News", {"http://b.example/rss B on", "http://c.example/rss http://c.example/rss off"}}}));

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
      // A title that cannot be read: the add dialog's message, then why.
      const bool titleFailure = result.err.starts_with("Unable to recieve title of channel title from");
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), titleFailure ? 2 : 1) << line << result.err;
    }
    EXPECT_EQ(ListFile(), before) << line;
    EXPECT_EQ(ReadFile(app_ + "headlines/index.xml"), reportBefore) << line;
  }
  EXPECT_EQ(Run({"title", server.Url("/missing.xml")}).err, "Unable to recieve title of channel title from \"" +
                                                                server.Url("/missing.xml") +
                                                                "\"\nThe server answered with HTTP status 404.\n");
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

TEST_F(CliTest, UsageErrorsNameTheCommandAndAddRefusesWhatCheckWouldFlag) {
  WriteFile(user_.Home() + "/list.txt", "<opml/>");
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
      {{"lst"}, 2, "unknown command \"lst\"; did you mean \"list\"?"},
      {{"imprt", "f.opml"}, 2, "unknown command \"imprt\"; did you mean \"import\"?"},
      {{"--json", "chekc"}, 2, "unknown command \"chekc\"; did you mean \"check\"?"},
      {{"category", "ad", "x"}, 2, "unknown command \"category ad\"; did you mean \"category add\"?"},
      {{"help", "lst"}, 2, "unknown command \"lst\"; did you mean \"list\"?"},
      {{"frobnicate"}, 2, "unknown command \"frobnicate\"; \"quorvelle help\" lists the commands"},
      {{"import", user_.Home() + "/list.txt"}, 2, ""},
      {{"list", "--frob"}, 2, ""},
      {{"add", "notaurl"}, 1, "Not an http, https or ftp address: notaurl"},
      {{"add", "javascript:alert(1)", "--no-fetch"}, 1, "Not an http, https or ftp address: javascript:alert(1)"},
      {{"add", "file:///etc/passwd", "--title", "P"}, 1, "Not an http, https or ftp address: file:///etc/passwd"},
      {{"add", "http:///x.xml", "--no-fetch"}, 1, "Not an http, https or ftp address: http:///x.xml"},
      {{"add", "http://a.example/", "--title", ""}, 1, ""},
      {{"add", "http://a.example/", "--title", " \t "}, 1, ""},
  };
  for (const auto &[args, status, message] : cases) {
    const Result result = Run(args);
    EXPECT_EQ(result.status, status) << args[0] << " " << (args.size() > 1 ? args[1] : "") << ": " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    if (!message.empty()) {
      EXPECT_EQ(result.err, message + "\n");
    }
    EXPECT_EQ(ListFile(), "<none>") << result.err;
  }
  // help names what it helps with; -v is the version.
  EXPECT_EQ(Run({"-v"}).out, Run({"--version"}).out);
  EXPECT_EQ(Run({"-v"}).out.rfind("quorvelle ", 0), 0U);
  for (const auto &[args, shown] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"help"}, "import"}, {{"help", "add"}, "--no-fetch"}, {{"help", "category", "rename"}, "OLD"}}) {
    const Result help = Run(args);
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_NE(help.out.find(shown), std::string::npos) << help.out;
  }
  // Without --title and without the download the address is the title.
  ASSERT_EQ(Run({"add", "http://a.example/", "--no-fetch"}).status, 0);
  EXPECT_EQ(Feeds()[""], std::vector<std::string>{"http://a.example/ http://a.example/ on"});
  EXPECT_EQ(Run({"check"}).status, 0);
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

TEST_F(CliTest, CheckListsMovedFeedsAndUpdateMovedChangesThemWithoutDuplicates) {
  WriteFile(user_.FeedsFile(), "<Quorvelle_Feeds><Quorvelle_Categories>"
                               "<Quorvelle_Feed src=\"http://old.example/rss\" enabled=\"true\" title=\"A\"/>"
                               "<Quorvelle_Category name=\"X\" description=\"\">"
                               "<Quorvelle_Feed src=\"http://c.example/rss\" enabled=\"true\" title=\"C\"/>"
                               "<Quorvelle_Feed src=\"http://d.example/rss\" enabled=\"true\" title=\"D\"/>"
                               "</Quorvelle_Category></Quorvelle_Categories></Quorvelle_Feeds>");
  const fetch::FeedCache cache;
  for (const auto &[from, to] : {std::pair{"http://old.example/rss", "https://new.example/rss"},
                                 std::pair{"http://c.example/rss", "http://d.example/rss"}}) {
    fetch::CacheEntry entry;
    entry.url = from;
    entry.movedTo = to;
    entry.body = "<rss/>";
    ASSERT_TRUE(cache.Store(entry));
  }
  const Result check = Run({"check", "--json"});
  EXPECT_EQ(check.status, 1);
  std::multiset<std::string> moved;
  const json report = json::parse(check.out);
  for (const json &problem : report["problems"])
    moved.insert(problem["kind"].get<std::string>() + " " + problem["url"].get<std::string>());
  EXPECT_EQ(moved, (std::multiset<std::string>{"moved http://old.example/rss", "moved http://c.example/rss"}))
      << check.out;

  const Result update = Run({"check", "--update-moved"});
  EXPECT_EQ(update.status, 1) << "one feed's new address is in the list already";
  EXPECT_NE(update.err.find("http://c.example/rss moved to http://d.example/rss, which is in the list already"),
            std::string::npos)
      << update.err;
  const auto feeds = Feeds();
  EXPECT_EQ(feeds.at(""), (std::vector<std::string>{"https://new.example/rss A on"}));
  EXPECT_EQ(feeds.at("X"), (std::vector<std::string>{"http://c.example/rss C on", "http://d.example/rss D on"}));
  // What was read at the old address serves the new one.
  ASSERT_TRUE(cache.Load("https://new.example/rss"));
  EXPECT_EQ(cache.Load("https://new.example/rss")->body, "<rss/>");
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

// quorvelle headlines: each feed's headlines as the report shows them, a
// failed feed named on standard error with the report's text, exit 1.
TEST_F(CliTest, HeadlinesPrintsEachFeedAndNamesTheOneThatFailed) {
  LoopbackHttpServer server;
  server.Route("/a.xml", {200, "application/xml",
                          "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Alpha</title>"
                          "<item><title>First &lt;b&gt;one&lt;/b&gt;</title><link>/one</link>"
                          "<pubDate>Mon, 25 Apr 2005 19:39:00 GMT</pubDate><description>&lt;p&gt;Some "
                          "&lt;b&gt;text&lt;/b&gt;&lt;/p&gt;</description></item>"
                          "<item><title>Second</title><link>javascript:alert(1)</link></item></channel></rss>"});
  server.Route("/b.xml", {200, "application/xml",
                          "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Beta</title>"
                          "<entry><title>B1</title><link href=\"http://b.example/1\"/></entry>"
                          "<entry><title>B2</title><link href=\"http://b.example/2\"/></entry></feed>"});
  ASSERT_EQ(Run({"add", server.Url("/a.xml"), "--title", "A", "--no-fetch"}).status, 0);
  ASSERT_EQ(Run({"add", server.Url("/b.xml"), "--title", "B", "--category", "News", "--no-fetch"}).status, 0);
  ASSERT_EQ(Run({"add", server.Url("/gone.xml"), "--title", "Gone", "--category", "News", "--no-fetch"}).status, 0);

  Result result = Run({"headlines", "--json"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("Gone <" + server.Url("/gone.xml") + ">: This feed could not be reached."),
            std::string::npos)
      << result.err;
  std::map<std::string, json> byTitle;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) byTitle[json::parse(line)["title"].get<std::string>()] = json::parse(line);
  ASSERT_EQ(byTitle.size(), 3U) << result.out;
  const json &alpha = byTitle["Alpha"];
  EXPECT_TRUE(alpha["ok"].get<bool>());
  ASSERT_EQ(alpha["items"].size(), 2U);
  EXPECT_EQ(alpha["items"][0], (json{{"title", "First <b>one</b>"},
                                     {"link", server.Url("/one")},
                                     {"date", "2005-04-25T19:39:00.000Z"},
                                     {"summary", "Some text"},
                                     {"new", false}}));
  EXPECT_EQ(alpha["items"][1]["link"], "") << "no link but the web's and mail's";
  EXPECT_EQ(byTitle["Beta"]["category"], "News");
  EXPECT_FALSE(byTitle["Gone"]["ok"].get<bool>());

  result = Run({"headlines", "--category", "News", "--limit", "1"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("Beta  <" + server.Url("/b.xml") + ">\n  * B1\n    http://b.example/1\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("B2"), std::string::npos);
  EXPECT_EQ(result.out.find("Alpha"), std::string::npos);
}

// quorvelle headlines --new and the extension's badge read the same seen
// state: the count the background check gives is the number of headlines
// --new prints, --peek prints them without marking, and once printed they
// are seen: nothing new prints nothing and exits 0.
TEST_F(CliTest, HeadlinesNewPrintsWhatTheBadgeCounts) {
  LoopbackHttpServer server;
  auto feed = [](const std::vector<std::string> &ids) {
    std::string text = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>T</title>";
    for (const std::string &id : ids)
      text += "<item><title>Item " + id + "</title><guid>urn:" + id + "</guid><link>http://x.example/" + id +
              "</link></item>";
    return text + "</channel></rss>";
  };
  auto serve = [&](const std::string &path, const std::string &body) {
    HttpResponse answer{200, "application/xml", body};
    answer.headers.push_back({"Cache-Control", "no-cache"});
    server.Route(path, answer);
  };
  serve("/a.xml", feed({"1", "2", "3", "4"}));
  serve("/b.xml", feed({"5"}));
  ASSERT_EQ(Run({"add", server.Url("/a.xml"), "--title", "A", "--no-fetch"}).status, 0);
  ASSERT_EQ(Run({"add", server.Url("/b.xml"), "--title", "B", "--category", "News", "--no-fetch"}).status, 0);
  auto badge = [&] {
    report::SeenItems seen;
    fetch::FeedFetcher fetcher;
    return report::CountNewHeadlines(fetcher, {server.Url("/a.xml"), server.Url("/b.xml")}, seen,
                                     std::chrono::seconds(20))
        .total;
  };
  auto newTitles = [](const Result &result) {
    std::vector<std::string> titles;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
      const json parsed = json::parse(line);
      for (const json &item : parsed["items"]) {
        EXPECT_TRUE(item["new"].get<bool>()) << line;
        titles.push_back(item["title"]);
      }
    }
    std::sort(titles.begin(), titles.end());
    return titles;
  };

  // The first view shows everything and marks nothing new.
  Result result = Run({"headlines", "--limit", "3"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(badge(), 0U) << "on its first view a feed's every item counts as seen, shown or not";
  EXPECT_EQ(newTitles(Run({"headlines", "--peek", "--json", "--limit", "3"})), std::vector<std::string>{});

  serve("/a.xml", feed({"6", "1", "2", "3", "4"}));
  serve("/b.xml", feed({"7", "8", "5"}));
  const std::string state = ReadFile(report::SeenItemsFile());
  EXPECT_EQ(badge(), 3U);
  const std::vector<std::string> expected = {"Item 6", "Item 7", "Item 8"};
  EXPECT_EQ(newTitles(Run({"headlines", "--peek", "--json"})), expected);
  EXPECT_EQ(ReadFile(report::SeenItemsFile()), state) << "a peek marks nothing";
  EXPECT_EQ(badge(), 3U);
  result = Run({"headlines", "--new", "--json"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(newTitles(result), expected);
  EXPECT_EQ(badge(), 0U);

  result = Run({"headlines", "--new"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_NE(Run({"headlines", "--new", "--peek"}).status, 0) << "one or the other";
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
                                  "<outline text=\"G\" xmlUrl=\"https://g.example/\"/>"
                                  "<outline xmlUrl=\"" +
                                  server.Url("/untitled.xml") + "\"/><outline text=\" \" xmlUrl=\"" +
                                  server.Url("/gone.xml") + "\"/></body></opml>"});
  server.Route("/untitled.xml", {200, "application/rss+xml", "<rss><channel><title>Read</title></channel></rss>"});

  const Result title = Run({"title", server.Url("/feed.xml")});
  EXPECT_EQ(title.status, 0);
  EXPECT_EQ(title.out, "Loopback  News\n"); // the line break became a blank, as in the add dialog
  const Result discovered = Run({"discover", server.Url("/site/page.html"), "--json"});
  ASSERT_EQ(discovered.status, 0) << discovered.err;
  const json page = json::parse(discovered.out);
  EXPECT_EQ(page["feeds"][0]["url"], server.Url("/feed.xml")); // resolved against the page's address
  EXPECT_EQ(page["feeds"][0]["title"], "Site feed");
  // Then the feeds the expressions do not find, without a title.
  EXPECT_EQ(Run({"discover", server.Url("/site/page.html")}).out,
            server.Url("/feed.xml") + "\tSite feed\n" + server.Url("/site/atom.xml") + "\n");

  ASSERT_EQ(Run({"add", server.Url("/feed.xml")}).status, 0);
  EXPECT_EQ(Feeds()[""], std::vector<std::string>{server.Url("/feed.xml") + " Loopback  News on"});
  const Result imported = Run({"import", server.Url("/list.opml")});
  EXPECT_EQ(imported.status, 0) << imported.err;
  // An address already in the list, in whatever category, is left out.
  EXPECT_EQ(imported.out, "3 feeds added to \"Shared\"\n");
  // A feed without a title gets the one read from it, or its address.
  EXPECT_EQ(Feeds()["Shared"],
            (std::vector<std::string>{"https://g.example/ G on", server.Url("/untitled.xml") + " Read on",
                                      server.Url("/gone.xml") + " " + server.Url("/gone.xml") + " on"}));
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
  ::unsetenv("WAYLAND_DISPLAY");
  ::unsetenv("DISPLAY");
  const Result hidden = Run({"report", "--open"});
  EXPECT_EQ(hidden.status, 1);
  EXPECT_EQ(hidden.err.rfind("No display", 0), 0U) << hidden.err;
  EXPECT_FALSE(PathExists(app_ + "opened")) << "nothing is started without a display";
  ::setenv("DISPLAY", ":99", 1);
  const Result report = Run({"report", "--open"});
  ::unsetenv("DISPLAY");
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
