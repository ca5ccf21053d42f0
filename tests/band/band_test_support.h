#pragma once
// What the band's tests need to play the browser: the built library loaded
// with dlopen, a browser window, a band site, a web browser that records
// where it was sent and serves a page, and a helper that acts on modal
// windows once they are open.

#include "platform/com/band_interfaces.h"
#include "platform/com/browser_interfaces.h"
#include "platform/com/class_factory.h"
#include "platform/com/server_exports.h"
#include "platform/registry/registry.h"
#include "tests/helpers/test_environment.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvelle::test {

inline constexpr com::CLSID kBandClassID = com::GuidLiteral("{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35}");
inline constexpr com::CLSID kContextMenuAddClassID = com::GuidLiteral("{A4D29E17-6C83-4B1F-8E52-97F0B3C6D418}");
inline constexpr const char *kSettingsKeyPath = "Software\\Tolvane\\Quorvelle";

// The built libQuorvelle.so, loaded for as long as the object lives.
class BandLibrary {
public:
  BandLibrary() : handle_(dlopen(QUORVELLE_BAND_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) return;
    GetClassObject = reinterpret_cast<com::DllGetClassObjectFn>(dlsym(handle_, com::kDllGetClassObject));
    CanUnloadNow = reinterpret_cast<com::DllCanUnloadNowFn>(dlsym(handle_, com::kDllCanUnloadNow));
    RegisterServer = reinterpret_cast<com::DllRegisterServerFn>(dlsym(handle_, com::kDllRegisterServer));
    UnregisterServer = reinterpret_cast<com::DllUnregisterServerFn>(dlsym(handle_, com::kDllUnregisterServer));
  }
  ~BandLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  BandLibrary(const BandLibrary &) = delete;
  BandLibrary &operator=(const BandLibrary &) = delete;

  [[nodiscard]] bool Loaded() const {
    return handle_ != nullptr && GetClassObject != nullptr && CanUnloadNow != nullptr && RegisterServer != nullptr &&
           UnregisterServer != nullptr;
  }

  [[nodiscard]] com::ComPtr<com::IClassFactory> Factory(const com::CLSID &clsid) const {
    void *object = nullptr;
    com::ComPtr<com::IClassFactory> factory;
    if (com::SUCCEEDED(GetClassObject(clsid, com::IClassFactory::iid, &object)) && object != nullptr) {
      factory.Attach(static_cast<com::IClassFactory *>(object));
    }
    return factory;
  }

  // A new object of class clsid through its class factory, as interface I.
  template <typename I> [[nodiscard]] com::ComPtr<I> Create(const com::CLSID &clsid) const {
    com::ComPtr<I> result;
    const com::ComPtr<com::IClassFactory> factory = Factory(clsid);
    void *object = nullptr;
    if (factory && com::SUCCEEDED(factory->CreateInstance(nullptr, I::iid, &object)) && object != nullptr) {
      result.Attach(static_cast<I *>(object));
    }
    return result;
  }

  com::DllGetClassObjectFn GetClassObject = nullptr;
  com::DllCanUnloadNowFn CanUnloadNow = nullptr;
  com::DllRegisterServerFn RegisterServer = nullptr;
  com::DllUnregisterServerFn UnregisterServer = nullptr;

private:
  void *handle_;
};

// The browser's window that the band's form goes into; records the keys
// that reach it.
class FakeBrowserWindow : public QWidget {
public:
  FakeBrowserWindow() { resize(800, 40); }
  std::vector<int> keysReceived;

protected:
  void keyPressEvent(QKeyEvent *event) override {
    keysReceived.push_back(event->key());
    event->accept();
  }
};

class FakeElement final : public com::ComObject<com::IHTMLElement> {
public:
  explicit FakeElement(std::u16string html) : html_(std::move(html)) {}
  com::HRESULT Invoke(com::DISPID, const std::vector<com::Variant> &, com::Variant *) override {
    return com::DISP_E_MEMBERNOTFOUND;
  }
  com::HRESULT get_outerHTML(com::WideString *html) override {
    *html = html_;
    return com::S_OK;
  }

private:
  std::u16string html_;
};

class FakeHtmlDocument final : public com::ComObject<com::IHTMLDocument3> {
public:
  explicit FakeHtmlDocument(std::u16string html) : html_(std::move(html)) {}
  com::HRESULT Invoke(com::DISPID, const std::vector<com::Variant> &, com::Variant *) override {
    return com::DISP_E_MEMBERNOTFOUND;
  }
  com::HRESULT get_documentElement(com::IHTMLElement **element) override {
    *element = com::MakeComObject<FakeElement>(html_).Detach();
    return com::S_OK;
  }

private:
  std::u16string html_;
};

