// The library's four exports: the class objects, the unload check and the
// self-registration of both classes and the type library.

#include "band/class_factories.h"
#include "band/registration.h"
#include "platform/com/server_exports.h"
#include "support/debug_log.h"

#define QUORVELLE_EXPORT extern "C" __attribute__((visibility("default")))

using quorvelle::com::HRESULT;

QUORVELLE_EXPORT HRESULT DllGetClassObject(const quorvelle::com::CLSID &clsid, const quorvelle::com::IID &riid,
                                           void **object) {
  namespace com = quorvelle::com;
  if (object == nullptr) return com::E_POINTER;
  *object = nullptr;
  try {
    for (const auto &factory : quorvelle::CreateClassFactories()) {
      if (factory->ClassID() == clsid) return factory->QueryInterface(riid, object);
    }
    return com::CLASS_E_CLASSNOTAVAILABLE;
  } catch (...) {
    return com::E_OUTOFMEMORY;
  }
}

QUORVELLE_EXPORT HRESULT DllCanUnloadNow() {
  return quorvelle::com::ComModule::CanUnload() ? quorvelle::com::S_OK : quorvelle::com::S_FALSE;
}

namespace {

HRESULT UpdateServerRegistry(bool registerServer, const char *operation) noexcept {
  HRESULT result = quorvelle::com::S_OK;
  try {
    if (registerServer) {
      quorvelle::RegisterTypeLibrary();
      for (const auto &factory : quorvelle::CreateClassFactories()) {
        factory->UpdateRegistry(true);
      }
    } else {
      quorvelle::UnregisterTypeLibrary();
      for (const auto &factory : quorvelle::CreateClassFactories()) {
        factory->UpdateRegistry(false);
      }
    }
  } catch (...) {
    quorvelle::LogException(operation);
    result = quorvelle::com::E_FAIL;
  }
  return result;
}

// The exports' types are the ones hosts look them up with.
[[maybe_unused]] constexpr quorvelle::com::DllGetClassObjectFn kGetClassObject = &DllGetClassObject;
[[maybe_unused]] constexpr quorvelle::com::DllCanUnloadNowFn kCanUnloadNow = &DllCanUnloadNow;

} // namespace

QUORVELLE_EXPORT HRESULT DllRegisterServer() { return UpdateServerRegistry(true, "DllRegisterServer"); }

QUORVELLE_EXPORT HRESULT DllUnregisterServer() { return UpdateServerRegistry(false, "DllUnregisterServer"); }
