// One view's worth of feeds through the feed fetcher, as a new process of
// the report would ask for them: prints how long until every feed had its
// first answer (a kept copy or the site's) and its final one, and what they
// were. bench/fetch_cache_bench.sh drives it against loopback feed servers.
//   fetch_cache_bench <cache folder> normal|revalidate <url>...

#include "fetch/feed_fetcher.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

using namespace quorvelle;
using Clock = std::chrono::steady_clock;

int main(int argc, char **argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <cache folder> normal|revalidate <url>...\n", argv[0]);
    return 2;
  }
  fetch::FeedFetcherOptions options;
  options.cacheFolder = argv[1];
  const fetch::FetchMode mode =
      std::string(argv[2]) == "revalidate" ? fetch::FetchMode::Revalidate : fetch::FetchMode::Normal;
  const std::vector<std::string> urls(argv + 3, argv + argc);
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t first = 0;
  std::size_t final = 0;
  std::map<std::string, int> kinds;
  Clock::time_point firstDone;
  Clock::time_point finalDone;
  std::vector<bool> answered(urls.size(), false);
  const Clock::time_point start = Clock::now();
  {
    fetch::FeedFetcher fetcher(options);
    for (std::size_t i = 0; i < urls.size(); ++i) {
      fetcher.Start(urls[i], mode, [&, i](fetch::FeedDelivery delivery) {
        std::lock_guard lock(mutex);
        if (!answered[i]) {
          answered[i] = true;
          if (++first == urls.size()) firstDone = Clock::now();
        }
        if (!delivery.final) return;
        std::string kind = delivery.status == platform::FetchStatus::Ok ? "ok" : "failed";
        if (delivery.fromCache) kind += "+cache";
        if (delivery.stale == fetch::StaleReason::Unreachable) kind += "+unreachable";
        if (delivery.stale == fetch::StaleReason::BackingOff) kind += "+backing-off";
        ++kinds[kind];
        if (++final == urls.size()) finalDone = Clock::now();
        changed.notify_all();
      });
    }
    std::unique_lock lock(mutex);
    changed.wait_for(lock, std::chrono::seconds(60), [&] { return final == urls.size(); });
  }
  auto ms = [&](Clock::time_point end) { return std::chrono::duration<double, std::milli>(end - start).count(); };
  std::printf("first_ms=%.0f final_ms=%.0f", ms(firstDone), ms(finalDone));
  for (const auto &[kind, count] : kinds)
    std::printf(" %s=%d", kind.c_str(), count);
  std::printf("\n");
  return final == urls.size() ? 0 : 1;
}
