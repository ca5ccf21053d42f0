#include "regexpr/reg_expr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvelle {
namespace {

std::vector<std::string> AllMatches(TRegExpr &re, const std::string &input, int group = 0) {
  std::vector<std::string> found;
  if (re.Exec(input)) {
    do {
      found.push_back(re.Match(group));
    } while (re.ExecNext());
  }
  return found;
}

TEST(TRegExpr, EscapedPunctuationMatchesItself) {
  TRegExpr re(R"(TYPE\s*\=\s*APPLICATION\/RSS\+XML)");
  EXPECT_TRUE(re.Exec("TYPE = APPLICATION/RSS+XML"));
  EXPECT_EQ(re.Match(0), "TYPE = APPLICATION/RSS+XML");
  EXPECT_FALSE(re.Exec("TYPE = APPLICATION/RSSXML"));
  EXPECT_FALSE(re.Exec("TYPE - APPLICATION/RSS+XML"));
  // A class with escaped members and the quote characters.
  re.SetExpression(R"([\s'"\=]+x)");
  EXPECT_TRUE(re.Exec("a= '\"x"));
  EXPECT_EQ(re.Match(0), "= '\"x");
}

TEST(TRegExpr, ModifiersChangeHowTheExpressionMatches) {
  TRegExpr re("a.+b");
  EXPECT_EQ(re.ModifierStr(), "rsg-i"); // defaults: i off, r s g on
  // s on: the dot takes line breaks; g on: as much as possible.
  ASSERT_TRUE(re.Exec("xa1\nb2b"));
  EXPECT_EQ(re.Match(0), "a1\nb2b");
  re.SetModifierS(false);
  EXPECT_FALSE(re.Exec("xa1\nb2b"));
  ASSERT_TRUE(re.Exec("a1b\nab"));
  EXPECT_EQ(re.Match(0), "a1b");
  // g off: every quantifier is lazy.
  re.SetModifierStr("s-g");
  ASSERT_TRUE(re.Exec("a1b2b"));
  EXPECT_EQ(re.Match(0), "a1b");
  // An explicit '?' turns a lazy quantifier greedy again, as the engine does.
  re.SetExpression("a.+?b");
  ASSERT_TRUE(re.Exec("a1b2b"));
  EXPECT_EQ(re.Match(0), "a1b2b");
  // i: letters of any script fold.
  re.SetExpression("caf\xC3\xA9");
  EXPECT_FALSE(re.Exec("CAF\xC3\x89"));
  re.SetModifierI(true);
  EXPECT_TRUE(re.Exec("CAF\xC3\x89"));
  EXPECT_EQ(re.ModifierStr(), "irs-g");
  EXPECT_THROW(re.SetModifierStr("x"), ERegExpr);
}

TEST(TRegExpr, GroupsAreNumberedByOpeningBracketAndUnsetGroupsAreEmpty) {
  TRegExpr re("((a)|(b))(c)?");
  ASSERT_TRUE(re.Exec("xb"));
  EXPECT_EQ(re.Match(0), "b");
  EXPECT_EQ(re.Match(1), "b");
  EXPECT_EQ(re.Match(2), "");
  EXPECT_EQ(re.MatchPos(2), -1);
  EXPECT_EQ(re.Match(3), "b");
  EXPECT_EQ(re.MatchPos(3), 1);
  EXPECT_EQ(re.MatchLen(3), 1);
  EXPECT_EQ(re.Match(4), "");
  EXPECT_EQ(re.Match(99), "");
  EXPECT_EQ(re.SubExprMatchCount(), 3);
  ASSERT_TRUE(re.Exec("ac"));
  EXPECT_EQ(re.SubExprMatchCount(), 4);
  EXPECT_EQ(re.Match(4), "c");
  EXPECT_FALSE(re.Exec("zzz"));
  EXPECT_EQ(re.SubExprMatchCount(), -1);
  EXPECT_EQ(re.Match(0), "");
  EXPECT_FALSE(re.ExecNext());
}

