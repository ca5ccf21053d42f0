// The headlines report: a tree of small XML files bound to stylesheets, with
// pages made from templates, rebuilt from scratch from the feed list. The
// pages and stylesheets fetch and render the feeds; nothing here downloads.

#include "feeds/feed_store.h"

#include "platform/codepage/codepage.h"
#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/files/file_lock.h"
#include "platform/xml/xml_escape.h"
#include "report/report_files.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace quorvelle {

namespace {

constexpr const char *kFeedTemplate =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><?xml-stylesheet href=\"details.xsl\" type=\"text/xsl\"?>"
    "<Quorvelle_Feeds name=\"%%CATEGORY_NAME%%\" description=\"%%CATEGORY_DESCRIPTION%%\">"
    "<Quorvelle_Feed src=\"%%FEED_SRC%%\"/></Quorvelle_Feeds>";
constexpr const char *kIndexHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><?xml-stylesheet href=\"index.xsl\" type=\"text/xsl\"?>";

// Every XML file of the tree is preceded by this pause.
void PauseBeforeXmlFile() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

bool EqualsIgnoringAsciiCase(std::string_view text, std::size_t pos, std::string_view word) {
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (std::tolower(static_cast<unsigned char>(text[pos + k])) != std::tolower(static_cast<unsigned char>(word[k]))) {
      return false;
    }
  }
  return true;
}

// Replaces every occurrence of the placeholder, matched without regard to
// case, left to right without rescanning the inserted text.
void ReplaceAllIgnoringCase(std::string &text, std::string_view placeholder, std::string_view value) {
  std::string out;
  out.reserve(text.size() + value.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (i + placeholder.size() <= text.size() && EqualsIgnoringAsciiCase(text, i, placeholder)) {
      out.append(value);
      i += placeholder.size();
    } else {
      out += text[i++];
    }
  }
  text = std::move(out);
}

// The stored text form of names and titles holds UTF-8 bytes taken one per
// character through the code page; written out byte for byte they read as
// the text itself. The copy made here carries the decoded text, so each
// report file is valid UTF-8, whatever else (a non-ASCII address) it holds.
void DecodeStoredAttributes(platform::XmlNode element) {
  const std::string name = element.NodeName();
  const char *attribute = name == "Quorvelle_Category" ? "name" : name == "Quorvelle_Feed" ? "title" : nullptr;
  if (attribute != nullptr) {
    if (std::optional<std::string> value = element.FindAttribute(attribute)) {
      element.SetAttribute(attribute, platform::DecodeStoredText(*value));
    }
  }
  for (platform::XmlNode child = element.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.IsElement()) {
      DecodeStoredAttributes(child);
    }
  }
}

// The XML text of a node of the store, as it goes into a report file.
std::string ReportXmlOf(platform::XmlNode node) {
  platform::XmlDocument scratch;
  platform::XmlNode holder = scratch.CreateElement("scratch");
  scratch.SetDocumentElement(holder);
  platform::XmlNode copy = holder.AppendChild(node);
  if (copy.IsElement()) {
    DecodeStoredAttributes(copy);
  }
  return copy.Xml();
}

void DeleteFileIfExists(const std::string &path) {
  std::error_code ec;
  if (platform::FileExists(path) && !std::filesystem::remove(path, ec)) {
    throw EInOutError("Cannot delete \"" + path + "\"");
  }
}

std::string WithoutExtension(const std::string &path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return path;
  }
  return path.substr(0, dot);
}

// Removes the report folder. A folder that is a symbolic link is unlinked,
// never walked, so nothing outside the installation is touched.
void RemoveReportFolder(const std::string &reportFolder) {
  const std::string link = reportFolder.substr(0, reportFolder.size() - 1);
  std::error_code ec;
  if (std::filesystem::is_symlink(link, ec)) {
    if (!std::filesystem::remove(link, ec)) {
      throw EInOutError("Cannot remove \"" + link + "\"");
    }
    return;
  }
  if (platform::DirectoryExists(reportFolder)) {
    DeleteDir(reportFolder);
  }
}

