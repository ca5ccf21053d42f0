#pragma once
// Finds in-process servers through the registry store and creates their
// objects, the way a browser does: a CLSID names its library under
// HKEY_CLASSES_ROOT "CLSID\{...}\InprocServer32", a ProgID names its CLSID
// under "<ProgID>\Clsid", and the toolbar bands are the value names of
// HKEY_LOCAL_MACHINE "Software\Microsoft\Internet Explorer\Toolbar".
//
// Loaded libraries stay loaded while the loader lives; Unload() closes each
// one whose DllCanUnloadNow answers S_OK. No Qt here.

#include "platform/com/class_factory.h"
#include "platform/com/server_exports.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvelle::host {

inline constexpr const char *kToolbarKey = "Software\\Microsoft\\Internet Explorer\\Toolbar";

// The CLSIDs registered as toolbar bands, in the order of their values;
// value names that are no CLSID text are skipped.
std::vector<com::CLSID> RegisteredToolbarBands();

// The default value of "CLSID\{...}\InprocServer32"; nullopt when missing or empty.
std::optional<std::string> InprocServerPath(const com::CLSID &clsid);

// The CLSID under "<progID>\Clsid"; nullopt when missing or malformed.
std::optional<com::CLSID> ClassOfProgID(const std::string &progID);

// A failure to find, load or create a class; the message says which step.
class EComLoadError : public QuorvelleError {
public:
  using QuorvelleError::QuorvelleError;
};

class ComLoader {
public:
  ComLoader();
  ~ComLoader();
  ComLoader(const ComLoader &) = delete;
  ComLoader &operator=(const ComLoader &) = delete;

  // Creates an object of clsid and queries it for riid: library from the
  // registry, DllGetClassObject for IClassFactory, CreateInstance(nullptr,
  // riid). Throws EComLoadError.
  com::ComPtr<com::IUnknown> CreateObject(const com::CLSID &clsid, const com::IID &riid);
  // The same through the class that progID names.
  com::ComPtr<com::IUnknown> CreateObject(const std::string &progID, const com::IID &riid);

  // Closes every library whose DllCanUnloadNow answers S_OK; the count closed.
  std::size_t Unload();
  [[nodiscard]] std::size_t LoadedCount() const { return libraries_.size(); }

private:
  struct Library;
  Library &Load(const std::string &path);
  std::map<std::string, std::unique_ptr<Library>> libraries_;
};

// A typed view of CreateObject's result.
template <typename T> com::ComPtr<T> CreateObjectAs(ComLoader &loader, const com::CLSID &clsid) {
  com::ComPtr<T> typed;
  loader.CreateObject(clsid, T::iid).As(typed);
  return typed;
}

} // namespace quorvelle::host
