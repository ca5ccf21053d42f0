// Conversions between the feed list, the own XML format and OPML, and the
// merge of a list into the store without duplicate feeds.

#include "exchange/list_conversion.h"

#include "feeds/feed_store.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"
#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/inet/inet_client.h"
#include "platform/xml/xml_escape.h"
#include "platform/xml/xslt.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unordered_set>
#include <vector>

namespace quorvelle {
namespace exchange {
namespace {

void ReplaceAttribute(platform::XmlNode node, const char *name, std::string (*convert)(const std::string &)) {
  std::optional<std::string> value = node.FindAttribute(name);
  if (!value) return;
  std::string converted = convert(*value);
  if (converted != *value) node.SetAttribute(name, converted);
}

std::string ReEncode(const std::string &value) { return platform::EncodeStoredText(platform::DecodeStoredText(value)); }
std::string Encode(const std::string &value) { return platform::EncodeStoredText(value); }

// Calls visit for every element below node (node included), depth first.
template <typename Visit> void ForEachElement(platform::XmlNode node, Visit visit) {
  std::vector<platform::XmlNode> pending{node};
  while (!pending.empty()) {
    platform::XmlNode current = pending.back();
    pending.pop_back();
    if (!current.IsElement()) continue;
    visit(current);
    for (platform::XmlNode child = current.LastChild(); child; child = child.PreviousSibling()) {
      pending.push_back(child);
    }
  }
}

// The decoded names of the categories directly in the container, sorted as
// the category list shows them. Read from the elements, not from the list's
// CR LF text, so a name holding a line break stays one name.
std::vector<std::string> CategoryNames(platform::XmlNode container) {
  std::vector<std::string> names;
  for (const platform::XmlNode &category : container.ChildElements("Quorvelle_Category")) {
    names.push_back(platform::DecodeStoredText(category.GetAttribute("name")));
  }
  std::stable_sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
    return platform::CompareTextIgnoringCase(a, b) < 0;
  });
  return names;
}

// A feed as the store holds it: an address, an enabled flag and a title,
// nothing inside. Every address the add dialog takes is kept (no scheme,
// feed:, ...), so an exported list comes back whole; false only for an empty
// address or a script or local one.
bool CleanFeed(platform::XmlNode feed) {
  const std::optional<std::string> src = feed.FindAttribute("src");
  if (!src || IsScriptOrLocalAddress(*src)) return false;
  if (!feed.FindAttribute("enabled")) feed.SetAttribute("enabled", "true");
  if (!feed.FindAttribute("title")) feed.SetAttribute("title", "");
  while (platform::XmlNode child = feed.FirstChild())
    feed.RemoveChild(child);
  return true;
}

// Removes what is not a category with a name or a feed that CleanFeed takes
// from the children of node; categories are cleaned one level down. Returns
// how many elements were removed.
int KeepFeedsAndCategories(platform::XmlNode node, bool categoriesAllowed) {
  int skipped = 0;
  for (platform::XmlNode child = node.FirstChild(); child;) {
    platform::XmlNode next = child.NextSibling();
    const std::string name = child.IsElement() ? child.NodeName() : std::string();
    bool keep = false;
    if (name == "Quorvelle_Feed") {
      keep = CleanFeed(child);
    } else if (name == "Quorvelle_Category" && categoriesAllowed && child.FindAttribute("name")) {
      keep = true;
      skipped += KeepFeedsAndCategories(child, false);
    }
    if (!keep) {
      skipped += child.IsElement() ? 1 : 0;
      node.RemoveChild(child);
    }
    child = next;
  }
  return skipped;
}

} // namespace

int KeepOnlyImportableElements(platform::XmlNode container) { return KeepFeedsAndCategories(container, true); }

