#include "setup/user_installation.h"

#include "feeds/feed_store.h"
#include "platform/files/file_io.h"
#include "platform/registry/registry.h"
#include "platform/shell/known_folders.h"
#include "support/debug_log.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace quorvelle::setup {
namespace {

namespace fs = std::filesystem;

constexpr const char *kSetupProgram = "QuorvelleInstall";

// Links every file and folder of the package into the user's folder, keeps
// the user's own files and the report, and drops links to what the package
// no longer has. A copy of the setup program left by an earlier version is
// replaced by a link: the user's folder holds no programs.
void MirrorPackage(const fs::path &package, const fs::path &user) {
  fs::create_directories(user);
  for (const fs::directory_entry &entry : fs::directory_iterator(user)) {
    if (entry.is_symlink() && !fs::exists(entry.path()) && fs::read_symlink(entry.path()).parent_path() == package) {
      fs::remove(entry.path());
    }
  }
  const fs::path oldCopy = user / kSetupProgram;
  if (fs::is_regular_file(fs::symlink_status(oldCopy))) fs::remove(oldCopy);
  for (const fs::directory_entry &entry : fs::directory_iterator(package)) {
    const std::string name = entry.path().filename().string();
    const fs::path target = user / name;
    if (name == "headlines") continue;
    if (fs::is_symlink(target) || fs::exists(target)) continue;
    fs::create_symlink(entry.path(), target);
  }
}

// Runs the package's "QuorvelleInstall /install"; true when it ended with
// status 0.
bool RunSetupProgram(const std::string &packageFolder) {
  std::string program = packageFolder + kSetupProgram;
  std::string command = "/install";
  std::vector<char *> argv{program.data(), command.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string RegisteredAppPath() {
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, false);
  return key && key->ValueExists("AppPath") ? key->ReadString("AppPath") : std::string();
}

} // namespace

bool IsPackagedFolder(const std::string &programFolder) { return programFolder.ends_with("/usr/lib/quorvelle/"); }

std::string UserInstallationFolder() { return platform::ApplicationDataFolder() + "Quorvelle/app/"; }

std::string PrepareInstallationFolder(const std::string &programFolder) {
  if (!IsPackagedFolder(programFolder)) return programFolder;
  std::string user = UserInstallationFolder();
  try {
    MirrorPackage(fs::path(programFolder).parent_path(), fs::path(user).parent_path());
    if (RegisteredAppPath() != user && !RunSetupProgram(programFolder)) {
      std::fprintf(stderr, "Quorvelle: setting up %s failed (%s%s /install)\n", user.c_str(), programFolder.c_str(),
                   kSetupProgram);
      return {};
    }
  } catch (const std::exception &error) {
    LogException("PrepareInstallationFolder");
    std::fprintf(stderr, "Quorvelle: cannot set up %s: %s\n", user.c_str(), error.what());
    return {};
  }
  return user;
}

} // namespace quorvelle::setup
