#pragma once
// The single-byte system code page and the "stored text form" of category
// names and feed titles in Feeds.xml.
//
// In memory all text is UTF-8. The stored text form keeps the UTF-8 bytes of
// a text, each byte taken as one character of the system code page: under
// Windows-1252 "Café" (43 61 66 C3 A9) is stored as "CafÃ©".

#include <optional>
#include <string>
#include <string_view>

namespace quorvelle::platform {

// Name of the active code page ("windows-1252" or "iso-8859-1"); chosen from
// QUORVELLE_CODEPAGE, default windows-1252.
std::string SystemCodePageName();

// Each byte becomes the character the code page gives it, as UTF-8. Bytes the
// code page leaves undefined map to the code point of the same value, so
// every byte value round-trips.
std::string CodePageToUtf8(std::string_view bytes);

// The reverse: each character becomes its code-page byte. nullopt when a
// character has no byte in the code page, or the input is not valid UTF-8.
std::optional<std::string> Utf8ToCodePage(std::string_view utf8);

// Plain text -> stored text form. The text first passes the XML layer's
// character rule (XmlSafeText): the stored form would otherwise hide
// characters such as U+FFFE that XML cannot hold from it, and bring them
// back on decoding, into an export or a report.
std::string EncodeStoredText(std::string_view text);

// Stored text form -> plain text. A value that is not in the stored form (a
// file written by another tool holding plain "Café") comes back unchanged.
std::string DecodeStoredText(std::string_view stored);

bool IsValidUtf8(std::string_view text);

} // namespace quorvelle::platform
