#define PCRE2_CODE_UNIT_WIDTH 8
#include "regexpr/reg_expr.h"

#include <pcre2.h>

#include <algorithm>
#include <utility>

namespace quorvelle {
namespace {

struct CodeDeleter {
  void operator()(pcre2_code *code) const noexcept { pcre2_code_free(code); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data *data) const noexcept { pcre2_match_data_free(data); }
};
struct MatchContextDeleter {
  void operator()(pcre2_match_context *context) const noexcept { pcre2_match_context_free(context); }
};
struct JitStackDeleter {
  void operator()(pcre2_jit_stack *stack) const noexcept { pcre2_jit_stack_free(stack); }
};

// JIT stack: starts small, may grow to this size for long inputs with many
// backtracking points.
constexpr PCRE2_SIZE kJitStackStart = PCRE2_SIZE{32} * 1024;
constexpr PCRE2_SIZE kJitStackMax = PCRE2_SIZE{8} * 1024 * 1024;
// The engine's own limit, used when none is set.
constexpr uint32_t kDefaultMatchLimit = 10000000;

std::string ErrorText(int errorCode) {
  PCRE2_UCHAR buffer[256];
  const int length = pcre2_get_error_message(errorCode, buffer, sizeof buffer);
  if (length < 0) return "error " + std::to_string(errorCode);
  return std::string(reinterpret_cast<const char *>(buffer), static_cast<std::size_t>(length));
}

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U; }

} // namespace

struct TRegExpr::Engine {
  std::unique_ptr<pcre2_code, CodeDeleter> code;
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> matchData;
  std::unique_ptr<pcre2_match_context, MatchContextDeleter> matchContext;
  std::unique_ptr<pcre2_jit_stack, JitStackDeleter> jitStack;
};

TRegExpr::TRegExpr() = default;
TRegExpr::TRegExpr(std::string expression) : expression_(std::move(expression)) {}
TRegExpr::~TRegExpr() = default;
TRegExpr::TRegExpr(TRegExpr &&) noexcept = default;
TRegExpr &TRegExpr::operator=(TRegExpr &&) noexcept = default;

void TRegExpr::Invalidate() {
  engine_.reset();
  offsets_.clear();
}

void TRegExpr::SetExpression(std::string expression) {
  expression_ = std::move(expression);
  Invalidate();
}

void TRegExpr::SetModifierI(bool on) {
  if (modifierI_ != on) Invalidate();
  modifierI_ = on;
}
void TRegExpr::SetModifierR(bool on) {
  if (modifierR_ != on) Invalidate();
  modifierR_ = on;
}
void TRegExpr::SetModifierS(bool on) {
  if (modifierS_ != on) Invalidate();
  modifierS_ = on;
}
void TRegExpr::SetModifierG(bool on) {
  if (modifierG_ != on) Invalidate();
  modifierG_ = on;
}

std::string TRegExpr::ModifierStr() const {
  std::string on;
  std::string off;
  (modifierI_ ? on : off) += 'i';
  (modifierR_ ? on : off) += 'r';
  (modifierS_ ? on : off) += 's';
  (modifierG_ ? on : off) += 'g';
  return off.empty() ? on : on + "-" + off;
}

void TRegExpr::SetModifierStr(std::string_view modifiers) {
  bool i = modifierI_;
  bool r = modifierR_;
  bool s = modifierS_;
  bool g = modifierG_;
  bool value = true;
  for (const char c : modifiers) {
    switch (c) {
    case '-': value = false; break;
    case 'i':
    case 'I': i = value; break;
    case 'r':
    case 'R': r = value; break;
    case 's':
    case 'S': s = value; break;
    case 'g':
    case 'G': g = value; break;
    default: throw ERegExpr("TRegExpr(modif): Incorrect modifier", 0);
    }
  }
  SetModifierI(i);
  SetModifierR(r);
  SetModifierS(s);
  SetModifierG(g);
}

void TRegExpr::SetInputString(std::string input) {
  input_ = std::move(input);
  offsets_.clear();
}

