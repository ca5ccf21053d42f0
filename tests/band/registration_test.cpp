// Self-registration, the exports and the module's start and end, seen from
// a program that loads libQuorvelle.so.

#include "tests/band/band_test_support.h"

#include <climits>
#include <cstdlib>

namespace quorvelle::test {
namespace {

using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;

constexpr const char *kBandKey = "CLSID\\{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35}";
constexpr const char *kMenuKey = "CLSID\\{A4D29E17-6C83-4B1F-8E52-97F0B3C6D418}";
constexpr const char *kLibId = "{D2736F41-0A9C-4E85-9B1D-6F4C28A3E790}";
constexpr const char *kTypeLibKey = "TypeLib\\{D2736F41-0A9C-4E85-9B1D-6F4C28A3E790}";
constexpr const char *kInterfaceKey = "Interface\\{5E0B7C3A-91D4-4A26-B7F8-C2E1904D6A53}";
constexpr const char *kToolbarKey = "Software\\Microsoft\\Internet Explorer\\Toolbar";

std::string LibraryPath() {
  char resolved[PATH_MAX];
  return realpath(QUORVELLE_BAND_LIBRARY, resolved) != nullptr ? std::string(resolved) : std::string();
}

using RegistrationTest = BandLibraryTest;

TEST_F(RegistrationTest, RegisterWritesBothClassesTheToolbarAndTheTypeLibrary) {
  Load();
  ASSERT_EQ(library_->RegisterServer(), com::S_OK);
  const std::string library = LibraryPath();
  ASSERT_FALSE(library.empty());
  const std::string folder = library.substr(0, library.rfind('/') + 1);

  struct Entry {
    platform::RootKey root;
    std::string key;
    std::string value;
    std::string data;
  };
  const std::vector<Entry> expected = {
      {HKEY_CLASSES_ROOT, kBandKey, "", "Quorvelle"},
      {HKEY_CLASSES_ROOT, std::string(kBandKey) + "\\InprocServer32", "", library},
      {HKEY_CLASSES_ROOT, std::string(kBandKey) + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {HKEY_CLASSES_ROOT, std::string(kBandKey) + "\\ProgID", "", "RSSQuorvelle.RSSQuorvelle"},
      {HKEY_CLASSES_ROOT, "RSSQuorvelle.RSSQuorvelle", "", "Quorvelle"},
      {HKEY_CLASSES_ROOT, "RSSQuorvelle.RSSQuorvelle\\Clsid", "", "{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35}"},
      {HKEY_LOCAL_MACHINE, kToolbarKey, "{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35}", "Quorvelle"},
      {HKEY_CLASSES_ROOT, kMenuKey, "", "ContextMenuAdd Object"},
      {HKEY_CLASSES_ROOT, std::string(kMenuKey) + "\\InprocServer32", "", library},
      {HKEY_CLASSES_ROOT, std::string(kMenuKey) + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {HKEY_CLASSES_ROOT, std::string(kMenuKey) + "\\ProgID", "", "RSSQuorvelle.ContextMenuAdd"},
      {HKEY_CLASSES_ROOT, std::string(kMenuKey) + "\\TypeLib", "", kLibId},
      {HKEY_CLASSES_ROOT, std::string(kMenuKey) + "\\Version", "", "1.0"},
      {HKEY_CLASSES_ROOT, "RSSQuorvelle.ContextMenuAdd", "", "ContextMenuAdd Object"},
      {HKEY_CLASSES_ROOT, "RSSQuorvelle.ContextMenuAdd\\Clsid", "", "{A4D29E17-6C83-4B1F-8E52-97F0B3C6D418}"},
      {HKEY_CLASSES_ROOT, std::string(kTypeLibKey) + "\\1.0", "", "RSSQuorvelle Library"},
      {HKEY_CLASSES_ROOT, std::string(kTypeLibKey) + "\\1.0\\409\\win32", "", library},
      {HKEY_CLASSES_ROOT, std::string(kTypeLibKey) + "\\1.0\\FLAGS", "", "0"},
      {HKEY_CLASSES_ROOT, std::string(kTypeLibKey) + "\\1.0\\HELPDIR", "", folder},
      {HKEY_CLASSES_ROOT, kInterfaceKey, "", "IContextMenuAdd"},
      {HKEY_CLASSES_ROOT, std::string(kInterfaceKey) + "\\ProxyStubClsid32", "",
       "{00020424-0000-0000-C000-000000000046}"},
      {HKEY_CLASSES_ROOT, std::string(kInterfaceKey) + "\\TypeLib", "", kLibId},
      {HKEY_CLASSES_ROOT, std::string(kInterfaceKey) + "\\TypeLib", "Version", "1.0"},
  };
  for (const Entry &entry : expected) {
    SCOPED_TRACE(entry.key + " / " + entry.value);
    EXPECT_EQ(RegistryText(entry.root, entry.key, entry.value), entry.data);
  }
  // The band class is not described by the type library.
  EXPECT_FALSE(platform::RegistryKeyExists(HKEY_CLASSES_ROOT, std::string(kBandKey) + "\\TypeLib"));

  // Registering again changes nothing and still succeeds.
  EXPECT_EQ(library_->RegisterServer(), com::S_OK);
  EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, std::string(kBandKey) + "\\InprocServer32"), library);
}

TEST_F(RegistrationTest, UnregisterRemovesEveryEntryAndLeavesOthersAlone) {
  Load();
  // Entries of other products in the same places.
  auto toolbar = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, kToolbarKey, true);
  ASSERT_TRUE(toolbar);
  toolbar->WriteString("{11111111-2222-3333-4444-555555555555}", "Other");
  auto otherVersion = platform::RegistryKey::Open(HKEY_CLASSES_ROOT, std::string(kTypeLibKey) + "\\2.0", true);
  ASSERT_TRUE(otherVersion);
  otherVersion->WriteString("", "A later library");

