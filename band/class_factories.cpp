#include "band/class_factories.h"

#include "band/com_identities.h"
#include "band/context_menu_add.h"
#include "band/registration.h"
#include "band/rss_quorvelle.h"
#include "platform/registry/registry.h"

namespace quorvelle {

TComObjectFactory::TComObjectFactory(const com::CLSID &classID, std::string className, std::string description,
                                     Creator creator)
    : ComClassFactory(classID, std::move(creator)), FClassName(std::move(className)),
      FDescription(std::move(description)) {}

std::string TComObjectFactory::ProgID() const { return std::string(kTypeLibraryName) + "." + FClassName; }

std::string TComObjectFactory::ClassIDString() const { return com::GuidToString(ClassID()); }

void TComObjectFactory::UpdateRegistry(bool registerClass) {
  const std::string classKey = "CLSID\\" + ClassIDString();
  const std::string progID = ProgID();
  if (registerClass) {
    CreateRegKey(classKey, "", FDescription);
    CreateRegKey(classKey + "\\InprocServer32", "", ModuleFileName());
    CreateRegKey(classKey + "\\InprocServer32", "ThreadingModel", "Apartment");
    CreateRegKey(progID, "", FDescription);
    CreateRegKey(progID + "\\Clsid", "", ClassIDString());
    CreateRegKey(classKey + "\\ProgID", "", progID);
  } else {
    DeleteRegKey(classKey + "\\ProgID");
    DeleteRegKey(progID + "\\Clsid");
    DeleteRegKey(progID);
    DeleteRegKey(classKey + "\\InprocServer32");
    DeleteRegKey(classKey);
  }
}

void TzToolBandObjectFactory::UpdateRegistry(bool registerClass) {
  if (registerClass) {
    TzCustomBandObjectFactory::UpdateRegistry(true);
    CreateRegKey(kToolbarKey, ClassIDString(), Description(), platform::HKEY_LOCAL_MACHINE);
  } else {
    if (auto toolbar = platform::RegistryKey::Open(platform::HKEY_LOCAL_MACHINE, kToolbarKey, false)) {
      toolbar->DeleteValue(ClassIDString());
    }
    TzCustomBandObjectFactory::UpdateRegistry(false);
  }
}

TRSSQuorvelleFactory::TRSSQuorvelleFactory()
    : TzToolBandObjectFactory(CLASS_RSSQuorvelle, kRSSQuorvelleClassName, kRSSQuorvelleDescription, [] {
        const com::ComPtr<TRSSQuorvelle> band = com::MakeComObject<TRSSQuorvelle>(CLASS_RSSQuorvelle);
        return com::ComPtr<com::IUnknown>(band->Identity());
      }) {}

void TAutoObjectFactory::UpdateRegistry(bool registerClass) {
  const std::string classKey = "CLSID\\" + ClassIDString();
  if (registerClass) {
    TComObjectFactory::UpdateRegistry(true);
    CreateRegKey(classKey + "\\TypeLib", "", com::GuidToString(LIBID_RSSQuorvelle));
    CreateRegKey(classKey + "\\Version", "",
                 std::to_string(kTypeLibraryMajorVersion) + "." + std::to_string(kTypeLibraryMinorVersion));
  } else {
    DeleteRegKey(classKey + "\\TypeLib");
    DeleteRegKey(classKey + "\\Version");
    TComObjectFactory::UpdateRegistry(false);
  }
}

TContextMenuAddFactory::TContextMenuAddFactory()
    : TAutoObjectFactory(CLASS_ContextMenuAdd, kContextMenuAddClassName, kContextMenuAddDescription, [] {
        const com::ComPtr<TContextMenuAdd> object = com::MakeComObject<TContextMenuAdd>();
        return com::ComPtr<com::IUnknown>(object->Identity());
      }) {}

std::vector<com::ComPtr<TComObjectFactory>> CreateClassFactories() {
  std::vector<com::ComPtr<TComObjectFactory>> factories;
  factories.emplace_back(new TRSSQuorvelleFactory());
  factories.emplace_back(new TContextMenuAddFactory());
  return factories;
}

} // namespace quorvelle
