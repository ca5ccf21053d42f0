#include "platform/codepage/text_case.h"

#include "platform/codepage/codepage.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace quorvelle::platform {
namespace {

icu::Locale UserLocale() {
  for (const char *var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char *value = std::getenv(var);
    if (value != nullptr && *value != '\0' && std::string_view(value) != "C" && std::string_view(value) != "POSIX") {
      std::string name(value);
      name = name.substr(0, name.find('.'));
      return icu::Locale(name.c_str());
    }
  }
  return icu::Locale::getRoot();
}

// The collator is shared; ICU collators are not thread-safe for compare, so
// calls are serialised.
struct SharedCollator {
  std::mutex mutex;
  std::unique_ptr<icu::Collator> collator;
};

SharedCollator &Collator() {
  static SharedCollator shared;
  static std::once_flag once;
  std::call_once(once, [] {
    UErrorCode status = U_ZERO_ERROR;
    shared.collator.reset(icu::Collator::createInstance(UserLocale(), status));
    if (U_FAILURE(status)) {
      shared.collator.reset();
    } else {
      shared.collator->setStrength(icu::Collator::SECONDARY);
    }
  });
  return shared;
}

} // namespace

std::string LowerCase(std::string_view text) {
  if (!IsValidUtf8(text)) {
    std::string out(text);
    for (char &c : out) {
      if (c >= 'A' && c <= 'Z') {
        c = static_cast<char>(c - 'A' + 'a');
      }
    }
    return out;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  u.toLower(icu::Locale::getRoot());
  std::string out;
  u.toUTF8String(out);
  return out;
}

int CompareTextIgnoringCase(std::string_view a, std::string_view b) {
  SharedCollator &shared = Collator();
  if (shared.collator) {
    std::lock_guard lock(shared.mutex);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r =
        shared.collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                     icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_SUCCESS(status)) {
      return static_cast<int>(r);
    }
  }
  const std::string la = LowerCase(a);
  const std::string lb = LowerCase(b);
  return la < lb ? -1 : (la == lb ? 0 : 1);
}

std::string Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) {
    ++begin;
  }
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) {
    --end;
  }
  return std::string(text.substr(begin, end - begin));
}

} // namespace quorvelle::platform
