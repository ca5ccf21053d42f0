#pragma once
// What the desktop hands to quorvelle-browser (a feed link or file opened
// with Quorvelle, an OPML list to import): passed to the band's context-menu
// object, so the user meets the band's own dialogs.

#include "host/com_loader.h"

#include <QString>
#include <optional>

namespace quorvelle::host {

// The ProgID of the band's context-menu object.
inline constexpr const char *kContextMenuProgID = "RSSQuorvelle.ContextMenuAdd";

// addFeed: the add feed dialog with the address filled in (an OPML address
// is imported instead, as the context menu does). importFile: the list file
// (a path or a file: address) imported as the toolbar's import command does.
// False, with a message on standard error, when the band cannot be reached.
bool HandDesktopRequestToBand(ComLoader &loader, const std::optional<QString> &addFeed,
                              const std::optional<QString> &importFile);

// A path, or the local path of a file: address, made absolute.
QString LocalFilePath(const QString &fileOrAddress);

} // namespace quorvelle::host
