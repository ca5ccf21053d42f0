#include "tests/helpers/test_environment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvelle::test {
namespace fs = std::filesystem;

TempDir::TempDir() : TempDir(fs::temp_directory_path().string()) {}

TempDir::TempDir(const std::string &base) {
  std::string pattern = (fs::path(base) / "quorvelle-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only parts writable again so everything can go.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_symlink()) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string> &value) : name_(std::move(name)) {
  if (const char *old = std::getenv(name_.c_str())) {
    previous_ = old;
  }
  if (value) {
    ::setenv(name_.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (previous_) {
    ::setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

IsolatedUser::IsolatedUser() : IsolatedUser(fs::temp_directory_path().string()) {}

IsolatedUser::IsolatedUser(const std::string &base)
    : dir_(base), home_("HOME", dir_.Path()), config_("XDG_CONFIG_HOME", dir_.Path() + "/.config"),
      data_("XDG_DATA_HOME", dir_.Path() + "/.local/share"), tmp_("TMPDIR", dir_.Path() + "/tmp"),
      registry_("QUORVELLE_REGISTRY", dir_.Path() + "/registry"), log_("QUORVELLE_LOG_FOLDER", dir_.Path() + "/log") {
  fs::create_directories(dir_.Path() + "/tmp");
  fs::create_directories(dir_.Path() + "/log");
}

std::optional<std::string> FolderOtherUsersReach() {
  const auto reachable = [](const fs::path &folder) {
    for (fs::path step = folder;; step = step.parent_path()) {
      struct stat st {};
      if (::stat(step.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || (st.st_mode & S_IXOTH) == 0) return false;
      if (step == step.root_path() || step.empty()) return true;
    }
  };
  std::error_code error;
  const fs::path temp = fs::temp_directory_path(error);
  for (const fs::path &candidate : {temp, fs::path("/tmp"), fs::path("/var/tmp")}) {
    if (!candidate.empty() && candidate.is_absolute() && reachable(candidate) && ::access(candidate.c_str(), W_OK) == 0)
      return candidate.string();
  }
  return std::nullopt;
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + path);
  }
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string &path, const std::string &bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) {
    throw std::runtime_error("cannot write " + path);
  }
}

bool PathExists(const std::string &path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

} // namespace quorvelle::test
