#include "platform/files/shared_file.h"

#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/files/posix_ops.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <unistd.h>

namespace quorvelle::platform {
namespace {

[[noreturn]] void Fail(const std::string &what, const std::string &path, int err) {
  throw EInOutError(what + " \"" + path + "\": " + std::strerror(err));
}

// A name no other writer uses: the process, a counter of this process, and
// a random part for a process id that comes round again.
std::string TemporaryName(const std::string &path) {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937 random{std::random_device{}()};
  const std::filesystem::path target(path);
  return (target.parent_path() / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                                  std::to_string(counter++) + "-" + std::to_string(random() % 1000000)))
      .string();
}

} // namespace

SharedFileLock::SharedFileLock(const std::string &file, bool exclusive) {
  ForceDirectories(ExtractFilePath(file));
  const std::string lockFile = file + ".lock";
  fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) Fail("Cannot open", lockFile, errno);
  while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
    if (errno != EINTR) {
      const int err = errno;
      ::close(fd_);
      Fail("Cannot lock", lockFile, err);
    }
  }
}

SharedFileLock::~SharedFileLock() {
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
}

void ReplaceFileExclusively(const std::string &path, std::string_view bytes, bool flush) {
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = TemporaryName(path);
    fd = Posix().open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) Fail("Cannot create", temp, errno);
  }
  if (fd < 0) Fail("Cannot create", temp, EEXIST);
  auto fail = [&](const char *what, int err, const std::string &named) {
    if (fd >= 0) Posix().close(fd);
    ::unlink(temp.c_str());
    Fail(what, named, err);
  };
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = Posix().write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("Cannot write", n < 0 ? errno : ENOSPC, temp);
    done += static_cast<std::size_t>(n);
  }
  if (flush && Posix().fsync(fd) != 0) fail("Cannot flush", errno, temp);
  const int closed = Posix().close(fd);
  fd = -1;
  if (closed != 0) fail("Cannot flush", errno, temp);
  if (Posix().rename(temp.c_str(), path.c_str()) != 0) fail("Cannot replace", errno, path);
}

} // namespace quorvelle::platform
