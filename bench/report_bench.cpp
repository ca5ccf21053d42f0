// Report generation for growing feed lists. First 40, 200 and 1,000 enabled
// feeds in General (the first "View Feeds..." of a large list), then
// 1,000, 2,000 and 4,000 feeds (nine in ten enabled) in categories of 50.
// Prints the time of GenerateXML,
// the part of it spent in the 1 ms pauses before each XML file, what the
// build costs beyond them (target: under 10 % of the pauses) and that cost
// per file, which stays flat when the build grows linearly.

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

// Feeds in General (the start page shows them) on 50 loopback hosts, all
// enabled.
std::string GeneralList(int feeds) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>";
  for (int n = 1; n <= feeds; ++n) {
    xml += "<Quorvelle_Feed src=\"http://127.0.0." + std::to_string(n % 50 + 1) + ":8080/feed/" + std::to_string(n) +
           ".xml?ms=300\" enabled=\"true\" title=\"Feed " + std::to_string(n) + "\"/>";
  }
  return xml + "</Quorvelle_Categories></Quorvelle_Feeds>";
}

// The best time of the runs of one build, or a negative time when no start
// page came back.
double BestBuild(quorvelle::TRSSFeedOptions &store, int runs) {
  double best = 1e9;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    const std::string index = store.GenerateXML();
    best = std::min(best, Seconds(start));
    if (index.empty()) return -1;
  }
  return best;
}

} // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  char pattern[] = "/tmp/quorvelle-report-bench-XXXXXX";
  const char *made = ::mkdtemp(pattern);
  if (made == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string root = made;
  ::setenv("QUORVELLE_REGISTRY", (root + "/registry").c_str(), 1);
  ::setenv("HOME", root.c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  const std::string install = root + "/install/";
  fs::create_directories(install);
  // The data files of the source tree this program was built from.
  fs::copy(fs::path(__FILE__).parent_path().parent_path() / "data", install, fs::copy_options::recursive);

  const auto pauseStart = Clock::now();
  for (int i = 0; i < 500; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double onePause = Seconds(pauseStart) / 500;

  // The first "View Feeds..." of a list with one large category: every file
  // is written before the start page asks for a feed.
  for (const int feeds : {40, 200, 1000}) {
    quorvelle::TRSSFeedOptions store;
    store.AppPath = install;
    store.FXMLDoc->LoadXML(GeneralList(feeds));
    const int pauses = feeds + 1;
    const double best = BestBuild(store, feeds == 1000 ? 3 : 5);
    if (best < 0) {
      std::fprintf(stderr, "GenerateXML gave no start page\n");
      return 1;
    }
    const double beyond = best - pauses * onePause;
    std::printf("%6d feeds in General: %7.3f s; %6d pauses %7.3f s; beyond them %6.3f s, %.1f us per file\n", feeds,
                best, pauses, pauses * onePause, beyond, beyond / pauses * 1e6);
  }

  // The rebuild after an import or an edit: what it costs above its pauses,
  // for growing lists, with the progress told before each file as the
  // command line and the windows take it.
  bool withinTarget = true;
  double firstPerFile = 0;
  double lastBuild = 0;
  std::printf("pause before each XML file: %.3f ms\n", onePause * 1000);
  for (const int categories : {20, 40, 80}) {
    constexpr int kFeedsPerCategory = 50;
    const int feeds = categories * kFeedsPerCategory;
    quorvelle::TRSSFeedOptions store;
    store.AppPath = install;
    store.FXMLDoc->LoadXML(FeedList(categories, kFeedsPerCategory));
    std::size_t told = 0;
    store.FReportProgress = [&](std::size_t, std::size_t) {
      ++told;
      return true;
    };
    // One XML file per enabled feed, per category index and for the whole list.
    const int pauses = feeds * 9 / 10 + categories + 1;
    const double best = BestBuild(store, categories == 20 ? 3 : 1);
    if (best < 0) {
      std::fprintf(stderr, "GenerateXML gave no start page\n");
      return 1;
    }
    lastBuild = best;
    const double pauseTotal = pauses * onePause;
    const double beyond = best - pauseTotal;
    const double perFile = beyond / pauses;
    if (firstPerFile == 0) firstPerFile = perFile;
    const double share = beyond / pauseTotal;
    withinTarget = withinTarget && share < 0.10;
    std::printf("%6d feeds (%d enabled), %3d categories: %7.3f s; %6d pauses %7.3f s; beyond them %6.3f s = "
                "%5.1f %% of the pauses (target < 10 %%), %.1f us per file (x%.2f of the smallest list)%s\n",
                feeds, feeds * 9 / 10, categories, best, pauses, pauseTotal, beyond, share * 100, perFile * 1e6,
                perFile / firstPerFile, told > static_cast<std::size_t>(pauses) ? "" : " [progress not told]");
  }

  const auto copyStart = Clock::now();
  const std::string command = "cp -r '" + install + "headlines' '" + root + "/copy'";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "cp -r failed\n");
    return 1;
  }
  const double copy = Seconds(copyStart);
  std::printf("cp -r of the 4000-feed tree: %.3f s; ratio GenerateXML / cp -r: %.1f\n", copy, lastBuild / copy);
  fs::remove_all(root);
  return withinTarget ? 0 : 2;
}
