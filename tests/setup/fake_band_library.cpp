// A stand-in band library for the setup program's tests: its
// DllRegisterServer leaves a mark in the registry store, or fails when the
// environment asks it to.

#include "platform/registry/registry.h"

#include <cstdint>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) std::int32_t DllRegisterServer() {
  if (std::getenv("FAKE_BAND_FAIL") != nullptr) {
    return static_cast<std::int32_t>(0x80004005U); // E_FAIL
  }
  auto key = quorvelle::platform::RegistryKey::Open(quorvelle::platform::HKEY_CLASSES_ROOT, "FakeBand", true);
  if (key) {
    key->WriteString("", "registered");
  }
  return 0;
}
