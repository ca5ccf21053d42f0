#pragma once
// The library's class factories and their self-registration.
//
//   TComObjectFactory          class keys under HKEY_CLASSES_ROOT
//   ├ TzCustomBandObjectFactory
//   │ └ TzToolBandObjectFactory  + the browser's "Toolbar" value
//   │   └ TRSSQuorvelleFactory     the band class
//   └ TAutoObjectFactory       + "TypeLib" and "Version" of an automation class
//     └ TContextMenuAddFactory   the context-menu object
//
// A factory object is made for each request (DllGetClassObject, a
// registration run) and counts as a live object of the module while a caller
// holds it.

#include "platform/com/class_factory.h"

#include <string>
#include <vector>

namespace quorvelle {

class TComObjectFactory : public com::ComClassFactory {
public:
  TComObjectFactory(const com::CLSID &classID, std::string className, std::string description, Creator creator);

  [[nodiscard]] const std::string &ClassName() const noexcept { return FClassName; }
  [[nodiscard]] const std::string &Description() const noexcept { return FDescription; }
  // Server name "." class name.
  [[nodiscard]] std::string ProgID() const;
  [[nodiscard]] std::string ClassIDString() const;

  // Writes (true) or removes (false) the class's registry entries; raises
  // EOleRegistrationError when a key cannot be created.
  virtual void UpdateRegistry(bool registerClass);

private:
  std::string FClassName;
  std::string FDescription;
};

class TzCustomBandObjectFactory : public TComObjectFactory {
public:
  using TComObjectFactory::TComObjectFactory;
};

class TzToolBandObjectFactory : public TzCustomBandObjectFactory {
public:
  using TzCustomBandObjectFactory::TzCustomBandObjectFactory;
  void UpdateRegistry(bool registerClass) override;
};

class TRSSQuorvelleFactory final : public TzToolBandObjectFactory {
public:
  TRSSQuorvelleFactory();
};

class TAutoObjectFactory : public TComObjectFactory {
public:
  using TComObjectFactory::TComObjectFactory;
  void UpdateRegistry(bool registerClass) override;
};

class TContextMenuAddFactory final : public TAutoObjectFactory {
public:
  TContextMenuAddFactory();
};

// A fresh factory of each class of the library, in registration order.
std::vector<com::ComPtr<TComObjectFactory>> CreateClassFactories();

} // namespace quorvelle
