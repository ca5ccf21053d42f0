#pragma once
// Reading pieces of HTML text with libxml2's HTML parser: character
// references, and the start tags of chosen elements with their attributes.
// No Qt here.

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvelle::platform {

// text (UTF-8) with its HTML character references decoded: named ones of
// the HTML 4 set with their ';' ("&amp;", "&raquo;"), decimal and hexadecimal
// ones with or without it ("&#38;", "&#x26;"). A reference to no character
// (zero, a surrogate, beyond U+10FFFF) becomes U+FFFD; an unknown name or a
// lone '&' stays as written.
std::string DecodeHtmlCharacterReferences(std::string_view text);

struct HtmlStartTag {
  std::string name; // lower case
  // In the order written; names lower case, values with their references
  // decoded ("" for an attribute written without a value).
  std::vector<std::pair<std::string, std::string>> attributes;
  // The value of the first attribute of that (lower-case) name; nullptr when none.
  [[nodiscard]] const std::string *Attribute(std::string_view attributeName) const;
};

// Runs html (UTF-8) through the HTML parser once, as a stream, and calls
// onTag for each start tag whose name is in names (lower case), in document
// order, with quoting and letter case as any HTML page may write them. onTag
// returns false to stop the scan. Malformed markup is read as a browser
// would, never refused.
void ScanHtmlStartTags(std::string_view html, const std::vector<std::string> &names,
                       const std::function<bool(const HtmlStartTag &tag)> &onTag);

// The plain text a reader sees in a piece of HTML (UTF-8), as a browser's
// inert parse of it gives its body's text: markup dropped, references
// decoded, nothing inside script, style, noscript, template, iframe or
// object; every run of blanks (those of Unicode included) becomes one
// space, none at either end. Nothing is loaded, nothing runs.
std::string HtmlPlainText(std::string_view html);

// Every run of blank characters (ASCII and Unicode spaces, line and paragraph
// separators, U+FEFF) in text (UTF-8) made one space, none at either end.
std::string CollapseBlanks(std::string_view text);

} // namespace quorvelle::platform
