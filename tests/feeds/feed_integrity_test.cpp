// The feed list survives hostile text, older damaged files and other
// processes' changes.
#include "feeds/feed_store.h"
#include "support/debug_log.h"
#include "tests/helpers/test_environment.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace quorvelle {
namespace {
using test::IsolatedUser;
using test::ReadFile;
using test::WriteFile;

std::vector<std::string> Urls(const std::string &category) {
  TRSSFeedOptions fresh;
  fresh.Load();
  std::vector<std::string> urls, titles;
  fresh.GetFeedsURLSForCategory(category, urls, titles);
  return urls;
}

std::size_t AsideCopies(const IsolatedUser &user) {
  std::size_t n = 0;
  for (const auto &e : std::filesystem::directory_iterator(user.DataFolder())) {
    n += e.path().filename().string().starts_with("Feeds.xml.unreadable-") ? 1 : 0;
  }
  return n;
}

TEST(FeedIntegrity, ControlCharactersNeverMakeTheListUnreadable) {
  IsolatedUser user;
  {
    TRSSFeedOptions store;
    store.Load();
    ASSERT_TRUE(store.AddNewRSSFeed("http://a.example/", "Line\vbreak", ""));
    ASSERT_TRUE(store.AddNewRSSFeed("http://b.example/", "t\x01\x1f", "Cat\x0c"));
    store.Save();
  }
  EXPECT_EQ(Urls(""), std::vector<std::string>{"http://a.example/"});
  EXPECT_EQ(Urls("Cat "), std::vector<std::string>{"http://b.example/"});
  EXPECT_EQ(AsideCopies(user), 0U);

  // A list an earlier build wrote with such bytes loads with blanks in their
  // place; the original is kept aside untouched.
  const std::string older = "<?xml version=\"1.0\"?><Quorvelle_Feeds><Quorvelle_Categories>"
                            "<Quorvelle_Feed src=\"http://old.example/\" enabled=\"true\" title=\"x\vy\x02\"/>"
                            "</Quorvelle_Categories></Quorvelle_Feeds>";
  WriteFile(user.FeedsFile(), older);
  EXPECT_EQ(Urls(""), std::vector<std::string>{"http://old.example/"});
  ASSERT_EQ(AsideCopies(user), 1U);
  for (const auto &e : std::filesystem::directory_iterator(user.DataFolder())) {
    if (e.path().filename().string().starts_with("Feeds.xml.unreadable-")) {
      EXPECT_EQ(ReadFile(e.path()), older);
    }
  }
  EXPECT_NE(ReadFile(user.FeedsFile()).find("title=\"x y \""), std::string::npos);
}

TEST(FeedIntegrity, ModuleEndWritesOnlyThisProcesssOwnChanges) {
  IsolatedUser user;
  for (const bool idleChanges : {false, true}) {
    {
      QuorvelleModule idle; // the window left open
      {
        TRSSFeedOptions other; // another window adds a feed and closes
        other.Load();
        other.AddNewRSSFeed("http://other.example/" + std::to_string(idleChanges), "t", "");
        other.Save();
      }
      if (idleChanges) {
        FeedOptions->Load();
        FeedOptions->AddNewRSSFeed("http://idle.example/", "t", "");
      }
    }
    const std::vector<std::string> urls = Urls("");
    EXPECT_NE(std::find(urls.begin(), urls.end(), "http://other.example/" + std::to_string(idleChanges)), urls.end());
    EXPECT_EQ(std::find(urls.begin(), urls.end(), "http://idle.example/") != urls.end(), idleChanges);
  }
}

// A window's change saved at module end goes over the list as it is then:
// what another program added meanwhile stays (in a category the window
// removed, too), and what the window removed stays removed.
TEST(FeedIntegrity, ModuleEndKeepsWhatAnotherProgramAddedMeanwhile) {
  IsolatedUser user;
  WriteFile(user.FeedsFile(), "<?xml version=\"1.0\"?><Quorvelle_Feeds><Quorvelle_Categories>"
                              "<Quorvelle_Feed src=\"http://a.example/\" enabled=\"true\" title=\"a\"/>"
                              "<Quorvelle_Category name=\"Old\" description=\"\">"
                              "<Quorvelle_Feed src=\"http://o.example/\" enabled=\"true\" title=\"o\"/>"
                              "</Quorvelle_Category><Quorvelle_Category name=\"Gone\" description=\"\"/>"
                              "</Quorvelle_Categories></Quorvelle_Feeds>");
  {
    QuorvelleModule window;
    FeedOptions->AddNewRSSFeed("http://mine.example/", "t", "");
    FeedOptions->DeleteFeed("http://a.example/", "");
    FeedOptions->DeleteCategory("Old");
    FeedOptions->DeleteCategory("Gone");
    TRSSFeedOptions other;
    other.Load();
    other.AddNewRSSFeed("http://other.example/", "t", "");
    other.AddNewRSSFeed("http://new.example/", "t", "New");
    other.AddNewRSSFeed("http://old.example/", "t", "Old");
    other.Save();
  }
  EXPECT_EQ(Urls(""), (std::vector<std::string>{"http://mine.example/", "http://other.example/"}));
  EXPECT_EQ(Urls("New"), std::vector<std::string>{"http://new.example/"});
  EXPECT_EQ(Urls("Old"), std::vector<std::string>{"http://old.example/"});
  TRSSFeedOptions reread;
  reread.Load();
  EXPECT_EQ(reread.GetListOfCategories(), "New\r\nOld\r\n");
}

} // namespace
} // namespace quorvelle
