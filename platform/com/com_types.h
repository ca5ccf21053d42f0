#pragma once
// The basic types of the component object model as the band and the setup
// program use them: GUIDs with their registry text form, HRESULT codes with
// their Windows values, wide text, and the few window structures that the
// band interfaces pass around. Plain C++, no Qt.

#include "platform/errors.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvelle::com {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using COLORREF = std::uint32_t;
using DISPID = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
// A window handle. Between a host and a band library it is always the
// address of a QWidget (QWidget * converted to void *): IOleWindow::GetWindow
// of a band site gives the widget the band creates its form in, and the
// band's own GetWindow gives its form. A receiver checks that the address is
// a live widget before it uses it. nullptr is "no window".
using HWND = void *;
// Wide text (BSTR), UTF-16.
using WideString = std::u16string;

// ---- HRESULT -------------------------------------------------------------

constexpr HRESULT MakeHResult(std::uint32_t value) { return static_cast<HRESULT>(value); }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHResult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
inline constexpr HRESULT E_HANDLE = MakeHResult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
inline constexpr HRESULT SELFREG_E_TYPELIB = MakeHResult(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = MakeHResult(0x80040201);
inline constexpr HRESULT OLECMDERR_E_NOTSUPPORTED = MakeHResult(0x80040100);
inline constexpr HRESULT OLECMDERR_E_UNKNOWNGROUP = MakeHResult(0x80040104);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeHResult(0x80020009);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000E);

// A failed HRESULT raised as an exception by OleCheck.
class EOleSysError : public QuorvelleError {
public:
  explicit EOleSysError(HRESULT errorCode);
  [[nodiscard]] HRESULT ErrorCode() const noexcept { return errorCode_; }

private:
  HRESULT errorCode_;
};

// The system's text for a code ("Unspecified error"), or "OLE error XXXXXXXX".
std::string HResultMessage(HRESULT hr);

// Raises EOleSysError when hr is a failure code; returns hr otherwise.
HRESULT OleCheck(HRESULT hr);

// ---- GUID ----------------------------------------------------------------

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};
  friend constexpr bool operator==(const GUID &, const GUID &) = default;
};
using IID = GUID;
using CLSID = GUID;

inline constexpr GUID GUID_NULL{};

namespace detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; false when malformed.
constexpr bool ParseGuid(std::string_view text, GUID &guid) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  std::uint8_t bytes[16] = {};
  std::size_t pos = 1;
  for (std::uint8_t &byte : bytes) {
    if (pos == 9 || pos == 14 || pos == 19 || pos == 24) {
      if (text[pos] != '-') return false;
      ++pos;
    }
    const int high = HexDigit(text[pos]);
    const int low = HexDigit(text[pos + 1]);
    if (high < 0 || low < 0) return false;
    byte = static_cast<std::uint8_t>(high * 16 + low);
    pos += 2;
  }
  guid.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
               std::uint32_t{bytes[3]};
  guid.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int n = 0; n < 8; ++n)
    guid.Data4[static_cast<std::size_t>(n)] = bytes[8 + n];
  return true;
}
} // namespace detail

// A GUID from its text form at compile time; a malformed literal does not compile.
consteval GUID GuidLiteral(std::string_view text) {
  GUID guid;
  if (!detail::ParseGuid(text, guid)) throw "malformed GUID literal";
  return guid;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hexadecimal digits.
std::string GuidToString(const GUID &guid);

// The GUID of a text form (braces required, either letter case); nullopt when malformed.
std::optional<GUID> StringToGuid(std::string_view text);

// ---- Wide text -----------------------------------------------------------

// UTF-8 <-> UTF-16; ill-formed input becomes U+FFFD, never an error.
std::string WideToUtf8(std::u16string_view wide);
WideString Utf8ToWide(std::string_view utf8);

// ---- Window structures ---------------------------------------------------

struct POINT {
  LONG x = 0;
  LONG y = 0;
  friend constexpr bool operator==(const POINT &, const POINT &) = default;
};
using POINTL = POINT;

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt;
};

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_PARENTNOTIFY = 0x0210;
inline constexpr WPARAM VK_BACK = 0x08;

} // namespace quorvelle::com
