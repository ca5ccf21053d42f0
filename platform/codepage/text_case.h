#pragma once
// Case mapping and locale-aware comparison with Unicode rules.

#include <string>
#include <string_view>

namespace quorvelle::platform {

// Lower case by Unicode rules (not only ASCII). Invalid UTF-8 is lower-cased
// byte-wise for ASCII letters and otherwise kept.
std::string LowerCase(std::string_view text);

// Compare two texts by the user's locale, ignoring letter case: < 0, 0, > 0.
int CompareTextIgnoringCase(std::string_view a, std::string_view b);

// Trim every character with code 32 or lower from both ends.
std::string Trim(std::string_view text);

} // namespace quorvelle::platform
