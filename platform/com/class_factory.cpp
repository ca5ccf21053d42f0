#include "platform/com/class_factory.h"

#include <new>

namespace quorvelle::com {

HRESULT ComClassFactory::CreateInstance(IUnknown *outer, const IID &riid, void **object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  try {
    const ComPtr<IUnknown> created = creator_ ? creator_() : ComPtr<IUnknown>();
    if (!created) return E_OUTOFMEMORY;
    // The caller's reference comes from the query; ours goes with `created`.
    return created->QueryInterface(riid, object);
  } catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT ComClassFactory::LockServer(BOOL lock) {
  if (lock != 0) {
    ComModule::Lock();
  } else {
    ComModule::Unlock();
  }
  return S_OK;
}

} // namespace quorvelle::com
