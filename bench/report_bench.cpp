// Report generation for a large feed list: 1,000 feeds (900 enabled) in 20
// categories. Prints the time of GenerateXML, the part of it spent in the
// 1 ms pauses before each XML file, and the ratio to copying the finished
// tree with cp -r.

#include "feeds/feed_store.h"
#include "platform/registry/registry.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

std::string FeedList(int categories, int feedsPerCategory) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>";
  int n = 0;
  for (int c = 0; c < categories; ++c) {
    xml += "<Quorvelle_Category name=\"Category " + std::to_string(c) + "\" description=\"\">";
    for (int f = 0; f < feedsPerCategory; ++f, ++n) {
      xml += "<Quorvelle_Feed src=\"http://feeds.example/" + std::to_string(n) + ".xml?a=1&amp;b=2\" enabled=\"" +
             (n % 10 == 9 ? "false" : "true") + "\" title=\"Feed " + std::to_string(n) + "\"/>";
    }
    xml += "</Quorvelle_Category>";
  }
  return xml + "</Quorvelle_Categories></Quorvelle_Feeds>";
}

} // namespace

int main() {
  char pattern[] = "/tmp/quorvelle-report-bench-XXXXXX";
  const char *made = ::mkdtemp(pattern);
  if (made == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string root = made;
  ::setenv("QUORVELLE_REGISTRY", (root + "/registry").c_str(), 1);
  ::setenv("HOME", root.c_str(), 1);
  const std::string install = root + "/install/";
  fs::create_directories(install);
  // The data files of the source tree this program was built from.
  fs::copy(fs::path(__FILE__).parent_path().parent_path() / "data", install, fs::copy_options::recursive);

  constexpr int kCategories = 20;
  constexpr int kFeedsPerCategory = 50;
  quorvelle::TRSSFeedOptions store;
  store.AppPath = install;
  store.FXMLDoc->LoadXML(FeedList(kCategories, kFeedsPerCategory));

  // One XML file per enabled feed, per category index and for the whole list.
  const int pauses = kCategories * kFeedsPerCategory * 9 / 10 + kCategories + 1;
  const auto pauseStart = Clock::now();
  for (int i = 0; i < 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double onePause = Seconds(pauseStart) / 200;

  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    const auto start = Clock::now();
    const std::string index = store.GenerateXML();
    best = std::min(best, Seconds(start));
    if (index.empty()) {
      std::fprintf(stderr, "GenerateXML gave no start page\n");
      return 1;
    }
  }
  const auto copyStart = Clock::now();
  const std::string command = "cp -r '" + install + "headlines' '" + root + "/copy'";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "cp -r failed\n");
    return 1;
  }
  const double copy = Seconds(copyStart);

  const double pauseTotal = pauses * onePause;
  std::printf("GenerateXML, 1000 feeds (900 enabled), 20 categories: %.3f s (best of 3)\n", best);
  std::printf("  %d pauses of %.3f ms each: %.3f s; generation beyond them: %.3f s (target <= 1.5 s)\n", pauses,
              onePause * 1000, pauseTotal, best - pauseTotal);
  std::printf("cp -r of the finished tree: %.3f s; ratio GenerateXML / cp -r: %.1f\n", copy, best / copy);
  fs::remove_all(root);
  return best - pauseTotal <= 1.5 ? 0 : 2;
}
