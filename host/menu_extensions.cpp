#include "host/menu_extensions.h"

#include "platform/errors.h"
#include "platform/registry/registry.h"

#include <QFileInfo>
#include <algorithm>

namespace quorvelle::host {

std::vector<MenuExtension> RegisteredMenuExtensions() {
  std::vector<MenuExtension> entries;
  const auto root = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kMenuExtKey, false);
  if (!root) return entries;
  for (const std::string &name : root->SubKeyNames()) {
    try {
      const auto key =
          platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, std::string(kMenuExtKey) + "\\" + name, false);
      if (!key || !key->ValueExists("")) continue;
      MenuExtension entry{name, key->ReadString(""), 0};
      if (entry.page.empty()) continue;
      if (key->ValueExists("Contexts")) entry.contexts = static_cast<std::uint32_t>(key->ReadInteger("Contexts"));
      entries.push_back(std::move(entry));
    } catch (const quorvelle::QuorvelleError &) {
      // A value of the wrong type: the entry is not shown.
    }
  }
  std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) { return a.text < b.text; });
  return entries;
}

std::vector<MenuExtension> MenuExtensionsFor(bool onLink, bool onImage) {
  std::vector<MenuExtension> shown;
  const std::uint32_t wanted = (onLink ? kMenuContextLink : 0U) | (onImage ? kMenuContextImage : 0U);
  if (wanted == 0) return shown;
  for (MenuExtension &entry : RegisteredMenuExtensions()) {
    if ((entry.contexts & wanted) != 0) shown.push_back(std::move(entry));
  }
  return shown;
}

QUrl ExtensionPageUrl(const MenuExtension &extension) {
  const QString page = QString::fromStdString(extension.page);
  if (!page.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) return {};
  // Written as "file://" + an absolute path, which may hold blanks and other
  // characters a URL would escape.
  const QString path = page.mid(7);
  if (!path.startsWith(QLatin1Char('/'))) return {};
  if (!QFileInfo(path).isFile()) return {};
  return QUrl::fromLocalFile(path);
}

} // namespace quorvelle::host
