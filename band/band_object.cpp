#include "band/band_object.h"

#include <QApplication>
#include <QChildEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

#include <new>

namespace quorvelle {
namespace {

// No failure may leave an interface operation towards the browser.
template <typename Body> com::HRESULT Safely(Body &&body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc &) {
    return com::E_OUTOFMEMORY;
  } catch (...) {
    return com::E_UNEXPECTED;
  }
}

// The form's window procedure and the thread's message hook in one: an event
// filter on the form and every widget inside it, reporting to its band.
class BandHook final : public QObject {
public:
  explicit BandHook(TzCustomBandObject &band) : band_(band) {}

  void Watch(QWidget &widget) {
    widget.installEventFilter(this);
    for (QWidget *child : widget.findChildren<QWidget *>()) {
      child->installEventFilter(this);
    }
  }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::ChildAdded) {
      // Widgets made later (a menu opened for the first time) are watched too.
      QObject *child = static_cast<QChildEvent *>(event)->child();
      if (child != nullptr && child->isWidgetType()) child->installEventFilter(this);
    }
    return band_.MsgHookProc(watched, event);
  }

private:
  TzCustomBandObject &band_;
};

bool IsLiveWidget(const QWidget *widget) {
  return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr &&
         QApplication::allWidgets().contains(const_cast<QWidget *>(widget));
}

// A constraint of 0 or Qt's "no limit" means unlimited, which the band reports as -1.
com::LONG MaxExtent(int extent) { return extent <= 0 || extent >= QWIDGETSIZE_MAX ? -1 : extent; }

void ApplySizeEvent(const TJvBandForm::TBandSizeEvent &handler, TJvBandForm &form, com::POINTL &size) {
  if (handler) handler(form, size);
}

} // namespace

TzCustomBandObject::TzCustomBandObject(const com::CLSID &classID) : FClassID(classID) {}

TzCustomBandObject::~TzCustomBandObject() {
  FWebBrowser = nullptr;
  FCommandTarget = nullptr;
  FSite = nullptr;
  FreeBandForm();
}

com::HRESULT TzCustomBandObject::GetBandInfo(com::DWORD bandID, com::DWORD viewMode, com::DESKBANDINFO *info) {
  return Safely([&] {
    FBandID = bandID;
    FViewMode = viewMode;
    TJvBandForm *form = FBandForm.data();
    if (form == nullptr) return com::E_UNEXPECTED;
    if (info == nullptr) return com::E_INVALIDARG;
    if ((info->dwMask & com::DBIM_MINSIZE) != 0) {
      com::POINTL size{form->minimumWidth(), form->minimumHeight()};
      ApplySizeEvent(form->OnBandGetMinSize, *form, size);
      info->ptMinSize = size;
    }
    if ((info->dwMask & com::DBIM_MAXSIZE) != 0) {
      com::POINTL size{MaxExtent(form->maximumWidth()), MaxExtent(form->maximumHeight())};
      ApplySizeEvent(form->OnBandGetMaxSize, *form, size);
      info->ptMaxSize = size;
    }
    if ((info->dwMask & com::DBIM_INTEGRAL) != 0) {
      com::POINTL size{form->BandIntegralX, form->BandIntegralY};
      ApplySizeEvent(form->OnBandGetIntegral, *form, size);
      info->ptIntegral = size;
    }
    if ((info->dwMask & com::DBIM_ACTUAL) != 0) {
      com::POINTL size{form->width(), form->height()};
      ApplySizeEvent(form->OnBandGetActualSize, *form, size);
      info->ptActual = size;
    }
    if ((info->dwMask & com::DBIM_TITLE) != 0) {
      // Cut to the member's room, its terminating zero included.
      info->SetTitle(form->windowTitle().toStdU16String());
    }
    if ((info->dwMask & com::DBIM_MODEFLAGS) != 0) {
      com::DWORD flags = com::DBIMF_NORMAL;
      if ((form->BandModeFlags & bmfVariableHeight) != 0) flags |= com::DBIMF_VARIABLEHEIGHT;
      if ((form->BandModeFlags & bmfDebossed) != 0) flags |= com::DBIMF_DEBOSSED;
      if ((form->BandModeFlags & bmfBkColor) != 0) flags |= com::DBIMF_BKCOLOR;
      info->dwModeFlags = flags;
    }
    if ((info->dwMask & com::DBIM_BKCOLOR) != 0) {
      const QColor color = form->palette().color(QPalette::Window);
      info->crBkgnd = static_cast<com::COLORREF>(color.red()) | (static_cast<com::COLORREF>(color.green()) << 8) |
                      (static_cast<com::COLORREF>(color.blue()) << 16);
    }
    return com::S_OK;
  });
}

com::HRESULT TzCustomBandObject::ShowDW(com::BOOL show) {
  return Safely([&] {
    TJvBandForm *form = FBandForm.data();
    if (form == nullptr) return com::S_OK;
    FHasFocus = show != 0;
    if (show != 0) {
      form->show();
      FocusChange(true);
    } else {
      form->hide();
    }
    return com::S_OK;
  });
}

com::HRESULT TzCustomBandObject::CloseDW(com::DWORD /*reserved*/) {
  return Safely([&] {
    if (FBandForm) {
      ShowDW(0);
      FreeBandForm();
    }
    return com::S_OK;
  });
}

com::HRESULT TzCustomBandObject::ResizeBorderDW(const com::RECT * /*border*/, com::IUnknown * /*toolbarSite*/,
                                                com::BOOL /*reserved*/) {
  return com::E_NOTIMPL;
}