  ASSERT_EQ(library_->RegisterServer(), com::S_OK);
  ASSERT_EQ(library_->UnregisterServer(), com::S_OK);

  for (const std::string &key :
       {std::string(kBandKey), std::string(kMenuKey), std::string("RSSQuorvelle.RSSQuorvelle"),
        std::string("RSSQuorvelle.ContextMenuAdd"), std::string(kInterfaceKey), std::string(kTypeLibKey) + "\\1.0"}) {
    EXPECT_FALSE(platform::RegistryKeyExists(HKEY_CLASSES_ROOT, key)) << key;
  }
  EXPECT_FALSE(RegistryText(HKEY_LOCAL_MACHINE, kToolbarKey, "{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35}").has_value());
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kToolbarKey, "{11111111-2222-3333-4444-555555555555}"), "Other");
  EXPECT_EQ(RegistryText(HKEY_CLASSES_ROOT, std::string(kTypeLibKey) + "\\2.0"), "A later library");

  // Without another version the library's key goes too.
  platform::RegistryDeleteKey(HKEY_CLASSES_ROOT, std::string(kTypeLibKey) + "\\2.0");
  ASSERT_EQ(library_->RegisterServer(), com::S_OK);
  ASSERT_EQ(library_->UnregisterServer(), com::S_OK);
  EXPECT_FALSE(platform::RegistryKeyExists(HKEY_CLASSES_ROOT, kTypeLibKey));
  // Unregistering what is not registered is no failure.
  EXPECT_EQ(library_->UnregisterServer(), com::S_OK);
}

TEST_F(RegistrationTest, AStoreThatCannotBeWrittenFailsTheRegistration) {
  Load();
  // The registry folder below a plain file can never be created.
  WriteFile(install_ / "plain-file", "x");
  ScopedEnv unwritable("QUORVELLE_REGISTRY", install_ / "plain-file/registry");
  EXPECT_EQ(library_->RegisterServer(), com::E_FAIL);
}

TEST_F(RegistrationTest, ClassObjectsAnswerOnlyForTheLibrarysClasses) {
  Load();
  void *object = reinterpret_cast<void *>(1);
  EXPECT_EQ(library_->GetClassObject(com::GuidLiteral("{00000000-1111-2222-3333-444444444444}"),
                                     com::IClassFactory::iid, &object),
            com::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(library_->GetClassObject(kBandClassID, com::IClassFactory::iid, nullptr), com::E_POINTER);
  EXPECT_EQ(library_->GetClassObject(kBandClassID, com::IDeskBand::iid, &object), com::E_NOINTERFACE);

  const com::ComPtr<com::IClassFactory> factory = library_->Factory(kBandClassID);
  ASSERT_TRUE(factory);
  void *band = nullptr;
  com::IUnknown *outer = factory.Get();
  EXPECT_EQ(factory->CreateInstance(outer, com::IDeskBand::iid, &band), com::CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, com::IDispatch::iid, &band), com::E_NOINTERFACE);

  // The context-menu object is an automation object, the band is not.
  EXPECT_TRUE(library_->Create<com::IDispatch>(kContextMenuAddClassID));
  EXPECT_FALSE(library_->Create<com::IDeskBand>(kContextMenuAddClassID));
  const com::ComPtr<com::IDeskBand> deskBand = library_->Create<com::IDeskBand>(kBandClassID);
  ASSERT_TRUE(deskBand);
  com::ComPtr<com::IPersistStream> persist;
  ASSERT_EQ(deskBand.As(persist), com::S_OK);
  com::CLSID classID;
  EXPECT_EQ(persist->GetClassID(&classID), com::S_OK);
  EXPECT_EQ(classID, kBandClassID);
}

