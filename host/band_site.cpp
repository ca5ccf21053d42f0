#include "host/band_site.h"

namespace quorvelle::host {

com::HRESULT BandSite::GetWindow(com::HWND *window) {
  if (window == nullptr) return com::E_POINTER;
  *window = window_ ? static_cast<com::HWND>(window_.data()) : nullptr;
  return *window != nullptr ? com::S_OK : com::E_FAIL;
}

com::HRESULT BandSite::OnFocusChangeIS(com::IUnknown *, com::BOOL setFocus) {
  bandHasFocus_ = setFocus != 0;
  if (onFocus_) onFocus_(bandHasFocus_);
  return com::S_OK;
}

com::HRESULT BandSite::QueryStatus(const com::GUID *, com::ULONG count, com::OLECMD *commands, com::OLECMDTEXT *) {
  if (commands == nullptr && count > 0) return com::E_POINTER;
  for (com::ULONG n = 0; n < count; ++n)
    commands[n].cmdf = 0;
  return com::OLECMDERR_E_UNKNOWNGROUP;
}

com::HRESULT BandSite::Exec(const com::GUID *, com::DWORD, com::DWORD, const com::Variant *, com::Variant *) {
  return com::OLECMDERR_E_UNKNOWNGROUP;
}

com::HRESULT BandSite::QueryService(const com::GUID &service, const com::IID &riid, void **object) {
  if (object == nullptr) return com::E_POINTER;
  *object = nullptr;
  if (service != com::SID_SWebBrowserApp || !browser_) return com::E_NOINTERFACE;
  return browser_->QueryInterface(riid, object);
}

void BandSite::Detach() {
  browser_ = nullptr;
  window_.clear();
}

} // namespace quorvelle::host
