// quorvelle-native-host driven as a browser drives it: the built program on
// a pair of pipes, length-prefixed JSON in and out.

#include "band/core/feed_discovery.h"
#include "feeds/feed_store.h"
#include "platform/files/file_lock.h"
#include "platform/registry/registry.h"
#include "report/item_identity.h"
#include "report/seen_items.h"
#include "tests/helpers/collected_pages.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>
#include <tuple>

extern char **environ;

namespace quorvelle::test {
namespace {

using nlohmann::json;

class HostProcess {
public:
  // hostProgram: the installed host, or the test build that honours the switch
  // accepting every dialog (QUORVELLE_NATIVE_HOST_ACCEPT_DIALOGS).
  explicit HostProcess(const char *hostProgram = QUORVELLE_NATIVE_HOST) {
    int in[2];
    int out[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string program = hostProgram;
    char *argv[] = {program.data(), nullptr};
    EXPECT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toHost_ = in[1];
    fromHost_ = out[0];
  }
  ~HostProcess() {
    ::close(toHost_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ::close(fromHost_);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the host did not end cleanly: " << status;
  }
  HostProcess(const HostProcess &) = delete;
  HostProcess &operator=(const HostProcess &) = delete;

  void SendRaw(std::uint32_t length, const std::string &body) {
    ASSERT_EQ(::write(toHost_, &length, sizeof length), static_cast<ssize_t>(sizeof length));
    std::size_t sent = 0;
    while (sent < body.size()) {
      const ssize_t n = ::write(toHost_, body.data() + sent, body.size() - sent);
      ASSERT_GT(n, 0);
      sent += static_cast<std::size_t>(n);
    }
  }
  json Receive(int timeoutMs = -1) {
    pollfd ready{fromHost_, POLLIN, 0};
    if (timeoutMs >= 0 && ::poll(&ready, 1, timeoutMs) != 1) return nullptr;
    std::uint32_t length = 0;
    if (!ReadAll(reinterpret_cast<char *>(&length), sizeof length)) return nullptr;
    std::string body(length, '\0');
    if (!ReadAll(body.data(), length)) return nullptr;
    return json::parse(body);
  }
  json Ask(const std::string &command, const json &args = json::object()) {
    const json request{{"v", 1}, {"id", ++id_}, {"command", command}, {"args", args}};
    const std::string body = request.dump();
    SendRaw(static_cast<std::uint32_t>(body.size()), body);
    json answer = Receive();
    EXPECT_EQ(answer.value("id", json()), id_) << answer;
    return answer;
  }
  // Sends a version 2 request without waiting; returns its id.
  int Send(const std::string &command, const json &args = json::object()) {
    const std::string body = json{{"v", 2}, {"id", ++id_}, {"command", command}, {"args", args}}.dump();
    SendRaw(static_cast<std::uint32_t>(body.size()), body);
    return id_;
  }

private:
  bool ReadAll(char *data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::read(fromHost_, data, size);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }
  pid_t pid_ = -1;
  int toHost_ = -1;
  int fromHost_ = -1;
  int id_ = 0;
};

std::string Rss(const std::string &title, const std::vector<std::string> &items, const std::string &description = "") {
  std::string text = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + title + "</title>";
  for (const auto &item : items)
    text += "<item><title>" + item + "</title><link>/item</link><description>" + description + "</description></item>";
  return text + "</channel></rss>";
}

// A feed whose items ("Item <id>") carry their ids as guids.
std::string GuidFeed(const std::vector<std::string> &ids) {
  std::string text = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>T</title>";
  for (const std::string &id : ids)
    text += "<item><title>Item " + id + "</title><guid>urn:" + id + "</guid></item>";
  return text + "</channel></rss>";
}

// A feed server that takes connections and never says a word.
class SilentServer {
public:
  SilentServer() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr *>(&address), size), 0);
    EXPECT_EQ(::listen(fd_, 16), 0);
    EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &size), 0);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { ::close(fd_); }
  SilentServer(const SilentServer &) = delete;
  SilentServer &operator=(const SilentServer &) = delete;
  [[nodiscard]] std::string Url(const std::string &path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

private:
  int fd_;
  int port_ = 0;
};

class NativeHost : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::copy(std::string(QUORVELLE_SOURCE_DIR) + "/data", install_.Path(),
                          std::filesystem::copy_options::recursive);
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    ASSERT_TRUE(key.has_value());
    key->WriteString("AppPath", install_.Path() + "/");
  }
  IsolatedUser user_;
  TempDir install_;
  LoopbackHttpServer server_;
};