void TRegExpr::Compile() {
  if (engine_) return;
  uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
  if (modifierI_) options |= PCRE2_CASELESS;
  if (modifierS_) options |= PCRE2_DOTALL;
  if (!modifierG_) options |= PCRE2_UNGREEDY;
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  auto engine = std::make_unique<Engine>();
  engine->code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(expression_.data()), expression_.size(), options,
                                   &errorCode, &errorOffset, nullptr));
  if (!engine->code) {
    throw ERegExpr("TRegExpr(comp): " + ErrorText(errorCode), errorCode, static_cast<std::ptrdiff_t>(errorOffset));
  }
  // Without JIT support (or memory for it) the interpreter runs the same
  // expression, only slower.
  engine->matchContext.reset(pcre2_match_context_create(nullptr));
  if (!engine->matchContext) throw ERegExpr("TRegExpr(comp): out of memory", PCRE2_ERROR_NOMEMORY);
  if (pcre2_jit_compile(engine->code.get(), PCRE2_JIT_COMPLETE) == 0) {
    engine->jitStack.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
    if (engine->jitStack) pcre2_jit_stack_assign(engine->matchContext.get(), nullptr, engine->jitStack.get());
  }
  if (matchLimit_ != 0) pcre2_set_match_limit(engine->matchContext.get(), matchLimit_);
  engine->matchData.reset(pcre2_match_data_create_from_pattern(engine->code.get(), nullptr));
  if (!engine->matchData) throw ERegExpr("TRegExpr(comp): out of memory", PCRE2_ERROR_NOMEMORY);
  engine_ = std::move(engine);
}

void TRegExpr::SetMatchLimit(std::uint32_t limit) {
  matchLimit_ = limit;
  if (engine_) pcre2_set_match_limit(engine_->matchContext.get(), limit != 0 ? limit : kDefaultMatchLimit);
}

bool TRegExpr::MatchFrom(std::size_t offset) {
  offsets_.clear();
  Compile();
  if (offset > input_.size()) return false;
  const int rc = pcre2_match(engine_->code.get(), reinterpret_cast<PCRE2_SPTR>(input_.data()), input_.size(), offset, 0,
                             engine_->matchData.get(), engine_->matchContext.get());
  if (rc == PCRE2_ERROR_NOMATCH) return false;
  if (rc < 0) throw ERegExpr("TRegExpr(exec): " + ErrorText(rc), rc);
  const uint32_t pairs = pcre2_get_ovector_count(engine_->matchData.get());
  const PCRE2_SIZE *ovector = pcre2_get_ovector_pointer(engine_->matchData.get());
  offsets_.resize(static_cast<std::size_t>(pairs) * 2);
  for (std::size_t k = 0; k < offsets_.size(); ++k) {
    // Groups beyond rc did not take part in this match.
    const bool set = k / 2 < static_cast<std::size_t>(rc) && ovector[k] != PCRE2_UNSET;
    offsets_[k] = set ? static_cast<std::ptrdiff_t>(ovector[k]) : -1;
  }
  return true;
}

bool TRegExpr::Exec(std::string input) {
  SetInputString(std::move(input));
  return MatchFrom(0);
}

bool TRegExpr::Exec() { return MatchFrom(0); }

bool TRegExpr::ExecPos(std::size_t offset) { return MatchFrom(offset); }

bool TRegExpr::ExecNext() {
  if (offsets_.empty()) return false;
  // \K inside a lookahead can put the reported end before the start.
  auto next = static_cast<std::size_t>(std::max(offsets_[0], offsets_[1]));
  if (offsets_[1] <= offsets_[0]) {
    // An empty match: step over one character so the search moves on.
    if (next >= input_.size()) {
      offsets_.clear();
      return false;
    }
    ++next;
    while (next < input_.size() && IsUtf8Continuation(input_[next]))
      ++next;
  }
  return MatchFrom(next);
}

int TRegExpr::SubExprMatchCount() const noexcept {
  if (offsets_.empty()) return -1;
  int highest = 0;
  for (std::size_t n = 1; n < offsets_.size() / 2; ++n) {
    if (offsets_[2 * n] >= 0) highest = static_cast<int>(n);
  }
  return highest;
}

std::ptrdiff_t TRegExpr::MatchPos(int n) const noexcept {
  if (n < 0 || static_cast<std::size_t>(n) * 2 + 1 >= offsets_.size()) return -1;
  return offsets_[static_cast<std::size_t>(n) * 2];
}

std::ptrdiff_t TRegExpr::MatchLen(int n) const noexcept {
  const std::ptrdiff_t pos = MatchPos(n);
  if (pos < 0) return -1;
  return std::max<std::ptrdiff_t>(0, offsets_[static_cast<std::size_t>(n) * 2 + 1] - pos);
}

std::string TRegExpr::Match(int n) const {
  const std::ptrdiff_t pos = MatchPos(n);
  if (pos < 0) return {};
  return input_.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(MatchLen(n)));
}

} // namespace quorvelle