// The XML files a walk from first writes: one per enabled feed and one per
// category with content, nested ones included.
std::size_t CountReportFiles(XmlNode first) {
  std::size_t count = 0;
  for (XmlNode node = first; !node.IsNull(); node = node.NextSibling()) {
    if (!node.IsElement()) continue;
    const std::string name = node.NodeName();
    if (name == "Quorvelle_Feed") {
      count += node.FindAttribute("enabled").value_or("") == "true" ? 1 : 0;
    } else if ((name == "Quorvelle_Categories" || name == "Quorvelle_Category") && node.HasChildNodes()) {
      count += 1 + CountReportFiles(node.FirstChild());
    }
  }
  return count;
}

// The folder a report is built in, beside the one it replaces:
// ".headlines.build-<pid>".
constexpr std::string_view kBuildPrefix = ".headlines.build-";

// Removes what builds of processes that no longer run left behind (a power
// cut, a kill -9). Builds of running processes are left alone.
void RemoveAbandonedBuilds(const std::string &installFolder) {
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator(installFolder, ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(kBuildPrefix)) continue;
    const std::string pid = name.substr(kBuildPrefix.size());
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const long number = std::strtol(pid.c_str(), nullptr, 10);
    if (number == static_cast<long>(::getpid()) || (::kill(static_cast<pid_t>(number), 0) != 0 && errno == ESRCH)) {
      RemoveReportFolder(entry.path().string() + "/");
    }
  }
}

// Puts the built tree in the place of the report folder in one step: readers
// see the old tree or the new one, never a part. The old tree is left at the
// build's name.
void SwapInReport(const std::string &built, const std::string &reportFolder) {
  const std::string from = built.substr(0, built.size() - 1);
  const std::string to = reportFolder.substr(0, reportFolder.size() - 1);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) return;
  if (errno == ENOENT) {
    // No report yet: the built tree simply takes its name.
    if (std::rename(from.c_str(), to.c_str()) == 0) return;
  } else if (errno == EINVAL || errno == ENOSYS) {
    // A file system without the exchange: the old tree is moved aside first.
    const std::string aside = from + ".old";
    if (std::rename(to.c_str(), aside.c_str()) == 0) {
      if (std::rename(from.c_str(), to.c_str()) == 0) {
        std::rename(aside.c_str(), from.c_str());
        return;
      }
      std::rename(aside.c_str(), to.c_str());
    }
  }
  throw EInOutError("Cannot put the new report in the place of \"" + to + "\": " + std::strerror(errno));
}

// Removes the build folder when the build ends, whatever way: after the swap
// it holds the previous report.
class BuildFolder {
public:
  explicit BuildFolder(std::string path) : path_(std::move(path)) {
    RemoveReportFolder(path_);
    platform::ForceDirectories(path_);
  }
  ~BuildFolder() {
    try {
      RemoveReportFolder(path_);
    } catch (const std::exception &) {
      LogException("TRSSFeedOptions.GenerateXML");
    }
  }
  BuildFolder(const BuildFolder &) = delete;
  BuildFolder &operator=(const BuildFolder &) = delete;
  [[nodiscard]] const std::string &Path() const { return path_; }

private:
  std::string path_;
};

// Writes the report's files on a thread of its own, in the order they are
// handed over, so that making the files (the costly part on a busy disk)
// overlaps the pauses of the walk. Once a file that spoils the build fails,
// nothing more is written. Left without Finish, what is still queued is
// dropped.
class ReportWriter {
public:
  ReportWriter() : thread_([this] { Run(); }) {}
  ~ReportWriter() { Close(true); }
  ReportWriter(const ReportWriter &) = delete;
  ReportWriter &operator=(const ReportWriter &) = delete;