std::string Rfc822Date(std::time_t when) {
  static const char *const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  gmtime_r(&when, &tm);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday % 7], tm.tm_mday,
                kMonths[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

void PrepareForCodePageOutput(platform::XmlNode node) {
  ForEachElement(node, [](platform::XmlNode element) {
    const std::string name = element.NodeName();
    if (name == "Quorvelle_Feeds" || name == "Quorvelle_Category") {
      ReplaceAttribute(element, "name", &ReEncode);
    } else if (name == "Quorvelle_Feed") {
      ReplaceAttribute(element, "title", &ReEncode);
      ReplaceAttribute(element, "src", &Encode);
    }
  });
}

void EncodePlainTitles(platform::XmlNode container) {
  for (platform::XmlNode feed : container.ChildElements("Quorvelle_Feed")) {
    ReplaceAttribute(feed, "title", &Encode);
  }
}

void NormaliseStoredTitles(platform::XmlNode node) {
  ForEachElement(node, [](platform::XmlNode element) {
    if (element.NodeName() == "Quorvelle_Feed") ReplaceAttribute(element, "title", &ReEncode);
  });
}

} // namespace exchange

void TRSSFeedOptions::GetFeedsAsXML(bool allCategories, std::string_view categoryName, std::string &text) {
  text.clear();
  Guard("TRSSFeedOptions.GetFeedsAsXML", [&] {
    if (allCategories) {
      text = FXMLDoc->Xml();
      return;
    }
    XmlNode category = FindCategory(FXMLDoc->DocumentElement(), categoryName);
    if (category.IsNull()) return;
    for (XmlNode child = category.FirstChild(); child; child = child.NextSibling()) {
      if (child.IsElement() && child.NodeName() == "Quorvelle_Feed") text += child.Xml();
    }
    // General has no name attribute: its wrapper carries the empty name, the
    // name General goes by everywhere in the store.
    const std::string name = category.FindAttribute("name").value_or(std::string());
    text = "<Quorvelle_Feeds name=\"" + platform::EscapeXmlValue(name) + "\"><Quorvelle_Categories>" + text +
           "</Quorvelle_Categories></Quorvelle_Feeds>";
  });
}

void TRSSFeedOptions::GetFeedsAsOPML(bool allCategories, std::string_view categoryName, std::string &text) {
  text.clear();
  Guard("TRSSFeedOptions.GetFeedsAsOPML", [&] {
    std::string list;
    GetFeedsAsXML(allCategories, categoryName, list);
    platform::XmlDocument source;
    platform::XmlDocument stylesheet;
    source.LoadXML(list);
    stylesheet.Load(platform::IncludeTrailingPathDelimiter(AppPath) + exchange::kExportStylesheet);
    if (source.HasRoot()) exchange::PrepareForCodePageOutput(source.DocumentElement());
    const std::string opml =
        platform::TransformNode(source, stylesheet, {{"dateCreated", exchange::Rfc822Date(std::time(nullptr))}});
    std::optional<std::string> bytes = platform::Utf8ToCodePage(opml);
    if (!bytes) throw EOleException("The OPML text holds characters outside the system code page");
    text = *std::move(bytes);
  });
}

bool TRSSFeedOptions::GetFeedsAsOPML(std::string_view categoryName, const std::string &opmlFilePath) {
  bool result = false;
  Guard("TRSSFeedOptions.GetFeedsAsOPML", [&] {
    XmlNode target = FindCategory(FXMLDoc->DocumentElement(), categoryName);
    if (target.IsNull()) return;
    platform::XmlDocument source;
    platform::XmlDocument stylesheet;
    platform::XmlDocument converted;
    source.Load(opmlFilePath);
    stylesheet.Load(platform::IncludeTrailingPathDelimiter(AppPath) + exchange::kImportStylesheet);
    platform::TransformNodeToObject(source, stylesheet, converted);
    XmlNode container = FindCategory(converted.DocumentElement(), "");
    if (container.IsNull()) throw EOleException("The converted list holds no Quorvelle_Categories element");
    exchange::EncodePlainTitles(container);
    CopyUniqueFeeds(container, target);
    result = true;
  });
  return result;
}

