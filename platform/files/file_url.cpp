#include "platform/files/file_url.h"

namespace quorvelle::platform {

std::string FileUrlFromPath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  // Characters a path segment may hold as they are.
  static constexpr std::string_view kKept = "-._~!$&'()*+,;=:@/";
  std::string url = "file://";
  url.reserve(url.size() + path.size() * 3);
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (alnum || (byte < 0x80 && kKept.find(c) != std::string_view::npos)) {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0x0F];
    }
  }
  return url;
}

} // namespace quorvelle::platform
