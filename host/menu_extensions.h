#pragma once
// The browser's context-menu extensions: the keys under HKEY_CURRENT_USER
// "Software\Microsoft\Internet Explorer\MenuExt", each naming its menu text,
// the page it runs (default value) and the contexts it shows in
// ("Contexts": 0x02 image, 0x20 link).

#include <QUrl>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvelle::host {

inline constexpr const char *kMenuExtKey = "Software\\Microsoft\\Internet Explorer\\MenuExt";
inline constexpr std::uint32_t kMenuContextImage = 0x02;
inline constexpr std::uint32_t kMenuContextLink = 0x20;

struct MenuExtension {
  std::string text;
  std::string page;
  std::uint32_t contexts = 0;
};

// Every registered extension, sorted by menu text; an entry without a page
// is skipped.
std::vector<MenuExtension> RegisteredMenuExtensions();

// The extensions to show for a right click on a link and/or an image.
std::vector<MenuExtension> MenuExtensionsFor(bool onLink, bool onImage);

// The page an extension runs, as an address. Only a local file qualifies: a
// page from elsewhere would be handed the automation bridge. An empty
// (invalid) address otherwise.
QUrl ExtensionPageUrl(const MenuExtension &extension);

} // namespace quorvelle::host