void TRSSFeedOptions::ImportXML(const std::string &filePath) {
  Guard("TRSSFeedOptions.ImportXML", [&] {
    platform::XmlDocument file;
    file.Load(filePath);
    if (!file.HasRoot()) return;
    XmlNode fileContainer = FindCategory(file.DocumentElement(), "");
    XmlNode storeContainer = FindCategory(FXMLDoc->DocumentElement(), "");
    if (fileContainer.IsNull() || storeContainer.IsNull()) return;
    if (const int skipped = exchange::KeepOnlyImportableElements(fileContainer); skipped > 0) {
      LogMessage("TRSSFeedOptions.ImportXML: " + std::to_string(skipped) + " elements of \"" + filePath +
                     "\" were not imported (not a category, or a feed without an address or with a javascript:, "
                     "vbscript:, data: or file: one)",
                 0);
    }
    exchange::NormaliseStoredTitles(file.DocumentElement());

    CopyUniqueFeeds(fileContainer, storeContainer);

    const std::vector<std::string> fileNames = exchange::CategoryNames(fileContainer);
    const std::vector<std::string> storeNames = exchange::CategoryNames(storeContainer);
    for (const std::string &name : fileNames) {
      const std::string key = platform::LowerCase(name);
      XmlNode target;
      for (const std::string &storeName : storeNames) {
        if (platform::LowerCase(storeName) == key) {
          target = FindCategory(FXMLDoc->DocumentElement(), storeName);
          break;
        }
      }
      if (target.IsNull()) {
        target = AddCategory(name);
        if (target.IsNull()) {
          // Refused because the cleaned name is taken: the feeds go into the
          // category of that name rather than being dropped.
          const std::string cleaned = MakeValidFileName(name);
          if (!cleaned.empty()) target = FindCategory(FXMLDoc->DocumentElement(), cleaned);
        }
      }
      if (target.IsNull()) continue;
      XmlNode source = FindCategory(file.DocumentElement(), name);
      if (source) CopyUniqueFeeds(source, target);
    }
  });
}

void TRSSFeedOptions::GetTitleFromOPMLFeedsFile(const std::string &filePath, std::string &title) {
  title.clear();
  Guard("TRSSFeedOptions.GetTitleFromOPMLFeedsFile", [&] {
    platform::XmlDocument file;
    file.Load(filePath);
    if (!file.HasRoot()) return;
    XmlNode head = file.DocumentElement().FirstChild();
    while (head && head.NodeName() != "head")
      head = head.NextSibling();
    if (head.IsNull()) return;
    XmlNode element = head.FirstChild();
    while (element && element.NodeName() != "title")
      element = element.NextSibling();
    if (element) title = element.Text();
  });
}

int TRSSFeedOptions::CopyUniqueFeeds(XmlNode source, XmlNode target) {
  int result = -1;
  Guard("TRSSFeedOptions.CopyUniqueFeeds", [&] {
    const std::vector<XmlNode> incoming = source.ChildElements("Quorvelle_Feed");
    // Lower-cased addresses of every feed of the target's list (the address
    // is the key of the whole list, not of one category), the copies
    // included.
    XmlNode top = target;
    while (XmlNode parent = top.ParentNode())
      top = parent;
    std::unordered_set<std::string> known;
    exchange::ForEachElement(top, [&](XmlNode element) {
      if (element.NodeName() == "Quorvelle_Feed") {
        known.insert(platform::LowerCase(element.FindAttribute("src").value_or(std::string())));
      }
    });
    const bool sameDocument = source.Raw()->doc == target.Raw()->doc;
    int copied = 0;
    for (const XmlNode &feed : incoming) {
      std::string key = platform::LowerCase(feed.FindAttribute("src").value_or(std::string()));
      if (key.empty() || known.count(key) != 0) continue;
      target.AppendChild(sameDocument ? feed.CloneNode(true) : feed);
      known.insert(std::move(key));
      ++copied;
    }
    result = copied;
  });
  return result;
}

} // namespace quorvelle
