#include "feeds/feed_lists.h"
#include "feeds/feed_store.h"
#include "platform/codepage/codepage.h"
#include "tests/helpers/scripted_ui.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>

namespace quorvelle {
namespace {

using Strings = std::vector<std::string>;

class FeedEntries : public ::testing::Test {
protected:
  void SetUp() override { store.Load(); }

  void LoadDocument(const std::string &categoriesContent) {
    test::WriteFile(user.FeedsFile(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Quorvelle_Feeds>"
                                      "<Quorvelle_Categories>" +
                                          categoriesContent + "</Quorvelle_Categories></Quorvelle_Feeds>\r\n");
    store.Load();
    ASSERT_TRUE(store.FXMLDoc->HasRoot());
  }
  XmlNode Root() { return store.FXMLDoc->DocumentElement(); }
  XmlNode Container() { return Root().FirstChild(); }
  XmlNode Category(const std::string &name) { return store.FindCategory(Root(), name); }

  // One attribute of every direct feed child, in document order.
  static Strings Attributes(XmlNode parent, const char *attribute) {
    Strings values;
    for (XmlNode feed : parent.ChildElements("Quorvelle_Feed")) {
      values.push_back(feed.FindAttribute(attribute).value_or("<none>"));
    }
    return values;
  }
  Strings Urls(const std::string &category) {
    Strings urls, titles;
    EXPECT_TRUE(store.GetFeedsURLSForCategory(category, urls, titles));
    EXPECT_EQ(urls.size(), titles.size());
    return urls;
  }

  test::IsolatedUser user;
  test::ScriptedUi ui;
  TRSSFeedOptions store;
};

const char *const kFourFeeds = "<Quorvelle_Category name=\"Cat\" description=\"\">"
                               "<Quorvelle_Feed src=\"A\" enabled=\"true\" title=\"ta\"/>"
                               "<Quorvelle_Feed src=\"B\" enabled=\"false\" title=\"tb\"/>"
                               "<Quorvelle_Feed src=\"C\" enabled=\"true\" title=\"tc\"/>"
                               "<Quorvelle_Feed src=\"D\" enabled=\"false\" title=\"td\"/>"
                               "</Quorvelle_Category>";

TEST_F(FeedEntries, UrlsAreUniqueAcrossCategoriesInAnyLetterCase) {
  ASSERT_TRUE(store.AddNewRSSFeed("http://Example.com/Feed", "One", "News"));
  EXPECT_FALSE(store.AddNewRSSFeed("HTTP://EXAMPLE.COM/feed", "Two", ""));
  EXPECT_FALSE(store.AddNewRSSFeed("http://example.com/feed", "Two", "Other"));
  ASSERT_EQ(ui.messages.size(), 2U);
  EXPECT_EQ(ui.messages[0].text, "Feed with URL:\r\nHTTP://EXAMPLE.COM/feed \r\nis already in the list");
  EXPECT_EQ(ui.messages[0].caption, "Information");
  EXPECT_EQ(ui.messages[0].buttons, platform::ui::mbOK);
  EXPECT_TRUE(Urls("").empty());

  // No trimming and no other normalisation: a trailing blank makes another URL.
  EXPECT_TRUE(store.AddNewRSSFeed("http://example.com/feed ", "Three", ""));
  EXPECT_FALSE(store.AddNewRSSFeed("", "Empty", ""));
  EXPECT_EQ(ui.messages.size(), 2U);

  // Letters beyond ASCII are compared by Unicode rules, also where the
  // stored URL is plain ASCII and the typed one is not (KELVIN SIGN -> k).
  ASSERT_TRUE(store.AddNewRSSFeed("http://b\xC3\xBC"
                                  "cher.example/rss",
                                  "", ""));
  EXPECT_FALSE(store.AddNewRSSFeed("http://B\xC3\x9C"
                                   "CHER.example/rss",
                                   "", ""));
  ASSERT_TRUE(store.AddNewRSSFeed("http://k.example/", "", ""));
  EXPECT_FALSE(store.AddNewRSSFeed("http://\xE2\x84\xAA.example/", "", ""));
  EXPECT_EQ(ui.messages.size(), 4U);
  EXPECT_EQ(Urls(""), (Strings{"http://example.com/feed ",
                               "http://b\xC3\xBC"
                               "cher.example/rss",
                               "http://k.example/"}));
}

TEST_F(FeedEntries, AddedFeedsKeepTheUrlAsTypedAndTheTitleInStoredForm) {
  store.AddCategory("Existing");
  ASSERT_TRUE(store.AddNewRSSFeed("HTTP://Caf\xC3\xA9.example/", "Caf\xC3\xA9", "existing"));
  XmlNode feed = Category("Existing").FirstChild();
  ASSERT_TRUE(feed);
  EXPECT_EQ(feed.GetAttribute("src"), "HTTP://Caf\xC3\xA9.example/");
  EXPECT_EQ(feed.GetAttribute("enabled"), "true");
  EXPECT_EQ(feed.GetAttribute("title"), "Caf\xC3\x83\xC2\xA9");
  Strings urls, titles;
  store.GetFeedsURLSForCategory("EXISTING", urls, titles);
  EXPECT_EQ(titles, Strings{"Caf\xC3\xA9"});

  // A category that does not exist is created at the end, name uncleaned.
  ASSERT_TRUE(store.AddNewRSSFeed("http://n/", "", "Brand: New"));
  XmlNode created = Container().LastChild();
  EXPECT_EQ(created.GetAttribute("name"), "Brand: New");
  EXPECT_EQ(created.GetAttribute("description"), "");
  EXPECT_EQ(Attributes(created, "src"), Strings{"http://n/"});
  EXPECT_EQ(Attributes(created, "title"), Strings{""});
  EXPECT_EQ(store.GetListOfCategories(), "Brand: New\r\nExisting\r\n");
}

TEST_F(FeedEntries, ListsAreParallelWithOneEntryPerFeedEvenWhenSomethingIsMissing) {
  LoadDocument("<Quorvelle_Feed src=\"http://1/\" enabled=\"true\" title=\"\"/>"
               "<Quorvelle_Feed src=\"http://2/\" enabled=\"true\" title=\"Two\"/>"
               "<Quorvelle_Feed enabled=\"true\" title=\"No address\"/>"
               "<Quorvelle_Feed src=\"http://4/\" enabled=\"true\"/>"
               "<Quorvelle_Feed src=\"http://5/\" enabled=\"true\" title=\"Five\"/>");
  Strings urls{"stale"}, titles;
  EXPECT_TRUE(store.GetFeedsURLSForCategory("", urls, titles));
  EXPECT_EQ(urls, (Strings{"http://1/", "http://2/", "", "http://4/", "http://5/"}));
  EXPECT_EQ(titles, (Strings{"", "Two", "No address", "", "Five"}));
  // The text form: CR LF between entries only, so empty entries keep their place.
  EXPECT_EQ(JoinWithCrLf(titles), "\r\nTwo\r\nNo address\r\n\r\nFive");
  EXPECT_EQ(JoinWithCrLf({"a", ""}), "a\r\n");
  EXPECT_EQ(JoinWithCrLf({}), "");
}

TEST_F(FeedEntries, GeneralFeedsInterleavedWithCategoriesAreListedAndMovedAcrossThem) {
  LoadDocument("<Quorvelle_Feed src=\"A\" enabled=\"true\" title=\"ta\"/>"
               "<Quorvelle_Category name=\"X\" description=\"\">"
               "<Quorvelle_Feed src=\"X1\" enabled=\"true\" title=\"tx\"/></Quorvelle_Category>"
               "<Quorvelle_Category name=\"Y\" description=\"\"/>"
               "<Quorvelle_Feed src=\"B\" enabled=\"false\" title=\"tb\"/>");
  EXPECT_EQ(Urls(""), (Strings{"A", "B"}));

  store.MoveFeed("b", "", mdUp);
  EXPECT_EQ(Attributes(Container(), "src"), (Strings{"B", "A"}));
  EXPECT_EQ(Attributes(Container(), "enabled"), (Strings{"false", "true"}));
  EXPECT_EQ(Attributes(Container(), "title"), (Strings{"tb", "ta"}));
  EXPECT_EQ(store.GetListOfCategories(), "X\r\nY\r\n");
  EXPECT_EQ(Urls("X"), Strings{"X1"});

  store.MoveFeed("A", "", mdTop);
  EXPECT_EQ(Urls(""), (Strings{"A", "B"}));
  // A feed of a named category is not one of General's.
  store.MoveFeed("X1", "", mdTop);
  EXPECT_EQ(Urls(""), (Strings{"A", "B"}));
  EXPECT_EQ(Urls("X"), Strings{"X1"});
}

TEST_F(FeedEntries, MoveFeedExchangesWithThePartnerInEachDirection) {
  LoadDocument(kFourFeeds);
  XmlNode cat = Category("Cat");
  store.MoveFeed("d", "cat", mdTop);
  EXPECT_EQ(Attributes(cat, "src"), (Strings{"D", "B", "C", "A"}));
  EXPECT_EQ(Attributes(cat, "enabled"), (Strings{"false", "false", "true", "true"}));
  EXPECT_EQ(Attributes(cat, "title"), (Strings{"td", "tb", "tc", "ta"}));

  const std::string before = store.FXMLDoc->Xml();
  store.MoveFeed("A", "Cat", mdDown);   // already last
  store.MoveFeed("D", "Cat", mdUp);     // already first
  store.MoveFeed("D", "Cat", mdTop);    // partner is itself
  store.MoveFeed("A", "Cat", mdBottom); // partner is itself
  store.MoveFeed("B", "Cat", 4);        // no such direction
  store.MoveFeed("Z", "Cat", mdDown);   // no such feed
  store.MoveFeed("B", "", mdDown);      // not in that category
  EXPECT_EQ(store.FXMLDoc->Xml(), before);

  store.MoveFeed("B", "Cat", mdDown);
  EXPECT_EQ(Attributes(cat, "src"), (Strings{"D", "C", "B", "A"}));
  store.MoveFeed("B", "Cat", mdUp);
  EXPECT_EQ(Attributes(cat, "src"), (Strings{"D", "B", "C", "A"}));
  store.MoveFeed("B", "Cat", mdBottom);
  EXPECT_EQ(Attributes(cat, "src"), (Strings{"D", "A", "C", "B"}));
  EXPECT_EQ(Attributes(cat, "title"), (Strings{"td", "ta", "tc", "tb"}));
}

TEST_F(FeedEntries, MoveFeedChangesNothingWhenEitherFeedLacksAnAttribute) {
  LoadDocument("<Quorvelle_Feed src=\"A\" enabled=\"true\" title=\"ta\"/>"
               "<Quorvelle_Feed src=\"B\" enabled=\"true\"/>");
  const std::string before = store.FXMLDoc->Xml();
  store.MoveFeed("A", "", mdDown);
  store.MoveFeed("B", "", mdUp);
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
}

TEST_F(FeedEntries, EnabledFlagIsReadAndWrittenOnTheCategorysOwnFeeds) {
  LoadDocument("<Quorvelle_Feed src=\"http://caps/\" enabled=\"TRUE\" title=\"\"/>"
               "<Quorvelle_Feed src=\"http://yes/\" enabled=\"yes\" title=\"\"/>"
               "<Quorvelle_Feed src=\"http://none/\" title=\"\"/>"
               "<Quorvelle_Category name=\"Cat\" description=\"\">"
               "<Quorvelle_Feed src=\"http://inner/\" enabled=\"true\" title=\"\"/></Quorvelle_Category>");
  EXPECT_TRUE(store.GetFeedStateEnabled("HTTP://CAPS/", ""));
  EXPECT_FALSE(store.GetFeedStateEnabled("http://yes/", ""));
  EXPECT_FALSE(store.GetFeedStateEnabled("http://inner/", ""));
  EXPECT_TRUE(store.GetFeedStateEnabled("http://inner/", "cat"));

  EXPECT_TRUE(store.SetFeedStateEnabled("http://caps/", "", false));
  EXPECT_FALSE(store.GetFeedStateEnabled("http://caps/", ""));
  EXPECT_TRUE(store.SetFeedStateEnabled("http://caps/", "", true));
  EXPECT_TRUE(store.GetFeedStateEnabled("http://caps/", ""));
  EXPECT_EQ(Container().FirstChild().GetAttribute("enabled"), "true");

  // Missing flag, missing feed, feed of another category: false, unchanged.
  const std::string before = store.FXMLDoc->Xml();
  EXPECT_FALSE(store.GetFeedStateEnabled("http://none/", ""));
  EXPECT_FALSE(store.SetFeedStateEnabled("http://none/", "", true));
  EXPECT_FALSE(store.SetFeedStateEnabled("http://missing/", "", true));
  EXPECT_FALSE(store.SetFeedStateEnabled("http://inner/", "", false));
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
}

TEST_F(FeedEntries, DeleteAndChangeFindTheFeedWhateverCategoryIsGiven) {
  LoadDocument(kFourFeeds);
  store.DeleteFeed("b", "Some other category");
  EXPECT_EQ(Attributes(Category("Cat"), "src"), (Strings{"A", "C", "D"}));
  store.DeleteFeed("http://missing/", "");
  EXPECT_EQ(Attributes(Category("Cat"), "src"), (Strings{"A", "C", "D"}));

  store.ChangeFeedPropertiesFeed("", "c", "http://new-c/", "Caf\xC3\xA9");
  XmlNode cat = Category("Cat");
  EXPECT_EQ(Attributes(cat, "src"), (Strings{"A", "http://new-c/", "D"}));
  EXPECT_EQ(Attributes(cat, "title"), (Strings{"ta", "Caf\xC3\x83\xC2\xA9", "td"}));
  EXPECT_EQ(Attributes(cat, "enabled"), (Strings{"true", "true", "false"}));
  EXPECT_TRUE(ui.messages.empty());
  // Another feed's address is refused; a change of case is not.
  EXPECT_FALSE(store.ChangeFeedPropertiesFeed("", "D", "a", "td2"));
  EXPECT_EQ(Attributes(cat, "src"), (Strings{"A", "http://new-c/", "D"}));
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_EQ(ui.messages[0].text, "Feed with URL:\r\na \r\nis already in the list");
  EXPECT_TRUE(store.ChangeFeedPropertiesFeed("", "D", "d", "td"));
  EXPECT_EQ(Attributes(cat, "src"), (Strings{"A", "http://new-c/", "d"}));
}

TEST_F(FeedEntries, FindFeedWithURLWalksFromTheStartThroughTheFollowingElements) {
  LoadDocument("<Quorvelle_Category name=\"One\" description=\"\">"
               "<Quorvelle_Feed src=\"http://one/\" enabled=\"true\" title=\"\"/></Quorvelle_Category>"
               "<Quorvelle_Feed src=\"http://general/\" enabled=\"true\" title=\"\"/>"
               "<Quorvelle_Category name=\"Two\" description=\"\">"
               "<Quorvelle_Category name=\"Nested\" description=\"\">"
               "<Quorvelle_Feed src=\"http://nested/\" enabled=\"true\" title=\"\"/></Quorvelle_Category>"
               "</Quorvelle_Category>");
  const XmlNode two = Category("Two");
  EXPECT_TRUE(store.FindFeedWithURL(Root(), "HTTP://NESTED/"));
  EXPECT_TRUE(store.FindFeedWithURL(Category("One"), "http://nested/"));
  EXPECT_TRUE(store.FindFeedWithURL(Category("One"), "http://general/"));
  EXPECT_FALSE(store.FindFeedWithURL(two, "http://one/"));
  EXPECT_FALSE(store.FindFeedWithURL(XmlNode(), "http://one/"));
  EXPECT_EQ(Urls("Nested"), Strings{"http://nested/"});
}

TEST_F(FeedEntries, MoveFeedToCategoryReadsEverythingBeforeRemoving) {
  LoadDocument("<Quorvelle_Category name=\"Before\" description=\"\">"
               "<Quorvelle_Feed src=\"http://before/\" enabled=\"true\" title=\"\"/></Quorvelle_Category>"
               "<Quorvelle_Feed src=\"http://g/\" enabled=\"false\" title=\"Caf&#xC3;&#xA9;\"/>"
               "<Quorvelle_Feed src=\"http://noflag/\" title=\"\"/>"
               "<Quorvelle_Category name=\"Source\" description=\"\">"
               "<Quorvelle_Feed src=\"http://s1/\" enabled=\"true\" title=\"s1\"/>"
               "<Quorvelle_Feed src=\"http://s2/\" enabled=\"true\" title=\"s2\"/></Quorvelle_Category>"
               "<Quorvelle_Category name=\"Target\" description=\"\"/>");
  store.MoveFeedToCategory("HTTP://G/", "", "target");
  EXPECT_EQ(Urls(""), Strings{"http://noflag/"});
  XmlNode moved = Category("Target").FirstChild();
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved.GetAttribute("src"), "http://g/");
  EXPECT_EQ(moved.GetAttribute("enabled"), "false");
  EXPECT_EQ(moved.GetAttribute("title"), "Caf\xC3\x83\xC2\xA9"); // as stored, not encoded twice

