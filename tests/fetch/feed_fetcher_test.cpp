#include "fetch/feed_cache.h"
#include "fetch/feed_fetcher.h"
#include "tests/helpers/loopback_http_server.h"

#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quorvelle::fetch {
namespace {
using namespace std::chrono_literals;
using platform::FetchStatus;
using test::HttpResponse;
using test::LoopbackHttpServer;

class FeedFetcherTest : public ::testing::Test {
protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("quorvelle-fetch-" + std::to_string(::getpid()) + "-" +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  FeedFetcherOptions Options() const {
    FeedFetcherOptions options;
    options.cacheFolder = folder_.string();
    options.download.connectTimeout = 2s;
    options.download.responseTimeout = 2s;
    options.download.deadline = 2s;
    return options;
  }

  // Every delivery of one download, the final one last; each fetch runs in a
  // fetcher of its own, as a new process would.
  std::vector<FeedDelivery> Fetch(const std::string &url, FetchMode mode = FetchMode::Normal) {
    FeedFetcher fetcher(Options());
    return FetchWith(fetcher, url, mode);
  }

  static std::vector<FeedDelivery> FetchWith(FeedFetcher &fetcher, const std::string &url, FetchMode mode) {
    std::mutex mutex;
    std::condition_variable done;
    std::vector<FeedDelivery> deliveries;
    fetcher.Start(url, mode, [&](FeedDelivery delivery) {
      std::lock_guard lock(mutex);
      deliveries.push_back(std::move(delivery));
      done.notify_all();
    });
    std::unique_lock lock(mutex);
    done.wait_for(lock, 20s, [&] { return !deliveries.empty() && deliveries.back().final; });
    return deliveries;
  }

  FeedCache Cache() const { return FeedCache(folder_.string()); }

  std::filesystem::path folder_;
};

HttpResponse Feed(const std::string &body, std::vector<std::pair<std::string, std::string>> headers) {
  HttpResponse response{200, "application/rss+xml", body};
  response.headers = std::move(headers);
  return response;
}

const char *kModified = "Tue, 01 Dec 2026 10:00:00 GMT";

TEST_F(FeedFetcherTest, FreshCopiesAreUsedAndStaleOnesAskWithBothValidators) {
  LoopbackHttpServer server;
  server.Route("/a.xml",
               Feed("<rss>one</rss>",
                    {{"ETag", "\"v1\""}, {"Last-Modified", kModified}, {"Cache-Control", "public, max-age=300"}}));
  const std::string url = server.Url("/a.xml");
  auto first = Fetch(url);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].status, FetchStatus::Ok);
  EXPECT_EQ(first[0].bytes, "<rss>one</rss>");
  EXPECT_FALSE(first[0].fromCache);
  EXPECT_NE(server.LastRequestHead("/a.xml").find("User-Agent: Quorvelle/"), std::string::npos);
  const auto stored = Cache().Load(url);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->etag, "\"v1\"");
  EXPECT_EQ(stored->lastModified, kModified);
  EXPECT_NEAR(static_cast<double>(stored->freshUntil - stored->fetchedAt), 300, 1);

  // Fresh: answered once from the cache, the site is not asked.
  auto second = Fetch(url);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_TRUE(second[0].fromCache);
  EXPECT_EQ(second[0].bytes, "<rss>one</rss>");
  EXPECT_EQ(second[0].stale, StaleReason::None);
  EXPECT_EQ(server.RequestCount("/a.xml"), 1u);

  // Reload asks again, conditionally; a 304 confirms the kept copy and its
  // freshness starts again.
  HttpResponse notModified{304};
  notModified.headers = {{"ETag", "\"v1\""}, {"Cache-Control", "max-age=60"}};
  server.Route("/a.xml", notModified);
  auto reload = Fetch(url, FetchMode::Revalidate);
  ASSERT_EQ(reload.size(), 2u);
  EXPECT_FALSE(reload[0].final);
  EXPECT_TRUE(reload[0].fromCache);
  EXPECT_EQ(reload[1].status, FetchStatus::Ok);
  EXPECT_EQ(reload[1].bytes, "<rss>one</rss>");
  EXPECT_TRUE(reload[1].fromCache);
  EXPECT_EQ(server.RequestCount("/a.xml"), 2u);
  const std::string head = server.LastRequestHead("/a.xml");
  EXPECT_NE(head.find("If-None-Match: \"v1\""), std::string::npos) << head;
  EXPECT_NE(head.find(std::string("If-Modified-Since: ") + kModified), std::string::npos) << head;
  const auto confirmed = Cache().Load(url);
  ASSERT_TRUE(confirmed);
  EXPECT_NEAR(static_cast<double>(confirmed->freshUntil - confirmed->fetchedAt), 60, 1);
  EXPECT_EQ(confirmed->body, "<rss>one</rss>");
}

