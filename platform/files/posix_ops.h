#pragma once
// The few raw system calls that durable writes depend on, behind one table
// so tests can make them fail (a full disk, a rename refused).

#include <cstddef>
#include <sys/types.h>

namespace quorvelle::platform {

struct PosixOps {
  int (*open)(const char *path, int flags, mode_t mode);
  ssize_t (*write)(int fd, const void *buffer, std::size_t count);
  int (*fsync)(int fd);
  int (*close)(int fd);
  int (*rename)(const char *from, const char *to);
};

// The table in use; tests replace entries and restore them afterwards.
PosixOps &Posix();

} // namespace quorvelle::platform
