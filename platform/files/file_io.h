#pragma once
// Whole-file reads and durable whole-file writes.

#include <optional>
#include <string>
#include <string_view>

namespace quorvelle::platform {

// The file's bytes; nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::string &path);

// Writes the bytes to a temporary file in the same folder, flushes it to disk
// and renames it over the path, so readers and a crash see either the old or
// the new content. Throws EInOutError on failure; the old file then stays.
void WriteFileAtomically(const std::string &path, std::string_view bytes);

// Text as lines joined with CR LF, a final CR LF included: every LF, CR LF or
// lone CR becomes CR LF. An empty text stays empty.
std::string JoinLinesCrLf(std::string_view text);

// The file read as lines and joined with CR LF (final CR LF included); ""
// when it is empty; nullopt when it cannot be read.
std::optional<std::string> ReadFileAsCrLfLines(const std::string &path);

bool FileExists(const std::string &path);      // a regular file (or a link to one)
bool DirectoryExists(const std::string &path); // a folder (or a link to one)

// A free name beside the file for keeping a copy aside:
// "<file>.<tag>-<YYYYmmdd-HHMMSS>", with "-<n>" added while that exists.
std::string AsideFileName(const std::string &file, const std::string &tag);

// Creates the folder with all missing parents. Throws EInOutError.
void ForceDirectories(const std::string &path);

// Adds a trailing '/' unless the path already ends in one (or is empty).
std::string IncludeTrailingPathDelimiter(const std::string &path);

// Folder part of a path, trailing delimiter kept ("/a/b/c.txt" -> "/a/b/").
std::string ExtractFilePath(const std::string &path);

} // namespace quorvelle::platform
