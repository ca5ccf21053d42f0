#include "support/report_utils.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace quorvelle {
namespace {
using namespace std::chrono_literals;
using test::PathExists;

TEST(FireURL, TheAddressReachesTheOpenerAsOneVerbatimArgument) {
  test::TempDir dir;
  const std::string opener = dir / "opener";
  test::WriteFile(opener, "#!/bin/sh\n{ echo \"$#\"; printf '%s' \"$1\"; } > \"$0.tmp\"; mv \"$0.tmp\" \"$0.out\"\n");
  ASSERT_EQ(::chmod(opener.c_str(), 0755), 0);
  test::ScopedEnv fake("QUORVELLE_URL_OPENER", opener);
  const std::string marker = dir / "injected";
  const std::string url = "https://example.com/a b?x=1;touch " + marker + ";$(touch " + marker + ")&y=`touch " +
                          marker + "`|| rm -rf " + dir.Path();

  EXPECT_TRUE(FireURL(url));
  for (int i = 0; i < 500 && !PathExists(opener + ".out"); ++i) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(PathExists(opener + ".out"));
  EXPECT_EQ(test::ReadFile(opener + ".out"), "1\n" + url);
  EXPECT_FALSE(PathExists(marker));
}

TEST(FireURL, TrueOnceAskedEvenWhenNoOpenerAnswers) {
  test::TempDir dir;
  test::ScopedEnv fake("QUORVELLE_URL_OPENER", dir / "no-opener-here");
  EXPECT_TRUE(FireURL("http://example.com/"));
}

} // namespace
} // namespace quorvelle
