#pragma once
// A system package installs the programs read-only into /usr/lib/quorvelle/
// (its data, the same on every architecture, lives in /usr/share/quorvelle/
// and is linked from there), but the report is written below the
// installation folder. So the first start of a packaged program sets up the
// user's own installation folder: links to the package's files, and the
// user's registration through the package's own "QuorvelleInstall /install",
// which takes the user's folder as the installation. The user's folder holds
// no program of its own: a home mounted noexec works as any other.

#include <string>

namespace quorvelle::setup {

// Where a package puts the programs: a folder ending in "/usr/lib/quorvelle/".
bool IsPackagedFolder(const std::string &programFolder);

// The user's own installation folder: ~/.local/share/Quorvelle/app/.
std::string UserInstallationFolder();

// The installation folder a program started from programFolder (with a
// trailing '/') works with: programFolder itself, unless it is a package's;
// then the user's own folder, set up and registered when needed (links to
// new files of the package, links to files the package no longer has
// removed, a program copied there by an earlier version replaced by a
// link). "" with a message on standard error when that fails.
std::string PrepareInstallationFolder(const std::string &programFolder);

} // namespace quorvelle::setup
