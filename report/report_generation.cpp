// The headlines report: a tree of small XML files bound to stylesheets, with
// pages made from templates, rebuilt from scratch from the feed list. The
// pages and stylesheets fetch and render the feeds; nothing here downloads.

#include "feeds/feed_store.h"

#include "platform/codepage/codepage.h"
#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/xml/xml_escape.h"
#include "report/report_files.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>

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

} // namespace

std::string TRSSFeedOptions::GenerateXML() {
  std::string result;
  Guard("TRSSFeedOptions.GenerateXML", [&] {
    // An empty or relative installation folder would put "headlines/" below
    // whatever the current folder is, and delete it.
    if (AppPath.empty() || AppPath.front() != '/') {
      throw EAbort("The installation folder \"" + AppPath + "\" is not an absolute path; no report is written");
    }
    const std::string reportFolder = platform::IncludeTrailingPathDelimiter(AppPath) + "headlines/";
    RemoveReportFolder(reportFolder);
    platform::ForceDirectories(reportFolder);
    FReportCategories = GetListOfCategories();
    platform::XmlNode root = FXMLDoc->DocumentElement();
    if (root.IsNull()) {
      throw EOleException("The feed list has no document element");
    }
    const bool walked = GenerateXMLForFeeds(root.FirstChild(), reportFolder, "", "Main");
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
    int feedCounter = 0;
    // Categories of each name met so far at this level; a repeated name gets
    // a folder of its own.
    std::map<std::string, int> namesSeen;
    for (XmlNode node = first; !node.IsNull(); node = node.NextSibling()) {
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
        platform::ForceDirectories(folder);
        const std::string xmlFile = folder + std::to_string(feedCounter) + ".xml";
        DeleteFileIfExists(xmlFile);
        Guard("TRSSFeedOptions.GenerateXMLForFeeds.1", [&] {
          std::string text = kFeedTemplate;
          ReplaceAllIgnoringCase(text, "%%CATEGORY_NAME%%", platform::EscapeXmlValue(categoryName));
          ReplaceAllIgnoringCase(text, "%%CATEGORY_DESCRIPTION%%", platform::EscapeXmlValue(categoryDescription));
          ReplaceAllIgnoringCase(text, "%%FEED_SRC%%", platform::EscapeXmlValue(src));
          PauseBeforeXmlFile();
          report::WriteReportFile(xmlFile, platform::JoinLinesCrLf(text));
          result = true;
          std::string page;
          LoadTemplateAndReplaceVars("details.html", report::EscapeHtml(categoryName),
                                     std::to_string(feedCounter) + ".xml", WithoutExtension(xmlFile) + ".html", page);
        });
      } else if (elementName == "Quorvelle_Categories" || elementName == "Quorvelle_Category") {
        const int occurrence = elementName == "Quorvelle_Category" ? ++namesSeen[node.GetAttribute("name")] : 0;
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
        const std::string indexFile = targetFolder + "index.xml";
        DeleteFileIfExists(indexFile);
        PauseBeforeXmlFile();
        platform::ForceDirectories(targetFolder);
        report::WriteReportFile(indexFile, platform::JoinLinesCrLf(text));

        std::string page;
        if (isContainer) {
          LoadTemplateAndReplaceVars("index_root.html", "Main", "index.xml", targetFolder + "index.html", page);
        } else {
          LoadTemplateAndReplaceVars("index.html", report::EscapeHtml(name), "index.xml", targetFolder + "index.html",
                                     page);
        }
        const std::string installFolder = platform::IncludeTrailingPathDelimiter(AppPath);
        report::CopyReportFile(installFolder + (isContainer ? "index_root.xsl" : "index.xsl"),
                               targetFolder + "index.xsl");
        report::CopyReportFile(installFolder + "details.xsl", targetFolder + "details.xsl");
        report::CopyReportFile(installFolder + "ReportErrors.js", targetFolder + "ReportErrors.js");

        GenerateXMLForFeeds(node.FirstChild(), targetFolder, name, description);
        result = true;
      }
    }
  });
  return result;
}

} // namespace quorvelle
