#include "platform/com/band_interfaces.h"
#include "platform/com/browser_interfaces.h"
#include "platform/com/class_factory.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvelle::com {
namespace {

TEST(ComGuid, TextFormRoundTripsAndMalformedTextIsRefused) {
  const std::string band = "{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35}";
  const std::optional<GUID> parsed = StringToGuid(band);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->Data1, 0x7C1E4A92U);
  EXPECT_EQ(parsed->Data2, 0x3B5DU);
  EXPECT_EQ(parsed->Data3, 0x4F60U);
  EXPECT_EQ(parsed->Data4[0], 0x9AU);
  EXPECT_EQ(parsed->Data4[7], 0x35U);
  EXPECT_EQ(GuidToString(*parsed), band);
  EXPECT_EQ(StringToGuid("{7c1e4a92-3b5d-4f60-9a7e-2d84c61b0f35}"), parsed);
  EXPECT_EQ(GuidToString(IHTMLDocument3::iid), "{3050F485-98B5-11CF-BB82-00AA00BDCE0B}");
  EXPECT_EQ(GuidToString(IWebBrowser2::iid), "{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}");
  EXPECT_EQ(GuidToString(SID_SWebBrowserApp), "{0002DF05-0000-0000-C000-000000000046}");
  EXPECT_EQ(GuidToString(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
  for (const char *bad : {"7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35", "{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F3}",
                          "{7C1E4A92-3B5D-4F60-9A7E2-D84C61B0F35}", "{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F3G}",
                          "{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35", "", "{}"}) {
    EXPECT_FALSE(StringToGuid(bad).has_value()) << bad;
  }
}

TEST(ComHResult, ValuesAndOleCheck) {
  EXPECT_EQ(static_cast<std::uint32_t>(E_UNEXPECTED), 0x8000FFFFU);
  EXPECT_TRUE(FAILED(E_NOTIMPL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
  try {
    OleCheck(E_FAIL);
    FAIL() << "no exception";
  } catch (const EOleSysError &e) {
    EXPECT_EQ(e.ErrorCode(), E_FAIL);
    EXPECT_STREQ(e.what(), "Unspecified error");
  }
  EXPECT_EQ(HResultMessage(MakeHResult(0x80041234)), "OLE error 80041234");
}

TEST(ComWideText, ConvertsBothWaysAndReplacesIllFormedInput) {
  const std::string text = "Caf\xC3\xA9 \xE6\x96\xB0 \xF0\x9F\x93\xB0"; // BMP and a surrogate pair
  const WideString wide = Utf8ToWide(text);
  EXPECT_EQ(wide, u"Caf\u00E9 \u65B0 \U0001F4F0");
  EXPECT_EQ(WideToUtf8(wide), text);
  EXPECT_EQ(Utf8ToWide("a\xFF"
                       "b"),
            u"a\uFFFDb");
  EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
  EXPECT_EQ(VariantText(Variant(wide)), text);
  EXPECT_EQ(VariantText(Variant(std::int32_t{0})), std::nullopt);
}

// A band-like object: three interfaces, two of them with base interfaces.
class TestBand : public ComObject<IDeskBand, IObjectWithSite, IInputObject> {
public:
  explicit TestBand(bool *destroyed) : destroyed_(destroyed) {}
  ~TestBand() override { *destroyed_ = true; }

  HRESULT GetWindow(HWND *window) override {
    *window = reinterpret_cast<HWND>(0x1234);
    return S_OK;
  }
  HRESULT ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT ShowDW(BOOL) override { return S_OK; }
  HRESULT CloseDW(DWORD) override { return S_OK; }
  HRESULT ResizeBorderDW(const RECT *, IUnknown *, BOOL) override { return E_NOTIMPL; }
  HRESULT GetBandInfo(DWORD, DWORD, DESKBANDINFO *info) override {
    info->SetTitle(u"Band");
    return S_OK;
  }
  HRESULT SetSite(IUnknown *site) override {
    site_ = ComPtr<IUnknown>(site);
    return S_OK;
  }
  HRESULT GetSite(const IID &riid, void **site) override {
    *site = nullptr;
    return site_ ? site_->QueryInterface(riid, site) : E_FAIL;
  }
  HRESULT UIActivateIO(BOOL, MSG *) override { return S_OK; }
  HRESULT HasFocusIO() override { return S_FALSE; }
  HRESULT TranslateAcceleratorIO(MSG *) override { return S_FALSE; }

private:
  bool *destroyed_;
  ComPtr<IUnknown> site_;
};

TEST(ComObject, ReferenceCountingFreesTheObjectAtTheLastRelease) {
  const long before = ComModule::ObjectCount();
  bool destroyed = false;
  {
    ComPtr<TestBand> band = MakeComObject<TestBand>(&destroyed);
    EXPECT_EQ(ComModule::ObjectCount(), before + 1);
    EXPECT_EQ(band->AddRef(), 2U);
    EXPECT_EQ(band->Release(), 1U);
    ComPtr<IDeskBand> copy(band);
    ComPtr<IDeskBand> moved(std::move(copy));
    EXPECT_FALSE(copy);
    EXPECT_EQ(band->AddRef(), 3U); // band, moved, this call
    band->Release();
    band = nullptr;
    EXPECT_FALSE(destroyed);
    IDeskBand *raw = moved.Detach();
    EXPECT_FALSE(destroyed);
    ComPtr<IDeskBand> adopted;
    adopted.Attach(raw);
  }
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(ComModule::ObjectCount(), before);
}

TEST(ComObject, QueryInterfaceAnswersListedAndExtendedInterfacesOnly) {
  bool destroyed = false;
  {
    const ComPtr<TestBand> band = MakeComObject<TestBand>(&destroyed);
    IUnknown *identity = band->Identity();

    ComPtr<IOleWindow> window;
    ASSERT_EQ(band.As(window), S_OK);
    HWND handle = nullptr;
    EXPECT_EQ(window->GetWindow(&handle), S_OK);
    EXPECT_EQ(handle, reinterpret_cast<HWND>(0x1234));

    ComPtr<IDockingWindow> docking;
    EXPECT_EQ(window.As(docking), S_OK);
    ComPtr<IObjectWithSite> withSite;
    EXPECT_EQ(docking.As(withSite), S_OK);
    ComPtr<IInputObject> input;
    EXPECT_EQ(withSite.As(input), S_OK);
    EXPECT_EQ(input->HasFocusIO(), S_FALSE);

    // Every route to IUnknown gives the same identity.
    ComPtr<IUnknown> unknownFromWindow;
    ComPtr<IUnknown> unknownFromInput;
    EXPECT_EQ(window.As(unknownFromWindow), S_OK);
    EXPECT_EQ(input.As(unknownFromInput), S_OK);
    EXPECT_EQ(unknownFromWindow.Get(), identity);
    EXPECT_EQ(unknownFromInput.Get(), identity);

    void *object = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(band->QueryInterface(IPersistStream::iid, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ComPtr<IWebBrowser2> browser;
    EXPECT_EQ(input.As(browser), E_NOINTERFACE);
    EXPECT_FALSE(browser);
    EXPECT_EQ(band->QueryInterface(IDeskBand::iid, nullptr), E_POINTER);

    // Failed queries added no reference: band, window, docking, withSite,
    // input and the two IUnknowns hold seven.
    EXPECT_EQ(band->AddRef(), 8U);
    band->Release();
  }
  EXPECT_TRUE(destroyed);
}

// A browser stand-in: the site offers the web browser as a service, the
// browser's document offers IHTMLDocument3, its element the page markup.
class TestElement : public ComObject<IHTMLElement> {
public:
  HRESULT Invoke(DISPID, const std::vector<Variant> &, Variant *) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT get_outerHTML(WideString *html) override {
    *html = u"<html><head></head></html>";
    return S_OK;
  }
};

class TestDocument : public ComObject<IHTMLDocument3> {
public:
  HRESULT Invoke(DISPID, const std::vector<Variant> &, Variant *) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT get_documentElement(IHTMLElement **element) override {
    *element = MakeComObject<TestElement>().Detach();
    return S_OK;
  }
};

class TestBrowser : public ComObject<IWebBrowser2> {
public:
  std::string navigatedTo;
  HRESULT GetIDsOfNames(const WideString &name, DISPID &id) override {
    id = name == u"Navigate2" ? 500 : DISPID_UNKNOWN;
    return id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT Invoke(DISPID id, const std::vector<Variant> &args, Variant *) override {
    if (id != 500) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != 5) return DISP_E_BADPARAMCOUNT;
    return Navigate2(args[0], args[1], args[2], args[3], args[4]);
  }
  HRESULT Navigate2(const Variant &url, const Variant &, const Variant &, const Variant &, const Variant &) override {
    const std::optional<std::string> text = VariantText(url);
    if (!text) return DISP_E_TYPEMISMATCH;
    navigatedTo = *text;
    return S_OK;
  }
  HRESULT get_Document(IDispatch **document) override {
    *document = MakeComObject<TestDocument>().Detach();
    return S_OK;
  }
};

class TestSite : public ComObject<IOleWindow, IInputObjectSite, IOleCommandTarget, IServiceProvider> {
public:
  ComPtr<TestBrowser> browser = MakeComObject<TestBrowser>();
  HRESULT GetWindow(HWND *window) override {
    *window = nullptr;
    return E_FAIL;
  }
  HRESULT ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT OnFocusChangeIS(IUnknown *, BOOL) override { return S_OK; }
  HRESULT QueryStatus(const GUID *, ULONG, OLECMD *, OLECMDTEXT *) override { return OLECMDERR_E_UNKNOWNGROUP; }
  HRESULT Exec(const GUID *, DWORD, DWORD, const Variant *, Variant *) override { return OLECMDERR_E_UNKNOWNGROUP; }
  HRESULT QueryService(const GUID &service, const IID &riid, void **object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (service != SID_SWebBrowserApp) return E_NOINTERFACE;
    return browser->QueryInterface(riid, object);
  }
};

TEST(ComInterfaces, SiteToBrowserToPageMarkup) {
  const long before = ComModule::ObjectCount();
  {
    const ComPtr<TestSite> site = MakeComObject<TestSite>();
    ComPtr<IOleCommandTarget> target;
    ASSERT_EQ(site.As(target), S_OK);
    ComPtr<IServiceProvider> provider;
    ASSERT_EQ(target.As(provider), S_OK);
    ComPtr<IWebBrowser2> browser;
    ASSERT_EQ(provider->QueryService(SID_SWebBrowserApp, IWebBrowser2::iid,
                                     reinterpret_cast<void **>(browser.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->Navigate2(Variant(std::string("file:///tmp/index.html")), std::int32_t{0}, std::int32_t{0},
                                 std::int32_t{0}, std::int32_t{0}),
              S_OK);
    EXPECT_EQ(site->browser->navigatedTo, "file:///tmp/index.html");
    // The same call by dispatch id, with a wide-text argument.
    DISPID id = 0;
    ASSERT_EQ(browser->GetIDsOfNames(u"Navigate2", id), S_OK);
    const std::vector<Variant> args{WideString(u"http://example.org/"), 0, 0, 0, 0};
    EXPECT_EQ(browser->Invoke(id, args, nullptr), S_OK);
    EXPECT_EQ(site->browser->navigatedTo, "http://example.org/");
    EXPECT_EQ(browser->Invoke(id, {}, nullptr), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(browser->Invoke(7, args, nullptr), DISP_E_MEMBERNOTFOUND);

    ComPtr<IDispatch> document;
    ASSERT_EQ(browser->get_Document(document.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IHTMLDocument3> document3;
    ASSERT_EQ(document.As(document3), S_OK);
    ComPtr<IHTMLElement> element;
    ASSERT_EQ(document3->get_documentElement(element.ReleaseAndGetAddressOf()), S_OK);
    WideString html;
    ASSERT_EQ(element->get_outerHTML(&html), S_OK);
    EXPECT_EQ(html, u"<html><head></head></html>");
    // The element's IDispatch does not answer for the document's interface.
    ComPtr<IHTMLDocument3> notADocument;
    EXPECT_EQ(element.As(notADocument), E_NOINTERFACE);
    ComPtr<IServiceProvider> none;
    EXPECT_EQ(
        provider->QueryService(IID{}, IWebBrowser2::iid, reinterpret_cast<void **>(none.ReleaseAndGetAddressOf())),
        E_NOINTERFACE);
  }
  EXPECT_EQ(ComModule::ObjectCount(), before);
}

TEST(ComClassFactory, CreatesObjectsRefusesAggregationAndCountsLocks) {
  const long before = ComModule::ObjectCount();
  bool destroyed = false;
  const CLSID clsid = GuidLiteral("{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35}");
  {
    const ComPtr<ComClassFactory> factory = MakeComObject<ComClassFactory>(
        clsid, [&destroyed] { return ComPtr<IUnknown>(MakeComObject<TestBand>(&destroyed)->Identity()); });
    EXPECT_EQ(factory->ClassID(), clsid);
    EXPECT_FALSE(ComModule::CanUnload());

    ComPtr<IDeskBand> band;
    ASSERT_EQ(
        factory->CreateInstance(nullptr, IDeskBand::iid, reinterpret_cast<void **>(band.ReleaseAndGetAddressOf())),
        S_OK);
    DESKBANDINFO info;
    EXPECT_EQ(band->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &info), S_OK);
    EXPECT_EQ(info.Title(), u"Band");
    band = nullptr;
    EXPECT_TRUE(destroyed);

    // An interface the class lacks: nothing is handed out and nothing is left alive.
    destroyed = false;
    void *object = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IPersistStream::iid, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_TRUE(destroyed);

    EXPECT_EQ(factory->CreateInstance(factory->Identity(), IUnknown::iid, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IUnknown::iid, nullptr), E_POINTER);

    const long locks = ComModule::LockCount();
    EXPECT_EQ(factory->LockServer(1), S_OK);
    EXPECT_EQ(ComModule::LockCount(), locks + 1);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(ComModule::LockCount(), locks);
  }
  EXPECT_EQ(ComModule::ObjectCount(), before);
  // Nothing else in this program keeps COM objects or locks.
  EXPECT_TRUE(ComModule::CanUnload());
}

TEST(ComDeskBandInfo, TitleKeepsAtMost255CharactersAndItsTerminator) {
  DESKBANDINFO info;
  info.SetTitle(std::u16string(300, u'x'));
  EXPECT_EQ(info.Title(), std::u16string(255, u'x'));
  EXPECT_EQ(info.wszTitle[255], u'\0');
  info.SetTitle(u"");
  EXPECT_EQ(info.Title(), u"");
}

} // namespace
} // namespace quorvelle::com
