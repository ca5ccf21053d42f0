// OPML exchange on big lists, measured against newsboat on the same files in
// the same run:
//   import: an OPML list of 10,000 feeds merged into a category that already
//           holds 10,000, half of them the same addresses in other letter case;
//   export: a store of 10,000 feeds in 10 categories written as OPML.
// Target: no slower than the peer (ratio <= 1.0). Prints best-of-3 times.

#include "feeds/feed_store.h"
#include "platform/files/file_io.h"
#include "tests/helpers/child_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using quorvelle::TRSSFeedOptions;

constexpr int kFeeds = 10000;
constexpr int kRuns = 3;

std::string Address(int i, bool upper) {
  char buf[96];
  std::snprintf(buf, sizeof buf,
                upper ? "HTTPS://FEEDS%05d.EXAMPLE.COM/RSS/MAIN.XML" : "https://feeds%05d.example.com/rss/main.xml", i);
  return buf;
}

void WriteText(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

double BestOf(const std::function<void()> &setup, const std::function<void()> &body) {
  double best = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    setup();
    const auto start = Clock::now();
    body();
    const std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;
    best = std::min(best, elapsed.count());
  }
  return best;
}

// Runs newsboat with the given arguments, standard output into outFile.
bool RunNewsboat(const std::string &program, const std::string &home, const std::vector<std::string> &args,
                 const std::string &outFile) {
  quorvelle::test::ChildOptions options;
  options.environment = {"HOME=" + home, "LANG=C.UTF-8", "LC_ALL=C.UTF-8"};
  options.stdoutFile = outFile;
  return quorvelle::test::RunChild(program, args, options) == 0;
}

} // namespace

int main() {
  char pattern[] = "/tmp/quorvelle-exchange-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string root = pattern;
  ::setenv("HOME", root.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root + "/.config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root + "/.local/share").c_str(), 1);
  ::setenv("QUORVELLE_REGISTRY", (root + "/registry").c_str(), 1);
  const std::string dataDir = fs::path(__FILE__).parent_path().parent_path() / "data";
  const std::string appPath = root + "/app/";
  fs::create_directories(appPath);
  for (const char *name : {"FeedsToOPML.xsl", "OpmlToFeeds.xsl"})
    fs::copy_file(dataDir + "/" + name, appPath + name);

  // The list to import: feeds 5,000 to 14,999, written in capitals.
  std::string opml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\"><head><title>Big</title></head><body>\n";
  for (int i = kFeeds / 2; i < kFeeds / 2 + kFeeds; ++i) {
    opml += "<outline type=\"rss\" text=\"Feed " + std::to_string(i) + "\" xmlUrl=\"" + Address(i, true) + "\"/>\n";
  }
  opml += "</body></opml>\n";
  const std::string opmlFile = root + "/big.opml";
  WriteText(opmlFile, opml);

  // The store: feeds 0 to 9,999 in one category (the import's target).
  std::string storeXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>"
                         "<Quorvelle_Category name=\"Target\" description=\"\">";
  for (int i = 0; i < kFeeds; ++i) {
    storeXml +=
        "<Quorvelle_Feed src=\"" + Address(i, false) + "\" enabled=\"true\" title=\"Feed " + std::to_string(i) + "\"/>";
  }
  storeXml += "</Quorvelle_Category></Quorvelle_Categories></Quorvelle_Feeds>";

  // The store to export: 10,000 feeds in 10 categories.
  std::string exportXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>";
  for (int c = 0; c < 10; ++c) {
    exportXml += "<Quorvelle_Category name=\"Category " + std::to_string(c) + "\" description=\"\">";
    for (int i = c * kFeeds / 10; i < (c + 1) * kFeeds / 10; ++i) {
      exportXml += "<Quorvelle_Feed src=\"" + Address(i, false) + "\" enabled=\"true\" title=\"Caf\xC3\x83\xC2\xA9 " +
                   std::to_string(i) + "\"/>";
    }
    exportXml += "</Quorvelle_Category>";
  }
  exportXml += "</Quorvelle_Categories></Quorvelle_Feeds>";

  TRSSFeedOptions store;
  store.AppPath = appPath;
  int merged = 0;
  const double importMs = BestOf(
      [&] { store.FXMLDoc->LoadXML(storeXml); },
      [&] {
        store.GetFeedsAsOPML("Target", opmlFile);
        merged = static_cast<int>(
            store.FindCategory(store.FXMLDoc->DocumentElement(), "Target").ChildElements("Quorvelle_Feed").size());
      });
  std::string exported;
  const std::string exportFile = root + "/export.opml";
  const double exportMs =
      BestOf([&] { store.FXMLDoc->LoadXML(exportXml); },
             [&] {
               store.GetFeedsAsOPML(true, "", exported);
               quorvelle::platform::WriteFileAtomically(exportFile, quorvelle::platform::JoinLinesCrLf(exported));
             });
  std::printf("import %d feeds into %d (half present in other case): %.1f ms, category now %d feeds%s\n", kFeeds,
              kFeeds, importMs, merged, merged == kFeeds + kFeeds / 2 ? "" : "  (WRONG COUNT)");
  std::printf("export %d feeds in 10 categories to OPML: %.1f ms, %zu bytes\n", kFeeds, exportMs, exported.size());

  const std::string newsboat = quorvelle::test::FindProgram("newsboat").value_or("");
  if (newsboat.empty()) {
    std::printf("newsboat not installed: no peer comparison\n");
  } else {
    const std::string home = root + "/peer";
    fs::create_directories(home);
    std::string urls;
    for (int i = 0; i < kFeeds; ++i)
      urls += Address(i, false) + "\n";
    const std::string urlsFile = home + "/urls";
    const std::vector<std::string> files = {"-u", urlsFile, "-C", home + "/config", "-c", home + "/cache.db"};
    WriteText(home + "/config", "");
    bool ok = true;
    const double peerImportMs = BestOf([&] { WriteText(urlsFile, urls); },
                                       [&] {
                                         std::vector<std::string> args = files;
                                         args.insert(args.end(), {"-i", opmlFile});
                                         ok = RunNewsboat(newsboat, home, args, home + "/import.log") && ok;
                                       });
    const double peerExportMs = BestOf([&] { WriteText(urlsFile, urls); },
                                       [&] {
                                         std::vector<std::string> args = files;
                                         args.push_back("-e");
                                         ok = RunNewsboat(newsboat, home, args, home + "/export.opml") && ok;
                                       });
    std::printf("newsboat -i same file: %.1f ms   ratio ours/peer %.2f (target <= 1.0)\n", peerImportMs,
                importMs / peerImportMs);
    std::printf("newsboat -e 10,000 feeds: %.1f ms   ratio ours/peer %.2f (target <= 1.0)\n", peerExportMs,
                exportMs / peerExportMs);
    if (!ok) std::printf("(newsboat reported a failure in at least one run)\n");
  }
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
