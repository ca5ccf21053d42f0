#include "platform/files/file_io.h"

#include "platform/errors.h"
#include "platform/files/posix_ops.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvelle::platform {
namespace fs = std::filesystem;

std::optional<std::string> ReadFileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) {
    return std::nullopt;
  }
  return out.str();
}

namespace {

class ScopedFd {
public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(const ScopedFd &) = delete;
  ScopedFd &operator=(const ScopedFd &) = delete;
  ~ScopedFd() { Close(); }
  [[nodiscard]] int Get() const { return fd_; }
  int Close() {
    int rc = 0;
    if (fd_ >= 0) {
      rc = Posix().close(fd_);
      fd_ = -1;
    }
    return rc;
  }

private:
  int fd_;
};

// The file a chain of symbolic links ends in (the path itself when it is no
// link), so a write replaces the target and keeps the link.
fs::path FollowLinks(const fs::path &path) {
  fs::path current = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(current, ec))) {
      return current;
    }
    const fs::path target = fs::read_symlink(current, ec);
    if (ec) {
      return current;
    }
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  throw EInOutError("Too many levels of symbolic links at \"" + path.string() + "\"");
}

[[noreturn]] void Fail(const std::string &what, const std::string &path, int err) {
  throw EInOutError(what + " \"" + path + "\": " + std::strerror(err));
}

} // namespace

void WriteFileAtomically(const std::string &linkOrFile, std::string_view bytes) {
  const fs::path target = FollowLinks(linkOrFile);
  const std::string path = target.string();
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string temp =
      (folder / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()))).string();
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  }
  ScopedFd fd(Posix().open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode));
  if (fd.Get() < 0) {
    Fail("Cannot create", temp, errno);
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = Posix().write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      const int err = n < 0 ? errno : ENOSPC;
      fd.Close();
      ::unlink(temp.c_str());
      Fail("Cannot write", temp, err);
    }
    done += static_cast<std::size_t>(n);
  }
  if (Posix().fsync(fd.Get()) != 0 || fd.Close() != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail("Cannot flush", temp, err);
  }
  if (Posix().rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail("Cannot replace", path, err);
  }
  // Make the rename itself durable.
  ScopedFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) {
    ::fsync(dir.Get());
  }
}

std::string JoinLinesCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      i += (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    } else if (c == '\n') {
      out += "\r\n";
      ++i;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  if (!out.empty() && !(out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0)) {
    out += "\r\n";
  }
  return out;
}

std::optional<std::string> ReadFileAsCrLfLines(const std::string &path) {
  std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) {
    return std::nullopt;
  }
  return JoinLinesCrLf(*bytes);
}

std::string AsideFileName(const std::string &file, const std::string &tag) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  const std::string base = file + "." + tag + "-" + stamp;
  std::string aside = base;
  for (int i = 1; FileExists(aside); ++i) {
    aside = base + "-" + std::to_string(i);
  }
  return aside;
}

bool FileExists(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string &path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void ForceDirectories(const std::string &path) {
  if (path.empty()) {
    throw EInOutError("Unable to create directory");
  }
  std::error_code ec;
  fs::create_directories(fs::path(path), ec);
  if (ec || !DirectoryExists(path)) {
    throw EInOutError("Unable to create directory \"" + path + "\"");
  }
}

std::string IncludeTrailingPathDelimiter(const std::string &path) {
  if (path.empty() || path.back() == '/') {
    return path;
  }
  return path + "/";
}

std::string ExtractFilePath(const std::string &path) {
  const auto pos = path.rfind('/');
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

} // namespace quorvelle::platform
