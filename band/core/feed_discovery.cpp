#include "band/core/feed_discovery.h"

#include "regexpr/reg_expr.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <optional>

namespace quorvelle {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsQuote(char c) { return c == '"' || c == '\''; }

// The attribute value that group n of the current match was taken from.
//
// The lazy groups are only an approximation of a value: the blank-or-quote
// run before a group may leave the opening quote inside the group
// (title= "News"), the last group of an expression stops at the first blank
// or apostrophe (title="Morning News" would give "Morning"), and a group may
// run out of its value into later attributes or later elements when the
// element lacks the attribute that the expression expects next. So the value
// is read from its own quotes; a group that is not exactly its value (not
// merely a leading part of it, for the last group) gives no value.
std::optional<std::string> AttributeValue(const TRegExpr &expression, int group, bool lastGroup) {
  const std::string &input = expression.InputString();
  const auto groupStart = static_cast<std::size_t>(expression.MatchPos(group));
  const std::size_t groupEnd = groupStart + static_cast<std::size_t>(expression.MatchLen(group));
  // Back to the '=' that the expression matched before the group.
  std::size_t equals = groupStart;
  while (equals > 0 && (IsBlank(input[equals - 1]) || IsQuote(input[equals - 1])))
    --equals;
  std::size_t valueStart = equals;
  while (valueStart < input.size() && IsBlank(input[valueStart]))
    ++valueStart;
  if (valueStart < input.size() && IsQuote(input[valueStart])) {
    const char quote = input[valueStart];
    ++valueStart;
    const std::size_t valueEnd = input.find(quote, valueStart);
    if (valueEnd == std::string::npos || groupEnd > valueEnd || (!lastGroup && groupEnd != valueEnd)) {
      return std::nullopt;
    }
    return input.substr(valueStart, valueEnd - valueStart);
  }
  // An unquoted value ends at the first blank and holds none of " ' = < > `.
  std::string value = input.substr(valueStart, groupEnd - valueStart);
  for (const char c : value) {
    if (IsBlank(c) || IsQuote(c) || c == '=' || c == '<' || c == '>' || c == '`') return std::nullopt;
  }
  return value;
}

// Runs the expression over pageText and fills url and title from the first
// match whose groups are proper attribute values. True when one was found.
bool FindWithPattern(TRegExpr &expression, std::string_view pattern, int urlGroup, int titleGroup,
                     const std::string &pageText, std::string &url, std::string &title) {
  expression.SetExpression(std::string(pattern));
  expression.SetInputString(pageText);
  bool found = expression.Exec();
  while (found) {
    const std::optional<std::string> foundUrl = AttributeValue(expression, urlGroup, urlGroup == 2);
    const std::optional<std::string> foundTitle = AttributeValue(expression, titleGroup, titleGroup == 2);
    if (foundUrl && foundTitle) {
      url = DeleteControlCharsFromString(*foundUrl);
      title = DeleteControlCharsFromString(*foundTitle);
      return true;
    }
    // A good element may lie inside the passed-over match, so the search
    // resumes just behind the start of that match.
    found = expression.ExecPos(static_cast<std::size_t>(expression.MatchPos(0)) + 1);
  }
  return false;
}

} // namespace

void FindRSSLinkInPageText(const std::string &pageText, std::string &url, std::string &title) {
  url.clear();
  title.clear();
  Guard("TRSSQuorvelleForm.FindRSSLinkOnPage", [&] {
    TRegExpr expression;
    expression.SetModifierI(true);
    expression.SetModifierR(true);
    expression.SetModifierS(true);
    expression.SetModifierG(false);
    if (!FindWithPattern(expression, kRSSLinkPatternTitleFirst, 2, 1, pageText, url, title)) {
      FindWithPattern(expression, kRSSLinkPatternHrefFirst, 1, 2, pageText, url, title);
    }
  });
}

} // namespace quorvelle
