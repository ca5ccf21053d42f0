#include "platform/errors.h"
#include "platform/registry/registry.h"
#include "tests/helpers/test_environment.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvelle::platform {
namespace {
using test::IsolatedUser;
using test::ReadFile;
using test::WriteFile;

TEST(RegistryStore, KeysAndValuesBehaveLikeTheRegistry) {
  IsolatedUser user;
  EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle", false).has_value());
  auto key = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle", true);
  ASSERT_TRUE(key.has_value());
  // Parents exist once a child was created; names ignore letter case.
  EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, "software\\TOLVANE"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "Software\\Tolvane"));

  key->WriteString("FolderToStore", "/home/u/data/\"quoted\"\\back\nline");
  key->WriteInteger("Count", -5);
  key->WriteBool("DebugMode", true);
  key->WriteString("", "the default");
  EXPECT_TRUE(key->ValueExists("folderTOstore"));
  EXPECT_EQ(key->ReadString("FolderToStore"), "/home/u/data/\"quoted\"\\back\nline");
  EXPECT_EQ(key->ReadInteger("count"), -5);
  EXPECT_TRUE(key->ReadBool("DebugMode"));
  EXPECT_EQ(key->ReadString(""), "the default");
  EXPECT_THROW((void)key->ReadString("Missing"), ERegistryException);
  EXPECT_THROW((void)key->ReadString("Count"), ERegistryException); // wrong type

  // Another handle (as another process would) sees the values.
  auto again = RegistryKey::Open(HKEY_CURRENT_USER, "SOFTWARE\\Tolvane\\Quorvelle", false);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->ReadInteger("Count"), -5);

  auto child = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle\\Sub\\Deeper", true);
  ASSERT_TRUE(child.has_value());
  child->WriteString("x", "y");
  EXPECT_EQ(key->SubKeyNames(), std::vector<std::string>{"Sub"});
  EXPECT_TRUE(RegistryDeleteKey(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle\\Sub\\Deeper"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, "Software\\Tolvane"));
}

TEST(RegistryStore, TwoProcessesWritingAtOnceKeepEveryValue) {
  IsolatedUser user;
  ASSERT_TRUE(RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Race", true).has_value());
  constexpr int kWriters = 4;
  constexpr int kValuesEach = 40;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto key = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Race", false);
      for (int i = 0; i < kValuesEach; ++i) {
        key->WriteInteger("w" + std::to_string(w) + "_" + std::to_string(i), i);
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto key = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Race", false);
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->ValueNames().size(), static_cast<std::size_t>(kWriters * kValuesEach));
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValuesEach; ++i) {
      EXPECT_EQ(key->ReadInteger("w" + std::to_string(w) + "_" + std::to_string(i)), i);
    }
  }
}

TEST(RegistryStore, KilledWriterLeavesOldOrNewContentNeverATornFile) {
  IsolatedUser user;
  auto key = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Crash", true);
  ASSERT_TRUE(key.has_value());
  key->WriteString("Stable", "kept");
  const std::string big(20000, 'x');
  for (int round = 0; round < 8; ++round) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto k = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Crash", false);
      for (int i = 0;; ++i) {
        k->WriteString("Big", big + std::to_string(i));
      }
    }
    ::usleep(static_cast<useconds_t>(3000 + round * 1500));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const std::string text = ReadFile(user.RegistryDir() + "/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(key->ReadString("Stable"), "kept");
    if (key->ValueExists("Big")) {
      EXPECT_EQ(key->ReadString("Big").substr(0, big.size()), big);
    }
    EXPECT_EQ(text.find("[Software\\Crash]"), text.rfind("[Software\\Crash]"));
  }
}

TEST(RegistryStore, DamagedFileIsReadAroundAndKeptAsideBeforeRewrite) {
  IsolatedUser user;
  const std::string file = user.RegistryDir() + "/HKEY_CURRENT_USER.reg";
  const std::string damaged = "; hand edited\n"
                              "[Software\\Tolvane\\Quorvelle]\n"
                              "\"AppPath\"=\"/opt/q/\"\n"
                              "garbage line without form\n"
                              "\"Broken\"=\"unterminated\n"
                              "\"DebugMode\"=dword:00000001\n"
                              "\xff\xfe binary junk\n"
                              "[unterminated key\n"
                              "\"Orphan\"=\"value under no key\"\n";
  WriteFile(file, damaged);
  auto key = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle", false);
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->ReadString("AppPath"), "/opt/q/");
  EXPECT_TRUE(key->ReadBool("DebugMode"));
  EXPECT_FALSE(key->ValueExists("Broken"));

  key->WriteString("CurrentCategory", "News");
  std::vector<std::string> aside;
  for (const auto &entry : std::filesystem::directory_iterator(user.RegistryDir())) {
    if (entry.path().filename().string().starts_with("HKEY_CURRENT_USER.reg.damaged-")) {
      aside.push_back(entry.path().string());
    }
  }
  ASSERT_EQ(aside.size(), 1U);
  EXPECT_EQ(ReadFile(aside.front()), damaged);
  EXPECT_EQ(key->ReadString("AppPath"), "/opt/q/");
  EXPECT_EQ(key->ReadString("CurrentCategory"), "News");
  // The rewritten file is clean: a further write keeps no second copy.
  key->WriteString("CurrentCategory", "Other");
  std::size_t copies = 0;
  for (const auto &entry : std::filesystem::directory_iterator(user.RegistryDir())) {
    copies += entry.path().filename().string().find(".damaged-") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(copies, 1U);
}

} // namespace
} // namespace quorvelle::platform
