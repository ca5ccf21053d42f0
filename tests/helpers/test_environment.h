#pragma once
// Test helpers: temporary folders, scoped environment variables and an
// isolated user (own HOME, XDG folders and registry store).

#include <optional>
#include <string>

namespace quorvelle::test {

class TempDir {
public:
  TempDir();
  // A folder made in base instead of the temporary folder.
  explicit TempDir(const std::string &base);
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  // The folder, without trailing '/'.
  [[nodiscard]] const std::string &Path() const { return path_; }
  [[nodiscard]] std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

class ScopedEnv {
public:
  ScopedEnv(std::string name, const std::optional<std::string> &value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
  std::string name_;
  std::optional<std::string> previous_;
};

// A fresh user for one test: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, TMPDIR,
// QUORVELLE_REGISTRY and QUORVELLE_LOG_FOLDER all point into one temporary
// folder, so tests running in parallel share no file and no DEBUG.LOG.
class IsolatedUser {
public:
  IsolatedUser();
  // The user's folder made in base instead of the temporary folder.
  explicit IsolatedUser(const std::string &base);
  [[nodiscard]] std::string Home() const { return dir_.Path(); }
  [[nodiscard]] std::string RegistryDir() const { return dir_.Path() + "/registry"; }
  [[nodiscard]] std::string DataFolder() const { return dir_.Path() + "/.local/share/Quorvelle/"; }
  [[nodiscard]] std::string FeedsFile() const { return DataFolder() + "Feeds.xml"; }

private:
  TempDir dir_;
  ScopedEnv home_;
  ScopedEnv config_;
  ScopedEnv data_;
  ScopedEnv tmp_;
  ScopedEnv registry_;
  ScopedEnv log_;
};

// A folder to make temporary folders in that another user (a root test
// dropping to nobody) can reach: the temporary folder when every folder
// above it lets others pass, else /tmp or /var/tmp when they do; nullopt
// when none does (TMPDIR inside a private folder and no shared one).
std::optional<std::string> FolderOtherUsersReach();
// Why a test that drops to another user is skipped when there is no such
// folder.
inline constexpr const char *kNoFolderOtherUsersReach =
    "the temporary folder lies inside a folder other users cannot enter (TMPDIR inside a private folder) and "
    "neither /tmp nor /var/tmp can be used instead, so the unprivileged user this test runs as could not reach "
    "its files";

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes);
bool PathExists(const std::string &path);

} // namespace quorvelle::test
