// The background check behind the extension's badge: the new headlines of
// 200 enabled feeds counted in a fresh process, as the native host counts
// them, against one loopback server that sends ETag, Last-Modified and
// Cache-Control.
//   fresh: every feed read a moment ago with max-age 300. Target: 0
//          requests, under 200 ms of the host's time.
//   stale: the same with max-age 0. Target: every request conditional.
// Prints the figures and their ratios to the targets.

#include "fetch/feed_fetcher.h"
#include "report/item_identity.h"
#include "report/new_headlines.h"
#include "report/seen_items.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/helpers/test_environment.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

using namespace quorvelle;
using Clock = std::chrono::steady_clock;

constexpr int kFeeds = 200;

std::string Feed(int n) {
  std::string body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Feed " + std::to_string(n) +
                     "</title><link>http://example.org/</link>";
  for (int i = 0; i < 20; ++i)
    body += "<item><title>Headline " + std::to_string(i) + "</title><guid>urn:" + std::to_string(n) + ":" +
            std::to_string(i) + "</guid><description>Some words about headline " + std::to_string(i) +
            "</description></item>";
  return body + "</channel></rss>";
}

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Run {
  double wallMs = 0;
  double cpuMs = 0;
  std::size_t requests = 0;
  std::size_t conditional = 0;
  std::size_t total = 0;
};

// One check as the host makes it: a new fetcher (no memory of earlier
// reads but the cache on disk) and the seen state read from its file.
Run Check(test::LoopbackHttpServer &server, const std::vector<std::string> &paths) {
  std::vector<std::size_t> before;
  for (const std::string &path : paths)
    before.push_back(server.RequestCount(path));
  std::vector<std::string> urls;
  for (const std::string &path : paths)
    urls.push_back(server.Url(path));
  Run run;
  const double cpu = CpuMs();
  const auto start = Clock::now();
  {
    fetch::FeedFetcher fetcher;
    report::SeenItems seen;
    run.total = report::CountNewHeadlines(fetcher, urls, seen, std::chrono::seconds(60)).total;
  }
  run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  run.cpuMs = CpuMs() - cpu;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::size_t asked = server.RequestCount(paths[i]) - before[i];
    run.requests += asked;
    const std::string head = server.LastRequestHead(paths[i]);
    if (asked > 0 &&
        (head.find("If-None-Match") != std::string::npos || head.find("if-none-match") != std::string::npos))
      ++run.conditional;
  }
  return run;
}

void Serve(test::LoopbackHttpServer &server, const std::vector<std::string> &paths, int maxAge) {
  for (int n = 0; n < kFeeds; ++n) {
    test::HttpResponse answer{200, "application/rss+xml", Feed(n)};
    answer.headers = {{"ETag", "\"v1-" + std::to_string(n) + "\""},
                      {"Last-Modified", "Wed, 09 Dec 2026 10:00:00 GMT"},
                      {"Cache-Control", "max-age=" + std::to_string(maxAge)}};
    server.Route(paths[n], answer);
  }
}

} // namespace

int main() {
  test::IsolatedUser user;
  test::ScopedEnv cache("XDG_CACHE_HOME", user.Home() + "/.cache");
  test::LoopbackHttpServer server;
  for (const int maxAge : {300, 0}) {
    // Each case its own addresses, so the first leaves the second nothing.
    std::vector<std::string> paths;
    for (int n = 0; n < kFeeds; ++n)
      paths.push_back("/max-age-" + std::to_string(maxAge) + "/" + std::to_string(n) + ".xml");
    Serve(server, paths, maxAge);
    // The user viewed every feed once: all are known, nothing is new.
    {
      report::SeenItems seen;
      for (int n = 0; n < kFeeds; ++n)
        seen.View(server.Url(paths[n]), report::ItemIdentities(Feed(n)), report::Mark::Yes);
      seen.Commit();
    }
    const Run first = Check(server, paths); // fills the cache
    const Run second = Check(server, paths);
    std::printf("%s cache, %d feeds: first check %zu requests in %.0f ms; second check %zu requests "
                "(%zu conditional), %.0f ms wall, %.0f ms CPU, %zu new\n",
                maxAge > 0 ? "fresh" : "stale", kFeeds, first.requests, first.wallMs, second.requests,
                second.conditional, second.wallMs, second.cpuMs, second.total);
    if (maxAge > 0) {
      std::printf("  requests %zu (target 0); host time %.0f ms / 200 ms = %.2f (target <= 1.0)\n", second.requests,
                  second.wallMs, second.wallMs / 200.0);
    } else {
      std::printf("  conditional %zu of %zu requests = %.2f (target 1.0)\n", second.conditional, second.requests,
                  second.requests == 0 ? 0.0 : static_cast<double>(second.conditional) / second.requests);
    }
  }
  return 0;
}
