#pragma once
// RSSFeedUtils: stateless file, text and web helpers.
//
// Every function runs its body in the error guard under its own log name and
// never lets an exception out; on a failure it returns the neutral result
// named below. Text is UTF-8; paths use '/'.

#include <string>
#include <string_view>
#include <vector>

namespace quorvelle {

// File attribute bits used by MyAdvBuildFileList's attribute mask. On Linux a
// folder carries faDirectory, a name that begins with '.' counts as hidden,
// and every other entry (regular file, symbolic link, ...) is a plain file
// that any mask accepts.
inline constexpr unsigned faReadOnly = 0x01;
inline constexpr unsigned faHidden = 0x02;
inline constexpr unsigned faSysFile = 0x04;
inline constexpr unsigned faVolumeID = 0x08;
inline constexpr unsigned faDirectory = 0x10;
inline constexpr unsigned faArchive = 0x20;
inline constexpr unsigned faAnyFile = 0x3F;

// Removes the folder (given with a trailing '/') and everything below it.
// True when the folder is gone or never existed. Symbolic links are removed
// as links and never followed, so nothing outside the tree is touched. An
// empty or relative path is refused (false, logged). A single file or folder
// that cannot be removed is skipped; the result is then false.
bool DeleteDir(const std::string &folderWithTrailingSlash);

// Appends to list the full paths of the entries matching pathWithMask (folder
// part up to the last '/', then a mask such as "*.*"), optionally below all
// subfolders (recursive), optionally followed by the subfolders themselves
// (includeFolders; foldersOnly clears the list first). Folders are listed
// with a trailing '/'. False on failure; list keeps what was added.
bool MyAdvBuildFileList(const std::string &pathWithMask, unsigned attributeMask, std::vector<std::string> &list,
                        bool recursive, bool includeFolders, bool foldersOnly);

// True when path names a folder itself (a symbolic link is never a folder).
bool IsDirectory(const std::string &path);

// The resource at url (http, https or ftp) as text; "" on any failure.
std::string GetInetFileToString(const std::string &url);

// The browser's start page: "Start Page" under HKEY_CURRENT_USER
// "Software\Microsoft\Internet Explorer\Main". The key is never created.
bool SetIEHomePage(const std::string &url);
std::string GetIEHomePage();

// LF CR, CR LF, LF and CR each become one blank.
std::string DeleteControlCharsFromString(const std::string &text);

// Free text made usable as a file or folder name ("News & Views" -> "News and Views").
std::string MakeValidFileName(const std::string &text);

// Every run of blanks (code 32) reduced to one blank.
std::string DelSpace1(const std::string &text);

// Whether a link looks like a feed: extension .xml, .rdf or .rss, or an http:// address.
bool IsRSSLink(const std::string &link);

// An address the list refuses to hold: empty (blanks only), or of a script or
// local scheme (javascript:, vbscript:, data:, file:, in any case and with
// blanks or control characters anywhere in the scheme). Every other address
// the add dialog takes (no scheme, feed:, ...) is kept.
bool IsScriptOrLocalAddress(std::string_view address);

// base + "." + ext, else base + sep + N + "." + ext for N = 1, 2, ...: the
// first candidate that is not an existing file.
std::string FindUnusedFileName(const std::string &base, const std::string &ext, const std::string &sep);

} // namespace quorvelle