TEST_F(FeedFetcherTest, StaleCopiesShowAtOnceAndAreReplacedOrKeptWhenTheSiteFails) {
  LoopbackHttpServer server;
  server.Route("/b.xml", Feed("<rss>old</rss>", {{"ETag", "\"e1\""}, {"Cache-Control", "max-age=0"}}));
  server.Route("/c.xml", Feed("<rss>private</rss>", {{"Cache-Control", "no-store"}}));
  const std::string url = server.Url("/b.xml");
  ASSERT_EQ(Fetch(url).back().bytes, "<rss>old</rss>");

  server.Route("/b.xml", Feed("<rss>new</rss>", {{"ETag", "\"e2\""}, {"Cache-Control", "no-cache"}}));
  auto replaced = Fetch(url);
  ASSERT_EQ(replaced.size(), 2u);
  EXPECT_EQ(replaced[0].bytes, "<rss>old</rss>");
  EXPECT_FALSE(replaced[0].final);
  EXPECT_EQ(replaced[1].bytes, "<rss>new</rss>");
  EXPECT_FALSE(replaced[1].fromCache);
  EXPECT_EQ(Cache().Load(url)->etag, "\"e2\"");

  // The site fails: the kept copy stays, saying when it was read.
  server.Route("/b.xml", {500, "text/plain", "down"});
  const std::int64_t readAt = Cache().Load(url)->fetchedAt;
  auto failed = Fetch(url);
  ASSERT_FALSE(failed.empty());
  EXPECT_EQ(failed.back().status, FetchStatus::Ok);
  EXPECT_EQ(failed.back().bytes, "<rss>new</rss>");
  EXPECT_EQ(failed.back().stale, StaleReason::Unreachable);
  ASSERT_TRUE(failed.back().readAt);
  EXPECT_EQ(std::chrono::system_clock::to_time_t(*failed.back().readAt), readAt);

  // no-store: shown, never kept.
  EXPECT_EQ(Fetch(server.Url("/c.xml")).back().bytes, "<rss>private</rss>");
  EXPECT_FALSE(Cache().Load(server.Url("/c.xml")));
  EXPECT_EQ(Fetch(server.Url("/c.xml")).size(), 1u);
  EXPECT_EQ(server.RequestCount("/c.xml"), 2u);
}

