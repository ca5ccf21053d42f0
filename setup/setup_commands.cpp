#include "setup/setup_commands.h"

#include "feeds/feed_store.h"
#include "platform/codepage/text_case.h"
#include "platform/registry/registry.h"
#include "setup/user_installation.h"
#include "support/debug_log.h"

#include <cstdint>
#include <dlfcn.h>
#include <memory>
#include <unistd.h>

namespace quorvelle::setup {
namespace {

constexpr const char *kMenuExtKey = "Software\\Microsoft\\Internet Explorer\\MenuExt\\";

struct LibraryCloser {
  void operator()(void *handle) const noexcept { dlclose(handle); }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

} // namespace

void IE5_AddExtMenuItem(const std::string &menuText, const std::string &url, int contexts, int /*flags*/) {
  Guard("IE5_AddExtMenuItem", [&] {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kMenuExtKey + menuText, true);
    if (!key) {
      throw ERegistryException("Failed to create key " + std::string(kMenuExtKey) + menuText);
    }
    key->WriteString("", url);
    key->WriteInteger("Contexts", contexts);
  });
}

bool IE5_RemoveExtMenuItem(const std::string &menuText) {
  bool result = false;
  Guard("IE5_RemoveExtMenuItem", [&] {
    result = platform::RegistryDeleteKey(platform::HKEY_CURRENT_USER, std::string("\\") + kMenuExtKey + menuText);
  });
  return result;
}

std::string InstallationFolder() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) {
    throw EOSError("Cannot find the program's own file");
  }
  const std::string file(buf, static_cast<std::size_t>(n));
  const std::string folder = file.substr(0, file.rfind('/') + 1);
  // The package's copy installs for the user who runs it, into that user's
  // own folder (set up by the program that started it).
  return IsPackagedFolder(folder) ? UserInstallationFolder() : folder;
}

void RegisterBandLibrary(const std::string &libraryPath) {
  LibraryHandle library(dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    const char *error = dlerror();
    throw EOSError(std::string(error != nullptr ? error : "The specified module could not be found") + ": " +
                   libraryPath);
  }
  dlerror();
  using RegisterFn = std::int32_t (*)();
  auto *registerServer = reinterpret_cast<RegisterFn>(dlsym(library.get(), "DllRegisterServer"));
  if (registerServer == nullptr) {
    const char *error = dlerror();
    throw EOSError(error != nullptr ? error : "The specified procedure could not be found");
  }
  const std::int32_t result = registerServer();
  if (result < 0) {
    char text[64];
    std::snprintf(text, sizeof text, "DllRegisterServer failed with 0x%08X", static_cast<std::uint32_t>(result));
    throw EOleSysError(text);
  }
}

void InstallCommand() {
  FeedOptions->AppPath = InstallationFolder();
  IE5_AddExtMenuItem(kMenuText, "file://" + FeedOptions->AppPath + "rssfeed.html", 34, 1);
  FeedOptions->Save();
  RegisterBandLibrary(FeedOptions->AppPath + kBandLibraryFile);
}

void UninstallCommand() {
  IE5_RemoveExtMenuItem(kMenuText);
  if (FeedOptions) {
    FeedOptions->RestoreHomePage();
  }
}

int RunCommand(const std::vector<std::string> &arguments) {
  const std::string command = arguments.empty() ? std::string() : platform::LowerCase(arguments.front());
  try {
    if (command == "/install") {
      if (!FeedOptions) {
        throw EAbort("The feed store is not available");
      }
      InstallCommand();
    } else if (command == "/uninstall") {
      UninstallCommand();
    }
  } catch (...) {
    // Nothing else catches a failed registration: it goes to the last-chance
    // handler and the program ends without a message.
    SystemExceptionHandler();
    return 1;
  }
  return 0;
}

} // namespace quorvelle::setup
