#include "platform/shell/launcher.h"
#include "tests/helpers/test_environment.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvelle::platform {
namespace {
using namespace std::chrono_literals;
using test::PathExists;
using test::TempDir;

// Waits up to five seconds for a file that a detached program writes.
std::string WaitForFile(const std::string &path) {
  for (int i = 0; i < 500 && !PathExists(path); ++i) {
    std::this_thread::sleep_for(10ms);
  }
  return PathExists(path) ? test::ReadFile(path) : std::string("<never written>");
}

void WriteScript(const std::string &path, const std::string &body) {
  test::WriteFile(path, "#!/bin/sh\n" + body);
  ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
}

TEST(LaunchDetached, ArgumentsArriveVerbatimInANewSessionWithoutAShell) {
  TempDir dir;
  const std::string script = dir / "opener";
  // Records the argument count, each argument on its own line, its session,
  // its parent and where its output goes; the record appears atomically.
  WriteScript(script, "out=\"$0.out\"; stdout=$(readlink /proc/$$/fd/1)\n"
                      "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n"
                      "  set -- $(cat /proc/$$/stat); echo \"sid=$6\"; echo \"ppid=$4\"\n"
                      "  echo \"stdout=$stdout\"; } > \"$out.tmp\" 2>/dev/null\n"
                      "mv \"$out.tmp\" \"$out\"\n");
  const std::string marker = dir / "pwned";
  const std::string nasty = "http://x/?a=1; rm -rf " + dir.Path() + " $(touch " + marker + ") `touch " + marker +
                            "` | tee " + marker + " & 'q\" > " + marker;
  ASSERT_TRUE(LaunchDetached({script, nasty, "second arg"}));
  // The launcher left no child of ours behind (no zombie).
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);

  const std::string record = WaitForFile(script + ".out");
  EXPECT_EQ(record.substr(0, record.find("sid=")), "2\n" + nasty + "\nsecond arg\n");
  EXPECT_EQ(record.find("sid=" + std::to_string(::getsid(0)) + "\n"), std::string::npos) << record;
  EXPECT_EQ(record.find("ppid=" + std::to_string(::getpid()) + "\n"), std::string::npos) << record;
  EXPECT_NE(record.find("stdout=/dev/null\n"), std::string::npos) << record;
  EXPECT_FALSE(PathExists(marker));
  EXPECT_TRUE(PathExists(dir.Path()));
}

TEST(LaunchDetached, TheProgramInheritsNoDescriptorBeyondItsStandardStreams) {
  TempDir dir;
  const int inheritable = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(inheritable, 3);
  ASSERT_LT(inheritable, 10); // the shell keeps its own descriptors from 10 up
  const std::string script = dir / "opener";
  WriteScript(script, "if [ -e /proc/$$/fd/$1 ]; then r=leaked; else r=closed; fi\n"
                      "echo $r > \"$0.tmp\"; mv \"$0.tmp\" \"$0.out\"\n");
  const bool started = LaunchDetached({script, std::to_string(inheritable)});
  ::close(inheritable);
  ASSERT_TRUE(started);
  EXPECT_EQ(WaitForFile(script + ".out"), "closed\n");
}

TEST(LaunchDetached, AProgramThatCannotRunIsReportedNotStarted) {
  TempDir dir;
  test::WriteFile(dir / "not-executable", "#!/bin/sh\n");
  EXPECT_FALSE(LaunchDetached({dir / "missing"}));
  EXPECT_FALSE(LaunchDetached({dir / "not-executable"}));
  EXPECT_FALSE(LaunchDetached({"quorvelle-no-such-program-anywhere"}));
  EXPECT_FALSE(LaunchDetached({}));
  // A file that passes the checks but is no valid program fails in execve.
  test::WriteFile(dir / "garbage", "\x7f"
                                   "ELFgarbage");
  ASSERT_EQ(::chmod((dir / "garbage").c_str(), 0755), 0);
  EXPECT_FALSE(LaunchDetached({dir / "garbage"}));
}

TEST(LaunchDetached, ProgramsAreFoundAlongThePath) {
  TempDir dir;
  WriteScript(dir / "quorvelle-fake-tool", "touch \"$1\"\n");
  test::ScopedEnv path("PATH", "/nonexistent:" + dir.Path() + ":/usr/bin:/bin");
  ASSERT_TRUE(LaunchDetached({"quorvelle-fake-tool", dir / "touched"}));
  EXPECT_EQ(WaitForFile(dir / "touched"), "");
}

TEST(UrlOpenerProgram, EnvironmentOverridesXdgOpen) {
  {
    test::ScopedEnv unset("QUORVELLE_URL_OPENER", std::nullopt);
    EXPECT_EQ(UrlOpenerProgram(), "xdg-open");
  }
  {
    test::ScopedEnv empty("QUORVELLE_URL_OPENER", "");
    EXPECT_EQ(UrlOpenerProgram(), "xdg-open");
  }
  test::ScopedEnv fake("QUORVELLE_URL_OPENER", "/opt/fake-opener");
  EXPECT_EQ(UrlOpenerProgram(), "/opt/fake-opener");
}

} // namespace
} // namespace quorvelle::platform
