#pragma once
// The identities and texts under which the band library registers its two
// classes, its type library and the context-menu object's interface.

#include "platform/com/com_types.h"

namespace quorvelle {

// The band class (not in the type library).
inline constexpr com::CLSID CLASS_RSSQuorvelle = com::GuidLiteral("{7C1E4A92-3B5D-4F60-9A7E-2D84C61B0F35}");
inline constexpr const char *kRSSQuorvelleClassName = "RSSQuorvelle";
inline constexpr const char *kRSSQuorvelleDescription = "Quorvelle";

// The type library; its name is the server name used in ProgIDs.
inline constexpr com::GUID LIBID_RSSQuorvelle = com::GuidLiteral("{D2736F41-0A9C-4E85-9B1D-6F4C28A3E790}");
inline constexpr const char *kTypeLibraryName = "RSSQuorvelle";
inline constexpr const char *kTypeLibraryHelpString = "RSSQuorvelle Library";
inline constexpr int kTypeLibraryMajorVersion = 1;
inline constexpr int kTypeLibraryMinorVersion = 0;
inline constexpr com::DWORD kTypeLibraryLocale = 0x0409;

// The dual interface of the context-menu object.
inline constexpr com::IID IID_IContextMenuAdd = com::GuidLiteral("{5E0B7C3A-91D4-4A26-B7F8-C2E1904D6A53}");
inline constexpr const char *kIContextMenuAddName = "IContextMenuAdd";
inline constexpr const char *kIContextMenuAddHelpString = "Dispatch interface for ContextMenuAdd Object";
inline constexpr com::DISPID DISPID_Capture = 1;
// ImportFile(file name): the desktop hands a list file over (quorvelle-browser --import).
inline constexpr com::DISPID DISPID_ImportFile = 2;

// The context-menu object's class, creatable, default interface IContextMenuAdd.
inline constexpr com::CLSID CLASS_ContextMenuAdd = com::GuidLiteral("{A4D29E17-6C83-4B1F-8E52-97F0B3C6D418}");
inline constexpr const char *kContextMenuAddClassName = "ContextMenuAdd";
inline constexpr const char *kContextMenuAddDescription = "ContextMenuAdd Object";

// Where a browser finds the toolbars it offers (under HKEY_LOCAL_MACHINE).
inline constexpr const char *kToolbarKey = "Software\\Microsoft\\Internet Explorer\\Toolbar";

// The standard marshaller of automation interfaces.
inline constexpr const char *kAutomationProxyStub = "{00020424-0000-0000-C000-000000000046}";

} // namespace quorvelle
