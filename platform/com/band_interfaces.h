#pragma once
// The interfaces between a browser and a toolbar band: what the browser calls
// on the band (IDeskBand with IDockingWindow and IOleWindow, IObjectWithSite,
// IPersistStream, IInputObject) and what the band calls on the browser's site
// (IOleWindow, IInputObjectSite, IOleCommandTarget, IServiceProvider).

#include "platform/com/dispatch.h"

#include <array>
#include <string_view>

namespace quorvelle::com {

// Component category of desk bands.
inline constexpr GUID CATID_DeskBand = GuidLiteral("{00021492-0000-0000-C000-000000000046}");

class IOleWindow : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{00000114-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  virtual HRESULT GetWindow(HWND *window) = 0;
  virtual HRESULT ContextSensitiveHelp(BOOL enterMode) = 0;
};

class IDockingWindow : public IOleWindow {
public:
  static constexpr IID iid = GuidLiteral("{012DD920-7B26-11D0-8CA9-00A0C92DBFE8}");
  using Base = IOleWindow;

  virtual HRESULT ShowDW(BOOL show) = 0;
  virtual HRESULT CloseDW(DWORD reserved) = 0;
  virtual HRESULT ResizeBorderDW(const RECT *border, IUnknown *toolbarSite, BOOL reserved) = 0;
};

// Members of DESKBANDINFO that GetBandInfo is asked to fill (dwMask).
inline constexpr DWORD DBIM_MINSIZE = 0x0001;
inline constexpr DWORD DBIM_MAXSIZE = 0x0002;
inline constexpr DWORD DBIM_INTEGRAL = 0x0004;
inline constexpr DWORD DBIM_ACTUAL = 0x0008;
inline constexpr DWORD DBIM_TITLE = 0x0010;
inline constexpr DWORD DBIM_MODEFLAGS = 0x0020;
inline constexpr DWORD DBIM_BKCOLOR = 0x0040;
// dwModeFlags.
inline constexpr DWORD DBIMF_NORMAL = 0x0000;
inline constexpr DWORD DBIMF_VARIABLEHEIGHT = 0x0008;
inline constexpr DWORD DBIMF_DEBOSSED = 0x0020;
inline constexpr DWORD DBIMF_BKCOLOR = 0x0040;
// View modes passed to GetBandInfo.
inline constexpr DWORD DBIF_VIEWMODE_NORMAL = 0x0000;
inline constexpr DWORD DBIF_VIEWMODE_VERTICAL = 0x0001;
inline constexpr DWORD DBIF_VIEWMODE_FLOATING = 0x0002;
inline constexpr DWORD DBIF_VIEWMODE_TRANSPARENT = 0x0004;

struct DESKBANDINFO {
  DWORD dwMask = 0;
  POINTL ptMinSize;
  POINTL ptMaxSize;
  POINTL ptIntegral;
  POINTL ptActual;
  std::array<char16_t, 256> wszTitle{};
  DWORD dwModeFlags = 0;
  COLORREF crBkgnd = 0;

  // Copies title into wszTitle: at most 255 characters and the terminating 0.
  void SetTitle(std::u16string_view title) noexcept {
    const std::size_t length = title.size() < wszTitle.size() - 1 ? title.size() : wszTitle.size() - 1;
    for (std::size_t n = 0; n < length; ++n)
      wszTitle[n] = title[n];
    wszTitle[length] = u'\0';
  }
  // wszTitle up to its terminating 0.
  [[nodiscard]] std::u16string Title() const {
    std::size_t length = 0;
    while (length < wszTitle.size() && wszTitle[length] != u'\0')
      ++length;
    return {wszTitle.data(), length};
  }
};

class IDeskBand : public IDockingWindow {
public:
  static constexpr IID iid = GuidLiteral("{EB0FE172-1A3A-11D0-89B3-00A0C90A90AC}");
  using Base = IDockingWindow;

  virtual HRESULT GetBandInfo(DWORD bandID, DWORD viewMode, DESKBANDINFO *info) = 0;
};

class IObjectWithSite : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{FC4801A3-2BA9-11CF-A229-00AA003D7352}");
  using Base = IUnknown;

  virtual HRESULT SetSite(IUnknown *site) = 0;
  virtual HRESULT GetSite(const IID &riid, void **site) = 0;
};

// A byte stream, as much of it as persistence needs.
class IStream : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{0000000C-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  virtual HRESULT Read(void *buffer, ULONG count, ULONG *read) = 0;
  virtual HRESULT Write(const void *buffer, ULONG count, ULONG *written) = 0;
};

class IPersist : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{0000010C-0000-0000-C000-000000000046}");
  using Base = IUnknown;

  virtual HRESULT GetClassID(CLSID *classID) = 0;
};

class IPersistStream : public IPersist {
public:
  static constexpr IID iid = GuidLiteral("{00000109-0000-0000-C000-000000000046}");
  using Base = IPersist;

  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream *stream) = 0;
  virtual HRESULT Save(IStream *stream, BOOL clearDirty) = 0;
  virtual HRESULT GetSizeMax(std::uint64_t *size) = 0;
};

class IInputObject : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{68284FAA-6A48-11D0-8C78-00C04FD918B4}");
  using Base = IUnknown;

  virtual HRESULT UIActivateIO(BOOL activate, MSG *message) = 0;
  virtual HRESULT HasFocusIO() = 0;
  virtual HRESULT TranslateAcceleratorIO(MSG *message) = 0;
};

class IInputObjectSite : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{F1DB8392-7331-11D0-8C99-00A0C92DBFE8}");
  using Base = IUnknown;

  virtual HRESULT OnFocusChangeIS(IUnknown *object, BOOL setFocus) = 0;
};

struct OLECMD {
  ULONG cmdID = 0;
  DWORD cmdf = 0;
};

struct OLECMDTEXT {
  DWORD cmdtextf = 0;
  WideString text;
};

class IOleCommandTarget : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{B722BCCB-4E68-101B-A2BC-00AA00404770}");
  using Base = IUnknown;

  virtual HRESULT QueryStatus(const GUID *commandGroup, ULONG count, OLECMD *commands, OLECMDTEXT *text) = 0;
  virtual HRESULT Exec(const GUID *commandGroup, DWORD commandID, DWORD options, const Variant *in, Variant *out) = 0;
};

class IServiceProvider : public IUnknown {
public:
  static constexpr IID iid = GuidLiteral("{6D5140C1-7436-11CE-8034-00AA006009FA}");
  using Base = IUnknown;

  virtual HRESULT QueryService(const GUID &service, const IID &riid, void **object) = 0;
};

} // namespace quorvelle::com
