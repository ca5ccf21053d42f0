// quorvelle-native-host driven as a browser drives it: the built program on
// a pair of pipes, length-prefixed JSON in and out.

#include "feeds/feed_store.h"
#include "platform/files/file_lock.h"
#include "platform/registry/registry.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <regex>
#include <thread>

extern char **environ;

namespace quorvelle::test {
namespace {

using nlohmann::json;

class HostProcess {
public:
  HostProcess() {
    int in[2];
    int out[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    char program[] = QUORVELLE_NATIVE_HOST;
    char *argv[] = {program, nullptr};
    EXPECT_EQ(posix_spawn(&pid_, program, &actions, nullptr, argv, environ), 0);
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
  json Receive() {
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
  HostProcess host;
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
           {"{\"v\":2,\"id\":1,\"command\":\"list\"}", "unsupported-version"},
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

} // namespace
} // namespace quorvelle::test
