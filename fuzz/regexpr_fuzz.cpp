// The regular-expression object: the first byte chooses the modifiers, the
// bytes up to the first NUL are the expression, the rest is the input. Every
// match found lies inside the input and the groups agree with their texts.

#include "fuzz/fuzz_support.h"
#include "regexpr/reg_expr.h"

using namespace quorvelle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) return 0;
  fuzz::User();
  const std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
  const std::size_t split = rest.find('\0');
  std::string expression(rest.substr(0, split));
  std::string input(split == std::string_view::npos ? std::string_view() : rest.substr(split + 1));
  try {
    TRegExpr re(expression);
    re.SetModifierI((data[0] & 1) != 0);
    re.SetModifierR((data[0] & 2) != 0);
    re.SetModifierS((data[0] & 4) != 0);
    re.SetModifierG((data[0] & 8) != 0);
    re.SetInputString(input);
    // A start offset past the end or inside a character is allowed too.
    bool found = (data[0] & 16) != 0 ? re.ExecPos(data[0] >> 5) : re.Exec();
    for (int round = 0; found && round < 64; ++round) {
      const int groups = re.SubExprMatchCount();
      fuzz::Require(groups >= 0, "a match has a group count");
      for (int n = 0; n <= groups + 1; ++n) {
        const std::ptrdiff_t pos = re.MatchPos(n);
        const std::ptrdiff_t len = re.MatchLen(n);
        if (pos < 0) {
          fuzz::Require(len < 0 && re.Match(n).empty(), "an unset group has no text");
          continue;
        }
        fuzz::Require(len >= 0 && static_cast<std::size_t>(pos + len) <= input.size(), "a group lies in the input");
        fuzz::Require(re.Match(n) == input.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(len)),
                      "a group's text is the input at its place");
      }
      found = re.ExecNext();
    }
    re.SetModifierStr(re.ModifierStr());
  } catch (const ERegExpr &) {
    // An expression that does not compile, or a match the engine gives up on.
  }
  return 0;
}
