#pragma once
// The commands of QuorvelleInstall: /install records the installation
// folder, adds the browser's context-menu entry and registers the band
// library; /uninstall removes the entry and gives the browser its previous
// start page back.

#include "platform/errors.h"

#include <string>
#include <vector>

namespace quorvelle::setup {

inline constexpr const char *kMenuText = "Add RSS/OPML/XML/RDF/ATOM Feed To Quorvelle";
inline constexpr const char *kBandLibraryFile = "libQuorvelle.so";

// A system call that failed (the library could not be loaded, an export is missing).
class EOSError : public QuorvelleError {
public:
  using QuorvelleError::QuorvelleError;
};

// A COM call that returned a failing result.
class EOleSysError : public QuorvelleError {
public:
  using QuorvelleError::QuorvelleError;
};

// Writes the context-menu entry under HKEY_CURRENT_USER
// "Software\Microsoft\Internet Explorer\MenuExt\<menu text>".
void IE5_AddExtMenuItem(const std::string &menuText, const std::string &url, int contexts, int flags);
// Deletes that key with its values; true when it was deleted.
bool IE5_RemoveExtMenuItem(const std::string &menuText);

// The folder of the running program, with a trailing '/'; for the package's
// program (in /usr/lib/quorvelle/) the user's own installation folder.
std::string InstallationFolder();

// Loads the band library, calls its DllRegisterServer and unloads it.
// Throws EOSError / EOleSysError; there is no guard around it.
void RegisterBandLibrary(const std::string &libraryPath);

void InstallCommand();
void UninstallCommand();

// Runs the command named by the first argument (nothing for other
// arguments). Returns the process exit status: 0, or 1 when the library
// registration failed (that failure is logged as "System Error on ...").
int RunCommand(const std::vector<std::string> &arguments);

} // namespace quorvelle::setup
