#include "report/report_files.h"

#include "platform/errors.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace quorvelle::report {

namespace {

struct FileCloser {
  void operator()(std::FILE *file) const noexcept { std::fclose(file); }
};

} // namespace

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (const char c : text) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    case '\'': out += "&#39;"; break;
    default: out += c; break;
    }
  }
  return out;
}

namespace {

// The names the report gives its own files in a folder.
bool IsReportFileName(std::string_view name) {
  for (const std::string_view own : {"index.html", "index.xml", "index.xsl", "details.xsl", "ReportErrors.js"}) {
    if (name == own) return true;
  }
  const std::size_t dot = name.find('.');
  if (dot == 0 || dot == std::string_view::npos) return false;
  const std::string_view number = name.substr(0, dot);
  const std::string_view extension = name.substr(dot + 1);
  return number.find_first_not_of("0123456789") == std::string_view::npos &&
         (extension == "xml" || extension == "html");
}

} // namespace

std::string CategoryFolderName(std::string_view decodedName, int occurrence) {
  std::string name(decodedName);
  for (char &c : name) {
    if (c == '/' || c == '\0') {
      c = ' ';
    }
  }
  if (name.empty() || name == "." || name == "..") {
    name.insert(name.begin(), '_');
  }
  if (occurrence > 1 || IsReportFileName(name)) {
    name += " [" + std::to_string(occurrence) + "]";
  }
  return name;
}

void WriteReportFile(const std::string &path, std::string_view bytes) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    throw EInOutError("Cannot create file \"" + path + "\"");
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    throw EInOutError("Cannot write file \"" + path + "\"");
  }
  if (std::fclose(file.release()) != 0) {
    throw EInOutError("Cannot write file \"" + path + "\"");
  }
}

bool CopyReportFile(const std::string &source, const std::string &target) noexcept {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(source, ec)) {
    return false;
  }
  std::filesystem::remove(target, ec);
  return std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, ec);
}

} // namespace quorvelle::report
