// A stand-in band library for the browser's tests: a band whose form is a
// toolbar with two commands ("Go" navigates the browser to the address in
// the environment variable FAKE_BAND_GO; "Read page" stores the shown page's
// outer HTML in the registry), and an automation object "FakeBand.Capture"
// whose method 1 stores its arguments in the registry. Registration writes
// the same kinds of entries as the real band library.

#include "platform/com/band_interfaces.h"
#include "platform/com/browser_interfaces.h"
#include "platform/com/class_factory.h"
#include "platform/registry/registry.h"

#include <QAction>
#include <QToolBar>
#include <QWidget>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>

namespace {

using namespace quorvelle::com;
using quorvelle::platform::HKEY_CLASSES_ROOT;
using quorvelle::platform::HKEY_CURRENT_USER;
using quorvelle::platform::HKEY_LOCAL_MACHINE;
using quorvelle::platform::RegistryKey;

constexpr CLSID kBandClass = GuidLiteral("{0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}");
constexpr CLSID kCaptureClass = GuidLiteral("{1A2B3C4D-5E6F-4071-8293-A4B5C6D7E8F9}");

void Record(const std::string &name, const std::string &value) {
  if (auto key = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\FakeBand", true)) key->WriteString(name, value);
}

class FakeBand : public ComObject<IDeskBand, IObjectWithSite> {
public:
  ~FakeBand() override { form_.reset(); }

  HRESULT GetWindow(HWND *window) override {
    *window = form_.get();
    return S_OK;
  }
  HRESULT ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT ShowDW(BOOL show) override {
    if (form_) form_->setVisible(show != 0);
    if (show != 0 && site_) site_->OnFocusChangeIS(Identity(), 1);
    return S_OK;
  }
  HRESULT CloseDW(DWORD) override {
    form_.reset();
    Record("Closed", "yes");
    return S_OK;
  }
  HRESULT ResizeBorderDW(const RECT *, IUnknown *, BOOL) override { return E_NOTIMPL; }
  HRESULT GetBandInfo(DWORD, DWORD, DESKBANDINFO *info) override {
    if (!form_) return E_UNEXPECTED;
    info->ptMinSize = {150, 30};
    info->ptMaxSize = {150, 30};
    info->ptIntegral = {1, 1};
    info->ptActual = {150, 30};
    info->SetTitle(u"");
    info->dwModeFlags = DBIMF_VARIABLEHEIGHT;
    return S_OK;
  }
  HRESULT SetSite(IUnknown *site) override {
    site_ = nullptr;
    browser_ = nullptr;
    if (site == nullptr) return S_OK;
    if (!form_) {
      ComPtr<IOleWindow> window;
      QueryInterfaceTo(site, window);
      HWND parent = nullptr;
      if (!window || FAILED(window->GetWindow(&parent)) || parent == nullptr) return E_FAIL;
      form_ = std::make_unique<QWidget>(static_cast<QWidget *>(parent));
      auto *toolbar = new QToolBar(form_.get());
      toolbar->setObjectName(QStringLiteral("toolbarMain"));
      toolbar->addAction(QStringLiteral("Go"), [this] { Go(); });
      toolbar->addAction(QStringLiteral("Read page"), [this] { ReadPage(); });
      toolbar->resize(150, 30);
    }
    QueryInterfaceTo(site, site_);
    if (!site_) return E_FAIL;
    ComPtr<IServiceProvider> services;
    site_.As(services);
    if (services) {
      void *browser = nullptr;
      if (SUCCEEDED(services->QueryService(SID_SWebBrowserApp, IWebBrowser2::iid, &browser))) {
        browser_.Attach(static_cast<IWebBrowser2 *>(browser));
      }
    }
    return S_OK;
  }
  HRESULT GetSite(const IID &riid, void **site) override {
    *site = nullptr;
    return site_ ? site_->QueryInterface(riid, site) : E_FAIL;
  }

private:
  void Go() {
    const char *address = std::getenv("FAKE_BAND_GO");
    if (browser_ && address != nullptr) {
      browser_->Navigate2(std::string(address), std::int32_t{0}, std::int32_t{0}, std::int32_t{0}, std::int32_t{0});
    }
  }
  void ReadPage() {
    if (!browser_) return;
    ComPtr<IDispatch> document;
    if (FAILED(browser_->get_Document(document.ReleaseAndGetAddressOf())) || !document) return;
    ComPtr<IHTMLDocument3> html;
    document.As(html);
    if (!html) return;
    ComPtr<IHTMLElement> element;
    if (FAILED(html->get_documentElement(element.ReleaseAndGetAddressOf())) || !element) return;
    WideString text;
    if (SUCCEEDED(element->get_outerHTML(&text))) Record("Page", WideToUtf8(text));
  }

  std::unique_ptr<QWidget> form_;
  ComPtr<IInputObjectSite> site_;
  ComPtr<IWebBrowser2> browser_;
};

class FakeCapture : public ComObject<IDispatch> {
public:
  HRESULT Invoke(DISPID id, const std::vector<Variant> &args, Variant *result) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != 2) return DISP_E_BADPARAMCOUNT;
    Record("CaptureURL", VariantText(args[0]).value_or("<not text>"));
    Record("CaptureTitle", VariantText(args[1]).value_or("<not text>"));
    if (result != nullptr) *result = std::int32_t{42};
    return S_OK;
  }
};

std::string LibraryPath() {
  Dl_info info{};
  dladdr(reinterpret_cast<void *>(&LibraryPath), &info);
  return info.dli_fname != nullptr ? info.dli_fname : "";
}

void RegisterClass(const CLSID &clsid, const std::string &progID) {
  const std::string key = "CLSID\\" + GuidToString(clsid);
  RegistryKey::Open(HKEY_CLASSES_ROOT, key + "\\InprocServer32", true)->WriteString("", LibraryPath());
  RegistryKey::Open(HKEY_CLASSES_ROOT, progID + "\\Clsid", true)->WriteString("", GuidToString(clsid));
}

} // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT HRESULT DllGetClassObject(const CLSID &clsid, const IID &riid, void **object) {
  *object = nullptr;
  ComPtr<ComClassFactory> factory;
  if (clsid == kBandClass) {
    factory =
        MakeComObject<ComClassFactory>(clsid, [] { return ComPtr<IUnknown>(MakeComObject<FakeBand>()->Identity()); });
  } else if (clsid == kCaptureClass) {
    factory = MakeComObject<ComClassFactory>(clsid,
                                             [] { return ComPtr<IUnknown>(MakeComObject<FakeCapture>()->Identity()); });
  } else {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return factory->QueryInterface(riid, object);
}

FAKE_EXPORT HRESULT DllCanUnloadNow() { return ComModule::CanUnload() ? S_OK : S_FALSE; }

FAKE_EXPORT HRESULT DllRegisterServer() {
  RegisterClass(kBandClass, "FakeBand.Band");
  RegisterClass(kCaptureClass, "FakeBand.Capture");
  RegistryKey::Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\Toolbar", true)
      ->WriteString(GuidToString(kBandClass), "Fake band");
  return S_OK;
}
