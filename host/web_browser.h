#pragma once
// The browser window as a band sees it: IWebBrowser2. Navigate2 loads an
// address in the window's view; get_Document gives the shown page's
// document: its address, and its element, which serialises the page as the
// view holds it now (scripts' changes included), read in a script world
// that the page's own scripts cannot reach.

#include "platform/com/browser_interfaces.h"

#include <QPointer>
#include <QWebEnginePage>
#include <chrono>

namespace quorvelle::host {

class WebBrowser : public com::ComObject<com::IWebBrowser2> {
public:
  using HRESULT = com::HRESULT;
  explicit WebBrowser(QWebEnginePage *page) : page_(page) {}

  HRESULT Invoke(com::DISPID id, const std::vector<com::Variant> &args, com::Variant *result) override;
  HRESULT Navigate2(const com::Variant &url, const com::Variant &flags, const com::Variant &targetFrameName,
                    const com::Variant &postData, const com::Variant &headers) override;
  HRESULT get_Document(com::IDispatch **document) override;

  // The window went away: later calls fail with E_FAIL.
  void Detach() { page_.clear(); }

  // How long get_outerHTML waits for the page's answer.
  static constexpr std::chrono::milliseconds kScriptTimeout{5000};

private:
  QPointer<QWebEnginePage> page_;
};

// The outer HTML of page's document element, waiting for the page's
// script engine at most timeout; nullopt when it did not answer.
std::optional<QString> PageOuterHtml(QWebEnginePage *page, std::chrono::milliseconds timeout);

} // namespace quorvelle::host
