#pragma once
// The diagnostic log DEBUG.LOG beside the module's own file, and the error
// guard that every operation of the system runs its body in.
//
// Logging is off unless the setting DebugMode is true (read once when the
// module is loaded). Two kinds of entry, each written with one write call:
//   [dd.mm.yy hh:nn:ss.zzz],Info: <text>,Msg: <message>,ExptAdrs: $XXXXXXXX CR LF
//   [dd.mm.yy hh:nn:ss.zzz] <thread id>: <text> CR LF

#include <functional>
#include <string>
#include <string_view>

namespace quorvelle {

// Logs the exception being handled (exception entry) or, when none is being
// handled, a plain entry. Never throws.
void LogException(std::string_view text) noexcept;

// Writes a plain entry when logging is on and level >= the minimum level (0).
void LogMessage(std::string_view text, int level) noexcept;

// Runs body; any exception escaping it is logged under the operation's
// qualified name and discarded. The caller's result keeps whatever the body
// had assigned before the failure.
void Guard(std::string_view qualifiedName, const std::function<void()> &body) noexcept;

// Runs body; any exception escaping it is discarded without a log line (the
// per-item steps of loops).
void SilentGuard(const std::function<void()> &body) noexcept;

// Name of the class of the exception being handled ("EOleException"), "" if none.
std::string CurrentExceptionClassName();

// The application's exception handler: called from inside a catch block when
// an exception escaped an event handler of sender's class.
void ApplicationExceptionHandler(std::string_view senderClassName) noexcept;

// The last-chance handler: called from inside a catch block for an exception
// that nothing else caught; logs "System Error on <exception class>".
void SystemExceptionHandler() noexcept;

namespace DebugM {
// Module load: hooks installed, minimum level 0, DebugMode read (written as
// false when missing).
void Initialization() noexcept;
// Module unload: hooks restored.
void Finalization() noexcept;

bool DebugFlag() noexcept;
// Full path of DEBUG.LOG for this module: beside it, or in the folder that
// QUORVELLE_LOG_FOLDER names when that is an absolute path.
std::string LogFileName();
// The folder of the module (shared library or program) that holds this code,
// with a trailing delimiter.
std::string ModuleFolder();
} // namespace DebugM

} // namespace quorvelle
