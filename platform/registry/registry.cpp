#include "platform/registry/registry.h"

#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/registry/registry_file.h"
#include "platform/shell/known_folders.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

namespace quorvelle::platform {
namespace rf = registry_file;

std::string RootKeyName(RootKey root) {
  switch (root) {
  case RootKey::CurrentUser: return "HKEY_CURRENT_USER";
  case RootKey::LocalMachine: return "HKEY_LOCAL_MACHINE";
  case RootKey::ClassesRoot: return "HKEY_CLASSES_ROOT";
  }
  return "HKEY_UNKNOWN";
}

std::string RegistryFolder() {
  if (const char *dir = std::getenv("QUORVELLE_REGISTRY"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  std::string config;
  if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    config = xdg;
  } else {
    config = UserHomeFolder() + "/.config";
  }
  return config + "/Quorvelle/registry";
}

namespace {

std::string HiveFile(RootKey root) { return RegistryFolder() + "/" + RootKeyName(root) + ".reg"; }

// An flock on the store's lock file, shared for reads, exclusive for changes.
class StoreLock {
public:
  explicit StoreLock(bool exclusive) {
    const std::string folder = RegistryFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    // A shared lock needs no write access: a store the user may only read
    // stays readable.
    const std::string lockFile = folder + "/.lock";
    fd_ = ::open(lockFile.c_str(), (exclusive ? O_RDWR : O_RDONLY) | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0 && !exclusive) {
      fd_ = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd_ < 0) {
      throw ERegistryException("Cannot open the registry store in \"" + folder + "\"");
    }
    while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        throw ERegistryException("Cannot lock the registry store");
      }
    }
  }
  StoreLock(const StoreLock &) = delete;
  StoreLock &operator=(const StoreLock &) = delete;
  ~StoreLock() {
    if (fd_ >= 0) {
      ::flock(fd_, LOCK_UN);
      ::close(fd_);
    }
  }

private:
  int fd_ = -1;
};

rf::Hive LoadHive(RootKey root) {
  const std::optional<std::string> text = ReadFileBytes(HiveFile(root));
  return text ? rf::Parse(*text) : rf::Hive{};
}

// Keeps a damaged file aside before it is rewritten without its unreadable lines.
void KeepDamagedCopy(RootKey root) {
  const std::string file = HiveFile(root);
  const std::optional<std::string> bytes = ReadFileBytes(file);
  if (!bytes) return;
  WriteFileAtomically(AsideFileName(file, "damaged"), *bytes);
}

template <class F> auto ReadHive(RootKey root, F &&reader) {
  StoreLock lock(false);
  const rf::Hive hive = LoadHive(root);
  return reader(hive);
}

template <class F> auto ChangeHive(RootKey root, F &&change) {
  StoreLock lock(true);
  rf::Hive hive = LoadHive(root);
  auto result = change(hive);
  if (hive.damaged) {
    KeepDamagedCopy(root);
  }
  WriteFileAtomically(HiveFile(root), rf::Serialise(hive));
  return result;
}

[[noreturn]] void Missing(const RegistryKey &key, std::string_view name) {
  throw ERegistryException("Invalid data type for '" + std::string(name) + "' in \"" + key.Path() + "\"");
}

} // namespace

std::optional<RegistryKey> RegistryKey::Open(RootKey root, std::string_view path, bool canCreate) {
  try {
    const bool exists = ReadHive(root, [&](const rf::Hive &hive) { return rf::FindKey(hive, path) != nullptr; });
    if (!exists) {
      if (!canCreate) return std::nullopt;
      ChangeHive(root, [&](rf::Hive &hive) {
        rf::CreateKey(hive, path);
        return true;
      });
    }
    return RegistryKey(root, std::string(path));
  } catch (const std::exception &) {
    return std::nullopt;
  }
}

bool RegistryKey::ValueExists(std::string_view name) const {
  return ReadHive(root_, [&](const rf::Hive &hive) {
    const rf::Key *key = rf::FindKey(hive, path_);
    return key != nullptr && rf::FindValue(*key, name) != nullptr;
  });
}

