#pragma once
// Registry steps of the library's self-registration: class keys under
// HKEY_CLASSES_ROOT, the type library's keys, and the library's own path.

#include "platform/errors.h"
#include "platform/registry/registry.h"

#include <string>

namespace quorvelle {

// A registry key or value that registration could not create.
class EOleRegistrationError : public QuorvelleError {
public:
  using QuorvelleError::QuorvelleError;
};

// Full path of the library file that holds this code.
std::string ModuleFileName();

// Creates key (with its missing parents) and sets its value valueName ("" is
// the default value) to value. Raises EOleRegistrationError with "Error
// creating system registry entry" when either step fails.
void CreateRegKey(const std::string &key, const std::string &valueName, const std::string &value,
                  platform::RootKey root = platform::HKEY_CLASSES_ROOT);

// Removes key with everything below it; a missing key is no failure.
void DeleteRegKey(const std::string &key, platform::RootKey root = platform::HKEY_CLASSES_ROOT);

// The type library's keys: "TypeLib\{LIBID}\1.0" with its help string, the
// folder of its locale (0x0409) with "win32" = the library's path, "FLAGS"
// and "HELPDIR"; and "Interface\{IID}" of the dual interface it describes.
void RegisterTypeLibrary();
// Removes what RegisterTypeLibrary wrote; the LIBID key goes when no other
// version is left under it.
void UnregisterTypeLibrary();

// "TypeLib\{LIBID}\1.0" and "Interface\{IID}", as written by RegisterTypeLibrary.
std::string TypeLibraryVersionKey();
std::string InterfaceKey();

} // namespace quorvelle
