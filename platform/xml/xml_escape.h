#pragma once
// Escaping of text that is put into XML written as text (report files, the
// own-format wrapper of an export).

#include <string>
#include <string_view>

namespace quorvelle::platform {

// The one rule for text that goes into an XML document: characters XML 1.0
// cannot hold (controls other than tab, LF and CR, U+FFFE, U+FFFF) become a
// blank, and bytes that are not UTF-8 become U+FFFD, so the result is always
// valid in a UTF-8 file. Every attribute and text the XML layer writes passes
// through it.
std::string XmlSafeText(std::string_view text);

// XmlSafeText(text) made safe for an XML attribute value or element content
// written as text: & < > " ' become entity references; tab, LF and CR become
// character references (so attribute-value normalisation keeps them).
std::string EscapeXmlValue(std::string_view text);

} // namespace quorvelle::platform
