// Exchange with a real peer: our OPML export goes into newsboat, newsboat's
// export comes back in, and every address must have survived the trip.

#include "tests/exchange/exchange_fixture.h"
#include "tests/helpers/child_process.h"

#include <cstdlib>
#include <filesystem>
#include <set>

namespace quorvelle::test {
namespace {

// Runs the program with HOME and LANG set, standard output into outFile;
// the exit status, or -1 when it could not be started.
int RunProgram(const std::string &program, const std::vector<std::string> &args, const std::string &home,
               const std::string &outFile) {
  ChildOptions options;
  options.environment = {"HOME=" + home, "LANG=C.UTF-8", "LC_ALL=C.UTF-8", "PATH=/usr/bin:/bin"};
  options.stdoutFile = outFile;
  return RunChild(program, args, options);
}

TEST_F(ExchangeTest, NewsboatImportsOurExportAndItsExportComesBackWhole) {
  const std::optional<std::string> newsboat = FindProgram("newsboat");
  if (!newsboat) GTEST_SKIP() << "newsboat is not installed: the peer exchange check was not run";

  const std::vector<std::string> addresses = {"http://general.example/feed.xml", "https://news.example/rss?a=1&b=2",
                                              "http://news.example/caf\xC3\xA9.rss", "https://tech.example/atom",
                                              "http://\xE6\x96\xB0\xE9\x97\xBB.example/feed"};
  store->AddNewRSSFeed(addresses[0], "Caf\xC3\xA9 g\xC3\xA9n\xC3\xA9ral", "");
  store->AddNewRSSFeed(addresses[1], "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8", "News & Views");
  store->AddNewRSSFeed(addresses[2], "\xE6\x96\xB0\xE9\x97\xBB", "News & Views");
  store->AddNewRSSFeed(addresses[3], "Tech <1>", "Tech");
  store->AddNewRSSFeed(addresses[4], "", "Tech");

  std::string opml;
  store->GetFeedsAsOPML(true, "", opml);
  ASSERT_FALSE(opml.empty());
  const std::string home = user.Home() + "/peer";
  std::filesystem::create_directories(home);
  WriteFile(home + "/ours.opml", opml);
  const std::vector<std::string> files = {"-u", home + "/urls", "-C", home + "/config", "-c", home + "/cache.db"};
  WriteFile(home + "/urls", "");
  WriteFile(home + "/config", "");

  std::vector<std::string> importArgs = files;
  importArgs.insert(importArgs.end(), {"-i", home + "/ours.opml"});
  ASSERT_EQ(RunProgram(*newsboat, importArgs, home, home + "/import.log"), 0) << ReadFile(home + "/import.log");
  std::vector<std::string> exportArgs = files;
  exportArgs.push_back("-e");
  ASSERT_EQ(RunProgram(*newsboat, exportArgs, home, home + "/theirs.opml"), 0);

  std::string title;
  store->GetTitleFromOPMLFeedsFile(home + "/theirs.opml", title);
  EXPECT_NE(title.find("newsboat"), std::string::npos) << "not the peer's own export: " << title;
  // Addresses are unique in the list: the originals go before the copies come back.
  for (const std::string &address : addresses)
    store->DeleteFeed(address, "");
  ASSERT_TRUE(store->AddCategory("From newsboat"));
  ASSERT_TRUE(store->GetFeedsAsOPML("From newsboat", home + "/theirs.opml"));
  std::set<std::string> back;
  for (const FeedRow &row : Feeds()) {
    if (row.category == "From newsboat") back.insert(row.src);
  }
  EXPECT_EQ(back, std::set<std::string>(addresses.begin(), addresses.end())) << ReadFile(home + "/theirs.opml");
}

} // namespace
} // namespace quorvelle::test
