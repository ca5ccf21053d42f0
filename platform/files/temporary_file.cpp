#include "platform/files/temporary_file.h"

#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/shell/known_folders.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvelle::platform {
namespace {

[[noreturn]] void Fail(const std::string &what, const std::string &path, int err) {
  throw EInOutError(what + " \"" + path + "\": " + std::strerror(err));
}

} // namespace

std::string PrivateTemporaryFolder() {
  const std::string folder = TemporaryFolder() + "quorvelle-" + std::to_string(::getuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Fail("Cannot create the temporary folder", folder, errno);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) Fail("Cannot read the temporary folder", folder, errno);
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 0077) != 0) {
    throw EInOutError("The temporary folder \"" + folder +
                      "\" is not a folder of this user's alone (a link, another user's, or open to others)");
  }
  return folder + "/";
}

TemporaryFile::TemporaryFile(std::string_view stem, std::string_view extension, std::string_view bytes) {
  std::string pattern = PrivateTemporaryFolder() + std::string(stem) + "XXXXXX" + std::string(extension);
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemps(name.data(), static_cast<int>(extension.size()), O_CLOEXEC);
  if (fd < 0) Fail("Cannot create a temporary file like", pattern, errno);
  path_ = name.data();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : ENOSPC;
      ::close(fd);
      std::remove(path_.c_str());
      Fail("Cannot write", path_, err);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    const int err = errno;
    std::remove(path_.c_str());
    Fail("Cannot write", path_, err);
  }
}

TemporaryFile::~TemporaryFile() { std::remove(path_.c_str()); }

} // namespace quorvelle::platform
