#include "platform/shell/launcher.h"

#include "platform/errors.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace quorvelle::platform {
namespace {

// Owns one file descriptor.
class FileDescriptor {
public:
  explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;
  [[nodiscard]] int Get() const noexcept { return fd_; }
  void Reset() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

private:
  int fd_;
};

bool IsExecutableFile(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program's path: as given when it names a path, else the first
// executable of that name along PATH; "" when there is none. Resolved before
// forking, so the child only has to call execve.
std::string ResolveProgram(const std::string &program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return program;
  const char *pathVariable = std::getenv("PATH");
  const std::string searchPath = pathVariable != nullptr && *pathVariable != '\0' ? pathVariable : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    std::size_t end = searchPath.find(':', start);
    if (end == std::string::npos) end = searchPath.size();
    const std::string folder = end > start ? searchPath.substr(start, end - start) : ".";
    const std::string candidate = folder + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

// Runs in the grandchild between fork and execve: only async-signal-safe calls.
[[noreturn]] void ExecGrandchild(const char *path, char *const argv[], int errorPipe) {
  const int devNull = ::open("/dev/null", O_RDWR);
  if (devNull >= 0) {
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    if (devNull > STDERR_FILENO) ::close(devNull);
  }
  // Descriptors the caller left inheritable (sockets, locks) are not the
  // new program's business. Best effort: older kernels lack the call.
  ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
  // The caller may ignore or block signals (SIGPIPE in particular); the new
  // program starts with the defaults.
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &defaultAction, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execve(path, argv, environ);
  const int error = errno;
  [[maybe_unused]] const ssize_t written = ::write(errorPipe, &error, sizeof error);
  ::_exit(127);
}

} // namespace

bool LaunchDetached(const std::vector<std::string> &argv) {
  if (argv.empty()) return false;
  const std::string path = ResolveProgram(argv.front());
  if (path.empty()) return false;
  std::vector<char *> args;
  args.reserve(argv.size() + 1);
  for (const std::string &arg : argv) {
    args.push_back(const_cast<char *>(arg.c_str()));
  }
  args.push_back(nullptr);

  // The grandchild reports a failed execve through this pipe; a successful
  // one closes it (close-on-exec), which the parent sees as end of file.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw EInOutError(std::string("Cannot create a pipe: ") + std::strerror(errno));
  FileDescriptor readEnd(fds[0]);
  FileDescriptor writeEnd(fds[1]);

  const pid_t child = ::fork();
  if (child < 0) throw EInOutError(std::string("Cannot start a process: ") + std::strerror(errno));
  if (child == 0) {
    // Intermediate child: a new session, then a grandchild that is adopted
    // by init when this one exits at once, so no zombie is left behind.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild < 0) {
      const int error = errno;
      [[maybe_unused]] const ssize_t written = ::write(writeEnd.Get(), &error, sizeof error);
      ::_exit(1);
    }
    if (grandchild == 0) ExecGrandchild(path.c_str(), args.data(), writeEnd.Get());
    ::_exit(0);
  }
  writeEnd.Reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int childError = 0;
  ssize_t got = 0;
  do {
    got = ::read(readEnd.Get(), &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  return got == 0;
}

std::string UrlOpenerProgram() {
  const char *opener = std::getenv("QUORVELLE_URL_OPENER");
  return opener != nullptr && *opener != '\0' ? std::string(opener) : std::string("xdg-open");
}

bool OpenUrlDetached(const std::string &url) { return LaunchDetached({UrlOpenerProgram(), url}); }

} // namespace quorvelle::platform
