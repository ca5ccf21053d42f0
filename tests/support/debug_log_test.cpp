#include "platform/errors.h"
#include "platform/registry/registry.h"
#include "support/debug_log.h"
#include "tests/helpers/test_environment.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <regex>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvelle {
namespace {
using test::IsolatedUser;
using test::ReadFile;

const std::string kStamp = R"(\[\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d\d\d\])";

// A fresh user with DebugMode set as given, the module started, and
// DEBUG.LOG removed before and after.
class DebugLogTest : public ::testing::Test {
protected:
  void Start(std::optional<bool> debugMode) {
    if (debugMode) {
      auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle", true);
      key->WriteBool("DebugMode", *debugMode);
    }
    std::remove(DebugM::LogFileName().c_str());
    DebugM::Initialization();
  }
  void TearDown() override {
    DebugM::Finalization();
    std::remove(DebugM::LogFileName().c_str());
  }
  static std::string Log() { return test::PathExists(DebugM::LogFileName()) ? ReadFile(DebugM::LogFileName()) : ""; }
  IsolatedUser user_;
};

TEST_F(DebugLogTest, MissingDebugModeIsWrittenFalseAndNothingIsLogged) {
  Start(std::nullopt);
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle", false);
  ASSERT_TRUE(key.has_value());
  ASSERT_TRUE(key->ValueExists("DebugMode"));
  EXPECT_EQ(key->ReadInteger("DebugMode"), 0);
  Guard("TRSSFeedOptions.Load", [] { throw EOleException("boom"); });
  LogMessage("plain", 0);
  EXPECT_FALSE(test::PathExists(DebugM::LogFileName()));
}

TEST_F(DebugLogTest, GuardLogsOneExceptionEntryByteExactAndSwallowsTheFailure) {
  Start(true);
  int reached = 0;
  Guard("TRSSFeedOptions.Load", [&] {
    reached = 1;
    throw EOleException("Could not load");
  });
  EXPECT_EQ(reached, 1);
  Guard("MakeValidFileName", [] { throw std::out_of_range("index out of range"); });
  const std::string log = Log();
  const std::regex entry("(" + kStamp + R"(,Info: ([^,]*),Msg: ([^\r]*),ExptAdrs: \$([0-9A-F]{8})\r\n))");
  std::vector<std::smatch> entries;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), entry); it != std::sregex_iterator(); ++it) {
    entries.push_back(*it);
  }
  ASSERT_EQ(entries.size(), 2U) << log;
  EXPECT_EQ(entries[0][2], "TRSSFeedOptions.Load");
  EXPECT_EQ(entries[0][3], "Could not load");
  EXPECT_NE(entries[0][4], "00000000");
  EXPECT_EQ(entries[1][2], "MakeValidFileName");
  EXPECT_EQ(entries[1][3], "index out of range");
  EXPECT_EQ(entries[0].length(0) + entries[1].length(0), log.size());
}

TEST_F(DebugLogTest, PlainEntriesCarryTheThreadIdAndAppend) {
  Start(true);
  LogException("no exception here");
  std::thread([] { LogMessage("from a thread", 0); }).join();
  LogMessage("dropped below the minimum level", -1);
  const std::string log = Log();
  const std::string tid = std::to_string(static_cast<long>(::syscall(SYS_gettid)));
  EXPECT_TRUE(std::regex_match(
      log, std::regex(kStamp + " " + tid + ": no exception here\r\n" + kStamp + R"( \d+: from a thread\r\n)")))
      << log;
}

TEST_F(DebugLogTest, HooksLogApplicationAndSystemErrors) {
  Start(true);
  try {
    throw EInOutError("disk");
  } catch (...) {
    ApplicationExceptionHandler("TfrmManageDlg");
  }
  EXPECT_NE(Log().find(",Info: Application Error on TfrmManageDlg E: EInOutError,Msg: disk,ExptAdrs: $"),
            std::string::npos)
      << Log();

  // An exception that nothing catches reaches the last-chance hook.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::thread([] { throw EAbort("nobody catches this"); }).join();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_NE(Log().find(",Info: System Error on EAbort,Msg: nobody catches this,ExptAdrs: $"), std::string::npos)
      << Log();
}

} // namespace
} // namespace quorvelle
