#include "platform/files/file_lock.h"

#include "platform/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace quorvelle::platform {
namespace {

struct Held {
  int fd = -1;
  int count = 0;
};

// One mutex for every lock of the process: it keeps the threads apart, the
// flock keeps the processes apart.
std::recursive_mutex &ProcessMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::map<std::string, Held> &HeldLocks() {
  static std::map<std::string, Held> held;
  return held;
}

} // namespace

FileLock::FileLock(std::string path) : path_(std::move(path)) {
  ProcessMutex().lock();
  Held &held = HeldLocks()[path_];
  if (held.count > 0) {
    ++held.count;
    return;
  }
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    const int err = errno;
    HeldLocks().erase(path_);
    ProcessMutex().unlock();
    throw EInOutError("Cannot open the lock file \"" + path_ + "\": " + std::strerror(err));
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const int err = errno;
    ::close(fd);
    HeldLocks().erase(path_);
    ProcessMutex().unlock();
    throw EInOutError("Cannot lock \"" + path_ + "\": " + std::strerror(err));
  }
  held.fd = fd;
  held.count = 1;
}

FileLock::~FileLock() {
  auto found = HeldLocks().find(path_);
  if (found != HeldLocks().end() && --found->second.count == 0) {
    // Closing the only descriptor releases the flock.
    ::close(found->second.fd);
    HeldLocks().erase(found);
  }
  ProcessMutex().unlock();
}

bool HoldsFileLock(const std::string &path) {
  const std::lock_guard lock(ProcessMutex());
  const auto found = HeldLocks().find(path);
  return found != HeldLocks().end() && found->second.count > 0;
}

} // namespace quorvelle::platform
