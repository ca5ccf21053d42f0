#include "support/rss_feed_utils.h"

#include "platform/codepage/text_case.h"
#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/inet/inet_client.h"
#include "platform/registry/registry.h"
#include "support/debug_log.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvelle {
namespace {

constexpr const char *kIEMainKey = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char *kStartPageValue = "Start Page";

// Replaces every occurrence of from, left to right, without rescanning what
// was inserted.
std::string ReplaceAll(const std::string &text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = text.find(from, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

// The path without trailing '/' (the root stays "/"), so that looking at it
// never resolves a symbolic link in its last component.
std::string WithoutTrailingSlash(const std::string &path) {
  std::string out = path;
  while (out.size() > 1 && out.back() == '/') {
    out.pop_back();
  }
  return out;
}

bool IsSymbolicLink(const std::string &path) {
  struct stat st {};
  return ::lstat(WithoutTrailingSlash(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Something (a file, folder or link, even a dangling one) is at path.
bool PathPresent(const std::string &path) {
  struct stat st {};
  return ::lstat(WithoutTrailingSlash(path).c_str(), &st) == 0;
}

struct FolderEntry {
  std::string name;
  unsigned attributes = 0;
};

struct DirCloser {
  void operator()(DIR *dir) const noexcept { ::closedir(dir); }
};

// The entries of a folder other than "." and "..", with their attributes.
// Empty when the folder cannot be opened; a folder reached through a
// symbolic link is never opened.
std::vector<FolderEntry> ReadFolder(const std::string &folder) {
  std::vector<FolderEntry> entries;
  const std::string target = folder.empty() ? std::string(".") : WithoutTrailingSlash(folder);
  const int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return entries;
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
  if (!dir) {
    ::close(fd);
    return entries;
  }
  while (const dirent *entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    FolderEntry item;
    item.name = std::string(name);
    if (S_ISDIR(st.st_mode)) item.attributes |= faDirectory;
    if (name.front() == '.') item.attributes |= faHidden;
    entries.push_back(std::move(item));
  }
  return entries;
}

// A search with an attribute mask returns plain files always, and hidden,
// system and folder entries only when the mask names them.
bool AttributesMatch(unsigned entryAttributes, unsigned mask) {
  const unsigned excluded = ~mask & (faHidden | faSysFile | faVolumeID | faDirectory);
  return (entryAttributes & excluded) == 0;
}

// "*" and "*.*" match every name; other masks match as shell patterns,
// without regard to letter case.
bool MaskMatches(const std::string &mask, const std::string &name) {
  if (mask == "*" || mask == "*.*") return true;
  return ::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

// Appends every subfolder below the folders of the list, breadth-first.
bool BuildFolderList(std::vector<std::string> &folders) {
  bool ok = false;
  Guard("BuildFolderList", [&] {
    for (std::size_t i = 0; i < folders.size(); ++i) {
      const std::string folder = folders[i];
      for (const FolderEntry &entry : ReadFolder(folder)) {
        if (AttributesMatch(entry.attributes, faAnyFile) && (entry.attributes & faDirectory) != 0) {
          folders.push_back(folder + entry.name + "/");
        }
      }
    }
    ok = true;
  });
  return ok;
}

// Lists the entries matching mask and attributes in each folder of the list.
bool FillFileList(std::vector<std::string> &folders, const std::string &mask, unsigned attributes,
                  std::vector<std::string> &list) {
  bool ok = false;
  Guard("FillFileList", [&] {
    const std::size_t count = folders.size();
    for (std::size_t i = 0; i < count; ++i) {
      const std::string folder = folders[i];
      for (const FolderEntry &entry : ReadFolder(folder)) {
        if (!AttributesMatch(entry.attributes, attributes) || !MaskMatches(mask, entry.name)) continue;
        if ((entry.attributes & faDirectory) != 0) {
          folders.push_back(folder + entry.name + "/");
        } else {
          list.push_back(folder + entry.name);
        }
      }
    }
    ok = true;
  });
  return ok;
}

} // namespace

bool DeleteDir(const std::string &folderWithTrailingSlash) {
  bool result = false;
  Guard(" DeleteDir", [&] {
    const std::string &folder = folderWithTrailingSlash;
    // An empty or relative path would name a folder below whatever the
    // current folder happens to be.
    if (folder.empty() || folder.front() != '/') throw EAbort("Refusing to delete a relative folder: '" + folder + "'");
    if (WithoutTrailingSlash(folder) == "/") throw EAbort("Refusing to delete the root folder");
    if (IsSymbolicLink(folder)) {
      // The folder is itself a link: only the link goes.
      ::unlink(WithoutTrailingSlash(folder).c_str());
      result = !PathPresent(folder);
      return;
    }
    if (!platform::DirectoryExists(folder)) {
      result = true;
      return;
    }
    bool walked = false;
    try {
      std::vector<std::string> list;
      MyAdvBuildFileList(platform::IncludeTrailingPathDelimiter(folder) + "*.*", faAnyFile, list, true, true, false);
      std::stable_sort(list.begin(), list.end(),
                       [](const std::string &a, const std::string &b) { return a.size() < b.size(); });
      // Longest first: every file goes before its folder, every folder before its parent.
      for (auto it = list.rbegin(); it != list.rend(); ++it) {
        const std::string path = WithoutTrailingSlash(*it);
        if (IsDirectory(path)) {
          ::rmdir(path.c_str());
        } else {
          ::unlink(path.c_str());
        }
      }
      walked = true;
    } catch (...) {
      // The walk ends; the folder itself stays.
    }
    if (!walked) return;
    ::rmdir(WithoutTrailingSlash(folder).c_str());
    result = !PathPresent(folder);
  });
  return result;
}

bool MyAdvBuildFileList(const std::string &pathWithMask, unsigned attributeMask, std::vector<std::string> &list,
                        bool recursive, bool includeFolders, bool foldersOnly) {
  bool result = false;
  Guard("MyAdvBuildFileList", [&] {
    const std::size_t slash = pathWithMask.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : pathWithMask.substr(0, slash + 1);
    const std::string mask = slash == std::string::npos ? pathWithMask : pathWithMask.substr(slash + 1);
    std::vector<std::string> folders{folder};
    const unsigned attributes =
        attributeMask == faAnyFile ? (faReadOnly | faHidden | faSysFile | faArchive) : attributeMask;
    bool ok = true;
    if (recursive) ok = BuildFolderList(folders) && ok;
    ok = FillFileList(folders, mask, attributes, list) && ok;
    if (includeFolders) {
      folders.erase(folders.begin());
      if (foldersOnly) list.clear();
      list.insert(list.end(), folders.begin(), folders.end());
    }
    for (std::size_t i = list.size(); i-- > 0;) {
      if (platform::Trim(list[i]).empty()) list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
    }
    result = ok;
  });
  return result;
}

bool IsDirectory(const std::string &path) {
  bool result = false;
  Guard("IsDirectory", [&] {
    struct stat st {};
    if (::lstat(WithoutTrailingSlash(path).c_str(), &st) != 0) return;
    result = S_ISDIR(st.st_mode);
  });
  return result;
}

std::string GetInetFileToString(const std::string &url) {
  std::string result;
  Guard("GetInetFileToString", [&] { result = platform::Inet().GetInetFileToString(url); });
  return result;
}

bool SetIEHomePage(const std::string &url) {
  bool result = false;
  Guard("SetIEHomePage", [&] {
    std::optional<platform::RegistryKey> key =
        platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kIEMainKey, false);
    if (!key) return;
    try {
      key->WriteString(kStartPageValue, url);
      result = true;
    } catch (const ERegistryException &) {
      // Not writable: reported through the result alone.
    }
  });
  return result;
}

std::string GetIEHomePage() {
  std::string result;
  Guard("GetIEHomePage", [&] {
    std::optional<platform::RegistryKey> key =
        platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kIEMainKey, false);
    if (!key || !key->ValueExists(kStartPageValue)) return;
    result = key->ReadString(kStartPageValue);
  });
  return result;
}

std::string DeleteControlCharsFromString(const std::string &text) {
  std::string result = text;
  Guard("DeleteControlCharsFromString", [&] {
    result = ReplaceAll(result, "\n\r", " ");
    result = ReplaceAll(result, "\r\n", " ");
    result = ReplaceAll(result, "\n", " ");
    result = ReplaceAll(result, "\r", " ");
  });
  return result;
}

std::string MakeValidFileName(const std::string &text) {
  std::string result;
  Guard("MakeValidFileName", [&] {
    result = platform::Trim(DelSpace1(text));
    static constexpr std::string_view kToBlank[] = {"/", "\\", ":", "*", "?", "\"", "<", ">", "|", "[", "]"};
    for (const std::string_view from : kToBlank) {
      result = ReplaceAll(result, from, " ");
    }
    result = ReplaceAll(result, "&", "and");
    result = ReplaceAll(result, "$", " ");
    result = ReplaceAll(result, "%", " ");
    result = platform::Trim(DelSpace1(result));
  });
  return result;
}

std::string DelSpace1(const std::string &text) {
  std::string result = text;
  Guard("DelSpace1", [&] {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
      if (c == ' ' && !out.empty() && out.back() == ' ') continue;
      out.push_back(c);
    }
    result = std::move(out);
  });
  return result;
}

bool IsRSSLink(const std::string &link) {
  bool result = false;
  Guard("IsRSSLink", [&] {
    const std::string lowered = platform::LowerCase(platform::Trim(link));
    if (lowered.empty()) return;
    // The extension runs from the last '.' unless a '\' or ':' follows it.
    std::string extension;
    const std::size_t delimiter = lowered.find_last_of(".\\:");
    if (delimiter != std::string::npos && lowered[delimiter] == '.') extension = lowered.substr(delimiter);
    result = extension == ".xml" || extension == ".rdf" || extension == ".rss" || lowered.starts_with("http://");
  });
  return result;
}

bool IsScriptOrLocalAddress(std::string_view address) {
  std::string scheme;
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f) continue;
    if (c == ':') break;
    scheme += static_cast<char>(std::tolower(byte));
    if (scheme.size() > 16) break;
  }
  if (scheme.empty()) return true;
  for (const std::string_view refused : {"javascript", "vbscript", "data", "file"}) {
    if (scheme == refused && address.find(':') != std::string_view::npos) return true;
  }
  return false;
}

std::string FindUnusedFileName(const std::string &base, const std::string &ext, const std::string &sep) {
  std::string result;
  Guard("FindUnusedFileName", [&] {
    result = base + "." + ext;
    for (unsigned long counter = 1; platform::FileExists(result); ++counter) {
      result = base + sep + std::to_string(counter) + "." + ext;
    }
  });
  return result;
}

} // namespace quorvelle