// The add dialog is answered first and the list read again under its lock
// afterwards: a feed another program adds while the dialog is open stays.
TEST_F(NativeHost, AFeedAddedWhileTheAddDialogIsOpenIsKept) {
  HttpResponse slow(200, "application/rss+xml", Rss("Slow", {"One"}));
  slow.chunkSize = 16;
  slow.chunkDelay = std::chrono::milliseconds(60);
  server_.Route("/slow.xml", slow);
  const ScopedEnv display("QT_QPA_PLATFORM", "offscreen");
  const ScopedEnv accept("QUORVELLE_NATIVE_HOST_ACCEPT_DIALOGS", "1");
  HostProcess host(QUORVELLE_NATIVE_HOST_TEST);
  std::thread other([&] {
    // The dialog is open and reading the feed's title.
    for (int i = 0; i < 3000 && server_.RequestCount("/slow.xml") == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    TRSSFeedOptions elsewhere;
    const platform::FileLock lock(elsewhere.ListLockFileName());
    elsewhere.Load();
    EXPECT_TRUE(elsewhere.AddNewRSSFeed("http://elsewhere.example/", "E", ""));
    elsewhere.Save();
  });
  const json added = host.Ask("add", {{"url", server_.Url("/slow.xml")}, {"title", ""}, {"dialog", true}});
  other.join();
  EXPECT_EQ(added["result"]["added"], true) << added;
  const std::string list = ReadFile(user_.FeedsFile());
  EXPECT_NE(list.find("http://elsewhere.example/"), std::string::npos) << list;
  EXPECT_NE(list.find(server_.Url("/slow.xml")), std::string::npos) << list;
}

TEST_F(NativeHost, CommandsWorkOnTheUsersListAndTheReportComesFinished) {
  server_.Route("/a.xml", {200, "application/rss+xml", Rss("Alpha", {"First of A", "Second of A"})});
  server_.Route("/b.xml", {200, "application/rss+xml",
                           Rss("Beta &lt;b&gt;", {"&lt;script&gt;alert(1)&lt;/script&gt;"},
                               "&lt;object&gt;&lt;script&gt;evil()&lt;/script&gt;&lt;iframe&gt;&lt;style&gt;x{}"
                               "&lt;/style&gt;&lt;/iframe&gt;&lt;/object&gt;Plain &lt;b&gt;words&lt;/b&gt;")});
  server_.Route("/list.opml", {200, "text/x-opml",
                               "<?xml version=\"1.0\"?><opml version=\"1.0\"><head><title>L</title></head><body>"
                               "<outline text=\"C\" type=\"rss\" xmlUrl=\"" +
                                   server_.Url("/c.xml") + "\"/></body></opml>"});
  HostProcess host;
  EXPECT_EQ(host.Ask("hello")["result"]["version"], 1);

  for (const char *path : {"/a.xml", "/b.xml"}) {
    const json added = host.Ask("add", {{"url", server_.Url(path)}, {"dialog", false}, {"category", "News"}});
    EXPECT_EQ(added["result"]["added"], true) << added;
  }
  EXPECT_EQ(host.Ask("add", {{"url", server_.Url("/a.xml")}, {"dialog", false}})["result"]["known"], true);

  const json offered = host.Ask("offer", {{"feeds", json::array({{{"url", server_.Url("/a.xml")}, {"title", "A"}},
                                                                 {{"url", "javascript:alert(1)"}},
                                                                 {{"url", "http://new.example/feed"}},
                                                                 {{"url", "HTTP://NEW.example/feed"}}})}});
  ASSERT_EQ(offered["result"]["feeds"].size(), 2U) << offered;
  EXPECT_EQ(offered["result"]["feeds"][0]["known"], true);
  EXPECT_EQ(offered["result"]["feeds"][1]["known"], false);

  const json imported = host.Ask("import", {{"url", server_.Url("/list.opml")}, {"category", ""}});
  EXPECT_EQ(imported["result"]["feeds"], imported["result"]["before"].get<int>() + 1) << imported;

  const json list = host.Ask("list")["result"]["categories"];
  ASSERT_EQ(list.size(), 2U) << list;
  EXPECT_EQ(list[1]["name"], "News");
  EXPECT_EQ(list[1]["feeds"][0]["title"], "Alpha");
  EXPECT_NE(host.Ask("export", {{"format", "opml"}})["result"]["text"].get<std::string>().find(server_.Url("/b.xml")),
            std::string::npos);

  // The top page links the category; the category page shows both feeds.
  const json top = host.Ask("report")["result"];
  EXPECT_NE(top["html"].get<std::string>().find("report.html?page=News%2Findex.html"), std::string::npos) << top;
  const json news = host.Ask("report", {{"page", "News/index.html"}})["result"];
  const std::string html = news["html"];
  for (const char *text : {"First of A", "Second of A", "class=\"q-item\"", "&lt;script&gt;alert(1)"})
    EXPECT_NE(html.find(text), std::string::npos) << text << "\n" << html;
  for (const char *text : {"<script", "class=\"q-loading", "Loading headlines"})
    EXPECT_EQ(html.find(text), std::string::npos) << text << "\n" << html;
  EXPECT_NE(html.find("href=\"" + server_.Url("/item") + "\""), std::string::npos) << "relative item link resolved";
  // The per-feed page lists every item, HTML in a feed reduced to its words;
  // a page outside the report is refused.
  const std::string beta = host.Ask("report", {{"page", "News/2.html"}})["result"]["html"];
  EXPECT_NE(beta.find(">Plain words<"), std::string::npos) << beta;
  EXPECT_EQ(beta.find("evil"), std::string::npos) << beta;
  EXPECT_NE(host.Ask("report", {{"page", "News/1.html"}})["result"]["title"].get<std::string>().find("Alpha"),
            std::string::npos);
  EXPECT_EQ(host.Ask("report", {{"page", "../Feeds.xml"}})["error"]["code"], "bad-argument");
}

// Version 2: the frame at once, each box as its feed arrives, and other
// requests answered while a feed stays silent. Budgets are per box: titles
// of 400 KiB are shortened, and a feed page over its box's budget shows that
// feed as too large, every message well under the browser's limit.
TEST_F(NativeHost, ReportStreamsBoxesAndAnswersOtherRequestsMeanwhile) {
  SilentServer silent;
  const std::string huge(400 * 1024, 'x');
  std::string many = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Many</title>";
  for (int i = 0; i < 600; ++i)
    many += "<item><title>Item " + std::to_string(i) + "</title><link>http://example.org/" + std::string(1900, 'p') +
            "</link><description>" + std::string(1000, 'd') + "</description></item>";
  many += "</channel></rss>";
  server_.Route("/a.xml", {200, "application/rss+xml", Rss("Alpha", {"First of A", "Second of A"})});
  server_.Route("/big.xml", {200, "application/rss+xml", Rss("Big", {huge + "1", huge + "2", huge + "3"})});
  server_.Route("/many.xml", {200, "application/rss+xml", many});
  HostProcess host;
  const std::vector<std::string> feeds{server_.Url("/a.xml"), silent.Url("/quiet.xml"), server_.Url("/big.xml"),
                                       server_.Url("/many.xml")};
  for (const auto &url : feeds)
    ASSERT_EQ(host.Ask("add", {{"url", url}, {"title", url}, {"dialog", false}, {"category", "News"}})["ok"], true);

  const auto receive = [&] {
    json message = host.Receive(20000);
    EXPECT_TRUE(message.is_object()) << "no answer in time";
    EXPECT_LT(message.dump().size(), 300U * 1024U);
    return message.is_object() ? message : json::object();
  };
  const int report = host.Send("report", {{"page", "News/index.html"}});
  const json frame = receive();
  ASSERT_EQ(frame.value("part", ""), "frame") << frame;
  EXPECT_EQ(frame["id"], report);
  EXPECT_EQ(frame["result"]["boxes"], 4);
  const std::string page = frame["result"]["html"];
  EXPECT_NE(page.find("q-loading"), std::string::npos);

  const int hello = host.Send("hello");
  std::map<int, json> boxes;
  bool answered = false;
  while (!answered || boxes.size() < 3) {
    const json message = receive();
    ASSERT_FALSE(message.empty());
    ASSERT_NE(message.value("part", ""), "end") << "the silent feed cannot have arrived yet";
    if (message["id"] == hello) {
      EXPECT_EQ(message["result"]["version"], 2) << message;
      answered = true;
      continue;
    }
    ASSERT_EQ(message["id"], report) << message;
    ASSERT_EQ(message["part"], "box") << message;
    boxes[message["result"]["slot"]] = message["result"];
  }
  ASSERT_EQ(boxes.count(1), 0U) << boxes[1];
  for (const auto &[slot, box] : boxes) {
    EXPECT_EQ(box["state"], "q-loaded") << box;
    // The slot the box names is the slot of its feed in the frame.
    const std::size_t at = page.find("id=\"" + box["id"].get<std::string>() + "\"");
    ASSERT_NE(at, std::string::npos) << box;
    EXPECT_EQ(page.rfind("data-src=", at) + 10, page.find(feeds[slot], page.rfind("data-src=", at))) << slot;
  }
  EXPECT_NE(boxes[0]["html"].get<std::string>().find("First of A"), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[2]["html"].get<std::string>().find("xxx"), std::string::npos);

  // The feed page of the feed over its budget: only that feed is too large.
  const int feedPage = host.Send("report", {{"page", "News/4.html"}});
  json message = receive();
  while (message.value("id", json()) != feedPage && !message.empty())
    message = receive(); // the boxes of the page before may still come
  ASSERT_EQ(message.value("part", ""), "frame") << message;
  // The feed was read a moment ago: its kept copy may come first, then the
  // site's answer.
  json box = receive();
  while (box.value("part", "") == "box" && !box["result"].value("final", true))
    box = receive();
  ASSERT_EQ(box.value("part", ""), "box") << box;
  EXPECT_EQ(box["result"]["state"], "q-failed");
  EXPECT_NE(box["result"]["html"].get<std::string>().find("This feed is too large to be shown."), std::string::npos);
  EXPECT_EQ(receive().value("part", ""), "end");
  // The host ends at once when the browser closes the port, a feed pending.
}

TEST_F(NativeHost, AnEmptyListGetsTheStartPageThatSaysHowToFillIt) {
  server_.Route("/a.xml", {200, "application/rss+xml", Rss("Alpha", {"First of A"})});
  HostProcess host;
  // A new user's first tab, and "View Feeds..." again: the same start page.
  for (int i = 0; i < 2; ++i) {
    const json answer = host.Ask("report");
    ASSERT_TRUE(answer.contains("result")) << answer;
    const std::string html = answer["result"]["html"];
    EXPECT_EQ(answer["result"]["title"], "Your feed list is empty");
    for (const char *text : {"Add RSS/XML/RDF/ATOM Feed...", "Import XML/OPML...", "starter-feeds.opml"})
      EXPECT_NE(html.find(text), std::string::npos) << text;
    EXPECT_EQ(html.find("<script"), std::string::npos);
  }
  ASSERT_EQ(host.Ask("add", {{"url", server_.Url("/a.xml")}, {"dialog", false}})["result"]["added"], true);
  const json report = host.Ask("report")["result"];
  EXPECT_EQ(report["html"].get<std::string>().find("Your feed list is empty"), std::string::npos) << report;
  EXPECT_NE(report["html"].get<std::string>().find("First of A"), std::string::npos) << report;
}

TEST_F(NativeHost, BadMessagesGetErrorAnswersAndChangeNothing) {
  server_.Route("/a.xml", {200, "application/rss+xml", Rss("Alpha", {"One"})});
  HostProcess host;
  ASSERT_EQ(host.Ask("add", {{"url", server_.Url("/a.xml")}, {"dialog", false}})["result"]["added"], true);
  const std::string before = ReadFile(user_.FeedsFile());
  ASSERT_FALSE(before.empty());

  const auto expectRefused = [&](const std::string &code) {
    const json answer = host.Receive();
    EXPECT_EQ(answer["ok"], false) << answer;
    EXPECT_EQ(answer["error"]["code"], code) << answer;
  };
  host.SendRaw(0, "");
  expectRefused("bad-length");
  host.SendRaw(1024 * 1024 + 1, std::string(1024 * 1024 + 1, '{'));
  expectRefused("too-large");
  for (const auto &[body, code] : std::vector<std::pair<std::string, std::string>>{
           {"{\"v\":1,\"id\":1,\"command\":\"add\"", "bad-json"},
           {"\xff\xfe\x00", "bad-json"},
           {"[1,2]", "bad-request"},
           {"{\"id\":1,\"command\":\"list\"}", "bad-request"},
           {"{\"v\":3,\"id\":1,\"command\":\"list\"}", "unsupported-version"},
           {"{\"v\":1,\"id\":{},\"command\":\"list\"}", "bad-request"},
           {"{\"v\":1,\"id\":1,\"command\":\"list\",\"args\":[]}", "bad-request"},
           {"{\"v\":1,\"id\":1,\"command\":\"drop-all\"}", "unknown-command"},
           {"{\"v\":1,\"id\":1,\"command\":\"add\",\"args\":{\"url\":5,\"dialog\":false}}", "bad-argument"},
           {"{\"v\":1,\"id\":1,\"command\":\"add\",\"args\":{\"url\":\"javascript:x\",\"dialog\":false}}",
            "bad-argument"},
           {"{\"v\":1,\"id\":1,\"command\":\"add\",\"args\":{\"url\":\"http://x.example/\",\"dialog\":\"no\"}}",
            "bad-argument"},
           {"{\"v\":1,\"id\":1,\"command\":\"import\",\"args\":{\"path\":\"Feeds.xml\",\"category\":\"\"}}",
            "bad-argument"},
           {"{\"v\":1,\"id\":1,\"command\":\"offer\",\"args\":{\"feeds\":[{\"url\":[]}]}}", "bad-argument"}}) {
    SCOPED_TRACE(body);
    host.SendRaw(static_cast<std::uint32_t>(body.size()), body);
    expectRefused(code);
  }
  // Still in step after all of it, and the list is as it was.
  EXPECT_EQ(host.Ask("hello")["ok"], true);
  EXPECT_EQ(ReadFile(user_.FeedsFile()), before);
}

// Requests built to exhaust the host: nesting far below its limit, a value
// its error answer would repeat, an id too long to repeat. Each gets its
// answer within the browser's limit and the host goes on.
TEST_F(NativeHost, DeepOrHugeRequestsAreAnsweredWithinTheLimit) {
  HostProcess host;
  const auto nested = [](int depth) {
    return "{\"v\":1,\"id\":7,\"command\":\"list\",\"args\":{\"a\":" + std::string(depth, '[') +
           std::string(depth, ']') + "}}";
  };
  const std::string longCommand(1024 * 1024 - 64, 'x');
  for (const auto &[body, code, id] : std::vector<std::tuple<std::string, std::string, json>>{
           {nested(100000), "bad-request", 7},
           {nested(63), "bad-request", 7},
           {"{\"v\":1,\"id\":7,\"command\":\"" + longCommand + "\"}", "unknown-command", 7},
           {"{\"v\":1,\"id\":\"" + std::string(257, 'i') + "\",\"command\":\"list\"}", "bad-request", nullptr}}) {
    SCOPED_TRACE(body.substr(0, 80));
    host.SendRaw(static_cast<std::uint32_t>(body.size()), body);
    const json answer = host.Receive();
    ASSERT_FALSE(answer.is_null()) << "the host answered";
    EXPECT_EQ(answer["ok"], false) << answer.dump().substr(0, 300);
    EXPECT_EQ(answer["error"]["code"], code);
    EXPECT_EQ(answer["id"], id);
    EXPECT_LT(answer.dump().size(), 8192U) << "what the answer repeats is cut";
  }
  // Just within the limit: the message, args and 62 arrays.
  const std::string allowed = nested(62);
  host.SendRaw(static_cast<std::uint32_t>(allowed.size()), allowed);
  EXPECT_EQ(host.Receive()["ok"], true);
  EXPECT_EQ(host.Ask("hello")["ok"], true);
}

// The switch that accepts every dialog exists only in the test build of the
// host: the program that is installed and packaged does not know its name.
TEST(NativeHostProgram, OnlyTheTestBuildKnowsTheDialogSwitch) {
  const std::string name = "QUORVELLE_NATIVE_HOST_ACCEPT_DIALOGS";
  EXPECT_EQ(ReadFile(QUORVELLE_NATIVE_HOST).find(name), std::string::npos);
  EXPECT_NE(ReadFile(QUORVELLE_NATIVE_HOST_TEST).find(name), std::string::npos);
}

// Every collected real-world feed, hostile ones included, on one page: each
// box ends loaded or failed, and nothing in the page can run or lead
// anywhere but the web and the report.
TEST_F(NativeHost, RealWorldFeedsRenderInert) {
  const std::string folder = std::string(QUORVELLE_REALWORLD_DIR) + "/feeds/";
  HostProcess host;
  std::size_t count = 0;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    server_.RouteFile("/" + name, entry.path().string(), "application/xml");
    const json added = host.Ask("add", {{"url", server_.Url("/" + name)}, {"title", name}, {"dialog", false}});
    ASSERT_EQ(added["ok"], true) << added;
    ++count;
  }
  const json page = host.Ask("report");
  ASSERT_EQ(page["ok"], true) << page;
  const std::string html = page["result"]["html"];
  const auto occurrences = [&](const std::regex &pattern) {
    return static_cast<std::size_t>(
        std::distance(std::sregex_iterator(html.begin(), html.end(), pattern), std::sregex_iterator()));
  };
  EXPECT_EQ(occurrences(std::regex(R"re(class="q-feed-slot[^"]* (q-loaded|q-failed)")re")), count) << html;
  EXPECT_GE(occurrences(std::regex(R"re(class="q-item")re")), count / 2) << html;
  EXPECT_EQ(occurrences(std::regex(R"re(<(script|iframe|object|embed)\b|\son\w+=)re", std::regex::icase)), 0U) << html;
  EXPECT_EQ(occurrences(std::regex(R"re(href="(?!https?:|mailto:|report\.html\?page=))re")), 0U) << html;
}

// Every collected page: the band's discovery and the extension's (the host
// reading the page's markup) offer the same feeds, which are the ones the
// page announces with a feed type, first those the band's expressions find;
// only http, https and ftp addresses, none blank.
TEST_F(NativeHost, BandAndExtensionOfferTheFeedsEachCollectedPageAnnounces) {
  const std::string page = "https://pages.example/dir/page.html";
  std::map<std::string, std::vector<DiscoveredFeed>> expected;
  for (const CollectedPage &collected : CollectedPages())
    expected[collected.file] = ExpectedFeeds(collected, "https://pages.example");
  HostProcess host;
  std::size_t pages = 0;
  for (const auto &entry : std::filesystem::directory_iterator(std::string(QUORVELLE_REALWORLD_DIR) + "/pages")) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ++pages;
    const std::string html = ReadFile(entry.path().string());
    const std::vector<DiscoveredFeed> band = DiscoverFeeds(html, page);
    const json answer = host.Ask("discover", {{"html", html}, {"url", page}});
    ASSERT_EQ(answer.value("ok", false), true) << answer;
    std::vector<DiscoveredFeed> extension;
    for (const json &feed : answer["result"]["feeds"])
      extension.push_back({feed["url"].get<std::string>(), feed["title"].get<std::string>()});
    EXPECT_EQ(band, extension);
    ASSERT_TRUE(expected.contains(name)) << "a collected page without its expected feeds";
    EXPECT_EQ(band, expected.at(name));
    for (const DiscoveredFeed &feed : band) {
      EXPECT_TRUE(std::regex_search(feed.url, std::regex("^(https?|ftp)://[^/?#\\s]"))) << feed.url;
    }
  }
  EXPECT_EQ(pages, expected.size());
}

// The background check behind the extension's badge: the new headlines of
// the enabled feeds, counted from the seen state without marking anything
// and without touching the list.
TEST_F(NativeHost, NewCountCountsWhatNoViewShowedAndChangesNothing) {
  const auto feed = GuidFeed;
  server_.Route("/a.xml", {200, "application/rss+xml", feed({"1", "2"})});
  server_.Route("/b.xml", {200, "application/rss+xml", feed({"3"})});
  server_.Route("/off.xml", {200, "application/rss+xml", feed({"4"})});
  HostProcess host;
  for (const char *path : {"/a.xml", "/b.xml", "/off.xml"})
    ASSERT_EQ(host.Ask("add", {{"url", server_.Url(path)}, {"dialog", false}})["result"]["added"], true);
  {
    TRSSFeedOptions store;
    store.Load();
    ASSERT_TRUE(store.SetFeedStateEnabled(server_.Url("/off.xml"), "", false));
    store.Save();
  }
  // Feeds no view has met count nothing.
  json counted = host.Ask("new-count")["result"];
  EXPECT_EQ(counted, json({{"count", 0}, {"feeds", 2}, {"unread", 0}})) << counted;

  {
    report::SeenItems seen;
    for (const char *path : {"/a.xml", "/b.xml", "/off.xml"})
      seen.View(server_.Url(path), report::ItemIdentities(feed({"1", "2", "3", "4"})), report::Mark::Yes);
    seen.Commit();
  }
  server_.Route("/a.xml", {200, "application/rss+xml", feed({"5", "2", "1", "6"})});
  server_.Route("/off.xml", {200, "application/rss+xml", feed({"7"})});
  const std::string list = ReadFile(user_.FeedsFile());
  const std::string state = ReadFile(report::SeenItemsFile());
  counted = host.Ask("new-count")["result"];
  EXPECT_EQ(counted, json({{"count", 2}, {"feeds", 2}, {"unread", 0}})) << "a disabled feed does not count";
  EXPECT_EQ(host.Ask("new-count")["result"]["count"], 2) << "counting marks nothing";
  EXPECT_EQ(ReadFile(user_.FeedsFile()), list);
  EXPECT_EQ(ReadFile(report::SeenItemsFile()), state);
}

// The extension's report is a view like our browser's: the first view of a
// feed marks nothing new, a republished feed shows exactly its added item as
// new (whole page and streamed alike), and what a view showed the badge's
// count no longer holds.
TEST_F(NativeHost, TheReportMarksWhatNoEarlierViewShowed) {
  const auto feed = GuidFeed;
  // The items marked new (class and the "New" word both), by their number.
  const auto newItems = [](const std::string &html) {
    std::vector<std::string> found;
    for (std::size_t at = html.find("<li class=\"q-item"); at != std::string::npos;) {
      const std::size_t next = html.find("<li class=\"q-item", at + 1);
      const std::string item = html.substr(at, next == std::string::npos ? std::string::npos : next - at);
      const bool marked = item.find("q-new-mark\">New</strong>") != std::string::npos;
      EXPECT_EQ(item.starts_with("<li class=\"q-item q-new\""), marked) << item;
      std::smatch number;
      if (marked && std::regex_search(item, number, std::regex("Item (\\w+)"))) found.push_back(number[1]);
      at = next;
    }
    return found;
  };
  server_.Route("/a.xml", {200, "application/rss+xml", feed({"1", "2"})});
  HostProcess host;
  ASSERT_EQ(host.Ask("add", {{"url", server_.Url("/a.xml")}, {"dialog", false}})["result"]["added"], true);

  const std::string first = host.Ask("report")["result"]["html"];
  ASSERT_NE(first.find("Item 2"), std::string::npos) << first;
  EXPECT_TRUE(newItems(first).empty()) << "the first view marks nothing new\n" << first;
  EXPECT_EQ(first.find("new headline"), std::string::npos) << first;

  server_.Route("/a.xml", {200, "application/rss+xml", feed({"3", "1", "2"})});
  const int report = host.Send("report");
  std::string last;
  for (json message = host.Receive(20000); message.is_object(); message = host.Receive(20000)) {
    ASSERT_EQ(message["id"], report) << message;
    if (message["part"] == "end") break;
    // An early kept copy may come first: the site's answer replaces it.
    if (message["part"] == "box" && message["result"]["final"] == true) last = message["result"]["html"];
  }
  EXPECT_EQ(newItems(last), std::vector<std::string>{"3"}) << last;
  EXPECT_NE(last.find("1 new headline<"), std::string::npos) << last;
  EXPECT_EQ(host.Ask("new-count")["result"]["count"], 0) << "the view recorded what it showed";
  const std::string again = host.Ask("report")["result"]["html"];
  EXPECT_TRUE(newItems(again).empty()) << again;
}

// The start page gives each category it lists the count of new headlines of
// its enabled feeds (those of its own categories too), and the count agrees
// with the feeds' own counts on the category's page; once that page has
// shown them, the start page counts them no more.
TEST_F(NativeHost, StartPageCountsEachCategorysNewHeadlinesAsItsPageDoes) {
  const auto feed = GuidFeed;
  const std::vector<std::string> paths{"/a.xml", "/inner.xml", "/off.xml", "/b.xml"};
  for (const std::string &path : paths)
    server_.Route(path, {200, "application/rss+xml", feed({"1", "2"})});
  {
    TRSSFeedOptions store;
    store.Load();
    ASSERT_TRUE(store.AddNewRSSFeed(server_.Url("/a.xml"), "A", "News"));
    ASSERT_TRUE(store.AddNewRSSFeed(server_.Url("/off.xml"), "Off", "News"));
    ASSERT_TRUE(store.SetFeedStateEnabled(server_.Url("/off.xml"), "News", false));
    ASSERT_TRUE(store.AddNewRSSFeed(server_.Url("/b.xml"), "B", "Sport"));
    store.Save();
  }
  {
    // A category inside News, written as the list holds it.
    std::string list = ReadFile(user_.FeedsFile());
    const std::string inner = "<Quorvelle_Category name=\"Inner\" description=\"\"><Quorvelle_Feed src=\"" +
                              server_.Url("/inner.xml") + "\" title=\"Inner\" enabled=\"true\"/></Quorvelle_Category>";
    const std::size_t at = list.find("<Quorvelle_Feed src=\"" + server_.Url("/a.xml"));
    ASSERT_NE(at, std::string::npos) << list;
    list.insert(at, inner);
    WriteFile(user_.FeedsFile(), list);
    report::SeenItems seen;
    for (const std::string &path : paths)
      seen.View(server_.Url(path), report::ItemIdentities(feed({"1", "2"})), report::Mark::Yes);
    seen.Commit();
  }
  server_.Route("/a.xml", {200, "application/rss+xml", feed({"5", "6", "1", "2"})});
  server_.Route("/inner.xml", {200, "application/rss+xml", feed({"7", "1", "2"})});
  server_.Route("/off.xml", {200, "application/rss+xml", feed({"8", "1", "2"})});
  HostProcess host;
  // The start page's frame and its count boxes, by the category they follow.
  const auto startCounts = [&] {
    std::map<std::string, json> counts;
    std::string frame;
    std::map<std::string, json> byId;
    const int id = host.Send("report");
    for (json message = host.Receive(20000); message.is_object(); message = host.Receive(20000)) {
      EXPECT_EQ(message["id"], id) << message;
      if (message["part"] == "frame") frame = message["result"]["html"];
      if (message["part"] == "box" && message["result"]["state"] == "q-counted")
        byId[message["result"]["id"]] = message["result"];
      if (message["part"] == "end") break;
    }
    for (const char *name : {"News", "Sport"}) {
      std::smatch found;
      EXPECT_TRUE(std::regex_search(
          frame, found,
          std::regex(std::string(">") + name + "</a><small class=\"q-category-new\" id=\"(q-count-\\d+)\"></small>")))
          << frame;
      if (!found.empty() && byId.contains(found[1])) counts[name] = byId[found[1]];
    }
    return counts;
  };
  std::map<std::string, json> counts = startCounts();
  ASSERT_EQ(counts.size(), 2U);
  EXPECT_EQ(counts["News"]["count"], 3) << "two in News, one inside it, none of the disabled feed";
  EXPECT_EQ(counts["News"]["html"], "3 new headlines");
  EXPECT_EQ(counts["Sport"]["count"], 0);
  EXPECT_EQ(counts["Sport"]["html"], "");

  const std::string page = host.Ask("report", {{"page", "News/index.html"}})["result"]["html"];
  EXPECT_NE(page.find("2 new headlines"), std::string::npos) << page;
  counts = startCounts();
  EXPECT_EQ(counts["News"]["count"], 1) << "News's page showed its own feeds; the category inside it stays new";
}

} // namespace
} // namespace quorvelle::test
