#pragma once
// Running outside programs from tests and benchmarks (a peer such as
// newsboat, a reference browser): finding them on PATH and running one to
// completion with its output in a file.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quorvelle::test {

// The first executable of that name along $PATH (or /usr/bin:/bin).
std::optional<std::string> FindProgram(const std::string &name);

struct ChildOptions {
  // The child's whole environment ("NAME=value"); empty: the caller's own.
  std::vector<std::string> environment;
  // Standard output goes to this file (created or truncated).
  std::string stdoutFile;
  bool stderrToNull = false;
  // Killed when it runs longer; zero waits without limit.
  std::chrono::milliseconds timeLimit{0};
};

// Runs program with args (argv[0] is the program); the exit status, or -1
// when it could not be started, did not exit normally or was killed at its
// time limit. Standard input is /dev/null.
int RunChild(const std::string &program, const std::vector<std::string> &args, const ChildOptions &options);

} // namespace quorvelle::test
