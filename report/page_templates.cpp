// Pages of the headlines report are made from the template files of the
// installation folder by replacing a fixed set of variables.

#include "feeds/feed_store.h"

#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "report/report_files.h"
#include "support/debug_log.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <sys/stat.h>

namespace quorvelle {

namespace {

// Replaces every occurrence, left to right, without rescanning the inserted
// text; case is significant.
void ReplaceAll(std::string &text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = text.find(from, pos);
    if (hit == std::string::npos) {
      out.append(text, pos, std::string::npos);
      break;
    }
    out.append(text, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  text = std::move(out);
}

// The template's text as lines, read again only when the file changed (a
// report build makes one page per feed from the same few templates); nullopt
// when it cannot be read.
std::optional<std::string> TemplateText(const std::string &path) {
  struct Cached {
    long long seconds = 0;
    long long nanoseconds = 0;
    long long size = -1;
    std::string text;
  };
  static std::mutex mutex;
  static std::map<std::string, Cached> cache;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return platform::ReadFileAsCrLfLines(path);
  const std::lock_guard lock(mutex);
  Cached &entry = cache[path];
  if (entry.size == st.st_size && entry.seconds == st.st_mtim.tv_sec && entry.nanoseconds == st.st_mtim.tv_nsec) {
    return entry.text;
  }
  std::optional<std::string> lines = platform::ReadFileAsCrLfLines(path);
  if (!lines) {
    cache.erase(path);
    return std::nullopt;
  }
  entry = {st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size, *lines};
  return lines;
}

} // namespace

void TRSSFeedOptions::LoadTemplateAndReplaceVars(const std::string &templateFileName, const std::string &title,
                                                 const std::string &xmlFileName, const std::string &outputPath,
                                                 std::string &page) {
  Guard("TRSSFeedOptions.LoadTemplateAndReplaceVars", [&] {
    page.clear();
    const std::string templatePath = platform::IncludeTrailingPathDelimiter(AppPath) + templateFileName;
    if (!platform::FileExists(templatePath)) {
      return;
    }
    std::optional<std::string> lines = TemplateText(templatePath);
    if (!lines) {
      throw EInOutError("Cannot open file \"" + templatePath + "\"");
    }
    page = *std::move(lines);
    // Each step works on the text produced so far.
    ReplaceAll(page, "%%TITLE%%", title);
    ReplaceAll(page, "%%XML_FILENAME%%", xmlFileName);
    ReplaceAll(page, "%%PRODUCT_NAME%%", "Quorvelle");
    ReplaceAll(page, "%%DIV_RESULT%%", "<DIV id=\"OutputResult\">");
    if (!outputPath.empty()) {
      if (platform::FileExists(outputPath) && std::remove(outputPath.c_str()) != 0) {
        throw EInOutError("Cannot delete \"" + outputPath + "\"");
      }
      report::WriteReportFile(outputPath, platform::JoinLinesCrLf(page));
    }
  });
}

} // namespace quorvelle
