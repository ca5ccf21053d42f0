#include "band/registration.h"

#include "band/com_identities.h"
#include "platform/files/file_io.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace quorvelle {
namespace {

constexpr const char *kCreateRegKeyError = "Error creating system registry entry";

std::string LocaleFolder() {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(kTypeLibraryLocale));
  return text;
}

} // namespace

std::string ModuleFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void *>(&ModuleFileName), &info) == 0 || info.dli_fname == nullptr) {
    throw EOleRegistrationError("Cannot find the library's own file");
  }
  std::string path = info.dli_fname;
  if (!path.empty() && path.front() != '/') {
    // A library loaded by a relative name: make the registered path absolute,
    // since the host resolves it from another folder.
    char *resolved = realpath(path.c_str(), nullptr);
    if (resolved != nullptr) {
      path = resolved;
      std::free(resolved);
    }
  }
  return path;
}

void CreateRegKey(const std::string &key, const std::string &valueName, const std::string &value,
                  platform::RootKey root) {
  auto opened = platform::RegistryKey::Open(root, key, true);
  if (!opened) throw EOleRegistrationError(kCreateRegKeyError);
  try {
    opened->WriteString(valueName, value);
  } catch (const ERegistryException &) {
    throw EOleRegistrationError(kCreateRegKeyError);
  }
}

void DeleteRegKey(const std::string &key, platform::RootKey root) { platform::RegistryDeleteKey(root, key); }

std::string TypeLibraryVersionKey() {
  return "TypeLib\\" + com::GuidToString(LIBID_RSSQuorvelle) + "\\" + std::to_string(kTypeLibraryMajorVersion) + "." +
         std::to_string(kTypeLibraryMinorVersion);
}

std::string InterfaceKey() { return "Interface\\" + com::GuidToString(IID_IContextMenuAdd); }

void RegisterTypeLibrary() {
  const std::string library = ModuleFileName();
  const std::string versionKey = TypeLibraryVersionKey();
  CreateRegKey(versionKey, "", kTypeLibraryHelpString);
  CreateRegKey(versionKey + "\\" + LocaleFolder() + "\\win32", "", library);
  CreateRegKey(versionKey + "\\FLAGS", "", "0");
  CreateRegKey(versionKey + "\\HELPDIR", "", platform::ExtractFilePath(library));

  // The dual interface goes through the automation marshaller.
  const std::string interfaceKey = InterfaceKey();
  CreateRegKey(interfaceKey, "", kIContextMenuAddName);
  CreateRegKey(interfaceKey + "\\ProxyStubClsid", "", kAutomationProxyStub);
  CreateRegKey(interfaceKey + "\\ProxyStubClsid32", "", kAutomationProxyStub);
  CreateRegKey(interfaceKey + "\\TypeLib", "", com::GuidToString(LIBID_RSSQuorvelle));
  CreateRegKey(interfaceKey + "\\TypeLib", "Version",
               std::to_string(kTypeLibraryMajorVersion) + "." + std::to_string(kTypeLibraryMinorVersion));
}

void UnregisterTypeLibrary() {
  DeleteRegKey(InterfaceKey());
  DeleteRegKey(TypeLibraryVersionKey());
  const std::string libraryKey = "TypeLib\\" + com::GuidToString(LIBID_RSSQuorvelle);
  if (auto key = platform::RegistryKey::Open(platform::HKEY_CLASSES_ROOT, libraryKey, false)) {
    if (key->SubKeyNames().empty()) DeleteRegKey(libraryKey);
  }
}

} // namespace quorvelle