  // Same category: to its end.
  store.MoveFeedToCategory("http://s1/", "Source", "Source");
  EXPECT_EQ(Urls("Source"), (Strings{"http://s2/", "http://s1/"}));

  const std::string before = store.FXMLDoc->Xml();
  store.MoveFeedToCategory("http://noflag/", "", "Target");    // lacks enabled: stays
  store.MoveFeedToCategory("http://before/", "Source", "");    // only before the source
  store.MoveFeedToCategory("http://s2/", "Source", "Nowhere"); // nothing is created here
  store.MoveFeedToCategory("http://s2/", "Nowhere", "Target");
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
  EXPECT_EQ(store.GetListOfCategories(), "Before\r\nSource\r\nTarget\r\n");
}

TEST_F(FeedEntries, MoveFeedToCategoryNeverLosesAFeedThatHoldsTheTarget) {
  LoadDocument("<Quorvelle_Feed src=\"http://odd/\" enabled=\"true\" title=\"\">"
               "<Quorvelle_Category name=\"Inside\" description=\"\"/></Quorvelle_Feed>");
  const std::string before = store.FXMLDoc->Xml();
  store.MoveFeedToCategory("http://odd/", "", "Inside");
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
}

TEST_F(FeedEntries, AFeedWithoutSrcStopsLookupsAndNothingIsAdded) {
  LoadDocument("<Quorvelle_Feed enabled=\"true\" title=\"broken\"/>"
               "<Quorvelle_Feed src=\"http://after/\" enabled=\"true\" title=\"\"/>");
  const std::string before = store.FXMLDoc->Xml();
  EXPECT_FALSE(store.FindFeedWithURL(Root(), "http://after/"));
  EXPECT_FALSE(store.AddNewRSSFeed("http://after/", "", ""));
  EXPECT_FALSE(store.AddNewRSSFeed("http://new/", "", ""));
  store.DeleteFeed("http://after/", "");
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FeedEntries, WithoutARootEveryOperationFailsInsideItsGuardAndChangesNothing) {
  test::WriteFile(user.FeedsFile(), "not xml at all");
  store.Load();
  ASSERT_FALSE(store.FXMLDoc->HasRoot());

  EXPECT_FALSE(store.AddNewRSSFeed("http://a/", "A", ""));
  EXPECT_FALSE(store.AddNewRSSFeed("http://a/", "A", "News"));
  Strings urls{"stale"}, titles{"stale"};
  EXPECT_FALSE(store.GetFeedsURLSForCategory("", urls, titles));
  EXPECT_TRUE(urls.empty());
  EXPECT_FALSE(store.GetFeedStateEnabled("http://a/", ""));
  EXPECT_FALSE(store.SetFeedStateEnabled("http://a/", "", true));
  EXPECT_FALSE(store.FindFeedWithURL(Root(), "http://a/"));
  store.DeleteFeed("http://a/", "");
  store.MoveFeed("http://a/", "", mdTop);
  store.ChangeFeedPropertiesFeed("", "http://a/", "http://b/", "B");
  store.MoveFeedToCategory("http://a/", "", "News");
  EXPECT_FALSE(store.FXMLDoc->HasRoot());
  EXPECT_TRUE(ui.messages.empty());
}

} // namespace
} // namespace quorvelle
