#include "platform/com/com_types.h"

#include <unicode/ustring.h>

#include <cstdio>

namespace quorvelle::com {

EOleSysError::EOleSysError(HRESULT errorCode) : QuorvelleError(HResultMessage(errorCode)), errorCode_(errorCode) {}

std::string HResultMessage(HRESULT hr) {
  switch (static_cast<std::uint32_t>(hr)) {
  case 0x80004001: return "Not implemented";
  case 0x80004002: return "No such interface supported";
  case 0x80004003: return "Invalid pointer";
  case 0x80004004: return "Operation aborted";
  case 0x80004005: return "Unspecified error";
  case 0x8000FFFF: return "Catastrophic failure";
  case 0x80070005: return "Access is denied";
  case 0x80070006: return "The handle is invalid";
  case 0x8007000E: return "Not enough storage is available to complete this operation";
  case 0x80070057: return "The parameter is incorrect";
  case 0x80040110: return "Class does not support aggregation (or class object is remote)";
  case 0x80040111: return "ClassFactory cannot supply requested class";
  case 0x80040154: return "Class not registered";
  case 0x80020003: return "Member not found";
  case 0x80020006: return "Unknown name";
  case 0x8002000E: return "Invalid number of parameters";
  default: break;
  }
  char text[32];
  std::snprintf(text, sizeof text, "OLE error %08X", static_cast<unsigned>(hr));
  return text;
}

HRESULT OleCheck(HRESULT hr) {
  if (FAILED(hr)) throw EOleSysError(hr);
  return hr;
}

std::string GuidToString(const GUID &guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
                guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

std::optional<GUID> StringToGuid(std::string_view text) {
  GUID guid;
  if (!detail::ParseGuid(text, guid)) return std::nullopt;
  return guid;
}

std::string WideToUtf8(std::u16string_view wide) {
  if (wide.empty()) return {};
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strToUTF8WithSub(nullptr, 0, &length, wide.data(), static_cast<int32_t>(wide.size()), 0xFFFD, nullptr, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return {};
  std::string utf8(static_cast<std::size_t>(length), '\0');
  status = U_ZERO_ERROR;
  u_strToUTF8WithSub(utf8.data(), length, &length, wide.data(), static_cast<int32_t>(wide.size()), 0xFFFD, nullptr,
                     &status);
  if (U_FAILURE(status)) return {};
  return utf8;
}

WideString Utf8ToWide(std::string_view utf8) {
  if (utf8.empty()) return {};
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8WithSub(nullptr, 0, &length, utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return {};
  WideString wide(static_cast<std::size_t>(length), u'\0');
  status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(wide.data(), length, &length, utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr,
                       &status);
  if (U_FAILURE(status)) return {};
  return wide;
}

} // namespace quorvelle::com
