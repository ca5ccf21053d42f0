#include "support/debug_log.h"

#include "platform/errors.h"
#include "platform/registry/registry.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cxxabi.h>
#include <dlfcn.h>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <semaphore>
#include <string>
#include <sys/syscall.h>
#include <typeinfo>
#include <unistd.h>

namespace quorvelle {
namespace {

constexpr const char *kSettingsKey = "Software\\Tolvane\\Quorvelle";

std::atomic<bool> gDebugFlag{false};
std::atomic<int> gMinimumLevel{0};
std::binary_semaphore gWriterSemaphore{1};
std::terminate_handler gPreviousTerminate = nullptr;
bool gHooksInstalled = false;

// Where a guard was entered, used as the address of exceptions that did not
// come from Quorvelle's own error classes.
thread_local std::uintptr_t tGuardAddress = 0;

std::string TimeStamp() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&seconds, &tm);
  char buf[40];
  std::snprintf(buf, sizeof buf, "[%02d.%02d.%02d %02d:%02d:%02d.%03d]", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(millis));
  return buf;
}

void WriteEntry(const std::string &entry) noexcept {
  try {
    const std::string path = DebugM::LogFileName();
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
      fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t written = ::write(fd, entry.data(), entry.size());
    ::close(fd);
  } catch (...) {
    // The logger swallows its own failures.
  }
}

std::string Demangle(const char *mangled) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  std::string full = status == 0 && name ? std::string(name.get()) : std::string(mangled);
  // Drop namespaces: "quorvelle::EOleException" -> "EOleException".
  const auto pos = full.rfind("::");
  return pos == std::string::npos ? full : full.substr(pos + 2);
}

void WriteExceptionEntry(std::string_view text) {
  std::string message;
  std::uintptr_t address = tGuardAddress;
  try {
    throw;
  } catch (const QuorvelleError &e) {
    message = e.what();
    if (e.RaiseAddress() != 0) address = e.RaiseAddress();
  } catch (const std::exception &e) {
    message = e.what();
  } catch (...) {
    message = "Unknown exception";
  }
  char adrs[16];
  std::snprintf(adrs, sizeof adrs, "%08X", static_cast<unsigned>(address & 0xFFFFFFFFu));
  std::string entry = TimeStamp();
  entry += ",Info: ";
  entry += text;
  entry += ",Msg: ";
  entry += message;
  entry += ",ExptAdrs: $";
  entry += adrs;
  entry += "\r\n";
  WriteEntry(entry);
}

[[noreturn]] void TerminateHook() {
  if (std::current_exception()) {
    SystemExceptionHandler();
  }
  if (gPreviousTerminate != nullptr) {
    gPreviousTerminate();
  }
  std::abort();
}

void ModuleAnchor() {}

} // namespace

std::string CurrentExceptionClassName() {
  const std::type_info *type = abi::__cxa_current_exception_type();
  return type == nullptr ? std::string() : Demangle(type->name());
}

void LogMessage(std::string_view text, int level) noexcept {
  if (!gDebugFlag.load() || level < gMinimumLevel.load()) return;
  try {
    gWriterSemaphore.acquire();
    std::string entry = TimeStamp();
    entry += ' ';
    entry += std::to_string(static_cast<long>(::syscall(SYS_gettid)));
    entry += ": ";
    entry += text;
    entry += "\r\n";
    WriteEntry(entry);
    gWriterSemaphore.release();
  } catch (...) {
    gWriterSemaphore.release();
  }
}

void LogException(std::string_view text) noexcept {
  if (!gDebugFlag.load()) return;
  try {
    if (std::current_exception()) {
      WriteExceptionEntry(text);
    } else {
      LogMessage(text, 0);
    }
  } catch (...) {
  }
}

__attribute__((noinline)) void Guard(std::string_view qualifiedName, const std::function<void()> &body) noexcept {
  const std::uintptr_t outer = tGuardAddress;
  tGuardAddress = ModuleRelativeAddress(__builtin_extract_return_addr(__builtin_return_address(0)));
  try {
    body();
  } catch (...) {
    LogException(qualifiedName);
  }
  tGuardAddress = outer;
}

void SilentGuard(const std::function<void()> &body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

void ApplicationExceptionHandler(std::string_view senderClassName) noexcept {
  try {
    LogException("Application Error on " + std::string(senderClassName) + " E: " + CurrentExceptionClassName());
  } catch (...) {
  }
}

void SystemExceptionHandler() noexcept {
  try {
    LogException("System Error on " + CurrentExceptionClassName());
  } catch (...) {
  }
}

namespace DebugM {

std::string ModuleFolder() {
  Dl_info info{};
  std::string file;
  if (dladdr(reinterpret_cast<void *>(&ModuleAnchor), &info) != 0 && info.dli_fname != nullptr) {
    file = info.dli_fname;
  }
  // The main program may be reported by a bare or relative name.
  if (file.empty() || file.front() != '/') {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) file.assign(buf, static_cast<std::size_t>(n));
  }
  const auto pos = file.rfind('/');
  return pos == std::string::npos ? std::string("./") : file.substr(0, pos + 1);
}

std::string LogFileName() {
  // An absolute QUORVELLE_LOG_FOLDER moves the log (each test keeps its own);
  // anything else leaves it beside the module.
  if (const char *folder = std::getenv("QUORVELLE_LOG_FOLDER"); folder != nullptr && *folder == '/') {
    std::string path = folder;
    if (path.back() != '/') path += '/';
    return path + "DEBUG.LOG";
  }
  return ModuleFolder() + "DEBUG.LOG";
}

bool DebugFlag() noexcept { return gDebugFlag.load(); }

void Initialization() noexcept {
  try {
    if (!gHooksInstalled) {
      gPreviousTerminate = std::set_terminate(&TerminateHook);
      gHooksInstalled = true;
    }
    gMinimumLevel = 0;
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    if (key) {
      if (key->ValueExists("DebugMode")) {
        gDebugFlag = key->ReadBool("DebugMode");
      } else {
        key->WriteBool("DebugMode", false);
        gDebugFlag = false;
      }
    }
  } catch (...) {
    // Logging stays as it was.
  }
}

void Finalization() noexcept {
  if (gHooksInstalled) {
    std::set_terminate(gPreviousTerminate);
    gPreviousTerminate = nullptr;
    gHooksInstalled = false;
  }
  gDebugFlag = false;
}

} // namespace DebugM
} // namespace quorvelle
