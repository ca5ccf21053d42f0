#pragma once
// A per-user, file-backed store that behaves like the Windows registry for the
// keys and values Quorvelle uses.
//
// Each root key is one text file ("HKEY_CURRENT_USER.reg", ...) in the store
// folder: $QUORVELLE_REGISTRY, else ${XDG_CONFIG_HOME:-~/.config}/Quorvelle/registry.
// Every operation reads the file afresh under a shared lock; every change is a
// read-modify-write under an exclusive lock with an atomic replace, so two
// processes never lose each other's values and a crash never leaves a torn
// file. Key and value names compare without regard to ASCII letter case.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvelle::platform {

enum class RootKey { CurrentUser, LocalMachine, ClassesRoot };

inline constexpr RootKey HKEY_CURRENT_USER = RootKey::CurrentUser;
inline constexpr RootKey HKEY_LOCAL_MACHINE = RootKey::LocalMachine;
inline constexpr RootKey HKEY_CLASSES_ROOT = RootKey::ClassesRoot;

std::string RootKeyName(RootKey root);

// The folder that holds the store's files.
std::string RegistryFolder();

// An open key. Opening checks (or creates) the key; each read and write then
// goes to the store file, so values written by other processes are seen.
class RegistryKey {
public:
  // nullopt when the key does not exist and canCreate is false, or when the
  // store cannot be written while creating. Never throws.
  static std::optional<RegistryKey> Open(RootKey root, std::string_view path, bool canCreate);

  [[nodiscard]] RootKey Root() const { return root_; }
  [[nodiscard]] const std::string &Path() const { return path_; }

  // The empty name is the key's default value.
  [[nodiscard]] bool ValueExists(std::string_view name) const;
  // Throw ERegistryException when the value is missing or not of that type.
  [[nodiscard]] std::string ReadString(std::string_view name) const;
  [[nodiscard]] std::int32_t ReadInteger(std::string_view name) const;
  [[nodiscard]] bool ReadBool(std::string_view name) const;
  // Throw ERegistryException when the store cannot be written.
  void WriteString(std::string_view name, std::string_view value);
  void WriteInteger(std::string_view name, std::int32_t value);
  void WriteBool(std::string_view name, bool value);
  bool DeleteValue(std::string_view name);

  [[nodiscard]] std::vector<std::string> ValueNames() const;
  [[nodiscard]] std::vector<std::string> SubKeyNames() const;

private:
  RegistryKey(RootKey root, std::string path) : root_(root), path_(std::move(path)) {}
  RootKey root_;
  std::string path_;
};

bool RegistryKeyExists(RootKey root, std::string_view path);
// Removes the key with all its subkeys and values; false when there was no
// such key or the store could not be written.
bool RegistryDeleteKey(RootKey root, std::string_view path);

} // namespace quorvelle::platform
