#pragma once
// TRegExpr: one compiled Perl-style regular expression and one input text,
// matched with PCRE2 (JIT-compiled where the platform allows it).
//
// Modifiers (all settable before or between matches; a change recompiles):
//   i  case-insensitive matching                        (default off)
//   r  extended letter ranges                           (default on)
//   s  '.' matches every character, line breaks too    (default on)
//   g  greedy quantifiers; off makes every quantifier
//      lazy, as if written with a trailing '?'          (default on)
//      (with g off, a quantifier that is written with '?' is greedy)
//
// Texts are UTF-8. The expression is compiled in UTF mode, so '.' and
// character classes take whole characters and i folds letters beyond ASCII;
// ranges such as [а-я] therefore already cover every letter between their
// ends, which is all that r asked for: r is accepted and has no further
// effect. Input that is not valid UTF-8 is matched safely: an ill-formed byte
// sequence never matches any item of the expression, so a match cannot run
// through it, and nothing reads past the input.
//
// Positions (MatchPos) are 0-based byte offsets into the input; lengths are in
// bytes.

#include "platform/errors.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvelle {

// A failing compilation ("TRegExpr(comp): ...") or match ("TRegExpr(exec): ...").
class ERegExpr : public QuorvelleError {
public:
  ERegExpr(const std::string &message, int errorCode, std::ptrdiff_t compilerErrorPos = -1)
      : QuorvelleError(message), errorCode_(errorCode), compilerErrorPos_(compilerErrorPos) {}
  // The engine's error number.
  [[nodiscard]] int ErrorCode() const noexcept { return errorCode_; }
  // Byte offset into the expression at which compilation failed, -1 for match errors.
  [[nodiscard]] std::ptrdiff_t CompilerErrorPos() const noexcept { return compilerErrorPos_; }

private:
  int errorCode_;
  std::ptrdiff_t compilerErrorPos_;
};

class TRegExpr {
public:
  TRegExpr();
  explicit TRegExpr(std::string expression);
  ~TRegExpr();
  TRegExpr(const TRegExpr &) = delete;
  TRegExpr &operator=(const TRegExpr &) = delete;
  TRegExpr(TRegExpr &&) noexcept;
  TRegExpr &operator=(TRegExpr &&) noexcept;

  [[nodiscard]] const std::string &Expression() const noexcept { return expression_; }
  void SetExpression(std::string expression);

  [[nodiscard]] bool ModifierI() const noexcept { return modifierI_; }
  [[nodiscard]] bool ModifierR() const noexcept { return modifierR_; }
  [[nodiscard]] bool ModifierS() const noexcept { return modifierS_; }
  [[nodiscard]] bool ModifierG() const noexcept { return modifierG_; }
  void SetModifierI(bool on);
  void SetModifierR(bool on);
  void SetModifierS(bool on);
  void SetModifierG(bool on);
  // The modifiers as text: the letters that are on, then '-' and those that
  // are off ("irs-g"). Setting takes the same form; letters not named keep
  // their state. Raises ERegExpr on an unknown letter.
  [[nodiscard]] std::string ModifierStr() const;
  void SetModifierStr(std::string_view modifiers);

  [[nodiscard]] const std::string &InputString() const noexcept { return input_; }
  // Setting the input forgets the current match.
  void SetInputString(std::string input);

  // At most this many steps of the engine per match attempt (0: the
  // engine's default, ten million); a match that needs more raises ERegExpr
  // with the engine's PCRE2_ERROR_MATCHLIMIT. Bounds the backtracking that an
  // expression with many ways to split a text can run into.
  void SetMatchLimit(std::uint32_t limit);

  // Compiles the expression now (Exec does it when needed). Raises ERegExpr.
  void Compile();

  // First match in input (which becomes InputString). Raises ERegExpr when the
  // expression does not compile or the engine gives up.
  bool Exec(std::string input);
  // First match in the current InputString.
  bool Exec();
  // Next match, starting behind the end of the current one (one character
  // further after an empty match). False when there is no current match.
  bool ExecNext();
  // First match starting at byte offset (0-based) in InputString.
  bool ExecPos(std::size_t offset);

  // Highest group number taking part in the current match: 0 when no group
  // did, -1 when there is no current match.
  [[nodiscard]] int SubExprMatchCount() const noexcept;
  // Text of group n (0 = the whole match); "" when unset or out of range.
  [[nodiscard]] std::string Match(int n) const;
  // Byte offset of group n in InputString; -1 when unset.
  [[nodiscard]] std::ptrdiff_t MatchPos(int n) const noexcept;
  // Length in bytes of group n; -1 when unset.
  [[nodiscard]] std::ptrdiff_t MatchLen(int n) const noexcept;

private:
  struct Engine;

  void Invalidate();
  bool MatchFrom(std::size_t offset);

  std::string expression_;
  std::string input_;
  bool modifierI_ = false;
  bool modifierR_ = true;
  bool modifierS_ = true;
  bool modifierG_ = true;
  std::uint32_t matchLimit_ = 0;
  std::unique_ptr<Engine> engine_;
  // Start and end offsets of group n at [2n] and [2n+1]; empty without a match.
  std::vector<std::ptrdiff_t> offsets_;
};

} // namespace quorvelle
