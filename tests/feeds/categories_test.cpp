#include "feeds/feed_store.h"
#include "platform/codepage/codepage.h"
#include "platform/registry/registry.h"
#include "support/debug_log.h"
#include "tests/helpers/scripted_ui.h"
#include "tests/helpers/test_environment.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace quorvelle {
namespace {
using platform::ui::MsgDlgType;

// Turns the diagnostic log on for its lifetime; DEBUG.LOG is removed
// afterwards unless it was there before.
class DebugLogOn {
public:
  DebugLogOn() : existed_(test::PathExists(DebugM::LogFileName())) {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    key->WriteBool("DebugMode", true);
    DebugM::Initialization();
  }
  ~DebugLogOn() {
    DebugM::Finalization();
    if (!existed_) {
      std::remove(DebugM::LogFileName().c_str());
    }
  }
  DebugLogOn(const DebugLogOn &) = delete;
  DebugLogOn &operator=(const DebugLogOn &) = delete;
  static std::string Log() {
    return test::PathExists(DebugM::LogFileName()) ? test::ReadFile(DebugM::LogFileName()) : "";
  }

private:
  bool existed_;
};

class Categories : public ::testing::Test {
protected:
  void SetUp() override { store.Load(); }

  void LoadDocument(const std::string &xml) {
    test::WriteFile(user.FeedsFile(), xml);
    store.Load();
  }
  XmlNode Container() { return store.FXMLDoc->DocumentElement().FirstChild(); }
  // The stored names of the direct category children, in document order.
  std::vector<std::string> StoredNames() {
    std::vector<std::string> names;
    for (XmlNode c : Container().ChildElements("Quorvelle_Category")) {
      names.push_back(c.GetAttribute("name"));
    }
    return names;
  }

  test::IsolatedUser user;
  test::ScriptedUi ui;
  TRSSFeedOptions store;
};

TEST_F(Categories, ListIsSortedIgnoringCaseWhileTheDocumentKeepsTheOrderOfAdding) {
  EXPECT_EQ(store.GetListOfCategories(), "");
  for (const char *name : {"beta", "Alpha", "gamma"}) {
    EXPECT_TRUE(store.AddCategory(name));
  }
  EXPECT_EQ(store.GetListOfCategories(), "Alpha\r\nbeta\r\ngamma\r\n");
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"beta", "Alpha", "gamma"}));
  for (XmlNode c : Container().ChildElements("Quorvelle_Category")) {
    EXPECT_EQ(c.GetAttribute("description"), "");
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Categories, NestedCategoriesAreFoundButNotListedAndGeneralIsTheContainer) {
  LoadDocument("<Quorvelle_Feeds><Quorvelle_Categories>"
               "<Quorvelle_Feed src=\"http://a/\" enabled=\"true\" title=\"\"/>"
               "<Quorvelle_Category name=\"Outer\" description=\"\">"
               "<Quorvelle_Category name=\"Inner\" description=\"\"/>"
               "</Quorvelle_Category>"
               "</Quorvelle_Categories></Quorvelle_Feeds>");
  EXPECT_EQ(store.GetListOfCategories(), "Outer\r\n");
  XmlNode inner = store.FindCategory(store.FXMLDoc->DocumentElement(), "INNER");
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner.GetAttribute("name"), "Inner");
  EXPECT_EQ(store.FindCategory(store.FXMLDoc->DocumentElement(), ""), Container());
  EXPECT_FALSE(store.FindCategory(store.FXMLDoc->DocumentElement(), "Missing"));
  EXPECT_FALSE(store.FindCategory(XmlNode(), "Outer"));
  // The nested name counts as taken.
  EXPECT_FALSE(store.AddCategory("inner"));
  ASSERT_EQ(ui.messages.size(), 1U);
  // A list of another document (an imported file) is read the same way.
  platform::XmlDocument other;
  ASSERT_TRUE(other.LoadXML("<Quorvelle_Feeds><x/><Quorvelle_Categories>"
                            "<Quorvelle_Category name=\"b\"/><Quorvelle_Category name=\"A\"/>"
                            "</Quorvelle_Categories></Quorvelle_Feeds>"));
  EXPECT_EQ(store.GetListOfCategories(other.DocumentElement()), "A\r\nb\r\n");
}

