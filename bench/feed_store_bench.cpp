// Load and Save of a Feeds.xml holding 10,000 feeds in 100 categories,
// compared with a plain copy of the same file (cp). Target: each within 20x.

#include "feeds/feed_store.h"
#include "platform/codepage/codepage.h"
#include "platform/registry/registry.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string MakeFeedsXml(int categories, int feedsEach) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Quorvelle_Feeds><Quorvelle_Categories>";
  int n = 0;
  for (int c = 0; c < categories; ++c) {
    xml += "<Quorvelle_Category name=\"" +
           quorvelle::platform::EncodeStoredText("Cat\xC3\xA9gorie " + std::to_string(c)) + "\" description=\"\">";
    for (int f = 0; f < feedsEach; ++f, ++n) {
      xml += "<Quorvelle_Feed src=\"http://feeds.example.org/" + std::to_string(n) +
             "/rss.xml\" enabled=\"true\" title=\"" +
             quorvelle::platform::EncodeStoredText("Caf\xC3\xA9 news " + std::to_string(n)) + "\"/>";
    }
    xml += "</Quorvelle_Category>";
  }
  xml += "</Quorvelle_Categories></Quorvelle_Feeds>\n";
  return xml;
}

} // namespace

int main() {
  char pattern[] = "/tmp/quorvelle-bench-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  ::setenv("QUORVELLE_REGISTRY", (dir + "/registry").c_str(), 1);
  ::setenv("HOME", dir.c_str(), 1);
  ::setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
  const std::string folder = dir + "/data/Quorvelle/";
  std::filesystem::create_directories(folder);
  const std::string file = folder + "Feeds.xml";
  std::ofstream(file, std::ios::binary) << MakeFeedsXml(100, 100);
  const auto size = std::filesystem::file_size(file);

  constexpr int kRounds = 10;
  quorvelle::TRSSFeedOptions store;
  store.Load(); // warm-up, creates the settings
  auto start = Clock::now();
  for (int i = 0; i < kRounds; ++i)
    store.Load();
  const double load = MillisSince(start) / kRounds;

  start = Clock::now();
  for (int i = 0; i < kRounds; ++i)
    store.Save();
  const double save = MillisSince(start) / kRounds;

  const std::string copy = "cp '" + file + "' '" + dir + "/copy.xml'";
  start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    if (std::system(copy.c_str()) != 0) return 1;
  }
  const double cp = MillisSince(start) / kRounds;

  std::printf("Feeds.xml: 10000 feeds in 100 categories, %ju bytes\n", static_cast<uintmax_t>(size));
  std::printf("Load  %8.2f ms   %5.1fx cp\n", load, load / cp);
  std::printf("Save  %8.2f ms   %5.1fx cp   (includes fsync of file and folder)\n", save, save / cp);
  std::printf("cp    %8.2f ms\n", cp);
  std::printf("target: Load and Save each within 20x of cp -> %s\n",
              (load <= 20 * cp && save <= 20 * cp) ? "met" : "NOT met");
  std::filesystem::remove_all(dir);
  return 0;
}
