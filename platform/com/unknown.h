#pragma once
// IUnknown, the smart pointer ComPtr that holds one reference, and
// ComObject, the reusable base that gives an implementation its reference
// count and its QueryInterface over the interfaces it lists.
//
// Every interface names its IID as the static constant `iid` and the
// interface it extends as `Base` (IUnknown's Base is void), so QueryInterface
// answers for an interface and everything it extends.

#include "platform/com/com_types.h"

#include <atomic>
#include <tuple>
#include <type_traits>
#include <utility>

namespace quorvelle::com {

class IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{00000000-0000-0000-C000-000000000046}");
  using Base = void;

  // On success *object holds the interface with one reference added for the
  // caller; otherwise it is cleared and E_NOINTERFACE (E_POINTER without object).
  virtual HRESULT QueryInterface(const IID &riid, void **object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

protected:
  // Objects are freed by their last Release, never by deleting an interface.
  virtual ~IUnknown() = default;
};

// Holds one reference to an interface; copies add one, destruction releases it.
template <typename T> class ComPtr {
public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference to p.
  explicit ComPtr(T *p) noexcept : p_(p) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(const ComPtr &other) noexcept : ComPtr(other.p_) {}
  ComPtr(ComPtr &&other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U *, T *>>>
  ComPtr(const ComPtr<U> &other) noexcept : ComPtr(static_cast<T *>(other.Get())) {}
  ~ComPtr() { Reset(); }

  ComPtr &operator=(const ComPtr &other) noexcept {
    ComPtr(other).Swap(*this);
    return *this;
  }
  ComPtr &operator=(ComPtr &&other) noexcept {
    ComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  ComPtr &operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  [[nodiscard]] T *Get() const noexcept { return p_; }
  T *operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  void Reset() noexcept {
    if (T *old = std::exchange(p_, nullptr)) old->Release();
  }
  void Swap(ComPtr &other) noexcept { std::swap(p_, other.p_); }
  // Adopts a reference that the caller already owns (an out-parameter's result).
  void Attach(T *p) noexcept {
    Reset();
    p_ = p;
  }
  // Gives up the reference without releasing it.
  [[nodiscard]] T *Detach() noexcept { return std::exchange(p_, nullptr); }
  // Releases the held reference and offers the slot as an out-parameter.
  T **ReleaseAndGetAddressOf() noexcept {
    Reset();
    return &p_;
  }

  // QueryInterface for U into target; the HRESULT of the query.
  template <typename U> HRESULT As(ComPtr<U> &target) const {
    target.Reset();
    if (p_ == nullptr) return E_POINTER;
    void *object = nullptr;
    const HRESULT hr = p_->QueryInterface(U::iid, &object);
    if (SUCCEEDED(hr) && object != nullptr) target.Attach(static_cast<U *>(object));
    return hr;
  }

  friend bool operator==(const ComPtr &a, const ComPtr &b) noexcept { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr &a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

private:
  T *p_ = nullptr;
};

// QueryInterface on any interface pointer into a ComPtr of U.
template <typename U, typename T> HRESULT QueryInterfaceTo(T *source, ComPtr<U> &target) {
  return ComPtr<T>(source).As(target);
}

// Counts of live objects and server locks for DllCanUnloadNow.
namespace ComModule {
void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;
void Lock() noexcept;
void Unlock() noexcept;
long ObjectCount() noexcept;
long LockCount() noexcept;
// True when no object is alive and no lock is held.
bool CanUnload() noexcept;
} // namespace ComModule

namespace detail {
template <typename I> void *FindInterface(I *p, const IID &riid) {
  if constexpr (std::is_same_v<I, IUnknown>) {
    return riid == IUnknown::iid ? p : nullptr;
  } else {
    if (riid == I::iid) return p;
    return FindInterface<typename I::Base>(static_cast<typename I::Base *>(p), riid);
  }
}
} // namespace detail

// Base of an implementation of Interfaces...: the reference count (the object
// deletes itself at the last Release), QueryInterface over the interfaces and
// all they extend, and the module's object count. Create objects with
// MakeComObject; the count starts at 0 and the ComPtr takes the first reference.
template <typename... Interfaces> class ComObject : public Interfaces... {
public:
  ComObject() noexcept { ComModule::ObjectCreated(); }
  ComObject(const ComObject &) = delete;
  ComObject &operator=(const ComObject &) = delete;

  HRESULT QueryInterface(const IID &riid, void **object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    void *found = nullptr;
    ((found = found != nullptr ? found : detail::FindInterface<Interfaces>(static_cast<Interfaces *>(this), riid)),
     ...);
    if (found == nullptr) found = QueryOtherInterface(riid);
    if (found == nullptr) return E_NOINTERFACE;
    AddRef();
    *object = found;
    return S_OK;
  }
  ULONG AddRef() override { return refCount_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG Release() override {
    const ULONG count = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) delete this;
    return count;
  }

  // The object's identity: its IUnknown, the same for every interface queried.
  IUnknown *Identity() noexcept {
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    return static_cast<IUnknown *>(static_cast<First *>(this));
  }

protected:
  ~ComObject() override { ComModule::ObjectDestroyed(); }
  // For an implementation that answers further interfaces itself; the
  // pointer returned gets its reference added by QueryInterface.
  virtual void *QueryOtherInterface(const IID & /*iid*/) { return nullptr; }

private:
  std::atomic<ULONG> refCount_{0};
};

template <typename T, typename... Args> ComPtr<T> MakeComObject(Args &&...args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

} // namespace quorvelle::com
