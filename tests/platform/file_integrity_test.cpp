// Writes keep links to a synced folder, reads of the settings need no write
// access, and every folder derives from one home folder.
#include "platform/files/file_io.h"
#include "platform/registry/registry.h"
#include "platform/shell/known_folders.h"
#include "tests/helpers/test_environment.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvelle::platform {
namespace {
namespace fs = std::filesystem;
using test::IsolatedUser;
using test::ReadFile;
using test::WriteFile;

TEST(FileIntegrity, SavingThroughALinkReplacesItsTargetAndKeepsTheLink) {
  IsolatedUser user;
  const std::string synced = user.Home() + "/synced/";
  fs::create_directories(synced);
  const std::string hive = RegistryFolder() + "/HKEY_CURRENT_USER.reg";
  WriteFile(synced + "reg", "");
  fs::create_directories(RegistryFolder());
  fs::create_symlink(synced + "reg", hive);
  // A relative link to a relative link.
  WriteFile(synced + "Feeds.xml", "old");
  fs::create_symlink("synced/../synced/Feeds.xml", user.Home() + "/Feeds-link.xml");
  fs::create_symlink("Feeds-link.xml", user.Home() + "/Feeds.xml");

  WriteFileAtomically(user.Home() + "/Feeds.xml", "new");
  RegistryKey::Open(HKEY_CURRENT_USER, "Software\\T", true)->WriteString("v", "kept");
  for (const std::string &link : {user.Home() + "/Feeds.xml", user.Home() + "/Feeds-link.xml", hive}) {
    EXPECT_TRUE(fs::is_symlink(link)) << link;
  }
  EXPECT_EQ(ReadFile(synced + "Feeds.xml"), "new");
  EXPECT_NE(ReadFile(synced + "reg").find("kept"), std::string::npos);
}

TEST(FileIntegrity, SettingsReadWithoutWriteAccessAndHomeComesFromOnePlace) {
  // As root the check reads as nobody, who must reach the user's folder.
  const std::optional<std::string> base =
      ::getuid() == 0 ? test::FolderOtherUsersReach() : std::optional<std::string>(fs::temp_directory_path());
  if (!base) GTEST_SKIP() << test::kNoFolderOtherUsersReach;
  IsolatedUser user(*base);
  RegistryKey::Open(HKEY_CURRENT_USER, "Software\\T", true)->WriteString("v", "readable");
  // A user who may only read the store (a root test run reads as nobody).
  for (const auto &e : fs::recursive_directory_iterator(user.Home())) {
    fs::permissions(e.path(), e.is_directory() ? fs::perms(0555) : fs::perms(0444));
  }
  fs::permissions(user.Home(), fs::perms(0555));
  const pid_t child = ::fork();
  if (child == 0) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    bool ok = false;
    try {
      ok = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\T", false)->ReadString("v") == "readable";
    } catch (...) {
    }
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  const test::ScopedEnv noHome("HOME", std::nullopt);
  const test::ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
  const test::ScopedEnv noData("XDG_DATA_HOME", std::nullopt);
  const test::ScopedEnv noRegistry("QUORVELLE_REGISTRY", std::nullopt);
  const std::string home = ::getpwuid(::getuid())->pw_dir;
  EXPECT_EQ(UserHomeFolder(), home);
  EXPECT_EQ(RegistryFolder(), home + "/.config/Quorvelle/registry");
  EXPECT_EQ(ApplicationDataFolder(), home + "/.local/share/");
  EXPECT_EQ(DefaultInstallPrefix(), home + "/.local/opt/");
}

} // namespace
} // namespace quorvelle::platform
