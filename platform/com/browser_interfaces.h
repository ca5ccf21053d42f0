#pragma once
// The browser's own interfaces that the band uses: the hosting browser
// window (IWebBrowser2, reached as the SID_SWebBrowserApp service of the
// band's site) and the shown page's document and element.

#include "platform/com/dispatch.h"

namespace quorvelle::com {

// Service id under which a browser site offers its IWebBrowser2.
inline constexpr GUID SID_SWebBrowserApp = GuidLiteral("{0002DF05-0000-0000-C000-000000000046}");

class IWebBrowser2 : public IDispatch {
public:
  static constexpr IID iid = GuidLiteral("{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}");
  using Base = IDispatch;

  // Navigates to url (text); flags, target frame name, post data and headers
  // as given (the integer 0, or nothing, for none).
  virtual HRESULT Navigate2(const Variant &url, const Variant &flags, const Variant &targetFrameName,
                            const Variant &postData, const Variant &headers) = 0;
  // The shown document's IDispatch (nullptr and S_FALSE or a failure when none).
  virtual HRESULT get_Document(IDispatch **document) = 0;
};

class IHTMLElement : public IDispatch {
public:
  static constexpr IID iid = GuidLiteral("{3050F1FF-98B5-11CF-BB82-00AA00BDCE0B}");
  using Base = IDispatch;

  // The element and everything inside it, serialised as markup.
  virtual HRESULT get_outerHTML(WideString *html) = 0;
};

class IHTMLDocument2 : public IDispatch {
public:
  static constexpr IID iid = GuidLiteral("{332C4425-26CB-11D0-B483-00C04FD90119}");
  using Base = IDispatch;

  // The address of the document.
  virtual HRESULT get_URL(WideString *url) = 0;
};

class IHTMLDocument3 : public IDispatch {
public:
  static constexpr IID iid = GuidLiteral("{3050F485-98B5-11CF-BB82-00AA00BDCE0B}");
  using Base = IDispatch;

  virtual HRESULT get_documentElement(IHTMLElement **element) = 0;
};

} // namespace quorvelle::com
