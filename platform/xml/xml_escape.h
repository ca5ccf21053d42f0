#pragma once
// Escaping of text that is put into XML written as text (report files, the
// own-format wrapper of an export).

#include <string>
#include <string_view>

namespace quorvelle::platform {

// Text made safe for an XML attribute value or element content: & < > " '
// become entity references; tab, LF and CR become character references (so
// attribute-value normalisation keeps them); characters XML 1.0 does not
// allow are dropped, and bytes that are not UTF-8 become U+FFFD, so the
// result is always valid in a UTF-8 file.
std::string EscapeXmlValue(std::string_view text);

} // namespace quorvelle::platform
