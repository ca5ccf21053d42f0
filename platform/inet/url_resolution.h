#pragma once
// Web addresses taken apart and put together by libcurl's URL parser. No Qt here.

#include <optional>
#include <string>
#include <string_view>

namespace quorvelle::platform {

// reference resolved against base as a page's links are: "/feed.xml" on
// "https://e.example/a/page.html" gives "https://e.example/feed.xml"; an
// absolute reference stays itself (scheme and host in lower case, blanks and
// non-ASCII bytes percent-encoded). Leading and trailing blanks and any
// tab or line break inside are dropped first, as a browser does. nullopt when
// base is no absolute address with a host or a path (about:blank) or the
// reference cannot be resolved (javascript:..., mailto:...).
std::optional<std::string> ResolveUrlReference(std::string_view base, std::string_view reference);

} // namespace quorvelle::platform
