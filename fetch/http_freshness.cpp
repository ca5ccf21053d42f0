#include "fetch/http_freshness.h"

#include "platform/codepage/text_case.h"
#include "platform/inet/inet_client.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace quorvelle::fetch {
namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

// A non-negative decimal number of seconds; nullopt for anything else.
std::optional<std::int64_t> Seconds(std::string_view text) {
  text = Trimmed(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range && end == text.data() + text.size()) return INT64_MAX / 4;
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return std::min<std::int64_t>(value, INT64_MAX / 4);
}

std::string Header(const std::map<std::string, std::string> &headers, const char *name) {
  const auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

} // namespace

Freshness FreshnessOf(const std::map<std::string, std::string> &headers, std::int64_t now) {
  Freshness result;
  std::optional<std::int64_t> maxAge;
  bool noCache = false;
  const std::string control = platform::LowerCase(Header(headers, "cache-control"));
  std::string_view rest = control;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view directive = Trimmed(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const std::size_t equals = directive.find('=');
    const std::string_view name = Trimmed(directive.substr(0, equals));
    if (name == "no-store") {
      result.keep = false;
    } else if (name == "no-cache") {
      noCache = true;
    } else if (name == "max-age" && !maxAge) {
      // An unreadable max-age makes the answer stale at once.
      maxAge = equals == std::string_view::npos ? std::nullopt : Seconds(directive.substr(equals + 1));
      if (!maxAge) maxAge = 0;
    }
  }
  const std::optional<std::int64_t> date = platform::ParseHttpDate(Header(headers, "date"));
  const std::int64_t served = date.value_or(now);
  std::int64_t lifetime = 0;
  if (noCache) {
    lifetime = 0;
  } else if (maxAge) {
    lifetime = *maxAge;
  } else if (headers.contains("expires")) {
    const std::optional<std::int64_t> expires = platform::ParseHttpDate(Header(headers, "expires"));
    lifetime = expires ? *expires - served : 0;
  } else if (const auto modified = platform::ParseHttpDate(Header(headers, "last-modified"))) {
    lifetime = std::max<std::int64_t>(served - *modified, 0) / 10;
  }
  lifetime = std::clamp<std::int64_t>(lifetime, 0, kMaxFreshSeconds);
  const std::int64_t age = Seconds(Header(headers, "age")).value_or(0);
  result.seconds = std::max<std::int64_t>(lifetime - std::min(age, kMaxFreshSeconds), 0);
  return result;
}

std::optional<std::int64_t> RetryAfterSeconds(const std::string &value, std::int64_t now) {
  if (Trimmed(value).empty()) return std::nullopt;
  if (const auto seconds = Seconds(value)) return *seconds;
  if (const auto date = platform::ParseHttpDate(value)) return std::max<std::int64_t>(*date - now, 0);
  return std::nullopt;
}

} // namespace quorvelle::fetch