TEST_F(FeedFetcherTest, BusyHostsGetNoRequestsUntilTheirWaitEnds) {
  LoopbackHttpServer limited;
  limited.Route("/kept.xml", Feed("<rss>kept</rss>", {{"Cache-Control", "max-age=0"}}));
  ASSERT_EQ(Fetch(limited.Url("/kept.xml")).back().bytes, "<rss>kept</rss>");
  HttpResponse tooMany{429, "text/plain", "slow down"};
  tooMany.headers = {{"Retry-After", "3600"}};
  limited.Route("/kept.xml", tooMany);
  limited.Route("/other.xml", Feed("<rss>other</rss>", {}));
  auto busy = Fetch(limited.Url("/kept.xml"));
  EXPECT_EQ(busy.back().status, FetchStatus::Ok);
  EXPECT_EQ(busy.back().stale, StaleReason::BackingOff);
  EXPECT_EQ(busy.back().bytes, "<rss>kept</rss>");
  const std::int64_t now = std::time(nullptr);
  const auto wait = Cache().Wait(platform::HostKey(limited.Url("/")));
  ASSERT_TRUE(wait);
  EXPECT_NEAR(static_cast<double>(wait->until - now), 3600, 2);

  // Neither that feed nor another of the host is asked now, in any mode.
  auto again = Fetch(limited.Url("/kept.xml"), FetchMode::Revalidate);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].stale, StaleReason::BackingOff);
  auto other = Fetch(limited.Url("/other.xml"));
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other[0].status, FetchStatus::Failed);
  EXPECT_EQ(other[0].stale, StaleReason::BackingOff);
  EXPECT_EQ(limited.RequestCount("/kept.xml"), 2u);
  EXPECT_EQ(limited.RequestCount("/other.xml"), 0u);

  // 503 without Retry-After: five minutes first, doubling to six hours.
  LoopbackHttpServer unavailable;
  unavailable.Route("/u.xml", {503, "text/plain", "busy"});
  EXPECT_EQ(Fetch(unavailable.Url("/u.xml")).back().status, FetchStatus::Failed);
  const std::string host = platform::HostKey(unavailable.Url("/"));
  ASSERT_TRUE(Cache().Wait(host));
  EXPECT_NEAR(static_cast<double>(Cache().Wait(host)->until - std::time(nullptr)), 300, 2);
  std::int64_t last = 0;
  for (int i = 2; i <= 10; ++i) {
    const HostWait next = Cache().NoteBusy(host, std::nullopt, 0);
    EXPECT_EQ(next.until, std::min<std::int64_t>(last == 0 ? 600 : last * 2, kLongestBackoffSeconds));
    last = next.until;
  }
  // A host whose wait has passed is asked again, and a good answer ends it.
  Cache().NoteBusy(host, 0, std::time(nullptr) - 1);
  unavailable.Route("/u.xml", Feed("<rss>back</rss>", {}));
  EXPECT_EQ(Fetch(unavailable.Url("/u.xml")).back().bytes, "<rss>back</rss>");
  EXPECT_FALSE(Cache().Wait(host));
}

TEST_F(FeedFetcherTest, PermanentMovesAreRememberedAndTemporaryOnesAreNot) {
  LoopbackHttpServer server;
  HttpResponse moved{301};
  moved.location = server.Url("/new.xml");
  server.Route("/old.xml", moved);
  HttpResponse temporary{302};
  temporary.location = server.Url("/new.xml");
  server.Route("/temp.xml", temporary);
  server.Route("/new.xml", Feed("<rss>moved</rss>", {{"Cache-Control", "max-age=0"}}));
  auto first = Fetch(server.Url("/old.xml"));
  EXPECT_EQ(first.back().bytes, "<rss>moved</rss>");
  EXPECT_EQ(first.back().movedTo, server.Url("/new.xml"));
  EXPECT_EQ(Cache().Load(server.Url("/old.xml"))->movedTo, server.Url("/new.xml"));
  auto second = Fetch(server.Url("/old.xml"));
  EXPECT_EQ(second.back().movedTo, server.Url("/new.xml"));
  EXPECT_EQ(server.RequestCount("/old.xml"), 1u);
  EXPECT_EQ(server.RequestCount("/new.xml"), 2u);
  EXPECT_EQ(Fetch(server.Url("/temp.xml")).back().movedTo, "");
}

