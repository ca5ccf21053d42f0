#pragma once
// A system package installs the programs and data read-only into
// /usr/lib/quorvelle/, but the report is written below the installation
// folder. So the first start of a packaged program sets up the user's own
// installation folder: links to the package's files, a copy of
// QuorvelleInstall (which takes its own folder as the installation), and the
// user's registration through "QuorvelleInstall /install".

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
// removed). "" with a message on standard error when that fails.
std::string PrepareInstallationFolder(const std::string &programFolder);

} // namespace quorvelle::setup
