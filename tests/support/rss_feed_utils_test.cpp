#include "platform/inet/inet_client.h"
#include "platform/registry/registry.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"
#include "tests/helpers/test_environment.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvelle {
namespace {
using test::PathExists;
using test::TempDir;
using test::WriteFile;

constexpr const char *kIEMainKey = "Software\\Microsoft\\Internet Explorer\\Main";

// A fresh user with the diagnostic log switched on, so tests can see which
// failures were logged under which name.
class LoggedUtilsTest : public ::testing::Test {
protected:
  void SetUp() override {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle", true);
    key->WriteBool("DebugMode", true);
    std::remove(DebugM::LogFileName().c_str());
    DebugM::Initialization();
  }
  void TearDown() override {
    DebugM::Finalization();
    std::remove(DebugM::LogFileName().c_str());
  }
  static std::string Log() {
    return PathExists(DebugM::LogFileName()) ? test::ReadFile(DebugM::LogFileName()) : std::string();
  }
  test::IsolatedUser user_;
};

// --- Text cleaners ---------------------------------------------------------

TEST(MakeValidFileName, ReplacesEveryReservedCharacterAndTidiesBlanks) {
  EXPECT_EQ(MakeValidFileName("News & Views"), "News and Views");
  EXPECT_EQ(MakeValidFileName("R&D"), "RandD");
  EXPECT_EQ(MakeValidFileName("a/b: c"), "a b c");
  EXPECT_EQ(MakeValidFileName("  A  &  B  "), "A and B");
  EXPECT_EQ(MakeValidFileName("x:\\y"), "x y");
  EXPECT_EQ(MakeValidFileName("???"), "");
  EXPECT_EQ(MakeValidFileName("a*b?c\"d<e>f|g[h]i$j%k"), "a b c d e f g h i j k");
  // "&" becomes "and" without rescanning; full stop, '#' and letters beyond
  // ASCII stay.
  EXPECT_EQ(MakeValidFileName("&&"), "andand");
  EXPECT_EQ(MakeValidFileName("v1.2 #3 Caf\xC3\xA9"), "v1.2 #3 Caf\xC3\xA9");
  // Tabs are not blanks: kept inside, trimmed at the ends (code <= 32).
  EXPECT_EQ(MakeValidFileName("\ta\tb\t"), "a\tb");
}

TEST(DelSpace1, ReducesRunsOfBlanksOnlyAndKeepsSingleEdgeBlanks) {
  EXPECT_EQ(DelSpace1(" a   b "), " a b ");
  EXPECT_EQ(DelSpace1("    "), " ");
  EXPECT_EQ(DelSpace1(""), "");
  EXPECT_EQ(DelSpace1("a\t\t b"), "a\t\t b");
}

TEST(DeleteControlCharsFromString, LineBreakPairsBecomeOneBlankEachInTheGivenOrder) {
  EXPECT_EQ(DeleteControlCharsFromString("a\tb\x01"
                                         "c"),
            "a\tb\x01"
            "c");
  EXPECT_EQ(DeleteControlCharsFromString("a\r\nb"), "a b");
  EXPECT_EQ(DeleteControlCharsFromString("a\n\rb"), "a b");
  EXPECT_EQ(DeleteControlCharsFromString("a\nb\rc"), "a b c");
  // The middle LF CR pair is matched first.
  EXPECT_EQ(DeleteControlCharsFromString("\r\n\r\n"), "   ");
  const std::string withNul("a\0\nb", 4);
  EXPECT_EQ(DeleteControlCharsFromString(withNul), std::string("a\0 b", 4));
}

TEST(IsRSSLink, FeedExtensionsOrPlainHttpSchemeIgnoringCase) {
  EXPECT_TRUE(IsRSSLink("HTTP://EXAMPLE.COM/news"));
  EXPECT_TRUE(IsRSSLink("/home/me/feeds/World.RDF"));
  EXPECT_TRUE(IsRSSLink("  feed.xml  "));
  EXPECT_TRUE(IsRSSLink("ftp://example.com/a.rss"));
  EXPECT_TRUE(IsRSSLink("https://example.com/feed.xml"));
  EXPECT_FALSE(IsRSSLink("https://example.com/feed"));
  EXPECT_FALSE(IsRSSLink(""));
  EXPECT_FALSE(IsRSSLink(" \t "));
  EXPECT_FALSE(IsRSSLink("ftp://example.com/notes.txt"));
  // The query belongs to the extension; a colon after the full stop ends it.
  EXPECT_FALSE(IsRSSLink("https://example.com/a.rss?x=1"));
  EXPECT_FALSE(IsRSSLink("https://example.com/a.rss:8080"));
  EXPECT_FALSE(IsRSSLink("feed.xmlx"));
}

TEST(FindUnusedFileName, FirstCandidateThatIsNotAnExistingFile) {
  TempDir dir;
  const std::string base = dir / "opml";
  EXPECT_EQ(FindUnusedFileName(base, "opml", "-"), base + ".opml");
  // A folder of that name does not take the candidate.
  ASSERT_EQ(::mkdir((base + ".opml").c_str(), 0755), 0);
  EXPECT_EQ(FindUnusedFileName(base, "opml", "-"), base + ".opml");
  ASSERT_EQ(::rmdir((base + ".opml").c_str()), 0);
  WriteFile(base + ".opml", "x");
  WriteFile(base + "-1.opml", "x");
  EXPECT_EQ(FindUnusedFileName(base, "opml", "-"), base + "-2.opml");
  EXPECT_EQ(FindUnusedFileName(base, "opml", "_"), base + "_1.opml");
}

// --- Folder listing and deletion -------------------------------------------

void MakeFolder(const std::string &path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

// root/a.txt, root/.hidden, root/sub/b.xml, root/sub/deep/c.txt, root/empty/
void MakeTree(const std::string &root) {
  MakeFolder(root);
  WriteFile(root + "/a.txt", "a");
  WriteFile(root + "/.hidden", "h");
  MakeFolder(root + "/sub");
  WriteFile(root + "/sub/b.xml", "b");
  MakeFolder(root + "/sub/deep");
  WriteFile(root + "/sub/deep/c.txt", "c");
  MakeFolder(root + "/empty");
}

std::vector<std::string> Sorted(std::vector<std::string> list) {
  std::sort(list.begin(), list.end());
  return list;
}

TEST(MyAdvBuildFileList, ListsFilesThenFoldersOfTheWholeTree) {
  TempDir dir;
  const std::string root = dir / "tree";
  MakeTree(root);
  std::vector<std::string> list;
  ASSERT_TRUE(MyAdvBuildFileList(root + "/*.*", faAnyFile, list, true, true, false));
  EXPECT_EQ(Sorted(list), Sorted({root + "/a.txt", root + "/.hidden", root + "/sub/b.xml", root + "/sub/deep/c.txt",
                                  root + "/sub/", root + "/empty/", root + "/sub/deep/"}));
  // Files come before the folders, and folders are breadth-first.
  EXPECT_EQ(list.back(), root + "/sub/deep/");

  list.assign({"kept"});
  ASSERT_TRUE(MyAdvBuildFileList(root + "/*.txt", faAnyFile, list, true, false, false));
  EXPECT_EQ(Sorted(list), Sorted({"kept", root + "/a.txt", root + "/sub/deep/c.txt"}));

  list.assign({"dropped"});
  ASSERT_TRUE(MyAdvBuildFileList(root + "/*.*", faAnyFile, list, true, true, true));
  EXPECT_EQ(Sorted(list), Sorted({root + "/sub/", root + "/empty/", root + "/sub/deep/"}));

  list.clear();
  ASSERT_TRUE(MyAdvBuildFileList(root + "/*", faAnyFile, list, false, false, false));
  EXPECT_EQ(Sorted(list), Sorted({root + "/a.txt", root + "/.hidden"}));
  // Without the hidden bit, names beginning with '.' are left out.
  list.clear();
  ASSERT_TRUE(MyAdvBuildFileList(root + "/*", faArchive, list, false, false, false));
  EXPECT_EQ(list, std::vector<std::string>{root + "/a.txt"});
}

TEST(IsDirectory, OnlyARealFolderNeverALinkToOne) {
  TempDir dir;
  MakeFolder(dir / "d");
  WriteFile(dir / "f", "x");
  ASSERT_EQ(::symlink((dir / "d").c_str(), (dir / "link").c_str()), 0);
  EXPECT_TRUE(IsDirectory(dir / "d"));
  EXPECT_TRUE(IsDirectory(dir / "d/"));
  EXPECT_FALSE(IsDirectory(dir / "f"));
  EXPECT_FALSE(IsDirectory(dir / "link/"));
  EXPECT_FALSE(IsDirectory(dir / "missing"));
}

TEST(DeleteDir, RemovesTheWholeTreeAndAMissingFolderIsAlreadyGone) {
  TempDir dir;
  const std::string root = dir / "headlines";
  MakeTree(root);
  EXPECT_TRUE(DeleteDir(root + "/"));
  EXPECT_FALSE(PathExists(root));
  EXPECT_TRUE(PathExists(dir.Path()));

  const std::string missing = dir / "never";
  EXPECT_TRUE(DeleteDir(missing + "/"));
  EXPECT_FALSE(PathExists(missing));
}

TEST(DeleteDir, LinksInsideTheTreeAreRemovedAsLinksAndTheirTargetsStay) {
  TempDir dir;
  const std::string outside = dir / "outside";
  MakeFolder(outside);
  WriteFile(outside + "/precious.txt", "keep me");
  MakeFolder(outside + "/inner");
  WriteFile(outside + "/inner/also.txt", "keep me too");
  const std::string root = dir / "headlines";
  MakeTree(root);
  ASSERT_EQ(::symlink(outside.c_str(), (root + "/linkdir").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/precious.txt").c_str(), (root + "/sub/linkfile").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (root + "/dangling").c_str()), 0);

  EXPECT_TRUE(DeleteDir(root + "/"));
  EXPECT_FALSE(PathExists(root));
  EXPECT_EQ(test::ReadFile(outside + "/precious.txt"), "keep me");
  EXPECT_EQ(test::ReadFile(outside + "/inner/also.txt"), "keep me too");
}

TEST(DeleteDir, AFolderThatIsItselfALinkLosesOnlyTheLink) {
  TempDir dir;
  const std::string outside = dir / "outside";
  MakeFolder(outside);
  WriteFile(outside + "/precious.txt", "keep me");
  const std::string root = dir / "headlines";
  ASSERT_EQ(::symlink(outside.c_str(), root.c_str()), 0);
  EXPECT_TRUE(DeleteDir(root + "/"));
  struct stat st {};
  EXPECT_NE(::lstat(root.c_str(), &st), 0);
  EXPECT_EQ(test::ReadFile(outside + "/precious.txt"), "keep me");
}

// Runs body as an unprivileged user when the tests run as root (whom
// permissions do not stop) and returns its result.
int RunUnprivileged(const std::function<int()> &body) {
  if (::geteuid() != 0) return body();
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST(DeleteDir, AReadOnlySubfolderIsSkippedAndTheRestIsRemoved) {
  // As root the body runs as nobody, who must reach the folder.
  const std::optional<std::string> base = ::geteuid() == 0
                                              ? test::FolderOtherUsersReach()
                                              : std::optional<std::string>(std::filesystem::temp_directory_path());
  if (!base) GTEST_SKIP() << test::kNoFolderOtherUsersReach;
  TempDir dir(*base);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  const std::string root = dir / "headlines";
  const int outcome = RunUnprivileged([&] {
    MakeTree(root);
    if (::mkdir((root + "/locked").c_str(), 0755) != 0) return 97;
    WriteFile(root + "/locked/stuck.txt", "s");
    if (::chmod((root + "/locked").c_str(), 0555) != 0) return 96;
    return DeleteDir(root + "/") ? 1 : 0;
  });
  ASSERT_EQ(outcome, 0) << "DeleteDir must report false while the folder remains";
  EXPECT_TRUE(PathExists(root));
  EXPECT_TRUE(PathExists(root + "/locked/stuck.txt"));
  EXPECT_FALSE(PathExists(root + "/a.txt"));
  EXPECT_FALSE(PathExists(root + "/.hidden"));
  EXPECT_FALSE(PathExists(root + "/sub"));
  EXPECT_FALSE(PathExists(root + "/empty"));
}

TEST_F(LoggedUtilsTest, DeleteDirRefusesRelativeAndEmptyFoldersAndLogsIt) {
  TempDir dir;
  const std::string root = dir / "headlines";
  MakeTree(root);
  ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
  EXPECT_FALSE(DeleteDir("headlines/"));
  EXPECT_FALSE(DeleteDir(""));
  EXPECT_FALSE(DeleteDir("/"));
  ASSERT_EQ(::chdir("/"), 0);
  EXPECT_TRUE(PathExists(root + "/sub/deep/c.txt"));
  const std::string log = Log();
  std::size_t entries = 0;
  for (std::size_t pos = log.find(",Info:  DeleteDir,"); pos != std::string::npos;
       pos = log.find(",Info:  DeleteDir,", pos + 1)) {
    ++entries;
  }
  EXPECT_EQ(entries, 3U) << log;
}

// --- Start page --------------------------------------------------------------

TEST_F(LoggedUtilsTest, StartPageIsNeverWrittenWhenTheBrowserKeyIsMissing) {
  EXPECT_FALSE(SetIEHomePage("file:///x/headlines/index.html"));
  EXPECT_FALSE(platform::RegistryKeyExists(platform::HKEY_CURRENT_USER, kIEMainKey));
  EXPECT_EQ(GetIEHomePage(), "");
  EXPECT_EQ(Log(), "");
}

TEST_F(LoggedUtilsTest, StartPageRoundTripsUnderTheBrowserKey) {
  ASSERT_TRUE(platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kIEMainKey, true).has_value());
  EXPECT_EQ(GetIEHomePage(), "");
  const std::string page = "file:///home/u/Caf\xC3\xA9/headlines/index.html";
  EXPECT_TRUE(SetIEHomePage(page));
  EXPECT_EQ(GetIEHomePage(), page);
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kIEMainKey, false);
  EXPECT_EQ(key->ReadString("Start Page"), page);
  EXPECT_EQ(Log(), "");
}

// --- Downloads through the installed client ----------------------------------

class CannedInet : public platform::InetClient {
public:
  std::string GetInetFileToString(const std::string &url) override {
    if (url == "boom") throw std::runtime_error("network layer failed");
    return "body of " + url;
  }
};

TEST_F(LoggedUtilsTest, DownloadGoesThroughTheInstalledClientAndNeverThrows) {
  CannedInet canned;
  platform::InetClient *previous = platform::InstallInet(&canned);
  EXPECT_EQ(GetInetFileToString("http://a/"), "body of http://a/");
  EXPECT_EQ(GetInetFileToString("boom"), "");
  EXPECT_EQ(platform::InstallInet(previous), &canned);
  EXPECT_NE(Log().find(",Info: GetInetFileToString,Msg: network layer failed"), std::string::npos) << Log();
}

TEST_F(LoggedUtilsTest, AnUnreachableHostIsAnEmptyDownloadWithoutALogLine) {
  EXPECT_EQ(GetInetFileToString("http://127.0.0.1:1/feed.xml"), "");
  EXPECT_EQ(GetInetFileToString("notascheme://x/feed.xml"), "");
  EXPECT_EQ(Log(), "");
}

} // namespace
} // namespace quorvelle
