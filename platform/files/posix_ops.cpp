#include "platform/files/posix_ops.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quorvelle::platform {
namespace {
int OpenFile(const char *path, int flags, mode_t mode) { return ::open(path, flags | O_CLOEXEC, mode); }
} // namespace

PosixOps &Posix() {
  static PosixOps ops{&OpenFile, &::write, &::fsync, &::close, &::rename};
  return ops;
}

} // namespace quorvelle::platform
