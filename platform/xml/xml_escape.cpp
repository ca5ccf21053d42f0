#include "platform/xml/xml_escape.h"

#include <cstdint>
#include <unicode/utf8.h>

namespace quorvelle::platform {
namespace {

bool AllowedInXml(UChar32 cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0x10FFFF);
}

} // namespace

std::string XmlSafeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto *bytes = reinterpret_cast<const std::uint8_t *>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    const std::int32_t start = i;
    UChar32 cp = 0;
    U8_NEXT(bytes, i, length, cp);
    if (cp < 0) {
      out += "\xEF\xBF\xBD";
    } else if (AllowedInXml(cp)) {
      out.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    } else {
      out += ' ';
    }
  }
  return out;
}

std::string EscapeXmlValue(std::string_view text) {
  // Characters XML cannot hold are settled first by the one rule above; what
  // is left only needs its reserved characters (and line ends, which an
  // attribute would otherwise normalise away) written as references.
  const std::string safe = XmlSafeText(text);
  std::string out;
  out.reserve(safe.size() + 16);
  for (const char c : safe) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    case '\'': out += "&apos;"; break;
    case '\t': out += "&#9;"; break;
    case '\n': out += "&#10;"; break;
    case '\r': out += "&#13;"; break;
    default: out += c; break;
    }
  }
  return out;
}

} // namespace quorvelle::platform
