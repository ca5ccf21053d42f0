// Every OPML file of the real-world collection imported into an empty
// category: how many feeds it yields, and one feed read back.
//
//   file                                          feeds  why
//   liferea-feedlist_bg.opml                         13  two "vfolder" markers skipped
//   liferea-feedlist_fr.opml                         17  3-level folders flattened; vfolders skipped
//   liferea-feedlist_he.opml                         29  BOM; feeds without type; vfolders skipped
//   listparser-html-entity-attribute.opml             0  not well-formed (&aelig;)
//   listparser-outline-duplication-1.opml             1  same address twice
//   listparser-outline_xmlUrl-miscapitalized.opml     1  xmlURL spelling
//   newsboat-category.opml                            1  empty title, no text
//   newsboat-example.opml                             7  folders by title, 3 levels
//   newsboat-opml-element-missing.opml                0  root is not opml
//   newsboat-piped.opml                               1  "|~/fetch_tweets.py" refused
//   newsboat-test-urls-plus.opml                      4  folder name twice
//   rsparser-Subs.opml                              207  OPML 1.1
//   rsparser-SubsNoTitleAttributes.opml             207  text only
//   rssguard-feeds-en_US.opml                        22  namespaced extension attributes

#include "tests/exchange/exchange_fixture.h"

#include <filesystem>
#include <set>

namespace quorvelle::test {
namespace {

struct RealWorldCase {
  const char *file;
  int feeds;
  const char *sampleSrc; // "" for none
  const char *sampleTitle;
};

void PrintTo(const RealWorldCase &c, std::ostream *out) { *out << c.file; }

const RealWorldCase kCases[] = {
    {"liferea-feedlist_bg.opml", 13, "http://news.netinfo.bg/ni_gennews.php?p=2&c=10&last=1", "НетИнфо - Новини"},
    {"liferea-feedlist_fr.opml", 17, "http://standblog.org/dotclear/rss.php", "Standblog"},
    {"liferea-feedlist_he.opml", 29, "http://www.ynet.co.il/Integration/StoryRss2.xml", "ynet - חדשות היום"},
    {"listparser-html-entity-attribute.opml", 0, "", ""},
    {"listparser-outline-duplication-1.opml", 1, "http://domain/feed", "feedname"},
    {"listparser-outline_xmlUrl-miscapitalized.opml", 1, "http://domain/feed", "feedname"},
    {"newsboat-category.opml", 1, "http://feeds.bbci.co.uk/news/business/rss.xml?edition=int", ""},
    {"newsboat-example.opml", 7, "https://blogs.example.com/~mike/.rss", "Notes by Mike"},
    {"newsboat-opml-element-missing.opml", 0, "", ""},
    {"newsboat-piped.opml", 1, "https://example.com/feed.atom", "example.com website (Atom feed)"},
    {"newsboat-test-urls-plus.opml", 4, "http://onemorefeed.at/feed/", "One more feed"},
    {"rsparser-Subs.opml", 207, "http://corinnekrych.blogspot.com/feeds/posts/default", "chat & code"},
    {"rsparser-SubsNoTitleAttributes.opml", 207, "http://corinnekrych.blogspot.com/feeds/posts/default", "chat & code"},
    {"rssguard-feeds-en_US.opml", 22, "https://www.wired.com/feed/rss", "WIRED"},
};

class RealWorldOpml : public ExchangeTest, public ::testing::WithParamInterface<RealWorldCase> {};

TEST_P(RealWorldOpml, ImportYieldsTheExpectedFeeds) {
  const RealWorldCase &c = GetParam();
  const std::string path = std::string(QUORVELLE_REALWORLD_DIR) + "/opml/" + c.file;
  ASSERT_TRUE(std::filesystem::exists(path)) << path;
  ASSERT_TRUE(store->AddCategory("Imported"));
  EXPECT_TRUE(store->GetFeedsAsOPML("Imported", path));

  const std::vector<FeedRow> feeds = Feeds();
  EXPECT_EQ(static_cast<int>(feeds.size()), c.feeds);
  std::set<std::string> seen;
  for (const FeedRow &row : feeds) {
    EXPECT_EQ(row.category, "Imported");
    EXPECT_EQ(row.enabled, "true");
    EXPECT_TRUE(row.src.rfind("http://", 0) == 0 || row.src.rfind("https://", 0) == 0) << row.src;
    EXPECT_TRUE(seen.insert(row.src).second) << "twice: " << row.src;
  }
  if (*c.sampleSrc != '\0') {
    const auto it = std::find_if(feeds.begin(), feeds.end(), [&](const FeedRow &r) { return r.src == c.sampleSrc; });
    ASSERT_NE(it, feeds.end()) << c.sampleSrc;
    EXPECT_EQ(it->title, c.sampleTitle);
  }
  // A second import adds nothing.
  EXPECT_TRUE(store->GetFeedsAsOPML("Imported", path));
  EXPECT_EQ(static_cast<int>(Feeds().size()), c.feeds);
}

INSTANTIATE_TEST_SUITE_P(Files, RealWorldOpml, ::testing::ValuesIn(kCases));

TEST_F(ExchangeTest, RealWorldOpmlTitlesAndCoverage) {
  std::string title;
  store->GetTitleFromOPMLFeedsFile(std::string(QUORVELLE_REALWORLD_DIR) + "/opml/liferea-feedlist_he.opml", title);
  EXPECT_EQ(title, "Liferea Default Feed List - Hebrew 🇮🇱");
  store->GetTitleFromOPMLFeedsFile(std::string(QUORVELLE_REALWORLD_DIR) + "/opml/listparser-outline-duplication-1.opml",
                                   title);
  EXPECT_EQ(title, "");
  // Every file of the collection has its line in the table above.
  std::set<std::string> listed;
  for (const RealWorldCase &c : kCases)
    listed.insert(c.file);
  for (const auto &entry : std::filesystem::directory_iterator(std::string(QUORVELLE_REALWORLD_DIR) + "/opml")) {
    EXPECT_EQ(listed.count(entry.path().filename().string()), 1U) << entry.path();
  }
}

} // namespace
} // namespace quorvelle::test
