// Feed list operations on a large store: 10,000 feeds in 100 categories.
// Prints microseconds per call for the walks the dialogs and the add command
// run; each should stay under 2 ms.

#include "feeds/feed_store.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using quorvelle::TRSSFeedOptions;
using Clock = std::chrono::steady_clock;

constexpr int kCategories = 100;
constexpr int kFeedsPerCategory = 100;
constexpr double kTargetMicroseconds = 2000.0;

std::string CategoryName(int c) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "Category %03d", c);
  return buf;
}

std::string FeedUrl(int c, int f) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "https://Feeds.Example.com/c%03d/Feed-%05d.xml", c, c * kFeedsPerCategory + f);
  return buf;
}

template <class Body> double MicrosecondsPerCall(int calls, Body &&body) {
  const auto start = Clock::now();
  for (int i = 0; i < calls; ++i) {
    body(i);
  }
  const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
  return elapsed.count() / calls;
}

bool Report(const char *name, double micros) {
  const bool ok = micros < kTargetMicroseconds;
  std::printf("%-44s %10.1f us/call  %s\n", name, micros, ok ? "ok" : "OVER 2 ms");
  return ok;
}

} // namespace

int main() {
#ifndef NDEBUG
  std::printf("note: unoptimised build; build with RelWithDebInfo or Release for representative times\n");
#endif
  TRSSFeedOptions store;
  // Built in memory: no settings are read and nothing is saved.
  if (!store.FXMLDoc->LoadXML(quorvelle::kEmptyFeedsDocument)) {
    std::fprintf(stderr, "cannot create the empty document\n");
    return 1;
  }
  for (int c = 0; c < kCategories; ++c) {
    store.AddCategory(CategoryName(c));
  }
  const double fill = MicrosecondsPerCall(kCategories * kFeedsPerCategory, [&](int i) {
    const int c = i % kCategories;
    const int f = i / kCategories;
    store.AddNewRSSFeed(FeedUrl(c, f), "Caf\xC3\xA9 headlines " + std::to_string(i), CategoryName(c));
  });
  std::printf("store: %d categories, %d feeds (filling: %.1f us per add on average)\n", kCategories,
              kCategories * kFeedsPerCategory, fill);

  // The store is re-read from Feeds.xml before every editing command, so the
  // document is measured as the parser lays it out.
  if (!store.FXMLDoc->LoadXML(store.FXMLDoc->Xml())) {
    std::fprintf(stderr, "cannot re-read the document\n");
    return 1;
  }
  bool ok = true;
  // Adds at full size: every one walks all 10,000 feeds for a duplicate.
  ok &= Report("AddNewRSSFeed (10,000 feeds, new URL)", MicrosecondsPerCall(200, [&](int i) {
                 store.AddNewRSSFeed("https://other.example.com/new-" + std::to_string(i), "New",
                                     CategoryName(kCategories - 1));
               }));
  const quorvelle::XmlNode root = store.FXMLDoc->DocumentElement();
  const std::string last = FeedUrl(kCategories - 1, kFeedsPerCategory - 1);
  std::string upper = last;
  for (char &ch : upper) {
    ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
  }
  ok &= Report("FindFeedWithURL (last feed, other case)",
               MicrosecondsPerCall(500, [&](int) { (void)store.FindFeedWithURL(root, upper); }));
  ok &= Report("FindFeedWithURL (missing URL)", MicrosecondsPerCall(500, [&](int) {
                 (void)store.FindFeedWithURL(root, "https://feeds.example.com/none.xml");
               }));
  std::vector<std::string> urls;
  std::vector<std::string> titles;
  ok &= Report("GetFeedsURLSForCategory (last category)", MicrosecondsPerCall(500, [&](int) {
                 store.GetFeedsURLSForCategory(CategoryName(kCategories - 1), urls, titles);
               }));
  ok &= Report("GetFeedsURLSForCategory (General)",
               MicrosecondsPerCall(500, [&](int) { store.GetFeedsURLSForCategory("", urls, titles); }));
  ok &= Report("GetListOfCategories", MicrosecondsPerCall(500, [&](int) { (void)store.GetListOfCategories(); }));
  std::printf("%s\n", ok ? "all within target" : "SOME ABOVE TARGET");
  return 0;
}
