#pragma once
// TContextMenuAdd: the automation object "RSSQuorvelle.ContextMenuAdd" that
// the page of the browser's context-menu entry creates. Its one method
// Capture imports an OPML list from the clicked address or opens the add
// feed dialog for it.

#include "band/com_identities.h"
#include "platform/com/dispatch.h"

#include <string>

namespace quorvelle {

class IContextMenuAdd : public com::IDispatch {
public:
  static constexpr com::IID iid = IID_IContextMenuAdd;
  using Base = com::IDispatch;

  // Dispatch id 1. The address to add is Title, the second argument; URL is
  // not read.
  virtual com::HRESULT Capture(const com::WideString &URL, const com::WideString &Title) = 0;
};

class TContextMenuAdd final : public com::ComObject<IContextMenuAdd> {
public:
  com::HRESULT GetIDsOfNames(const com::WideString &name, com::DISPID &id) override;
  com::HRESULT Invoke(com::DISPID id, const std::vector<com::Variant> &args, com::Variant *result) override;
  com::HRESULT Capture(const com::WideString &URL, const com::WideString &Title) override;
  // Dispatch id 2, name "ImportFile": imports a list file as the toolbar's
  // import command does (the import dialog for OPML; the open dialog when the
  // name is empty), then saves and rebuilds the report.
  com::HRESULT ImportFile(const com::WideString &FileName);

private:
  ~TContextMenuAdd() override = default;
};

// The extension of address as file names have it: from the last dot when no
// backslash or colon comes after it, else "" (a slash is no delimiter, so
// "http://host.com/feed" has the extension ".com/feed").
std::string ExtractFileExt(const std::string &address);

} // namespace quorvelle