std::string RegistryKey::ReadString(std::string_view name) const {
  return ReadHive(root_, [&](const rf::Hive &hive) {
    const rf::Key *key = rf::FindKey(hive, path_);
    const rf::Value *value = key ? rf::FindValue(*key, name) : nullptr;
    if (value == nullptr || value->kind != rf::Value::Kind::String) Missing(*this, name);
    return value->text;
  });
}

std::int32_t RegistryKey::ReadInteger(std::string_view name) const {
  return ReadHive(root_, [&](const rf::Hive &hive) {
    const rf::Key *key = rf::FindKey(hive, path_);
    const rf::Value *value = key ? rf::FindValue(*key, name) : nullptr;
    if (value == nullptr || value->kind != rf::Value::Kind::Dword) Missing(*this, name);
    return static_cast<std::int32_t>(value->dword);
  });
}

bool RegistryKey::ReadBool(std::string_view name) const { return ReadInteger(name) != 0; }

namespace {
void Put(RootKey root, const std::string &path, std::string_view name, rf::Value value) {
  ChangeHive(root, [&](rf::Hive &hive) {
    rf::Key &key = rf::CreateKey(hive, path);
    value.name = std::string(name);
    if (rf::Value *existing = rf::FindValue(key, name)) {
      value.name = existing->name;
      *existing = std::move(value);
    } else {
      key.values.push_back(std::move(value));
    }
    return true;
  });
}
} // namespace

void RegistryKey::WriteString(std::string_view name, std::string_view text) {
  rf::Value v;
  v.kind = rf::Value::Kind::String;
  v.text = std::string(text);
  Put(root_, path_, name, std::move(v));
}

void RegistryKey::WriteInteger(std::string_view name, std::int32_t value) {
  rf::Value v;
  v.kind = rf::Value::Kind::Dword;
  v.dword = static_cast<std::uint32_t>(value);
  Put(root_, path_, name, std::move(v));
}

void RegistryKey::WriteBool(std::string_view name, bool value) { WriteInteger(name, value ? 1 : 0); }

bool RegistryKey::DeleteValue(std::string_view name) {
  return ChangeHive(root_, [&](rf::Hive &hive) {
    rf::Key *key = rf::FindKey(hive, path_);
    if (key == nullptr) return false;
    const std::string lower = rf::LowerAscii(name);
    const auto before = key->values.size();
    std::erase_if(key->values, [&](const rf::Value &v) { return rf::LowerAscii(v.name) == lower; });
    return key->values.size() != before;
  });
}

std::vector<std::string> RegistryKey::ValueNames() const {
  return ReadHive(root_, [&](const rf::Hive &hive) {
    std::vector<std::string> names;
    if (const rf::Key *key = rf::FindKey(hive, path_)) {
      for (const rf::Value &v : key->values)
        names.push_back(v.name);
    }
    return names;
  });
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
  return ReadHive(root_, [&](const rf::Hive &hive) {
    std::vector<std::string> names;
    const std::string prefix = rf::NormalisePath(path_);
    for (const auto &[lower, key] : hive.keys) {
      if (prefix.empty() ? (!lower.empty() && lower.find('\\') == std::string::npos)
                         : (lower.size() > prefix.size() + 1 && lower.starts_with(prefix) &&
                            lower[prefix.size()] == '\\' && lower.find('\\', prefix.size() + 1) == std::string::npos)) {
        const auto pos = key.path.rfind('\\');
        names.push_back(pos == std::string::npos ? key.path : key.path.substr(pos + 1));
      }
    }
    return names;
  });
}

bool RegistryKeyExists(RootKey root, std::string_view path) {
  try {
    return ReadHive(root, [&](const rf::Hive &hive) { return rf::FindKey(hive, path) != nullptr; });
  } catch (const std::exception &) {
    return false;
  }
}

bool RegistryDeleteKey(RootKey root, std::string_view path) {
  try {
    return ChangeHive(root, [&](rf::Hive &hive) {
      const std::string prefix = rf::NormalisePath(path);
      const auto removed = std::erase_if(hive.keys, [&](const auto &entry) {
        return entry.first == prefix || (entry.first.starts_with(prefix + "\\"));
      });
      return removed > 0;
    });
  } catch (const std::exception &) {
    return false;
  }
}

} // namespace quorvelle::platform
