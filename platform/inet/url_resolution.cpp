#include "platform/inet/url_resolution.h"

#include <curl/curl.h>

#include <memory>

namespace quorvelle::platform {
namespace {

struct UrlFree {
  void operator()(CURLU *url) const noexcept { curl_url_cleanup(url); }
};
struct TextFree {
  void operator()(char *text) const noexcept { curl_free(text); }
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// A link's address as a browser reads it: no blanks around it, no tab or
// line break inside.
std::string Cleaned(std::string_view address) {
  while (!address.empty() && IsBlank(address.front()))
    address.remove_prefix(1);
  while (!address.empty() && IsBlank(address.back()))
    address.remove_suffix(1);
  std::string cleaned;
  cleaned.reserve(address.size());
  for (const char c : address) {
    if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
  }
  return cleaned;
}

} // namespace

std::optional<std::string> ResolveUrlReference(std::string_view base, std::string_view reference) {
  const std::unique_ptr<CURLU, UrlFree> url(curl_url());
  if (!url) return std::nullopt;
  // Any scheme: a page may be a local file or name a feed:// address.
  constexpr unsigned kFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE;
  if (curl_url_set(url.get(), CURLUPART_URL, Cleaned(base).c_str(), kFlags) != CURLUE_OK) return std::nullopt;
  // Set on top of an address, a relative one is resolved against it.
  if (curl_url_set(url.get(), CURLUPART_URL, Cleaned(reference).c_str(), kFlags) != CURLUE_OK) return std::nullopt;
  char *text = nullptr;
  if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || text == nullptr) return std::nullopt;
  const std::unique_ptr<char, TextFree> owned(text);
  return std::string(owned.get());
}

} // namespace quorvelle::platform
