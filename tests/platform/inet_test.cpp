#include "platform/inet/inet_client.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/helpers/test_environment.h"

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace quorvelle::platform {
namespace {
using namespace std::chrono_literals;
using test::HttpResponse;
using test::LoopbackHttpServer;

using Clock = std::chrono::steady_clock;

// Short limits so the slow cases finish quickly.
CurlInetOptions FastOptions() {
  CurlInetOptions options;
  options.deadline = 300ms;
  options.connectTimeout = 2000ms;
  options.responseTimeout = 2000ms;
  options.maxBytes = 64 * 1024;
  return options;
}

// A loopback port nothing listens on (it was free a moment ago).
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

std::string Pattern(std::size_t size) {
  std::string text;
  text.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(static_cast<char>('a' + i % 26));
  }
  return text;
}

TEST(CurlInetClient, ReturnsTheBodyByteForByte) {
  LoopbackHttpServer server;
  const std::string body = Pattern(5000) + "\xC3\xA9\r\n";
  server.Route("/feed.xml", {200, "application/xml", body});
  HttpResponse unsized{200, "text/plain", Pattern(3333)};
  unsized.omitContentLength = true;
  server.Route("/unsized", unsized);
  CurlInetClient client(FastOptions());
  EXPECT_EQ(client.GetInetFileToString(server.Url("/feed.xml")), body);
  EXPECT_EQ(client.GetInetFileToString(server.Url("/unsized")), Pattern(3333));
  server.Route("/empty", {200, "text/plain", ""});
  EXPECT_EQ(client.GetInetFileToString(server.Url("/empty")), "");
}

TEST(CurlInetClient, RealWorldFeedsArriveUnchanged) {
  const std::filesystem::path folder = std::filesystem::path(QUORVELLE_REALWORLD_DIR) / "feeds";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no real-world feeds at " << folder;
  LoopbackHttpServer server;
  CurlInetClient client(FastOptions());
  int checked = 0;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.file_size() > FastOptions().maxBytes) continue;
    const std::string bytes = test::ReadFile(entry.path().string());
    if (bytes.find('\0') != std::string::npos) continue;
    const std::string path = "/" + entry.path().filename().string();
    server.RouteFile(path, entry.path().string(), "application/rss+xml");
    EXPECT_EQ(client.GetInetFileToString(server.Url(path)), bytes) << path;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST(CurlInetClient, EachChunkIsAppendedUpToItsFirstNul) {
  LoopbackHttpServer server;
  // First chunk (1026 bytes) holds a NUL after "abc": the rest of that chunk
  // is dropped and reading goes on with the next chunk.
  std::string body("abc\0def", 7);
  body += std::string(1026 - body.size(), 'x');
  body += "tail";
  server.Route("/nul", {200, "application/octet-stream", body});
  CurlInetClient client(FastOptions());
  EXPECT_EQ(client.GetInetFileToString(server.Url("/nul")), "abctail");
}

TEST(CurlInetClient, ErrorStatusesAndBrokenAnswersAreFailedDownloads) {
  LoopbackHttpServer server;
  server.Route("/gone", {404, "text/html", "<html>Not here</html>"});
  server.Route("/broken", {500, "text/html", "<html>Server error</html>"});
  HttpResponse hangUp;
  hangUp.closeWithoutAnswer = true;
  server.Route("/hangup", hangUp);
  CurlInetClient client(FastOptions());
  EXPECT_EQ(client.GetInetFileToString(server.Url("/gone")), "");
  EXPECT_EQ(client.GetInetFileToString(server.Url("/broken")), "");
  EXPECT_EQ(client.GetInetFileToString(server.Url("/hangup")), "");
  EXPECT_EQ(server.RequestCount("/hangup"), 1U);
  EXPECT_EQ(client.GetInetFileToString(server.Url("/no-route")), "");
}

TEST(CurlInetClient, UnreachablePortGivesEmptyText) {
  // A port that was just free: nothing listens there.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length), 0);
  ::close(fd);
  CurlInetClient client(FastOptions());
  EXPECT_EQ(client.GetInetFileToString("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/a.xml"), "");
}

TEST(CurlInetClient, OnlyHttpHttpsAndFtpAddressesAreFetched) {
  test::TempDir dir;
  test::WriteFile(dir / "secret.txt", "secret");
  LoopbackHttpServer server;
  server.Route("/a.xml", {200, "application/xml", "<rss/>"});
  CurlInetClient client(FastOptions());
  EXPECT_EQ(client.GetInetFileToString("file://" + (dir / "secret.txt")), "");
  EXPECT_EQ(client.GetInetFileToString("FILE://" + (dir / "secret.txt")), "");
  EXPECT_EQ(client.GetInetFileToString("dict://127.0.0.1:" + std::to_string(server.Port()) + "/a.xml"), "");
  EXPECT_EQ(client.GetInetFileToString("gopher://127.0.0.1:" + std::to_string(server.Port()) + "/a.xml"), "");
  // No scheme at all is not guessed as http.
  EXPECT_EQ(client.GetInetFileToString("127.0.0.1:" + std::to_string(server.Port()) + "/a.xml"), "");
  EXPECT_EQ(server.RequestCount("/a.xml"), 0U);
  EXPECT_EQ(client.GetInetFileToString("HTTP://127.0.0.1:" + std::to_string(server.Port()) + "/a.xml"), "<rss/>");
}

TEST(CurlInetClient, RedirectsAreFollowedOnlyToWebAddresses) {
  test::TempDir dir;
  test::WriteFile(dir / "secret.txt", "secret");
  LoopbackHttpServer server;
  server.Route("/new.xml", {200, "application/xml", "<rss>moved</rss>"});
  HttpResponse moved{301, "text/html", "moved"};
  moved.location = server.Url("/new.xml");
  server.Route("/old.xml", moved);
  HttpResponse toFile{302, "text/html", "see file"};
  toFile.location = "file://" + (dir / "secret.txt");
  server.Route("/tofile", toFile);
  HttpResponse loop{302, "text/html", "again"};
  loop.location = "/loop";
  server.Route("/loop", loop);

  CurlInetClient client(FastOptions());
  EXPECT_EQ(client.GetInetFileToString(server.Url("/old.xml")), "<rss>moved</rss>");
  EXPECT_EQ(client.GetInetFileToString(server.Url("/tofile")), "");
  EXPECT_EQ(client.GetInetFileToString(server.Url("/loop")), "");
  EXPECT_LE(server.RequestCount("/loop"), static_cast<std::size_t>(FastOptions().maxRedirects + 1));
}

TEST(CurlInetClient, OversizedBodiesAreFailedDownloads) {
  LoopbackHttpServer server;
  CurlInetOptions options = FastOptions();
  options.maxBytes = 10000;
  server.Route("/fits", {200, "text/plain", Pattern(10000)});
  server.Route("/big", {200, "text/plain", Pattern(10001)});
  HttpResponse unsized{200, "text/plain", Pattern(50000)};
  unsized.omitContentLength = true;
  server.Route("/big-unsized", unsized);
  CurlInetClient client(options);
  EXPECT_EQ(client.GetInetFileToString(server.Url("/fits")), Pattern(10000));
  EXPECT_EQ(client.GetInetFileToString(server.Url("/big")), "");
  EXPECT_EQ(client.GetInetFileToString(server.Url("/big-unsized")), "");
}

TEST(CurlInetClient, ASlowBodyIsCutAfterTheChunkThatCrossedTheDeadline) {
  LoopbackHttpServer server;
  const std::string body = Pattern(1026 * 12);
  HttpResponse slow{200, "text/plain", body};
  slow.chunkSize = 1026;
  slow.chunkDelay = 120ms;
  server.Route("/slow", slow);
  CurlInetClient client(FastOptions());
  const auto started = Clock::now();
  const std::string text = client.GetInetFileToString(server.Url("/slow"));
  const auto took = Clock::now() - started;
  EXPECT_FALSE(text.empty());
  EXPECT_LT(text.size(), body.size());
  EXPECT_EQ(text, body.substr(0, text.size()));
  EXPECT_EQ(text.size() % 1026, 0U) << "cut inside a chunk";
  EXPECT_LT(took, 1000ms);
}

TEST(CurlInetClient, AStalledBodyEndsSoonAfterTheDeadline) {
  LoopbackHttpServer server;
  HttpResponse stalled{200, "text/plain", Pattern(2000)};
  stalled.chunkSize = 1000;
  stalled.chunkDelay = 4000ms;
  server.Route("/stalled", stalled);
  CurlInetClient client(FastOptions());
  const auto started = Clock::now();
  EXPECT_EQ(client.GetInetFileToString(server.Url("/stalled")), "");
  EXPECT_LT(Clock::now() - started, 3000ms);
}

TEST(Inet, InstalledClientReplacesTheDefaultUntilRemoved) {
  struct Canned : InetClient {
    std::string GetInetFileToString(const std::string &) override { return "canned"; }
  } canned;
  InetClient &original = Inet();
  EXPECT_EQ(InstallInet(&canned), nullptr);
  EXPECT_EQ(Inet().GetInetFileToString("http://x/"), "canned");
  EXPECT_EQ(InstallInet(nullptr), &canned);
  EXPECT_EQ(&Inet(), &original);
}

// Downloads side by side: a host that never finishes its answers holds up
// only its own downloads (and at most six connections), the others arrive;
// a cancelled download never answers and frees its connection; a time limit
// and a closed port are told apart.
TEST(ConcurrentDownloader, SilentHostsHoldUpOnlyTheirOwnDownloads) {
  LoopbackHttpServer silent;
  HttpResponse stalled{200, "application/xml", "<rss/>"};
  stalled.chunkSize = 1;
  stalled.chunkDelay = 60s;
  silent.Route("/hang.xml", stalled);
  LoopbackHttpServer slow;
  HttpResponse late{200, "application/xml", "<rss/>"};
  late.chunkSize = 3;
  late.chunkDelay = 200ms;
  slow.Route("/feed.xml", late);

  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, std::vector<FetchStatus>> results;
  auto record = [&](const std::string &name) {
    return [&, name](FetchResult result) {
      std::lock_guard lock(mutex);
      results[name].push_back(result.status);
      if (name == "slow") {
        EXPECT_EQ(result.bytes, "<rss/>");
      }
      changed.notify_all();
    };
  };
  auto count = [&](const std::string &name) {
    std::lock_guard lock(mutex);
    return results[name].size();
  };
  auto waitFor = [&](const std::function<bool()> &done) {
    for (const auto end = Clock::now() + 20s; Clock::now() < end;) {
      if (done()) return true;
      std::unique_lock lock(mutex);
      changed.wait_for(lock, 50ms);
    }
    return done();
  };

  CurlInetOptions options;
  options.timeLimit = 0ms;
  auto downloader = std::make_unique<ConcurrentDownloader>(options, 6);
  std::vector<ConcurrentDownloader::Id> hanging;
  for (int i = 0; i < 8; ++i)
    hanging.push_back(downloader->Start(silent.Url("/hang.xml"), record("hang")));
  for (int i = 0; i < 20; ++i)
    downloader->Start(slow.Url("/feed.xml"), record("slow"));
  ASSERT_TRUE(waitFor([&] { return count("slow") == 20; })) << count("slow") << " of 20 arrived";
  EXPECT_EQ(results["slow"], std::vector<FetchStatus>(20, FetchStatus::Ok));
  EXPECT_EQ(count("hang"), 0U);
  EXPECT_EQ(downloader->Pending(), 8U);
  EXPECT_EQ(silent.RequestCount("/hang.xml"), 6U) << "at most six connections to one host";

  // Cancelling one frees its connection for a waiting one.
  downloader->Cancel(hanging.front());
  ASSERT_TRUE(waitFor([&] { return silent.RequestCount("/hang.xml") == 7U; }));
  EXPECT_EQ(downloader->Pending(), 7U);

  CurlInetOptions limited;
  limited.timeLimit = 400ms;
  ConcurrentDownloader quick(limited);
  quick.Start(silent.Url("/hang.xml"), record("limit"));
  quick.Start("http://127.0.0.1:" + std::to_string(FreePort()) + "/closed.xml", record("closed"));
  quick.Start("file:///etc/hostname", record("file"));
  ASSERT_TRUE(waitFor([&] { return count("limit") == 1 && count("closed") == 1 && count("file") == 1; }));
  EXPECT_EQ(results["limit"].front(), FetchStatus::TimedOut);
  EXPECT_EQ(results["closed"].front(), FetchStatus::Failed);
  EXPECT_EQ(results["file"].front(), FetchStatus::Unsupported);

  // Going away drops the rest without an answer.
  downloader.reset();
  EXPECT_EQ(count("hang"), 0U);
}

// Every request names the product; a port browsers refuse is refused for
// every scheme and download (a redirect's target included) before anything
// connects, loopback or not.
TEST(CurlInetClient, RequestsNameTheProductAndRefuseBrowsersBadPorts) {
  LoopbackHttpServer server;
  server.Route("/a.xml", {200, "application/xml", "<rss/>"});
  HttpResponse toSmtp{302};
  toSmtp.location = "http://127.0.0.1:25/x";
  server.Route("/to-smtp", toSmtp);
  CurlInetClient client(FastOptions());
  ASSERT_EQ(client.GetInetFileToString(server.Url("/a.xml")), "<rss/>");
  const std::string agent = "User-Agent: " + UserAgent();
  EXPECT_TRUE(UserAgent().starts_with("Quorvelle/")) << UserAgent();
  EXPECT_NE(UserAgent().find("(+https://"), std::string::npos) << UserAgent();
  EXPECT_NE(server.LastRequestHead("/a.xml").find(agent), std::string::npos);
  EXPECT_EQ(CurlFetchBytes(server.Url("/a.xml"), FastOptions()).status, FetchStatus::Ok);
  EXPECT_NE(server.LastRequestHead("/a.xml").find(agent), std::string::npos);

  for (const char *url : {"http://127.0.0.1:25/x", "https://example.org:6667/", "ftp://127.0.0.1:22/x",
                          "http://[::1]:10080/", "HTTP://localhost:0587/", "ftp://127.0.0.1:6697/x"}) {
    EXPECT_FALSE(IsAllowedPort(url)) << url;
    EXPECT_EQ(CurlFetchBytes(url, FastOptions()).status, FetchStatus::Unsupported) << url;
  }
  for (const char *url : {"http://127.0.0.1/", "https://example.org:8443/", "ftp://127.0.0.1:21/x",
                          "http://example.org:6379/", "http://127.0.0.1:80/"})
    EXPECT_TRUE(IsAllowedPort(url)) << url;
  EXPECT_FALSE(IsAllowedPort("http://127.0.0.1:21/x"));
  EXPECT_EQ(CurlFetchBytes(server.Url("/to-smtp"), FastOptions()).status, FetchStatus::Unsupported);
  EXPECT_EQ(client.GetInetFileToString(server.Url("/to-smtp")), "");
}

// Only an address that reads with a host of its own names one; its server
// key is the host and the port in lower case.
TEST(InetAddresses, NamesHostAndHostKey) {
  for (const char *url : {"http://example.org/feed", "HTTPS://Example.ORG:8443/x?y", "ftp://[::1]/f", "http://a"})
    EXPECT_TRUE(NamesHost(url)) << url;
  for (const char *url : {"", "feed.xml", "/feed.xml", "http://", "http://exa mple.org/", "mailto:"})
    EXPECT_FALSE(NamesHost(url)) << url;
  EXPECT_EQ(HostKey("HTTPS://Example.ORG/x"), "example.org:443");
  EXPECT_EQ(HostKey("http://a.example:8080/"), "a.example:8080");
  EXPECT_EQ(HostKey("not an address"), "");
}

// A train of interim "102 Processing" answers does not hold a download past
// its total limit.
TEST(CurlInetClient, InterimAnswersDoNotExtendTheTotalLimit) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
  std::atomic<bool> stop{false};
  std::thread server([&] {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) return;
    char buffer[4096];
    (void)::recv(fd, buffer, sizeof buffer, 0);
    const std::string interim = "HTTP/1.1 102 Processing\r\n\r\n";
    for (int i = 0; i < 100 && !stop; ++i) {
      if (::send(fd, interim.data(), interim.size(), MSG_NOSIGNAL) < 0) break;
      std::this_thread::sleep_for(100ms);
    }
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n<rss/>";
    ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    ::close(fd);
  });
  CurlInetOptions options = FastOptions();
  options.totalLimit = 1000ms;
  CurlInetClient client(options);
  const auto start = Clock::now();
  const std::string text =
      client.GetInetFileToString("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/");
  const auto took = Clock::now() - start;
  stop = true;
  server.join();
  ::close(listener);
  EXPECT_EQ(text, "");
  EXPECT_LT(took, 3s);
}

