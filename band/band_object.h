#pragma once
// TzCustomBandObject: a toolbar band as the browser sees it. It creates its
// form inside the window of the site the browser gives it, reports the
// form's size, passes the keyboard focus to and from the browser, and holds
// the browser's IWebBrowser2 through which the form's commands navigate.
//
// Qt stands in for the window messages: the form's window procedure and the
// thread's message hook are one event filter (the hook object FHook) that is
// installed on the form and on every widget inside it. It holds the band
// object it reports to, so the filter finds its band without any lookup.
// A mouse press anywhere in the form tells the site that the band has the
// focus; a Backspace key that reaches the form (pressed in it and not used
// by the widget that had the focus) is consumed there, so it never bubbles
// up into the browser, which would go back a page.

#include "band/band_form.h"
#include "platform/com/band_interfaces.h"
#include "platform/com/browser_interfaces.h"

#include <QPointer>

#include <memory>

class QEvent;
class QObject;

namespace quorvelle {

class TzCustomBandObject
    : public com::ComObject<com::IDeskBand, com::IObjectWithSite, com::IPersistStream, com::IInputObject> {
public:
  explicit TzCustomBandObject(const com::CLSID &classID);

  // IDeskBand
  com::HRESULT GetBandInfo(com::DWORD bandID, com::DWORD viewMode, com::DESKBANDINFO *info) override;
  // IDockingWindow
  com::HRESULT ShowDW(com::BOOL show) override;
  com::HRESULT CloseDW(com::DWORD reserved) override;
  com::HRESULT ResizeBorderDW(const com::RECT *border, com::IUnknown *toolbarSite, com::BOOL reserved) override;
  // IOleWindow
  com::HRESULT GetWindow(com::HWND *window) override;
  com::HRESULT ContextSensitiveHelp(com::BOOL enterMode) override;
  // IObjectWithSite
  com::HRESULT SetSite(com::IUnknown *site) override;
  com::HRESULT GetSite(const com::IID &riid, void **site) override;
  // IPersistStream
  com::HRESULT IsDirty() override;
  com::HRESULT Load(com::IStream *stream) override;
  com::HRESULT Save(com::IStream *stream, com::BOOL clearDirty) override;
  com::HRESULT GetSizeMax(std::uint64_t *size) override;
  com::HRESULT GetClassID(com::CLSID *classID) override;
  // IInputObject
  com::HRESULT UIActivateIO(com::BOOL activate, com::MSG *message) override;
  com::HRESULT HasFocusIO() override;
  com::HRESULT TranslateAcceleratorIO(com::MSG *message) override;

  // Sees every event that reaches the form or a widget inside it; true when
  // the event is consumed.
  bool MsgHookProc(QObject *receiver, QEvent *event);

  // The form is being destroyed by someone other than this object (the
  // browser's window, its parent, went first).
  void BandFormDestroyed(TJvBandForm *form) noexcept;

  // The hosting browser, or empty.
  [[nodiscard]] const com::ComPtr<com::IWebBrowser2> &WebBrowser() const noexcept { return FWebBrowser; }
  [[nodiscard]] TJvBandForm *BandForm() const noexcept { return FBandForm.data(); }

protected:
  ~TzCustomBandObject() override;

  // Creates the band's form as a child of the parent window.
  virtual std::unique_ptr<TJvBandForm> CreateBandForm(com::HWND parentWindow) = 0;

private:
  // Tells the site whether the band has the focus.
  void FocusChange(bool hasFocus);
  // Frees the form (later, when one of its commands is still running) and the hook.
  void FreeBandForm() noexcept;

  const com::CLSID FClassID;
  // Owned by the band object; a QPointer because the browser's window, the
  // form's parent, may destroy it first.
  QPointer<TJvBandForm> FBandForm;
  com::DWORD FBandID = 0;
  com::DWORD FViewMode = 0;
  com::ComPtr<com::IInputObjectSite> FSite;
  com::ComPtr<com::IOleCommandTarget> FCommandTarget;
  bool FHasFocus = false;
  std::unique_ptr<QObject> FHook;
  // The click last reported, recognised while it bubbles up the form (no
  // other event comes between the steps).
  bool FPressBubbling = false;
  std::uint64_t FLastPressTime = 0;
  com::ComPtr<com::IWebBrowser2> FWebBrowser;
};

class TzToolBandObject : public TzCustomBandObject {
public:
  using TzCustomBandObject::TzCustomBandObject;

protected:
  ~TzToolBandObject() override = default;
};

} // namespace quorvelle
