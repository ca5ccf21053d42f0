#pragma once
// The four functions an in-process server library exports, as a host or the
// setup program finds them with dlsym. Their C++ parameter types are the ones
// of platform/com; both sides are built by the same compiler.

#include "platform/com/unknown.h"

namespace quorvelle::com {

// HRESULT DllGetClassObject(const CLSID &clsid, const IID &riid, void **object)
using DllGetClassObjectFn = HRESULT (*)(const CLSID &clsid, const IID &riid, void **object);
// HRESULT DllCanUnloadNow(), DllRegisterServer(), DllUnregisterServer()
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

inline constexpr const char *kDllGetClassObject = "DllGetClassObject";
inline constexpr const char *kDllCanUnloadNow = "DllCanUnloadNow";
inline constexpr const char *kDllRegisterServer = "DllRegisterServer";
inline constexpr const char *kDllUnregisterServer = "DllUnregisterServer";

} // namespace quorvelle::com
