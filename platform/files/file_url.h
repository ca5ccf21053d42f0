#pragma once
// The one way to make the address of a local file. No Qt here.

#include <string>
#include <string_view>

namespace quorvelle::platform {

// "file://" + the absolute path with every byte that an address would read
// otherwise percent-encoded ('#', '?', '%', blanks, non-ASCII among them), as
// QUrl::fromLocalFile does: "/a b/#1/x.html" -> "file:///a%20b/%231/x.html".
// An empty path gives "file://".
std::string FileUrlFromPath(std::string_view path);

} // namespace quorvelle::platform