TEST_F(RegistrationTest, CanUnloadOnlyWithoutObjectsAndLocks) {
  Load();
  EXPECT_EQ(library_->CanUnloadNow(), com::S_OK);
  {
    const com::ComPtr<com::IDeskBand> band = library_->Create<com::IDeskBand>(kBandClassID);
    ASSERT_TRUE(band);
    EXPECT_EQ(library_->CanUnloadNow(), com::S_FALSE);
  }
  EXPECT_EQ(library_->CanUnloadNow(), com::S_OK);
  {
    const com::ComPtr<com::IDispatch> menu = library_->Create<com::IDispatch>(kContextMenuAddClassID);
    ASSERT_TRUE(menu);
    EXPECT_EQ(library_->CanUnloadNow(), com::S_FALSE);
  }
  EXPECT_EQ(library_->CanUnloadNow(), com::S_OK);

  // A lock outlives the factory it was taken through.
  library_->Factory(kBandClassID)->LockServer(1);
  EXPECT_EQ(library_->CanUnloadNow(), com::S_FALSE);
  library_->Factory(kContextMenuAddClassID)->LockServer(0);
  EXPECT_EQ(library_->CanUnloadNow(), com::S_OK);
  // A factory held by a caller keeps the library in use as well.
  {
    const com::ComPtr<com::IClassFactory> held = library_->Factory(kBandClassID);
    EXPECT_EQ(library_->CanUnloadNow(), com::S_FALSE);
  }
  EXPECT_EQ(library_->CanUnloadNow(), com::S_OK);
}

TEST_F(RegistrationTest, LoadingStartsTheStoreAndUnloadingWritesOnlyAChangedList) {
  const std::string feeds = user_.FeedsFile();
  ASSERT_FALSE(PathExists(feeds));
  Load();
  // The start read the settings (writing the missing ones) and the feed list.
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kSettingsKeyPath, "AppPath"), AppPath());
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kSettingsKeyPath, "FolderToStore"), user_.DataFolder());
  const auto settings = platform::RegistryKey::Open(HKEY_CURRENT_USER, kSettingsKeyPath, false);
  ASSERT_TRUE(settings);
  EXPECT_TRUE(settings->ValueExists("DebugMode"));
  EXPECT_FALSE(PathExists(feeds));

  // Unloading writes only what this process changed: another window may
  // have saved the list since.
  Unload();
  EXPECT_FALSE(PathExists(feeds));

  // A second load in the same process starts again.
  Load();
  EXPECT_EQ(library_->CanUnloadNow(), com::S_OK);
}

TEST_F(RegistrationTest, TheLibraryLogsBesideItsOwnFile) {
  const std::string library = LibraryPath();
  ASSERT_FALSE(library.empty());
  const std::string log = library.substr(0, library.rfind('/') + 1) + "DEBUG.LOG";
  // Only this test logs beside the built library (no other turns DebugMode on there).
  ScopedEnv besideLibrary("QUORVELLE_LOG_FOLDER", std::nullopt);
  std::remove(log.c_str());
  {
    auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, kSettingsKeyPath, true);
    ASSERT_TRUE(key);
    key->WriteBool("DebugMode", true);
  }
  // A feed list that does not parse: the library's start keeps it aside and
  // says so in its own log, beside libQuorvelle.so rather than the program.
  WriteFile(user_.FeedsFile(), "<Quorvelle_Feeds><broken");
  Load();
  Unload();
  ASSERT_TRUE(PathExists(log));
  const std::string text = ReadFile(log);
  std::remove(log.c_str());
  EXPECT_NE(text.find(": TRSSFeedOptions.Load: \"" + user_.FeedsFile() + "\" does not parse"), std::string::npos)
      << text;
}

} // namespace
} // namespace quorvelle::test
