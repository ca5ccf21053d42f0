#pragma once
// The site the browser gives each band: the window the band's form lives in
// (IOleWindow, the QWidget* as the window handle), focus notices
// (IInputObjectSite), a command target that supports no commands, and the
// service provider through which the band finds the browser window
// (SID_SWebBrowserApp -> IWebBrowser2).

#include "platform/com/band_interfaces.h"
#include "platform/com/browser_interfaces.h"

#include <QPointer>
#include <QWidget>
#include <functional>

namespace quorvelle::host {

class BandSite
    : public com::ComObject<com::IOleWindow, com::IInputObjectSite, com::IOleCommandTarget, com::IServiceProvider> {
public:
  using HRESULT = com::HRESULT;
  using FocusNotice = std::function<void(bool hasFocus)>;
  BandSite(QWidget *window, com::ComPtr<com::IWebBrowser2> browser, FocusNotice onFocus = {})
      : window_(window), browser_(std::move(browser)), onFocus_(std::move(onFocus)) {}

  HRESULT GetWindow(com::HWND *window) override;
  HRESULT ContextSensitiveHelp(com::BOOL) override { return com::E_NOTIMPL; }
  HRESULT OnFocusChangeIS(com::IUnknown *object, com::BOOL setFocus) override;
  HRESULT QueryStatus(const com::GUID *commandGroup, com::ULONG count, com::OLECMD *commands,
                      com::OLECMDTEXT *text) override;
  HRESULT Exec(const com::GUID *commandGroup, com::DWORD commandID, com::DWORD options, const com::Variant *in,
               com::Variant *out) override;
  HRESULT QueryService(const com::GUID &service, const com::IID &riid, void **object) override;

  // The band's last focus notice.
  [[nodiscard]] bool BandHasFocus() const { return bandHasFocus_; }
  // Drops the browser and the window (the window is closing).
  void Detach();

private:
  QPointer<QWidget> window_;
  com::ComPtr<com::IWebBrowser2> browser_;
  FocusNotice onFocus_;
  bool bandHasFocus_ = false;
};

} // namespace quorvelle::host
