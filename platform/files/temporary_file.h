#pragma once
// A file removed when its owner goes out of scope, however the scope ends.

#include <cstdio>
#include <string>
#include <utility>

namespace quorvelle::platform {

class TemporaryFile {
public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() { std::remove(path_.c_str()); }
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;
  [[nodiscard]] const std::string &Path() const { return path_; }

private:
  std::string path_;
};

} // namespace quorvelle::platform