TEST(TRegExpr, ExecNextWalksEveryMatchAndEmptyMatchesMoveOn) {
  TRegExpr re("(\\d+)");
  EXPECT_EQ(AllMatches(re, "a1 b22 c333", 1), (std::vector<std::string>{"1", "22", "333"}));
  // Empty matches: one per character boundary, then the end; never a loop.
  re.SetExpression("x*");
  EXPECT_EQ(AllMatches(re, "ab").size(), 3U);
  EXPECT_EQ(AllMatches(re, "axb"), (std::vector<std::string>{"", "x", "", ""}));
  // A step over an empty match takes a whole character, not one byte.
  re.SetExpression("");
  std::vector<std::ptrdiff_t> positions;
  ASSERT_TRUE(re.Exec("\xC3\xA9z"));
  do {
    positions.push_back(re.MatchPos(0));
  } while (re.ExecNext());
  EXPECT_EQ(positions, (std::vector<std::ptrdiff_t>{0, 2, 3}));
  // ExecPos starts at a byte offset.
  re.SetExpression("b");
  re.SetInputString("abab");
  ASSERT_TRUE(re.ExecPos(2));
  EXPECT_EQ(re.MatchPos(0), 3);
  EXPECT_FALSE(re.ExecPos(4));
  EXPECT_FALSE(re.ExecPos(100));
}

TEST(TRegExpr, CompileAndMatchErrorsRaiseTheEngineException) {
  TRegExpr re("(ab");
  try {
    re.Exec("ab");
    FAIL() << "no exception";
  } catch (const QuorvelleError &e) {
    const auto *regExprError = dynamic_cast<const ERegExpr *>(&e);
    ASSERT_NE(regExprError, nullptr);
    EXPECT_EQ(std::string(e.what()).rfind("TRegExpr(comp): ", 0), 0U) << e.what();
    EXPECT_EQ(regExprError->CompilerErrorPos(), 3);
  }
  EXPECT_THROW(TRegExpr("a{2,1}").Compile(), ERegExpr);
  // The object stays usable with a new expression.
  re.SetExpression("ab");
  EXPECT_TRUE(re.Exec("xab"));
  // Runaway backtracking ends in an error instead of hanging.
  re.SetExpression("(a+)+$");
  try {
    re.Exec(std::string(40, 'a') + "b");
    FAIL() << "no exception";
  } catch (const ERegExpr &e) {
    EXPECT_EQ(std::string(e.what()).rfind("TRegExpr(exec): ", 0), 0U) << e.what();
  }
}

TEST(TRegExpr, IllFormedUtf8InputIsMatchedSafely) {
  TRegExpr re("<(.+?)>");
  // A stray continuation byte, a truncated sequence at the end, an overlong form.
  const std::string input = "<ok> <b\x80"
                            "d> <\xC0\xAFx> <fine\xC3\xA9> \xE2\x82";
  EXPECT_EQ(AllMatches(re, input, 1), (std::vector<std::string>{"ok", "fine\xC3\xA9"}));
  re.SetExpression("");
  std::size_t steps = 0;
  ASSERT_TRUE(re.Exec("\x80\x80\xFF"));
  while (re.ExecNext())
    ++steps;
  EXPECT_LE(steps, 3U);
}

TEST(TRegExpr, ChangingExpressionOrInputForgetsTheMatch) {
  TRegExpr re("b+");
  ASSERT_TRUE(re.Exec("abba"));
  EXPECT_EQ(re.Match(0), "bb");
  EXPECT_EQ(re.InputString(), "abba");
  re.SetInputString("bbbb");
  EXPECT_FALSE(re.ExecNext());
  ASSERT_TRUE(re.Exec());
  EXPECT_EQ(re.Match(0), "bbbb");
  re.SetExpression("c");
  EXPECT_EQ(re.SubExprMatchCount(), -1);
  EXPECT_FALSE(re.Exec());
  TRegExpr moved(std::move(re));
  EXPECT_EQ(moved.Expression(), "c");
  EXPECT_TRUE(moved.Exec("acb"));
}

TEST(TRegExpr, AMatchLimitStopsRunawayBacktrackingAndCanBeLifted) {
  TRegExpr expression(R"((a+)+\d)");
  const std::string input = std::string(40, 'a') + "!";
  expression.SetMatchLimit(1000);
  try {
    expression.Exec(input);
    ADD_FAILURE() << "no limit reached";
  } catch (const ERegExpr &error) {
    EXPECT_EQ(error.ErrorCode(), -47) << error.what(); // PCRE2_ERROR_MATCHLIMIT
  }
  // An easy match stays within the limit; 0 gives the engine's default back.
  EXPECT_TRUE(expression.Exec("aa1"));
  expression.SetMatchLimit(0);
  EXPECT_FALSE(expression.Exec(std::string(12, 'a') + "!"));
}

} // namespace
} // namespace quorvelle
