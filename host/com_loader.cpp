#include "host/com_loader.h"

#include "platform/registry/registry.h"

#include <dlfcn.h>

namespace quorvelle::host {
namespace {

using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_LOCAL_MACHINE;
using platform::RegistryKey;

struct LibraryCloser {
  void operator()(void *handle) const noexcept { dlclose(handle); }
};

std::string HResultText(com::HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<std::uint32_t>(hr));
  return text;
}

} // namespace

struct ComLoader::Library {
  std::unique_ptr<void, LibraryCloser> handle;
  com::DllGetClassObjectFn getClassObject = nullptr;
  com::DllCanUnloadNowFn canUnloadNow = nullptr;
};

std::vector<com::CLSID> RegisteredToolbarBands() {
  std::vector<com::CLSID> bands;
  const auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, kToolbarKey, false);
  if (!key) return bands;
  for (const std::string &name : key->ValueNames()) {
    if (const auto clsid = com::StringToGuid(name)) bands.push_back(*clsid);
  }
  return bands;
}

std::optional<std::string> InprocServerPath(const com::CLSID &clsid) {
  const auto key =
      RegistryKey::Open(HKEY_CLASSES_ROOT, "CLSID\\" + com::GuidToString(clsid) + "\\InprocServer32", false);
  if (!key || !key->ValueExists("")) return std::nullopt;
  try {
    std::string path = key->ReadString("");
    if (path.empty()) return std::nullopt;
    return path;
  } catch (const ERegistryException &) {
    return std::nullopt;
  }
}

std::optional<com::CLSID> ClassOfProgID(const std::string &progID) {
  if (progID.empty() || progID.find('\\') != std::string::npos) return std::nullopt;
  const auto key = RegistryKey::Open(HKEY_CLASSES_ROOT, progID + "\\Clsid", false);
  if (!key || !key->ValueExists("")) return std::nullopt;
  try {
    return com::StringToGuid(key->ReadString(""));
  } catch (const ERegistryException &) {
    return std::nullopt;
  }
}

ComLoader::ComLoader() = default;

ComLoader::~ComLoader() {
  // Objects still alive keep their library: closing it under them would
  // leave their code unmapped. Those are released at process exit.
  Unload();
  for (auto &entry : libraries_) {
    (void)entry.second->handle.release();
  }
}

ComLoader::Library &ComLoader::Load(const std::string &path) {
  if (auto found = libraries_.find(path); found != libraries_.end()) return *found->second;
  auto library = std::make_unique<Library>();
  library->handle.reset(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library->handle) {
    const char *error = dlerror();
    throw EComLoadError(std::string(error != nullptr ? error : "cannot load") + ": " + path);
  }
  library->getClassObject =
      reinterpret_cast<com::DllGetClassObjectFn>(dlsym(library->handle.get(), com::kDllGetClassObject));
  library->canUnloadNow = reinterpret_cast<com::DllCanUnloadNowFn>(dlsym(library->handle.get(), com::kDllCanUnloadNow));
  if (library->getClassObject == nullptr) {
    throw EComLoadError(std::string(com::kDllGetClassObject) + " is not exported by " + path);
  }
  return *libraries_.emplace(path, std::move(library)).first->second;
}

com::ComPtr<com::IUnknown> ComLoader::CreateObject(const com::CLSID &clsid, const com::IID &riid) {
  const auto path = InprocServerPath(clsid);
  if (!path) throw EComLoadError("Class not registered: " + com::GuidToString(clsid));
  Library &library = Load(*path);
  com::ComPtr<com::IClassFactory> factory;
  void *factoryPointer = nullptr;
  com::HRESULT hr = library.getClassObject(clsid, com::IClassFactory::iid, &factoryPointer);
  if (com::FAILED(hr) || factoryPointer == nullptr) {
    throw EComLoadError("DllGetClassObject failed with " + HResultText(hr) + " for " + com::GuidToString(clsid));
  }
  factory.Attach(static_cast<com::IClassFactory *>(factoryPointer));
  void *objectPointer = nullptr;
  hr = factory->CreateInstance(nullptr, riid, &objectPointer);
  if (com::FAILED(hr) || objectPointer == nullptr) {
    throw EComLoadError("CreateInstance failed with " + HResultText(hr) + " for " + com::GuidToString(clsid));
  }
  // Every interface starts with IUnknown's slots, so the pointer is a valid IUnknown.
  com::ComPtr<com::IUnknown> object;
  object.Attach(static_cast<com::IUnknown *>(objectPointer));
  return object;
}

com::ComPtr<com::IUnknown> ComLoader::CreateObject(const std::string &progID, const com::IID &riid) {
  const auto clsid = ClassOfProgID(progID);
  if (!clsid) throw EComLoadError("Invalid class string: " + progID);
  return CreateObject(*clsid, riid);
}

std::size_t ComLoader::Unload() {
  std::size_t closed = 0;
  for (auto it = libraries_.begin(); it != libraries_.end();) {
    if (it->second->canUnloadNow != nullptr && it->second->canUnloadNow() == com::S_OK) {
      it = libraries_.erase(it);
      ++closed;
    } else {
      ++it;
    }
  }
  return closed;
}

} // namespace quorvelle::host
