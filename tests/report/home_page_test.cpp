#include "support/rss_feed_utils.h"
#include "tests/report/report_fixture.h"

#include <gtest/gtest.h>

namespace quorvelle {
namespace {

constexpr const char *kBrowserMain = "Software\\Microsoft\\Internet Explorer\\Main";

class HomePage : public ::testing::Test {
protected:
  void SetUp() override {
    env.UseList("<Quorvelle_Feeds><Quorvelle_Categories>"
                "<Quorvelle_Feed src=\"http://a.example/\" enabled=\"true\" title=\"A\"/>"
                "</Quorvelle_Categories></Quorvelle_Feeds>");
  }
  static void SetBrowserHome(const std::string &page) {
    platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kBrowserMain, true)->WriteString("Start Page", page);
  }
  static std::optional<std::string> Stored() {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    if (!key->ValueExists("StoredHomePage")) return std::nullopt;
    return key->ReadString("StoredHomePage");
  }
  [[nodiscard]] std::string ReportAddress() const { return "file://" + env.Report() + "index.html"; }
  test::ReportInstall env;
};

TEST_F(HomePage, BuildsTheReportAndRemembersThePageToReturnTo) {
  SetBrowserHome("https://news.example/");
  ASSERT_FALSE(test::PathExists(env.Report() + "index.html"));
  env.store.SetHomePageToHeaders();
  EXPECT_TRUE(test::PathExists(env.Report() + "index.html"));
  EXPECT_EQ(GetIEHomePage(), ReportAddress());
  EXPECT_EQ(Stored(), "https://news.example/");

  // Again, with the report already the home page: the record stays.
  env.store.SetHomePageToHeaders();
  EXPECT_EQ(Stored(), "https://news.example/");
  env.store.RestoreHomePage();
  EXPECT_EQ(GetIEHomePage(), "https://news.example/");
  EXPECT_EQ(Stored(), "https://news.example/") << "the value stays";
}

TEST_F(HomePage, ANewerHomePageReplacesTheRecordAndTheReportIsNeverRecorded) {
  SetBrowserHome("https://first.example/");
  env.store.SetHomePageToHeaders();
  SetBrowserHome("https://second.example/");
  env.store.SetHomePageToHeaders();
  EXPECT_EQ(Stored(), "https://second.example/");

  // A record of the report's own address (any letter case) is dropped.
  platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true)
      ->WriteString("StoredHomePage", "FILE://" + env.Report() + "INDEX.HTML");
  SetBrowserHome(ReportAddress());
  env.store.SetHomePageToHeaders();
  EXPECT_EQ(Stored(), std::nullopt);
  EXPECT_EQ(GetIEHomePage(), ReportAddress());
}

TEST_F(HomePage, WithoutRecordOrBrowserKeyNothingChanges) {
  env.store.RestoreHomePage();
  EXPECT_FALSE(platform::RegistryKeyExists(platform::HKEY_CURRENT_USER, kBrowserMain));
  env.store.SetHomePageToHeaders();
  EXPECT_FALSE(platform::RegistryKeyExists(platform::HKEY_CURRENT_USER, kBrowserMain)) << "never created";
  EXPECT_EQ(Stored(), std::nullopt) << "no page to return to";

  SetBrowserHome("https://kept.example/");
  env.store.RestoreHomePage();
  EXPECT_EQ(GetIEHomePage(), "https://kept.example/");
}

TEST_F(HomePage, AFailedReportStillPointsTheHomePageAtTheReport) {
  SetBrowserHome("https://news.example/");
  std::filesystem::remove(env.Install() + "index_root.html");
  env.store.SetHomePageToHeaders();
  EXPECT_FALSE(test::PathExists(env.Report() + "index.html"));
  EXPECT_EQ(GetIEHomePage(), ReportAddress());
  EXPECT_EQ(Stored(), "https://news.example/");
}

TEST_F(HomePage, AnEmptyListMakesTheStartPageThatSaysHowToFillItTheHomePage) {
  SetBrowserHome("https://news.example/");
  env.UseList("<Quorvelle_Feeds><Quorvelle_Categories>"
              "<Quorvelle_Category name=\"Empty\" description=\"\"/></Quorvelle_Categories></Quorvelle_Feeds>");
  env.store.SetHomePageToHeaders();
  EXPECT_EQ(GetIEHomePage(), ReportAddress());
  const std::string page = test::ReadFile(env.Report() + "index.html");
  EXPECT_NE(page.find("Your feed list is empty"), std::string::npos);
  EXPECT_NE(page.find(env.Install() + "starter-feeds.opml"), std::string::npos) << "the starter list is named";
}

} // namespace
} // namespace quorvelle
