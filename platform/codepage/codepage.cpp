#include "platform/codepage/codepage.h"
#include "platform/xml/xml_escape.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <unicode/utf8.h>

namespace quorvelle::platform {
namespace {

using Table = std::array<char32_t, 256>;

Table MakeIdentityTable() {
  Table table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = static_cast<char32_t>(i);
  }
  return table;
}

// Windows-1252; 0x81, 0x8D, 0x8F, 0x90 and 0x9D are undefined and keep their
// own value.
Table MakeWindows1252Table() {
  Table table = MakeIdentityTable();
  constexpr std::array<char32_t, 32> high = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                             0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  for (std::size_t i = 0; i < high.size(); ++i) {
    table[0x80 + i] = high[i];
  }
  return table;
}

const Table &ActiveTable() {
  static const Table table = [] {
    const char *name = std::getenv("QUORVELLE_CODEPAGE");
    if (name != nullptr && std::string_view(name) == "iso-8859-1") {
      return MakeIdentityTable();
    }
    return MakeWindows1252Table();
  }();
  return table;
}

void AppendUtf8(std::string &out, char32_t cp) {
  std::array<uint8_t, 4> buf{};
  int32_t len = 0;
  UBool error = false;
  U8_APPEND(buf.data(), len, 4, static_cast<UChar32>(cp), error);
  if (!error) {
    out.append(reinterpret_cast<const char *>(buf.data()), static_cast<std::size_t>(len));
  }
}

} // namespace

std::string SystemCodePageName() {
  const char *name = std::getenv("QUORVELLE_CODEPAGE");
  if (name != nullptr && std::string_view(name) == "iso-8859-1") {
    return "iso-8859-1";
  }
  return "windows-1252";
}

std::string CodePageToUtf8(std::string_view bytes) {
  const Table &table = ActiveTable();
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (const char c : bytes) {
    AppendUtf8(out, table[static_cast<unsigned char>(c)]);
  }
  return out;
}

std::optional<std::string> Utf8ToCodePage(std::string_view utf8) {
  const Table &table = ActiveTable();
  std::string out;
  out.reserve(utf8.size());
  const auto *s = reinterpret_cast<const uint8_t *>(utf8.data());
  const auto length = static_cast<int32_t>(utf8.size());
  int32_t i = 0;
  while (i < length) {
    UChar32 cp = 0;
    U8_NEXT(s, i, length, cp);
    if (cp < 0) {
      return std::nullopt;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    bool found = false;
    for (std::size_t b = 0x80; b < table.size(); ++b) {
      if (table[b] == static_cast<char32_t>(cp)) {
        out.push_back(static_cast<char>(b));
        found = true;
        break;
      }
    }
    if (!found) {
      return std::nullopt;
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  const auto *s = reinterpret_cast<const uint8_t *>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < length) {
    UChar32 cp = 0;
    U8_NEXT(s, i, length, cp);
    if (cp < 0) {
      return false;
    }
  }
  return true;
}

std::string EncodeStoredText(std::string_view text) { return CodePageToUtf8(XmlSafeText(text)); }

std::string DecodeStoredText(std::string_view stored) {
  std::optional<std::string> bytes = Utf8ToCodePage(stored);
  if (!bytes || !IsValidUtf8(*bytes)) {
    return std::string(stored);
  }
  return *std::move(bytes);
}

} // namespace quorvelle::platform