com::HRESULT TzCustomBandObject::GetWindow(com::HWND *window) {
  if (window == nullptr) return com::E_POINTER;
  *window = static_cast<QWidget *>(FBandForm.data());
  return com::S_OK;
}

com::HRESULT TzCustomBandObject::ContextSensitiveHelp(com::BOOL /*enterMode*/) { return com::E_NOTIMPL; }

com::HRESULT TzCustomBandObject::SetSite(com::IUnknown *site) {
  return Safely([&] {
    FWebBrowser = nullptr;
    FSite = nullptr;
    FCommandTarget = nullptr;
    if (site == nullptr) return com::S_OK;

    if (!FBandForm) {
      com::ComPtr<com::IOleWindow> oleWindow;
      if (com::FAILED(com::QueryInterfaceTo(site, oleWindow)) || !oleWindow) return com::E_FAIL;
      com::HWND parent = nullptr;
      if (com::FAILED(oleWindow->GetWindow(&parent)) || parent == nullptr) return com::E_FAIL;
      // A handle that is no live widget of this process is refused rather
      // than dereferenced.
      if (!IsLiveWidget(static_cast<QWidget *>(parent))) return com::E_FAIL;
      std::unique_ptr<TJvBandForm> form = CreateBandForm(parent);
      if (!form) return com::E_FAIL;
      auto hook = std::make_unique<BandHook>(*this);
      hook->Watch(*form);
      FBandForm = form.release(); // a child of the browser's window from here on
      FHook = std::move(hook);
    }

    if (com::FAILED(com::QueryInterfaceTo(site, FSite)) || !FSite) return com::E_FAIL;
    if (com::SUCCEEDED(FSite.As(FCommandTarget)) && FCommandTarget) {
      com::ComPtr<com::IServiceProvider> services;
      if (com::SUCCEEDED(FCommandTarget.As(services)) && services) {
        void *browser = nullptr;
        if (com::SUCCEEDED(services->QueryService(com::SID_SWebBrowserApp, com::IWebBrowser2::iid, &browser)) &&
            browser != nullptr) {
          FWebBrowser.Attach(static_cast<com::IWebBrowser2 *>(browser));
        }
      }
    }
    return com::S_OK;
  });
}

com::HRESULT TzCustomBandObject::GetSite(const com::IID &riid, void **site) {
  if (site == nullptr) return com::E_POINTER;
  *site = nullptr;
  if (!FSite) return com::E_FAIL;
  return FSite->QueryInterface(riid, site);
}

com::HRESULT TzCustomBandObject::IsDirty() { return com::S_FALSE; }

com::HRESULT TzCustomBandObject::Load(com::IStream * /*stream*/) { return com::S_OK; }

com::HRESULT TzCustomBandObject::Save(com::IStream * /*stream*/, com::BOOL /*clearDirty*/) { return com::S_OK; }

com::HRESULT TzCustomBandObject::GetSizeMax(std::uint64_t *size) {
  if (size != nullptr) *size = 0;
  return com::S_OK;
}

com::HRESULT TzCustomBandObject::GetClassID(com::CLSID *classID) {
  if (classID == nullptr) return com::E_POINTER;
  *classID = FClassID;
  return com::S_OK;
}

com::HRESULT TzCustomBandObject::UIActivateIO(com::BOOL activate, com::MSG * /*message*/) {
  return Safely([&] {
    FHasFocus = activate != 0;
    if (FHasFocus && FBandForm) FBandForm->setFocus();
    return com::S_OK;
  });
}

com::HRESULT TzCustomBandObject::HasFocusIO() { return FHasFocus ? com::S_OK : com::S_FALSE; }

com::HRESULT TzCustomBandObject::TranslateAcceleratorIO(com::MSG * /*message*/) { return com::S_FALSE; }

bool TzCustomBandObject::MsgHookProc(QObject *receiver, QEvent *event) {
  try {
    TJvBandForm *form = FBandForm.data();
    if (form == nullptr || event == nullptr) return false;
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) FPressBubbling = false;
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      // A press that a widget leaves to its parents passes here again for
      // each of them (as a copy); the site hears of each click once.
      const std::uint64_t time = static_cast<const QMouseEvent *>(event)->timestamp();
      if (FPressBubbling && time == FLastPressTime) return false;
      FPressBubbling = true;
      FLastPressTime = time;
      FHasFocus = true;
      FocusChange(true);
      return false;
    }
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      // The widget that had the focus has had its turn; what reaches the form
      // goes no further (a browser shortcut for the key does not fire either).
      if (receiver == form && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Backspace) {
        event->accept();
        return true;
      }
      return false;
    default: return false;
    }
  } catch (...) {
    return false;
  }
}

void TzCustomBandObject::FocusChange(bool hasFocus) {
  if (FSite) FSite->OnFocusChangeIS(Identity(), hasFocus ? 1 : 0);
}

void TzCustomBandObject::BandFormDestroyed(TJvBandForm *form) noexcept {
  if (form != FBandForm.data()) return;
  FHook.reset();
  FBandForm.clear();
}

void TzCustomBandObject::FreeBandForm() noexcept {
  try {
    FHook.reset();
    TJvBandForm *form = FBandForm.data();
    FBandForm.clear();
    TJvBandForm::Release(form);
  } catch (...) {
  }
}

} // namespace quorvelle