TEST_F(Categories, NonAsciiNamesAreStoredEncodedAndFoundInAnyLetterCase) {
  const std::string cafe = "Caf\xC3\xA9";                      // Café
  const std::string cafeUpper = "CAF\xC3\x89";                 // CAFÉ
  const std::string news = "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE"; // Ново
  const std::string newsUpper = "\xD0\x9D\xD0\x9E\xD0\x92\xD0\x9E";
  ASSERT_TRUE(store.AddCategory(cafe));
  ASSERT_TRUE(store.AddCategory(news));
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Caf\xC3\x83\xC2\xA9", platform::EncodeStoredText(news)}));

  const XmlNode root = store.FXMLDoc->DocumentElement();
  EXPECT_EQ(store.FindCategory(root, cafeUpper), Container().FirstChild());
  EXPECT_EQ(store.FindCategory(root, newsUpper), Container().LastChild());
  EXPECT_FALSE(store.AddCategory(cafeUpper));
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_EQ(ui.messages[0].text, "Category with same name:\r\n" + cafeUpper + " \r\n exists already.");
  EXPECT_EQ(store.GetListOfCategories(), cafe + "\r\n" + news + "\r\n");

  // A name written plainly by another tool is still found.
  LoadDocument("<Quorvelle_Feeds><Quorvelle_Categories><Quorvelle_Category name=\"" + cafe +
               "\" description=\"\"/></Quorvelle_Categories></Quorvelle_Feeds>");
  EXPECT_TRUE(store.FindCategory(store.FXMLDoc->DocumentElement(), cafeUpper));
}

TEST_F(Categories, AddCategoryCleansTheNameAndRefusesDuplicatesInAnyCase) {
  ASSERT_TRUE(store.AddCategory("News"));
  EXPECT_FALSE(store.AddCategory("NEWS"));
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_EQ(ui.messages[0].text, "Category with same name:\r\nNEWS \r\n exists already.");
  EXPECT_EQ(ui.messages[0].caption, "Information");
  EXPECT_EQ(ui.messages[0].type, MsgDlgType::Information);
  EXPECT_EQ(ui.messages[0].buttons, platform::ui::mbOK);

  XmlNode cleaned = store.AddCategory("x:\\y");
  ASSERT_TRUE(cleaned);
  EXPECT_EQ(cleaned.GetAttribute("name"), "x y");
  EXPECT_FALSE(store.AddCategory("x*y"));
  ASSERT_EQ(ui.messages.size(), 2U);
  EXPECT_EQ(ui.messages[1].text, "Category with same name:\r\nx y \r\n exists already.");

  // Nothing to add, nothing to say.
  EXPECT_FALSE(store.AddCategory(""));
  EXPECT_FALSE(store.AddCategory("???"));
  EXPECT_EQ(ui.messages.size(), 2U);
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"News", "x y"}));
}

TEST_F(Categories, RenameKeepsFeedsAndPositionAndNeverLeavesAnEmptyName) {
  store.AddCategory("Tech");
  store.AddCategory("Sport");
  ASSERT_TRUE(store.AddNewRSSFeed("http://t/", "T", "Tech"));
  store.RenameCategory("tech", "TECH news");
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"TECH news", "Sport"}));
  std::vector<std::string> urls, titles;
  store.GetFeedsURLSForCategory("tech NEWS", urls, titles);
  EXPECT_EQ(urls, std::vector<std::string>{"http://t/"});
  store.RenameCategory("Tech News", "tech news"); // only the letter case changes
  store.RenameCategory("Sport", "a|b");
  EXPECT_EQ(store.GetListOfCategories(), "a b\r\ntech news\r\n");

  const std::string before = store.FXMLDoc->Xml();
  store.RenameCategory("a b", "???"); // would be found by no name at all
  store.RenameCategory("", "General");
  store.RenameCategory("Missing", "Other");
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
  // Renaming onto another category's name is allowed; the first one wins lookups.
  store.RenameCategory("a b", "Tech News");
  EXPECT_EQ(store.FindCategory(store.FXMLDoc->DocumentElement(), "tech news"), Container().FirstChild());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Categories, DeleteRemovesTheCategoryWithItsFeedsButNeverGeneral) {
  store.AddCategory("Old");
  store.AddCategory("Keep");
  ASSERT_TRUE(store.AddNewRSSFeed("http://old/", "", "Old"));
  ASSERT_TRUE(store.AddNewRSSFeed("http://general/", "", ""));
  const std::string before = store.FXMLDoc->Xml();
  store.DeleteCategory("");
  store.DeleteCategory("Nothing");
  EXPECT_EQ(store.FXMLDoc->Xml(), before);

  store.DeleteCategory("OLD");
  EXPECT_EQ(store.GetListOfCategories(), "Keep\r\n");
  EXPECT_FALSE(store.FindFeedWithURL(store.FXMLDoc->DocumentElement(), "http://old/"));
  EXPECT_TRUE(store.FindFeedWithURL(store.FXMLDoc->DocumentElement(), "http://general/"));
  // The URL is free again.
  EXPECT_TRUE(store.AddNewRSSFeed("http://old/", "", "Keep"));
}

