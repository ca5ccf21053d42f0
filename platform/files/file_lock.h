#pragma once
// An advisory lock on a lock file (flock), held for the guard's lifetime, so
// the load-change-save of one program never interleaves with another's.

#include <string>

namespace quorvelle::platform {

// Blocks until the lock is taken. Within one process the lock is re-entrant:
// a command that runs another (an import that rebuilds the report) takes it
// again and only counts up; other threads of the process wait as other
// processes do. The lock file is created when missing and never removed (a
// removed file would let two holders lock two different files). Throws
// EInOutError when the lock file cannot be opened.
class FileLock {
public:
  explicit FileLock(std::string path);
  ~FileLock();
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;
  [[nodiscard]] const std::string &Path() const { return path_; }

private:
  std::string path_;
};

// True while this process holds the lock on path.
bool HoldsFileLock(const std::string &path);

} // namespace quorvelle::platform
