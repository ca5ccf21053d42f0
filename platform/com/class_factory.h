#pragma once
// IClassFactory and a ready implementation that creates one class of objects
// through a creator function.

#include "platform/com/unknown.h"

#include <functional>

namespace quorvelle::com {

class IClassFactory : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{00000001-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  virtual HRESULT CreateInstance(IUnknown *outer, const IID &riid, void **object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;
};

// Creates objects of the class clsid; aggregation is not supported. The
// factory itself counts as a live object of the module while it exists.
class ComClassFactory : public ComObject<IClassFactory> {
public:
  // creator returns a new object (its IUnknown, one reference) or nothing.
  using Creator = std::function<ComPtr<IUnknown>()>;
  ComClassFactory(const CLSID &clsid, Creator creator) : clsid_(clsid), creator_(std::move(creator)) {}

  [[nodiscard]] const CLSID &ClassID() const noexcept { return clsid_; }

  HRESULT CreateInstance(IUnknown *outer, const IID &riid, void **object) override;
  HRESULT LockServer(BOOL lock) override;

private:
  CLSID clsid_;
  Creator creator_;
};

} // namespace quorvelle::com