TEST_F(Categories, FeedOperationsCreateAMissingCategoryWithItsNameUncleaned) {
  store.AddCategory("First");
  std::vector<std::string> urls{"stale"}, titles{"stale"};
  EXPECT_TRUE(store.GetFeedsURLSForCategory("Brand: New", urls, titles));
  EXPECT_TRUE(urls.empty());
  EXPECT_TRUE(titles.empty());
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"First", "Brand: New"}));
  EXPECT_EQ(Container().LastChild().GetAttribute("description"), "");
  EXPECT_EQ(store.GetListOfCategories(), "Brand: New\r\nFirst\r\n");
  // Found again in another case: no second one.
  EXPECT_FALSE(store.GetFeedStateEnabled("http://x/", "BRAND: NEW"));
  EXPECT_EQ(StoredNames().size(), 2U);
}

TEST_F(Categories, ACategoryWithoutNameFailsTheLookupAndNothingIsAddedPastIt) {
  LoadDocument("<Quorvelle_Feeds><Quorvelle_Categories>"
               "<Quorvelle_Category description=\"\"/>"
               "<Quorvelle_Category name=\"Real\" description=\"\"/>"
               "</Quorvelle_Categories></Quorvelle_Feeds>");
  const std::string before = store.FXMLDoc->Xml();
  EXPECT_FALSE(store.FindCategory(store.FXMLDoc->DocumentElement(), "Real"));
  EXPECT_EQ(store.GetListOfCategories(), "");
  EXPECT_FALSE(store.AddCategory("Real"));
  EXPECT_FALSE(store.AddNewRSSFeed("http://r/", "", "Real"));
  std::vector<std::string> urls, titles;
  EXPECT_FALSE(store.GetFeedsURLSForCategory("Real", urls, titles));
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Categories, WithoutARootEveryOperationFailsInsideItsGuardAndChangesNothing) {
  test::WriteFile(user.FeedsFile(), "<Quorvelle_Feeds><Quorvelle_Categories>");
  DebugLogOn log;
  store.Load();
  ASSERT_FALSE(store.FXMLDoc->HasRoot());
  EXPECT_FALSE(test::PathExists(user.FeedsFile())); // kept aside, not overwritten later

  EXPECT_FALSE(store.FindCategory(store.FXMLDoc->DocumentElement(), ""));
  EXPECT_EQ(store.GetListOfCategories(), "");
  EXPECT_FALSE(store.AddCategory("News"));
  store.RenameCategory("News", "Other");
  store.DeleteCategory("News");
  std::vector<std::string> urls, titles;
  EXPECT_FALSE(store.GetFeedsURLSForCategory("News", urls, titles));
  EXPECT_FALSE(store.AddNewRSSFeed("http://a/", "", "News"));

  EXPECT_FALSE(store.FXMLDoc->HasRoot());
  EXPECT_TRUE(ui.messages.empty());
  const std::string text = DebugLogOn::Log();
  for (const char *name :
       {"GetListOfCategories", "AddCategory", "RenameCategory", "DeleteCategory", "GetFeedsURLSForCategory"}) {
    EXPECT_NE(text.find(std::string(",Info: TRSSFeedOptions.") + name + ",Msg: The feed list has no document element"),
              std::string::npos)
        << name << " in:\n"
        << text;
  }
}

} // namespace
} // namespace quorvelle
