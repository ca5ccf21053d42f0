// Imports never damage the list: no duplicate addresses, nothing the store
// cannot hold, and no entity that outlives the file it came in.
#include "tests/exchange/exchange_fixture.h"

#include "platform/codepage/text_case.h"
#include "platform/xml/xml_escape.h"
#include "tests/helpers/scripted_ui.h"

#include <set>

namespace quorvelle::test {
namespace {

class ImportIntegrity : public ExchangeTest {
protected:
  // After every import the saved list reads back and holds each address once.
  void ExpectSoundList() {
    TRSSFeedOptions fresh;
    fresh.Load();
    ASSERT_TRUE(fresh.FXMLDoc->HasRoot());
    std::set<std::string> seen;
    for (const FeedRow &row : AllFeeds(*fresh.FXMLDoc)) {
      EXPECT_TRUE(seen.insert(platform::LowerCase(row.src)).second) << "duplicate " << row.src;
    }
    EXPECT_EQ(AllFeeds(*fresh.FXMLDoc), Feeds());
  }
  std::string File(const std::string &name, const std::string &text) {
    const std::string path = user.Home() + "/in/" + name;
    WriteFile(path, text);
    return path;
  }
  ScriptedUi ui;
  ScriptedExchangeDialogs dialogs;
};

TEST_F(ImportIntegrity, OwnFormatTakesOnlyCategoriesAndFetchableFeeds) {
  store->ImportFromFilename(
      File("l.xml", "<!DOCTYPE l [<!ENTITY u \"http://e.example/\">]><Quorvelle_Feeds><Quorvelle_Categories>"
                    "<Quorvelle_Feed src='&u;feed.xml' title='entity'/>"
                    "<Quorvelle_Feed src='javascript:alert(1)' enabled='true' title='js'/>"
                    "<Quorvelle_Feed src='file:///etc/passwd' enabled='true' title='file'/>"
                    "<Quorvelle_Feed enabled='true' title='no address'/>"
                    "<script>x</script><Quorvelle_Category description='no name'/>"
                    "<Quorvelle_Category name='Tech' description=''>"
                    "<Quorvelle_Feed src='FTP://t/1' enabled='false' title='T'><b>stray</b></Quorvelle_Feed>"
                    "<Quorvelle_Feed src='https://t/2'/><p/></Quorvelle_Category>"
                    "<Quorvelle_Category name='After' description=''><Quorvelle_Feed src='http://a/1' "
                    "enabled='true' title='A'/></Quorvelle_Category>"
                    "</Quorvelle_Categories></Quorvelle_Feeds>"));
  const std::vector<FeedRow> expected = {{"", "http://e.example/feed.xml", "entity", "true"},
                                         {"After", "http://a/1", "A", "true"},
                                         {"Tech", "FTP://t/1", "T", "false"},
                                         {"Tech", "https://t/2", "", "true"}};
  EXPECT_EQ(Feeds(), expected);
  EXPECT_EQ(store->FXMLDoc->Xml().find("stray"), std::string::npos);
  ExpectSoundList();
}

// Every address the add dialog takes comes back from an export; only script
// and local schemes are refused, however they are spelled.
TEST_F(ImportIntegrity, OwnFormatKeepsEveryAddressButScriptAndLocalOnesAndRoundTrips) {
  const std::vector<std::pair<std::string, bool>> addresses = {
      {"example.com/feed.xml", true}, {"feed://example.com/rss", true}, {"feed:https://e.example/a", true},
      {"//e.example/b", true},        {"HTTP://e.example/c", true},     {"news.example:8080/x", true},
      {"javascript:alert(1)", false}, {"JavaScript:x", false},          {" java\tscript:x", false},
      {"vbscript:msgbox", false},     {"data:text/xml,<x/>", false},    {"DATA:,x", false},
      {"file:///etc/passwd", false},  {"FILE:/tmp/x", false},           {"   ", false}};
  std::string feeds;
  std::vector<FeedRow> kept;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const auto &[src, keep] = addresses[i];
    const std::string title = "t" + std::to_string(i);
    feeds += "<Quorvelle_Feed src='" + platform::EscapeXmlValue(src) + "' enabled='true' title='" + title + "'/>";
    if (keep) kept.push_back({"", src, title, "true"});
  }
  store->ImportFromFilename(
      File("all.xml", "<Quorvelle_Feeds><Quorvelle_Categories>" + feeds + "</Quorvelle_Categories></Quorvelle_Feeds>"));
  EXPECT_EQ(Feeds(), kept);
  ExpectSoundList();

  std::string exported;
  store->GetFeedsAsXML(true, "", exported);
  TRSSFeedOptions other;
  other.FXMLDoc->LoadXML(kEmptyFeedsDocument);
  other.ImportXML(File("exported.xml", exported));
  EXPECT_EQ(AllFeeds(*other.FXMLDoc), kept);
}

TEST_F(ImportIntegrity, AmplifyingEntitiesAreRefusedLikeAnUnreadableFile) {
  std::string opml = "<!DOCTYPE opml [<!ENTITY big \"" + std::string(10'000, 'x') + "\">]><opml><head><title>";
  for (int i = 0; i < 3'500; ++i)
    opml += "&big;";
  opml += "</title></head><body><outline text='A' xmlUrl='http://a/1'/></body></opml>";
  const std::string file = File("bomb.opml", opml);
  std::string title = "stale";
  store->GetTitleFromOPMLFeedsFile(file, title);
  EXPECT_EQ(title, "");
  store->GetFeedsAsOPML("", file);
  store->ImportXML(File("bomb.xml", opml));
  EXPECT_TRUE(Feeds().empty());
}

TEST_F(ImportIntegrity, ReimportOfAnOpmlWhoseTitleIsCleanedMergesIntoThatCategory) {
  const std::string file = File("n.opml", "<opml version='2.0'><head><title>News &amp; Politics</title></head><body>"
                                          "<outline text='A' xmlUrl='http://a/1'/></body></opml>");
  for (int run = 0; run < 2; ++run) {
    dialogs.importAnswers.push_back(ImportChoice{true, "", "News & Politics"});
    store->ImportFromFilename(file);
  }
  EXPECT_EQ(Feeds(), (std::vector<FeedRow>{{"News and Politics", "http://a/1", "A", "true"}}));
  ExpectSoundList();
}

} // namespace
} // namespace quorvelle::test