// A document that is no HTML page (a feed or a picture shown by the browser).
class FakePlainDocument final : public com::ComObject<com::IDispatch> {
public:
  com::HRESULT Invoke(com::DISPID, const std::vector<com::Variant> &, com::Variant *) override {
    return com::DISP_E_MEMBERNOTFOUND;
  }
};

// The hosting browser: records every Navigate2 and shows one page.
class FakeWebBrowser final : public com::ComObject<com::IWebBrowser2> {
public:
  struct Navigation {
    com::Variant url, flags, targetFrameName, postData, headers;
  };
  std::vector<Navigation> navigations;
  // The shown page's markup; nullopt: no document at all.
  std::optional<std::string> page;
  bool pageIsHtml = true;
  com::HRESULT navigateResult = com::S_OK;

  [[nodiscard]] std::vector<std::string> Addresses() const {
    std::vector<std::string> addresses;
    for (const Navigation &navigation : navigations) {
      addresses.push_back(com::VariantText(navigation.url).value_or("<not text>"));
    }
    return addresses;
  }

  com::HRESULT Invoke(com::DISPID, const std::vector<com::Variant> &, com::Variant *) override {
    return com::DISP_E_MEMBERNOTFOUND;
  }
  com::HRESULT Navigate2(const com::Variant &url, const com::Variant &flags, const com::Variant &targetFrameName,
                         const com::Variant &postData, const com::Variant &headers) override {
    navigations.push_back({url, flags, targetFrameName, postData, headers});
    return navigateResult;
  }
  com::HRESULT get_Document(com::IDispatch **document) override {
    *document = nullptr;
    if (!page) return com::S_FALSE;
    if (pageIsHtml) {
      *document = com::MakeComObject<FakeHtmlDocument>(com::Utf8ToWide(*page)).Detach();
    } else {
      *document = com::MakeComObject<FakePlainDocument>().Detach();
    }
    return com::S_OK;
  }
};

// The band's site: a window, focus notifications, and the web browser as a
// service behind the command target. Each part can be withheld.
class FakeSite final
    : public com::ComObject<com::IOleWindow, com::IInputObjectSite, com::IOleCommandTarget, com::IServiceProvider> {
public:
  com::HWND window = nullptr;
  bool offerWindow = true;
  bool offerCommandTarget = true;
  com::ComPtr<FakeWebBrowser> browser;
  struct FocusChange {
    com::IUnknown *object;
    com::BOOL setFocus;
  };
  std::vector<FocusChange> focusChanges;

  com::HRESULT QueryInterface(const com::IID &riid, void **object) override {
    if ((!offerWindow && riid == com::IOleWindow::iid) ||
        (!offerCommandTarget && (riid == com::IOleCommandTarget::iid || riid == com::IServiceProvider::iid))) {
      if (object != nullptr) *object = nullptr;
      return com::E_NOINTERFACE;
    }
    return ComObject::QueryInterface(riid, object);
  }
  com::HRESULT GetWindow(com::HWND *result) override {
    *result = window;
    return com::S_OK;
  }
  com::HRESULT ContextSensitiveHelp(com::BOOL) override { return com::E_NOTIMPL; }
  com::HRESULT OnFocusChangeIS(com::IUnknown *object, com::BOOL setFocus) override {
    focusChanges.push_back({object, setFocus});
    return com::S_OK;
  }
  com::HRESULT QueryStatus(const com::GUID *, com::ULONG, com::OLECMD *, com::OLECMDTEXT *) override {
    return com::OLECMDERR_E_UNKNOWNGROUP;
  }
  com::HRESULT Exec(const com::GUID *, com::DWORD, com::DWORD, const com::Variant *, com::Variant *) override {
    return com::OLECMDERR_E_UNKNOWNGROUP;
  }
  com::HRESULT QueryService(const com::GUID &service, const com::IID &riid, void **object) override {
    *object = nullptr;
    if (service != com::SID_SWebBrowserApp || !browser) return com::E_NOINTERFACE;
    return browser->QueryInterface(riid, object);
  }
};