  // False once the build is spoiled: the file is not written.
  bool Add(std::function<void()> write, bool spoilsBuild) {
    if (failed_.load()) return false;
    {
      const std::lock_guard lock(mutex_);
      jobs_.push_back({std::move(write), spoilsBuild});
    }
    ready_.notify_one();
    return true;
  }

  // Waits until every file handed over is written; the failure that spoiled
  // the build, if any.
  std::exception_ptr Finish() {
    Close(false);
    return failure_;
  }

private:
  struct Job {
    std::function<void()> write;
    bool spoilsBuild = false;
  };

  void Run() {
    std::unique_lock lock(mutex_);
    while (true) {
      ready_.wait(lock, [this] { return closing_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      if (failed_.load()) continue;
      lock.unlock();
      try {
        job.write();
      } catch (...) {
        if (job.spoilsBuild) {
          failure_ = std::current_exception();
          failed_.store(true);
        }
      }
      lock.lock();
    }
  }

  void Close(bool dropQueued) {
    {
      const std::lock_guard lock(mutex_);
      if (dropQueued) jobs_.clear();
      closing_ = true;
    }
    ready_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> jobs_;
  bool closing_ = false;
  std::atomic<bool> failed_{false};
  // Set by the writing thread, read after it ended.
  std::exception_ptr failure_;
  // Last: the thread starts once everything it uses exists.
  std::thread thread_;
};

// Lends the build's writer to the walk for as long as the build runs.
class LentWriter {
public:
  LentWriter(std::function<bool(std::function<void()>, bool)> &slot, ReportWriter &writer) : slot_(slot) {
    slot_ = [&writer](std::function<void()> write, bool spoilsBuild) {
      return writer.Add(std::move(write), spoilsBuild);
    };
  }
  ~LentWriter() { slot_ = nullptr; }
  LentWriter(const LentWriter &) = delete;
  LentWriter &operator=(const LentWriter &) = delete;

private:
  std::function<bool(std::function<void()>, bool)> &slot_;
};

ReportProgressHook &ProcessReportProgress() {
  static ReportProgressHook hook;
  return hook;
}

} // namespace

ReportProgressHook InstallReportProgress(ReportProgressHook hook) {
  ReportProgressHook previous = std::move(ProcessReportProgress());
  ProcessReportProgress() = std::move(hook);
  return previous;
}

namespace {

// Tells the end of a build, however it ends.
class ReportEnd {
public:
  explicit ReportEnd(std::function<void()> tell) : tell_(std::move(tell)) {}
  ~ReportEnd() { tell_(); }
  ReportEnd(const ReportEnd &) = delete;
  ReportEnd &operator=(const ReportEnd &) = delete;

private:
  std::function<void()> tell_;
};

} // namespace

bool TRSSFeedOptions::ReportFileAhead() {
  if (FReportStopped) return false;
  const ReportProgressHook &progress = FReportProgress ? FReportProgress : ProcessReportProgress();
  if (progress && !progress(FReportDone, std::max(FReportTotal, FReportDone + 1))) {
    FReportStopped = true;
    return false;
  }
  ++FReportDone;
  PauseBeforeXmlFile();
  return true;
}

bool TRSSFeedOptions::EditList(const std::function<void()> &edit, bool rebuildReport) {
  bool changed = false;
  Guard("TRSSFeedOptions.EditList", [&] {
    const platform::FileLock lock(ListLockFileName());
    Load();
    edit();
    if (!Modified()) return;
    Save();
    changed = !Modified();
    if (changed && rebuildReport) GenerateXML();
  });
  return changed;
}

std::string TRSSFeedOptions::GenerateXML() {
  std::string result;
  Guard("TRSSFeedOptions.GenerateXML", [&] {
    // An empty or relative installation folder would put "headlines/" below
    // whatever the current folder is, and delete it.
    if (AppPath.empty() || AppPath.front() != '/') {
      throw EAbort("The installation folder \"" + AppPath + "\" is not an absolute path; no report is written");
    }
    // Two builds never run at once: each holds the list's lock while it
    // builds its tree beside the report and swaps it in.
    const platform::FileLock lock(ListLockFileName());
    const std::string installFolder = platform::IncludeTrailingPathDelimiter(AppPath);
    const std::string reportFolder = installFolder + "headlines/";
    RemoveAbandonedBuilds(installFolder);
    const BuildFolder building(installFolder + std::string(kBuildPrefix) + std::to_string(::getpid()) + "/");
    FReportCategories = GetListOfCategories();
    platform::XmlNode root = FXMLDoc->DocumentElement();
    if (root.IsNull()) {
      throw EOleException("The feed list has no document element");
    }
    FReportDone = 0;
    FReportTotal = CountReportFiles(root.FirstChild());
    FReportStopped = false;
    FReportFailed = false;
    const ReportEnd end([this] {
      const ReportProgressHook &progress = FReportProgress ? FReportProgress : ProcessReportProgress();
      if (progress) progress(FReportDone, FReportDone);
    });
    bool walked = false;
    std::exception_ptr writeFailure;
    {
      // Declared after the build folder: it stops writing before the folder
      // goes.
      ReportWriter writer;
      const LentWriter lent(FReportWrite, writer);
      walked = GenerateXMLForFeeds(root.FirstChild(), building.Path(), "", "Main");
      // A stopped build drops what is still queued.
      if (!FReportStopped) writeFailure = writer.Finish();
    }
    if (writeFailure) {
      FReportFailed = true;
      Guard("TRSSFeedOptions.GenerateXMLForFeeds", [&] { std::rethrow_exception(writeFailure); });
    }
    if (FReportStopped) throw EAbort("The report build was stopped; the previous report is kept");
    if (FReportFailed) throw EInOutError("The report could not be written whole; the previous report is kept");
    SwapInReport(building.Path(), reportFolder);
    if (walked && platform::FileExists(reportFolder + "index.html")) {
      result = reportFolder + "index.html";
    }
  });
  FReportCategories.clear();
  return result;
}

bool TRSSFeedOptions::GenerateXMLForFeeds(XmlNode first, const std::string &folder, const std::string &categoryName,
                                          const std::string &categoryDescription) {
  bool result = false;
  Guard("TRSSFeedOptions.GenerateXMLForFeeds", [&] {
    // A file that cannot be written spoils the whole new tree.
    const auto noteFailure = [&](const std::function<void()> &step) {
      try {
        step();
      } catch (const EInOutError &) {
        FReportFailed = true;
        throw;
      }
    };
    // Each file goes to the build's writer, or is written at once outside a
    // build.
    const auto write = [&](std::function<void()> job, bool spoilsBuild) {
      if (FReportWrite) {
        if (!FReportWrite(std::move(job), spoilsBuild)) FReportFailed = true;
      } else if (spoilsBuild) {
        noteFailure(job);
      } else {
        job();
      }
    };
    bool folderMade = false;
    int feedCounter = 0;
    // Categories of each name met so far at this level; a repeated name gets
    // a folder of its own.
    std::map<std::string, int> namesSeen;
    for (XmlNode node = first; !node.IsNull() && !FReportStopped && !FReportFailed; node = node.NextSibling()) {
      if (!node.IsElement()) {
        continue;
      }
      const std::string elementName = node.NodeName();
      if (elementName == "Quorvelle_Feed") {
        ++feedCounter;
        const std::string src = node.GetAttribute("src");
        const std::string enabled = node.GetAttribute("enabled");
        if (enabled != "true") {
          continue;
        }
        std::string xmlFile = folder + std::to_string(feedCounter) + ".xml";
        if (!folderMade) {
          noteFailure([&] { platform::ForceDirectories(folder); });
          folderMade = true;
        }
        Guard("TRSSFeedOptions.GenerateXMLForFeeds.1", [&] {
          std::string text = kFeedTemplate;
          ReplaceAllIgnoringCase(text, "%%CATEGORY_NAME%%", platform::EscapeXmlValue(categoryName));
          ReplaceAllIgnoringCase(text, "%%CATEGORY_DESCRIPTION%%", platform::EscapeXmlValue(categoryDescription));
          ReplaceAllIgnoringCase(text, "%%FEED_SRC%%", platform::EscapeXmlValue(src));
          if (!ReportFileAhead()) return;
          std::string pageFile = WithoutExtension(xmlFile) + ".html";
          write(
              [xmlFile = std::move(xmlFile), text = std::move(text)] {
                DeleteFileIfExists(xmlFile);
                report::WriteReportFile(xmlFile, platform::JoinLinesCrLf(text));
              },
              true);
          result = true;
          write(
              [this, title = report::EscapeHtml(categoryName), xmlName = std::to_string(feedCounter) + ".xml",
               pageFile = std::move(pageFile)] {
                std::string page;
                LoadTemplateAndReplaceVars("details.html", title, xmlName, pageFile, page);
              },
              false);
        });
      } else if (elementName == "Quorvelle_Categories" || elementName == "Quorvelle_Category") {
        // An empty category is skipped before its attributes are read: one
        // without a name ends nothing.
        const std::optional<std::string> storedName = node.FindAttribute("name");
        const int occurrence = elementName == "Quorvelle_Category" && storedName ? ++namesSeen[*storedName] : 0;
        if (!node.HasChildNodes()) {
          continue;
        }
        const bool isContainer = elementName == "Quorvelle_Categories";
        std::string name;
        std::string description;
        std::string text = kIndexHeader;
        std::string targetFolder;
        if (isContainer) {
          name = "General";
          description = "General";
          text += "<Quorvelle_Feeds name=\"General\">" + ReportXmlOf(node) + "</Quorvelle_Feeds>";
          targetFolder = folder;
        } else {
          name = platform::DecodeStoredText(node.GetAttribute("name"));
          description = platform::DecodeStoredText(node.GetAttribute("description"));
          text += "<Quorvelle_Feeds name=\"" + platform::EscapeXmlValue(name) + "\"><Quorvelle_Categories>";
          for (XmlNode child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
            text += ReportXmlOf(child);
          }
          std::size_t start = 0;
          while (start < FReportCategories.size()) {
            std::size_t end = FReportCategories.find("\r\n", start);
            if (end == std::string::npos) {
              end = FReportCategories.size();
            }
            text += "\r\n<Quorvelle_Category name=\"" +
                    platform::EscapeXmlValue(std::string_view(FReportCategories).substr(start, end - start)) +
                    "\" description=\"\"/>";
            start = end + 2;
          }
          text += "</Quorvelle_Categories></Quorvelle_Feeds>";
          targetFolder = folder + report::CategoryFolderName(name, occurrence) + "/";
        }
        if (!ReportFileAhead()) return;
        noteFailure([&] { platform::ForceDirectories(targetFolder); });
        write(
            [indexFile = targetFolder + "index.xml", text = std::move(text)] {
              DeleteFileIfExists(indexFile);
              report::WriteReportFile(indexFile, platform::JoinLinesCrLf(text));
            },
            true);
        write(
            [this, isContainer, title = isContainer ? std::string("Main") : report::EscapeHtml(name), targetFolder] {
              std::string page;
              LoadTemplateAndReplaceVars(isContainer ? "index_root.html" : "index.html", title, "index.xml",
                                         targetFolder + "index.html", page);
              const std::string installFolder = platform::IncludeTrailingPathDelimiter(AppPath);
              report::CopyReportFile(installFolder + (isContainer ? "index_root.xsl" : "index.xsl"),
                                     targetFolder + "index.xsl");
              report::CopyReportFile(installFolder + "details.xsl", targetFolder + "details.xsl");
              report::CopyReportFile(installFolder + "ReportErrors.js", targetFolder + "ReportErrors.js");
            },
            false);

        GenerateXMLForFeeds(node.FirstChild(), targetFolder, name, description);
        result = true;
      }
    }
  });
  return result;
}

} // namespace quorvelle
