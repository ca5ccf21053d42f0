#pragma once
// The user's well-known folders, each returned with a trailing '/'.

#include <string>

namespace quorvelle::platform {

// The user's home folder, without trailing '/': $HOME, or the password
// database's entry when HOME is unset or empty. Every other folder derives
// from it.
std::string UserHomeFolder();
// ${XDG_DATA_HOME:-~/.local/share}/
std::string ApplicationDataFolder();
// ${XDG_CACHE_HOME:-~/.cache}/
std::string UserCacheFolder();
// The XDG documents folder, else ~/Documents when it exists, else $HOME.
std::string DocumentsFolder();
// $TMPDIR or /tmp.
std::string TemporaryFolder();
// ${XDG_STATE_HOME:-~/.local/state}/: what the product remembers between
// runs that is neither the list nor a cache (the headlines seen).
std::string UserStateFolder();
// The value "ProgramFilesDir" of HKEY_LOCAL_MACHINE
// "Software\Microsoft\Windows\CurrentVersion", which the install step writes;
// when missing, the per-user install prefix ~/.local/opt/.
std::string ProgramFilesFolder();
// The per-user install prefix used when nothing is registered: ~/.local/opt/
std::string DefaultInstallPrefix();

} // namespace quorvelle::platform