TEST_F(FeedFetcherTest, OversizedAndDamagedEntriesNeverCount) {
  LoopbackHttpServer server;
  server.Route("/big.xml", Feed(std::string(5000, 'x'), {{"Cache-Control", "max-age=300"}}));
  server.Route("/feed.xml", Feed("<rss>good</rss>", {{"Cache-Control", "max-age=300"}}));
  FeedFetcherOptions small = Options();
  small.download.maxBytes = 1000;
  {
    FeedFetcher fetcher(small);
    EXPECT_EQ(FetchWith(fetcher, server.Url("/big.xml"), FetchMode::Normal).back().status, FetchStatus::TooLarge);
  }
  EXPECT_FALSE(Cache().Load(server.Url("/big.xml")));

  // Garbage, another address's entry and a cut-short entry under the
  // feed's name are each ignored and replaced by the site's answer.
  const std::string url = server.Url("/feed.xml");
  CacheEntry foreign;
  foreign.url = server.Url("/elsewhere.xml");
  foreign.body = "<rss>foreign</rss>";
  foreign.freshUntil = std::time(nullptr) + 3000;
  CacheEntry mine = foreign;
  mine.url = url;
  const std::string whole = EncodeCacheEntry(mine);
  std::filesystem::create_directories(folder_ / "feeds");
  std::size_t asked = 0;
  for (const std::string &damage : {std::string("\x7f"
                                                "ELF garbage"),
                                    EncodeCacheEntry(foreign), whole.substr(0, whole.size() - 3), std::string()}) {
    std::ofstream(Cache().EntryPath(url), std::ios::binary | std::ios::trunc) << damage;
    auto result = Fetch(url);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].bytes, "<rss>good</rss>");
    EXPECT_EQ(server.RequestCount("/feed.xml"), ++asked);
    EXPECT_EQ(Cache().Load(url)->body, "<rss>good</rss>");
  }
  // Every cut-short or changed entry reads as missing.
  for (std::size_t size = 0; size < whole.size(); ++size)
    EXPECT_FALSE(DecodeCacheEntry(whole.substr(0, size))) << size;
  for (std::size_t at = whole.find("\n\n") + 2; at < whole.size(); ++at) {
    std::string changed = whole;
    changed[at] ^= 0x20;
    EXPECT_FALSE(DecodeCacheEntry(changed)) << at;
  }
  // Header values the cache never writes (inputs kept in the fuzz corpus):
  // a carriage return, which would go into a request header, and a read
  // time beyond the clock.
  for (const auto &[line, damaged] :
       {std::pair<std::string, std::string>{"etag \n", "etag x\r\n"}, {"fetched-at 0\n", "fetched-at 99999999999\n"}}) {
    std::string changed = whole;
    ASSERT_NE(changed.find(line), std::string::npos) << line;
    changed.replace(changed.find(line), line.size(), damaged);
    EXPECT_FALSE(DecodeCacheEntry(changed)) << damaged;
  }
}

TEST_F(FeedFetcherTest, SeparateFetchersShareOneCacheSafely) {
  LoopbackHttpServer server;
  std::vector<std::string> urls;
  for (int i = 0; i < 24; ++i) {
    const std::string path = "/f" + std::to_string(i) + ".xml";
    server.Route(path, Feed("<rss>" + std::to_string(i) + std::string(20000, '.') + "</rss>",
                            {{"Cache-Control", "max-age=300"}}));
    urls.push_back(server.Url(path));
  }
  // Two fetchers (two processes' worth) read and write the same entries at once.
  auto run = [&] {
    FeedFetcher fetcher(Options());
    for (const std::string &url : urls)
      EXPECT_EQ(FetchWith(fetcher, url, FetchMode::Revalidate).back().status, FetchStatus::Ok);
  };
  std::thread one(run);
  std::thread two(run);
  one.join();
  two.join();
  const std::size_t requests = [&] {
    std::size_t total = 0;
    for (int i = 0; i < 24; ++i)
      total += server.RequestCount("/f" + std::to_string(i) + ".xml");
    return total;
  }();
  for (const std::string &url : urls) {
    auto result = Fetch(url);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_TRUE(result[0].fromCache);
    EXPECT_TRUE(result[0].bytes.ends_with(std::string(20000, '.') + "</rss>"));
  }
  std::size_t after = 0;
  for (int i = 0; i < 24; ++i)
    after += server.RequestCount("/f" + std::to_string(i) + ".xml");
  EXPECT_EQ(after, requests);
  // Nothing half-written is left behind.
  for (const auto &file : std::filesystem::directory_iterator(folder_ / "feeds"))
    EXPECT_FALSE(file.path().filename().string().starts_with(".tmp-")) << file.path();
}

TEST_F(FeedFetcherTest, TheCacheKeepsToItsBoundDroppingTheLeastRecentlyUsed) {
  FeedCache cache(folder_.string(), 3 * 11000);
  for (int i = 0; i < 5; ++i) {
    CacheEntry entry;
    entry.url = "http://h/" + std::to_string(i);
    entry.body = std::string(10000, 'a');
    ASSERT_TRUE(cache.Store(entry));
    // Entry 0 stays in use.
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(cache.Load("http://h/0"));
  }
  EXPECT_TRUE(cache.Load("http://h/0"));
  EXPECT_FALSE(cache.Load("http://h/1"));
  EXPECT_FALSE(cache.Load("http://h/2"));
  EXPECT_TRUE(cache.Load("http://h/4"));
}

} // namespace
} // namespace quorvelle::fetch
