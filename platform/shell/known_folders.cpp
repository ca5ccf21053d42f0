#include "platform/shell/known_folders.h"

#include "platform/files/file_io.h"
#include "platform/registry/registry.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace quorvelle::platform {
namespace {

std::string Env(const char *name) {
  const char *value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string Home() { return UserHomeFolder(); }

// XDG_DOCUMENTS_DIR from ~/.config/user-dirs.dirs ("$HOME/Documents" form).
std::string XdgDocumentsDir() {
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() || config.front() != '/') config = Home() + "/.config";
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string prefix = "XDG_DOCUMENTS_DIR=\"";
    if (line.rfind(prefix, 0) != 0) continue;
    std::string value = line.substr(prefix.size());
    if (!value.empty() && value.back() == '"') value.pop_back();
    if (value.rfind("$HOME", 0) == 0) value = Home() + value.substr(5);
    return value;
  }
  return {};
}

} // namespace

std::string UserHomeFolder() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  // No HOME (a service, a cleared environment): the password database knows.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd *found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return "/";
}

std::string ApplicationDataFolder() {
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty() || data.front() != '/') data = Home() + "/.local/share";
  return IncludeTrailingPathDelimiter(data);
}

std::string UserCacheFolder() {
  std::string cache = Env("XDG_CACHE_HOME");
  if (cache.empty() || cache.front() != '/') cache = Home() + "/.cache";
  return IncludeTrailingPathDelimiter(cache);
}

std::string DocumentsFolder() {
  const std::string xdg = XdgDocumentsDir();
  if (!xdg.empty() && DirectoryExists(xdg)) return IncludeTrailingPathDelimiter(xdg);
  if (DirectoryExists(Home() + "/Documents")) return Home() + "/Documents/";
  return IncludeTrailingPathDelimiter(Home());
}

std::string TemporaryFolder() {
  std::string tmp = Env("TMPDIR");
  if (tmp.empty()) tmp = "/tmp";
  return IncludeTrailingPathDelimiter(tmp);
}

std::string UserStateFolder() {
  std::string state = Env("XDG_STATE_HOME");
  if (state.empty() || state.front() != '/') state = Home() + "/.local/state";
  return IncludeTrailingPathDelimiter(state);
}

std::string DefaultInstallPrefix() { return Home() + "/.local/opt/"; }

std::string ProgramFilesFolder() {
  try {
    auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", false);
    if (key && key->ValueExists("ProgramFilesDir")) {
      const std::string value = key->ReadString("ProgramFilesDir");
      if (!value.empty()) return IncludeTrailingPathDelimiter(value);
    }
  } catch (...) {
  }
  return DefaultInstallPrefix();
}

} // namespace quorvelle::platform