// Once a modal window for which matches(window) holds is open (checked every
// 10 ms, for up to 10 s), act runs on it. Anything else left open at the end
// is closed, so a test fails instead of hanging.
inline void WhenModal(std::function<bool(QWidget *)> matches, std::function<void(QWidget *)> act,
                      int attemptsLeft = 1000) {
  QTimer::singleShot(10, [matches = std::move(matches), act = std::move(act), attemptsLeft]() mutable {
    QWidget *window = QApplication::activeModalWidget();
    if (window != nullptr && matches(window)) {
      act(window);
    } else if (attemptsLeft > 0) {
      WhenModal(std::move(matches), std::move(act), attemptsLeft - 1);
    } else if (window != nullptr) {
      ADD_FAILURE() << "unexpected modal window " << window->objectName().toStdString();
      window->close();
    }
  });
}

inline std::function<bool(QWidget *)> Named(const char *objectName) {
  return [name = QString::fromLatin1(objectName)](QWidget *window) { return window->objectName() == name; };
}

inline std::function<bool(QWidget *)> OfClass(const char *className) {
  return [className](QWidget *window) { return window->inherits(className); };
}

// A registry value under HKEY_CLASSES_ROOT (or root); nullopt when missing.
inline std::optional<std::string> RegistryText(platform::RootKey root, const std::string &key,
                                               const std::string &value = "") {
  const auto opened = platform::RegistryKey::Open(root, key, false);
  if (!opened || !opened->ValueExists(value)) return std::nullopt;
  return opened->ReadString(value);
}

// An isolated user with an installation folder (a copy of the product's data
// files) named as AppPath in the settings, and the band library loaded on
// demand.
class BandLibraryTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::copy(std::string(QUORVELLE_SOURCE_DIR) + "/data", install_.Path(),
                          std::filesystem::copy_options::recursive);
    SetSetting("AppPath", AppPath());
  }

  void TearDown() override { Unload(); }

  // The installation folder with its trailing delimiter.
  [[nodiscard]] std::string AppPath() const { return install_.Path() + "/"; }

  static void SetSetting(const std::string &name, const std::string &value) {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKeyPath, true);
    ASSERT_TRUE(key.has_value());
    key->WriteString(name, value);
  }

  // Loads the library (its module start reads the settings written so far).
  void Load() {
    library_ = std::make_unique<BandLibrary>();
    ASSERT_TRUE(library_->Loaded()) << dlerror();
  }
  // Releases every object of the library, then unloads it (its module end
  // saves the feed store).
  virtual void Unload() { library_.reset(); }

  IsolatedUser user_;
  TempDir install_;
  std::unique_ptr<BandLibrary> library_;
};

// A band created through the library's class factory and given a site in a
// browser window with a web browser.
class BandTest : public BandLibraryTest {
protected:
  void SetUp() override {
    BandLibraryTest::SetUp();
    Load();
    CreateBand();
  }

  // A new browser window, site, web browser and band (the library loaded).
  void CreateBand() {
    window_ = std::make_unique<FakeBrowserWindow>();
    window_->show();
    site_ = com::MakeComObject<FakeSite>();
    site_->window = static_cast<QWidget *>(window_.get());
    site_->browser = com::MakeComObject<FakeWebBrowser>();
    band_ = library_->Create<com::IDeskBand>(kBandClassID);
    ASSERT_TRUE(band_);
  }

  // Gives the band its site; true when SetSite succeeded.
  bool SetSite() {
    com::ComPtr<com::IObjectWithSite> withSite;
    if (com::FAILED(band_.As(withSite))) return false;
    return com::SUCCEEDED(withSite->SetSite(site_->Identity()));
  }

  // The band's form: the widget its GetWindow gives.
  [[nodiscard]] QWidget *Form() const {
    com::HWND window = nullptr;
    band_->GetWindow(&window);
    return static_cast<QWidget *>(window);
  }

  template <typename T = QObject> T *Find(const char *name) const {
    QWidget *form = Form();
    return form != nullptr ? form->findChild<T *>(QString::fromLatin1(name)) : nullptr;
  }

  void Unload() override {
    if (band_) {
      band_->ShowDW(0);
      band_->CloseDW(0);
      com::ComPtr<com::IObjectWithSite> withSite;
      if (com::SUCCEEDED(band_.As(withSite))) withSite->SetSite(nullptr);
    }
    band_ = nullptr;
    site_ = nullptr;
    window_.reset();
    BandLibraryTest::Unload();
  }

  std::unique_ptr<FakeBrowserWindow> window_;
  com::ComPtr<FakeSite> site_;
  com::ComPtr<com::IDeskBand> band_;
};

} // namespace quorvelle::test
