#include "exchange/list_conversion.h"
#include "tests/exchange/exchange_fixture.h"

#include "platform/codepage/text_case.h"
#include "tests/helpers/scripted_ui.h"

#include <algorithm>
#include <random>
#include <set>

namespace quorvelle::test {
namespace {

const std::string kCafe = "Caf\xC3\xA9";                                              // Café
const std::string kCafeStored = "Caf\xC3\x83\xC2\xA9";                                // CafÃ© (stored text form)
const std::string kNews = "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8"; // Новости
const std::string kChinese = "\xE6\x96\xB0\xE9\x97\xBB";                              // 新闻

std::string WriteTemp(const IsolatedUser &user, const std::string &name, const std::string &bytes) {
  const std::string path = user.Home() + "/" + name;
  WriteFile(path, bytes);
  return path;
}

// ------------------------------------------------------------ GetFeedsAsXML

TEST_F(ExchangeTest, GetFeedsAsXMLGivesTheStoreOrOneCategoryWrapped) {
  store->AddNewRSSFeed("http://g/1", "General one", "");
  store->AddCategory("News");
  store->AddNewRSSFeed("http://n/1", kCafe, "News");
  store->AddNewRSSFeed("http://n/2", "Two", "News");

  std::string all;
  store->GetFeedsAsXML(true, "ignored", all);
  EXPECT_EQ(all, store->FXMLDoc->Xml());

  std::string news;
  store->GetFeedsAsXML(false, "NEWS", news);
  EXPECT_EQ(news, "<Quorvelle_Feeds name=\"News\"><Quorvelle_Categories>"
                  "<Quorvelle_Feed src=\"http://n/1\" enabled=\"true\" title=\"" +
                      kCafeStored +
                      "\"/>"
                      "<Quorvelle_Feed src=\"http://n/2\" enabled=\"true\" title=\"Two\"/>"
                      "</Quorvelle_Categories></Quorvelle_Feeds>");

  // General alone: only its own feeds, in a wrapper with the empty name.
  std::string general;
  store->GetFeedsAsXML(false, "", general);
  EXPECT_EQ(general, "<Quorvelle_Feeds name=\"\"><Quorvelle_Categories>"
                     "<Quorvelle_Feed src=\"http://g/1\" enabled=\"true\" title=\"General one\"/>"
                     "</Quorvelle_Categories></Quorvelle_Feeds>");

  std::string missing = "stale";
  store->GetFeedsAsXML(false, "No such", missing);
  EXPECT_EQ(missing, "");
}

TEST_F(ExchangeTest, GetFeedsAsXMLEscapesACategoryNameThatFeedOperationsKeptUncleaned) {
  // A feed operation creates its category without cleaning the name.
  store->AddNewRSSFeed("http://q/1", "Q", "R&D \"<x>\"");
  std::string text;
  store->GetFeedsAsXML(false, "R&D \"<x>\"", text);
  platform::XmlDocument doc;
  ASSERT_TRUE(doc.LoadXML(text)) << text;
  EXPECT_EQ(doc.DocumentElement().GetAttribute("name"), "R&D \"<x>\"");
  EXPECT_EQ(AllFeeds(doc).size(), 1U);
}

// ---------------------------------------------------------- CopyUniqueFeeds

TEST_F(ExchangeTest, CopyUniqueFeedsCopiesEachNewAddressOnce) {
  store->AddNewRSSFeed("http://Present/A", "kept title", "");
  store->SetFeedStateEnabled("http://Present/A", "", false);
  platform::XmlDocument source;
  ASSERT_TRUE(source.LoadXML("<Quorvelle_Categories>"
                             "<Quorvelle_Feed src='HTTP://present/a' enabled='true' title='other title'/>"
                             "<Quorvelle_Feed src='http://new/1' enabled='false' title='N1' extra='x'/>"
                             "<Quorvelle_Feed src='http://NEW/1' enabled='true' title='dup in source'/>"
                             "<Quorvelle_Feed src='' title='empty'/>"
                             "<Quorvelle_Feed title='no src'/>"
                             "<Quorvelle_Category name='c'><Quorvelle_Feed src='http://nested/1'/></Quorvelle_Category>"
                             "<Quorvelle_Feed src='http://new/2 ' enabled='true' title='N2'/>"
                             "</Quorvelle_Categories>"));
  XmlNode target = store->CategoriesContainer();
  EXPECT_EQ(store->CopyUniqueFeeds(source.DocumentElement(), target), 2);
  const std::vector<FeedRow> expected = {{"", "http://Present/A", "kept title", "false"},
                                         {"", "http://new/1", "N1", "false"},
                                         {"", "http://new/2 ", "N2", "true"}};
  EXPECT_EQ(Feeds(), expected);
  // Copied as they are, attributes the store does not know included.
  EXPECT_EQ(StoredAttribute("http://new/1", "extra"), "x");
  // A second run finds everything present.
  EXPECT_EQ(store->CopyUniqueFeeds(source.DocumentElement(), target), 0);
  EXPECT_EQ(Feeds(), expected);

  // An address is the key of the whole list: a copy into another category
  // of the same list finds every address present.
  XmlNode other = store->AddCategory("Other");
  ASSERT_TRUE(other);
  EXPECT_EQ(store->CopyUniqueFeeds(target, other), 0);
  EXPECT_EQ(Feeds().size(), 3U);

  EXPECT_EQ(store->CopyUniqueFeeds(source.DocumentElement(), XmlNode()), -1);
}

TEST_F(ExchangeTest, CopyUniqueFeedsAgreesWithThePairwiseComparison) {
  // Random lists with many case variants and repeats: the set lookup must
  // give exactly what comparing with every feed under the target gives.
  std::mt19937 random(7);
  const std::vector<std::string> hosts = {"a", "b", "\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", "X", "x", "\xD0\x9D"};
  auto randomUrl = [&] {
    std::string url = random() % 2 ? "http://" : "HTTP://";
    url += hosts[random() % hosts.size()] + "/" + std::to_string(random() % 6);
    return url;
  };
  for (int round = 0; round < 20; ++round) {
    platform::XmlDocument source;
    platform::XmlDocument target;
    ASSERT_TRUE(source.LoadXML("<s/>"));
    ASSERT_TRUE(target.LoadXML("<t/>"));
    for (int i = 0; i < 15; ++i)
      target.DocumentElement().AppendChild(target.CreateElement("Quorvelle_Feed")).SetAttribute("src", randomUrl());
    for (int i = 0; i < 30; ++i)
      source.DocumentElement().AppendChild(source.CreateElement("Quorvelle_Feed")).SetAttribute("src", randomUrl());

    std::vector<std::string> expected;
    for (XmlNode f : target.DocumentElement().ChildElements("Quorvelle_Feed"))
      expected.push_back(f.GetAttribute("src"));
    const std::size_t before = expected.size();
    for (XmlNode f : source.DocumentElement().ChildElements("Quorvelle_Feed")) {
      const std::string src = f.GetAttribute("src");
      const bool present = std::any_of(expected.begin(), expected.end(), [&](const std::string &e) {
        return platform::LowerCase(e) == platform::LowerCase(src);
      });
      if (!present) expected.push_back(src);
    }
    EXPECT_EQ(store->CopyUniqueFeeds(source.DocumentElement(), target.DocumentElement()),
              static_cast<int>(expected.size() - before));
    std::vector<std::string> actual;
    for (XmlNode f : target.DocumentElement().ChildElements("Quorvelle_Feed"))
      actual.push_back(f.GetAttribute("src"));
    EXPECT_EQ(actual, expected);
  }
}

// ------------------------------------------------------------ OPML export

struct Outline {
  std::string text, title, type, xmlUrl;
  std::vector<Outline> children;
};

Outline ReadOutline(XmlNode node) {
  Outline o{node.FindAttribute("text").value_or("-"),
            node.FindAttribute("title").value_or("-"),
            node.FindAttribute("type").value_or("-"),
            node.FindAttribute("xmlUrl").value_or("-"),
            {}};
  for (XmlNode c : node.ChildElements("outline"))
    o.children.push_back(ReadOutline(c));
  return o;
}

TEST_F(ExchangeTest, OpmlExportIsValidUtf8WithFoldersPerCategoryAndDecodedTitles) {
  store->AddNewRSSFeed("http://g/1", "General " + kCafe, "");
  store->AddCategory(kNews);
  store->AddNewRSSFeed("http://n/\xC3\xA9t\xC3\xA9", kChinese, kNews); // address with é
  store->AddNewRSSFeed("http://n/2?a=1&b=2", "", kNews);
  store->AddCategory("Empty");
  // A title written plainly by another tool comes out the same.
  store->AddNewRSSFeed("http://g/2", "x", "");
  store->FindFeedWithURL(store->FXMLDoc->DocumentElement(), "http://g/2").SetAttribute("title", "plain " + kCafe);

  std::string opml;
  store->GetFeedsAsOPML(true, "", opml);
  ASSERT_FALSE(opml.empty());
  EXPECT_TRUE(platform::IsValidUtf8(opml));
  // The bytes of the file: real UTF-8, not the stored form.
  EXPECT_NE(opml.find("General " + kCafe), std::string::npos);
  EXPECT_EQ(opml.find(kCafeStored), std::string::npos);
  EXPECT_NE(opml.find("xmlUrl=\"http://n/\xC3\xA9t\xC3\xA9\""), std::string::npos);
  EXPECT_EQ(opml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0U);

  platform::XmlDocument doc;
  ASSERT_TRUE(doc.LoadBytes(opml)) << doc.ParseError();
  XmlNode root = doc.DocumentElement();
  EXPECT_EQ(root.NodeName(), "opml");
  EXPECT_EQ(root.GetAttribute("version"), "2.0");
  XmlNode head = root.ChildElements("head").at(0);
  EXPECT_EQ(head.ChildElements("title").at(0).Text(), "Quorvelle Feeds");
  const std::string date = head.ChildElements("dateCreated").at(0).Text();
  EXPECT_EQ(date.size(), 29U) << date; // "Mon, 08 Dec 2025 14:03:00 GMT"
  EXPECT_EQ(date.substr(date.size() - 4), " GMT");

  std::vector<Outline> body;
  for (XmlNode c : root.ChildElements("body").at(0).ChildElements("outline"))
    body.push_back(ReadOutline(c));
  ASSERT_EQ(body.size(), 4U);
  EXPECT_EQ(body[0].xmlUrl, "http://g/1");
  EXPECT_EQ(body[0].type, "rss");
  EXPECT_EQ(body[0].text, "General " + kCafe);
  EXPECT_EQ(body[0].title, "General " + kCafe);
  EXPECT_EQ(body[1].text, kNews);
  EXPECT_EQ(body[1].xmlUrl, "-");
  ASSERT_EQ(body[1].children.size(), 2U);
  EXPECT_EQ(body[1].children[0].title, kChinese);
  EXPECT_EQ(body[1].children[0].xmlUrl, "http://n/\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(body[1].children[1].xmlUrl, "http://n/2?a=1&b=2");
  EXPECT_EQ(body[2].text, "Empty");
  EXPECT_TRUE(body[2].children.empty());
  EXPECT_EQ(body[3].title, "plain " + kCafe);

  // One category: its feeds at the top, its name as the list's title.
  std::string one;
  store->GetFeedsAsOPML(false, kNews, one);
  platform::XmlDocument oneDoc;
  ASSERT_TRUE(oneDoc.LoadBytes(one));
  EXPECT_EQ(oneDoc.DocumentElement().ChildElements("head").at(0).ChildElements("title").at(0).Text(), kNews);
  EXPECT_EQ(oneDoc.DocumentElement().ChildElements("body").at(0).ChildElements("outline").size(), 2U);
}

TEST_F(ExchangeTest, OpmlExportWithoutStylesheetGivesNoText) {
  std::filesystem::remove(appPath + "FeedsToOPML.xsl");
  store->AddNewRSSFeed("http://g/1", "G", "");
  std::string opml = "stale";
  store->GetFeedsAsOPML(true, "", opml);
  EXPECT_EQ(opml, "");
}

// ------------------------------------------------------------ OPML import

TEST_F(ExchangeTest, OpmlImportMergesFlattenedFeedsWithStoredTitles) {
  const std::string file =
      WriteTemp(user, "list.opml",
                "<?xml version='1.0' encoding='ISO-8859-1'?>\n"
                "<opml version='1.0'><head><title>T</title></head><body>"
                "<outline text='Folder'>"
                "  <outline text='Caf\xE9' xmlUrl='http://a/1' type='rss'/>"
                "  <outline text='Deeper'><outline title='Titled' text='ignored' xmlurl=' http://a/2 '/></outline>"
                "</outline>"
                "<outline text='Pipe' xmlUrl='|~/run.sh'/>"
                "<outline text='Script' xmlUrl='javascript:alert(1)'/>"
                "<outline text='Folder marker' xmlUrl='vfolder'/>"
                "<outline text='Site only' htmlUrl='http://site/'/>"
                "<outline text='FTP' XMLURL='FTP://a/3'/>"
                "</body></opml>");
  store->AddCategory("Target");
  store->AddNewRSSFeed("http://A/1", "already here", "Target");
  store->AddNewRSSFeed("http://a/2", "in General", "");
  EXPECT_TRUE(store->GetFeedsAsOPML("target", file));
  // Addresses anywhere in the list count as present.
  const std::vector<FeedRow> expected = {{"Target", "http://A/1", "already here", "true"},
                                         {"Target", "FTP://a/3", "FTP", "true"},
                                         {"", "http://a/2", "in General", "true"}};
  EXPECT_EQ(Feeds(), expected);
  // Importing again copies nothing.
  EXPECT_TRUE(store->GetFeedsAsOPML("Target", file));
  EXPECT_EQ(Feeds(), expected);

  // A title beyond ASCII is held in the stored form.
  store->AddCategory("Second");
  store->DeleteFeed("http://a/1", "Target");
  EXPECT_TRUE(store->GetFeedsAsOPML("Second", file));
  EXPECT_EQ(Feeds().back(), (FeedRow{"Second", "http://a/1", kCafe, "true"}));
  EXPECT_EQ(store->FindCategory(store->FXMLDoc->DocumentElement(), "Second").FirstChild().GetAttribute("title"),
            kCafeStored);

  EXPECT_FALSE(store->GetFeedsAsOPML("No such category", file));
}

TEST_F(ExchangeTest, OpmlImportOfUnreadableFileMergesNothing) {
  store->AddCategory("Target");
  const std::string broken = WriteTemp(user, "broken.opml", "<opml><body><outline xmlUrl='http://x/1'>");
  EXPECT_TRUE(store->GetFeedsAsOPML("Target", broken));
  EXPECT_TRUE(store->GetFeedsAsOPML("Target", user.Home() + "/missing.opml"));
  EXPECT_TRUE(Feeds().empty());

  std::filesystem::remove(appPath + "OpmlToFeeds.xsl");
  const std::string good = WriteTemp(user, "good.opml", "<opml><body><outline xmlUrl='http://x/1'/></body></opml>");
  EXPECT_FALSE(store->GetFeedsAsOPML("Target", good));
  EXPECT_TRUE(Feeds().empty());
}

TEST_F(ExchangeTest, OpmlRoundTripKeepsCategoriesAddressesAndTitles) {
  store->AddNewRSSFeed("http://g/1", "G " + kCafe, "");
  store->AddNewRSSFeed("http://n/1", kChinese, kNews);
  store->AddNewRSSFeed("http://n/\xC3\xA9", "", kNews);
  std::string opml;
  store->GetFeedsAsOPML(false, kNews, opml);
  const std::string file = WriteTemp(user, "news.opml", opml);

  std::string title;
  store->GetTitleFromOPMLFeedsFile(file, title);
  EXPECT_EQ(title, kNews);

  TRSSFeedOptions other;
  other.AppPath = appPath;
  ASSERT_TRUE(other.FXMLDoc->LoadXML(kEmptyFeedsDocument));
  XmlNode created = other.AddCategory(title);
  ASSERT_TRUE(created);
  EXPECT_TRUE(other.GetFeedsAsOPML(title, file));
  const std::vector<FeedRow> expected = {{kNews, "http://n/1", kChinese, "true"},
                                         {kNews, "http://n/\xC3\xA9", "", "true"}};
  EXPECT_EQ(AllFeeds(*other.FXMLDoc), expected);
}

// ---------------------------------------------------------------- ImportXML

TEST_F(ExchangeTest, ImportXMLMergesGeneralAndCategoriesByNameIgnoringCase) {
  store->AddCategory("News");
  store->AddNewRSSFeed("http://news/1", "N1", "News");
  const std::string file =
      WriteTemp(user, "list.xml",
                "<?xml version='1.0' encoding='UTF-8'?><Quorvelle_Feeds><Quorvelle_Categories>"
                "<Quorvelle_Feed src='http://g/1' enabled='false' title='" +
                    kCafeStored +
                    "'/>"
                    "<Quorvelle_Category name='news' description=''>"
                    "<Quorvelle_Feed src='HTTP://NEWS/1' enabled='true' title='dup'/>"
                    "<Quorvelle_Feed src='http://news/2' enabled='true' title='plain " +
                    kCafe +
                    "'/>"
                    "<Quorvelle_Category name='Nested'><Quorvelle_Feed src='http://nested/1' enabled='true' "
                    "title='x'/></Quorvelle_Category>"
                    "</Quorvelle_Category>"
                    "<Quorvelle_Category name='" +
                    platform::EncodeStoredText(kNews) +
                    "' description=''>"
                    "<Quorvelle_Feed src='http://ru/1' enabled='true' title='R'/></Quorvelle_Category>"
                    "</Quorvelle_Categories></Quorvelle_Feeds>");
  store->ImportXML(file);
  const std::vector<FeedRow> expected = {{"News", "http://news/1", "N1", "true"},
                                         {"News", "http://news/2", "plain " + kCafe, "true"},
                                         {"", "http://g/1", kCafe, "false"},
                                         {kNews, "http://ru/1", "R", "true"}};
  EXPECT_EQ(Feeds(), expected);
  EXPECT_EQ(store->GetListOfCategories(), "News\r\n" + kNews + "\r\n");
  // Titles end up in the stored form, whichever form the file held.
  EXPECT_EQ(StoredAttribute("http://news/2", "title"), "plain " + kCafeStored);
  EXPECT_EQ(StoredAttribute("http://g/1", "title"), kCafeStored);
}

TEST_F(ExchangeTest, ImportXMLIntoCategoryWhoseCleanedNameIsTakenKeepsTheFeeds) {
  ScriptedUi ui;
  store->AddCategory("a b");
  const std::string file = WriteTemp(user, "list.xml",
                                     "<Quorvelle_Feeds><Quorvelle_Categories><Quorvelle_Category name='a/b'>"
                                     "<Quorvelle_Feed src='http://ab/1' enabled='true' title='AB'/>"
                                     "</Quorvelle_Category></Quorvelle_Categories></Quorvelle_Feeds>");
  store->ImportXML(file);
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_EQ(ui.messages[0].text, "Category with same name:\r\na b \r\n exists already.");
  EXPECT_EQ(Feeds(), (std::vector<FeedRow>{{"a b", "http://ab/1", "AB", "true"}}));
  EXPECT_EQ(store->GetListOfCategories(), "a b\r\n");
}

TEST_F(ExchangeTest, ImportXMLOfFileWithoutContainerChangesNothing) {
  store->AddNewRSSFeed("http://g/1", "G", "");
  const std::string before = store->FXMLDoc->Xml();
  store->ImportXML(WriteTemp(user, "a.xml", "<opml><body/></opml>"));
  store->ImportXML(WriteTemp(user, "b.xml", "not xml"));
  store->ImportXML(user.Home() + "/missing.xml");
  EXPECT_EQ(store->FXMLDoc->Xml(), before);
}

// ------------------------------------------------------------- OPML title

TEST_F(ExchangeTest, GetTitleFromOPMLFeedsFileReadsHeadTitleOnly) {
  std::string title = "stale";
  store->GetTitleFromOPMLFeedsFile(WriteTemp(user, "a.opml", "<opml><head><title>My &amp; list</title></head></opml>"),
                                   title);
  EXPECT_EQ(title, "My & list");
  store->GetTitleFromOPMLFeedsFile(
      WriteTemp(user, "b.opml", "<opml><body><title>not here</title></body><head><x/></head></opml>"), title);
  EXPECT_EQ(title, "");
  title = "stale";
  store->GetTitleFromOPMLFeedsFile(WriteTemp(user, "c.opml", "<opml><head><Title>case</Title></head></opml>"), title);
  EXPECT_EQ(title, "");
  title = "stale";
  store->GetTitleFromOPMLFeedsFile(user.Home() + "/missing.opml", title);
  EXPECT_EQ(title, "");
}

TEST(Rfc822Date, UsesEnglishNamesAndGmt) {
  EXPECT_EQ(exchange::Rfc822Date(0), "Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(exchange::Rfc822Date(1765202580), "Mon, 08 Dec 2025 14:03:00 GMT");
}

} // namespace
} // namespace quorvelle::test
