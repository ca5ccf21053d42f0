#pragma once
// Starting other programs: detached, in their own session, without a shell,
// so no argument is ever interpreted as a command.

#include <string>
#include <vector>

namespace quorvelle::platform {

// Starts argv[0] (searched in PATH when it has no '/') with the given
// arguments, each passed verbatim as one argument, in a new session with its
// standard streams on /dev/null. The program is not waited for and leaves no
// zombie. True when the program was started; false when it could not be
// executed (not found, not executable). Throws EInOutError when no process
// could be created at all.
bool LaunchDetached(const std::vector<std::string> &argv);

// The program that opens addresses in the user's preferred application: the
// value of the environment variable QUORVELLE_URL_OPENER when it is set and
// not empty (tests point it at a fake opener), else "xdg-open". It is started
// as `<opener> <url>`.
std::string UrlOpenerProgram();

// LaunchDetached({UrlOpenerProgram(), url}).
bool OpenUrlDetached(const std::string &url);

} // namespace quorvelle::platform
