// Exchange with a real peer: our OPML export goes into newsboat, newsboat's
// export comes back in, and every address must have survived the trip.

#include "tests/exchange/exchange_fixture.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace quorvelle::test {
namespace {

std::optional<std::string> FindProgram(const std::string &name) {
  const char *path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

// Runs the program with HOME and LANG set, standard output into outFile;
// the exit status, or -1 when it could not be started.
int RunProgram(const std::string &program, const std::vector<std::string> &args, const std::string &home,
               const std::string &outFile) {
  std::vector<std::string> envStrings = {"HOME=" + home, "LANG=C.UTF-8", "LC_ALL=C.UTF-8", "PATH=/usr/bin:/bin"};
  std::vector<char *> env;
  for (std::string &e : envStrings)
    env.push_back(e.data());
  env.push_back(nullptr);
  std::vector<std::string> argStrings = {program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &a : argStrings)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
