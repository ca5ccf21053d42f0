#pragma once
// A small file that several processes read and change: an flock on a lock
// file beside it keeps their read-change-write steps apart, and each write
// goes through a temporary file of its own (created exclusively, so no two
// writers ever share one) renamed over the file.

#include <string>
#include <string_view>

namespace quorvelle::platform {

// An flock held for the lifetime of the object on "<file>.lock" (created when
// missing, with its folder). Shared for reads, exclusive for changes. Throws
// EInOutError when the lock file cannot be opened or locked.
class SharedFileLock {
public:
  SharedFileLock(const std::string &file, bool exclusive);
  ~SharedFileLock();
  SharedFileLock(const SharedFileLock &) = delete;
  SharedFileLock &operator=(const SharedFileLock &) = delete;

private:
  int fd_ = -1;
};

// Writes the bytes to a fresh, exclusively created temporary file beside
// path and renames it over path: readers see the old or the new content,
// never a mix. With flush the bytes reach the disk before the rename; a file
// whose loss in a crash costs little goes without. Throws EInOutError; the
// old file then stays and the temporary file is removed.
void ReplaceFileExclusively(const std::string &path, std::string_view bytes, bool flush = true);

} // namespace quorvelle::platform