// The raw downloads hand on the status, headers and permanent moves the
// cache needs, and send the request's own header lines.
TEST(CurlFetchBytes, ReportsStatusHeadersAndPermanentMoves) {
  LoopbackHttpServer server;
  HttpResponse feed{200, "application/xml", "<rss/>"};
  feed.headers = {{"ETag", "\"x1\""}, {"Cache-Control", "max-age=5"}, {"Cache-Control", "public"}};
  server.Route("/feed.xml", feed);
  HttpResponse first{301};
  first.location = "/second";
  server.Route("/first", first);
  HttpResponse second{308};
  second.location = server.Url("/feed.xml");
  server.Route("/second", second);
  HttpResponse found{302};
  found.location = "/second";
  server.Route("/found", found);
  HttpResponse busy{429, "text/plain", "later"};
  busy.headers = {{"Retry-After", "120"}};
  server.Route("/busy", busy);

  const FetchResult moved = CurlFetchBytes(DownloadRequest{server.Url("/first"), {"If-None-Match: \"x0\""}});
  EXPECT_EQ(moved.status, FetchStatus::Ok);
  EXPECT_EQ(moved.httpStatus, 200);
  EXPECT_EQ(moved.bytes, "<rss/>");
  EXPECT_EQ(moved.headers.at("etag"), "\"x1\"");
  EXPECT_EQ(moved.headers.at("cache-control"), "max-age=5, public");
  EXPECT_EQ(moved.finalUrl, server.Url("/feed.xml"));
  EXPECT_EQ(moved.movedTo, server.Url("/feed.xml"));
  EXPECT_NE(server.LastRequestHead("/feed.xml").find("If-None-Match: \"x0\""), std::string::npos);
  EXPECT_EQ(CurlFetchBytes(server.Url("/found")).movedTo, "");
  EXPECT_EQ(CurlFetchBytes(server.Url("/feed.xml")).movedTo, "");
  const FetchResult refused = CurlFetchBytes(server.Url("/busy"));
  EXPECT_EQ(refused.status, FetchStatus::Failed);
  EXPECT_EQ(refused.httpStatus, 429);
  EXPECT_EQ(refused.headers.at("retry-after"), "120");
}

} // namespace
} // namespace quorvelle::platform
