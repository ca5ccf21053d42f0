#pragma once
// Temporary files: created exclusively in a folder only the user can write,
// and removed when their owner goes out of scope, however the scope ends.

#include <string>
#include <string_view>

namespace quorvelle::platform {

// The user's own temporary folder: $TMPDIR (or /tmp) + "quorvelle-<uid>/",
// created with mode 0700 when missing. A folder there that is a link, belongs
// to another user or others may write into is refused (EInOutError).
std::string PrivateTemporaryFolder();

class TemporaryFile {
public:
  // Takes over a file that already exists at path.
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  // Creates a new file in PrivateTemporaryFolder() named stem + six random
  // characters + extension (O_CREAT | O_EXCL: a link planted under any name is
  // never followed) and writes the bytes to it. Throws EInOutError.
  TemporaryFile(std::string_view stem, std::string_view extension, std::string_view bytes);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile &) = delete;
  TemporaryFile &operator=(const TemporaryFile &) = delete;
  [[nodiscard]] const std::string &Path() const { return path_; }

private:
  std::string path_;
};

} // namespace quorvelle::platform
