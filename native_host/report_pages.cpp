#include "native_host/report_pages.h"

#include "feeds/feed_store.h"
#include "native_host/native_messaging.h"
#include "platform/files/file_io.h"
#include "platform/xml/xml_document.h"
#include "platform/xml/xslt.h"

#include <curl/curl.h>
#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorvelle::native_host {
namespace {

// The texts the report's own script shows (data/ReportErrors.js).
constexpr const char *kUnreachable = "This feed could not be reached. The site may be down, the address may have "
                                     "changed, or this computer may be offline. Try again later.";
constexpr const char *kNotFeed = "The address answered, but what came back is not a news feed (RSS, RDF or Atom) "
                                 "that this report can show.";
constexpr const char *kRefused =
    "The Quorvelle browser does not fetch this address. Only http, https and ftp addresses can be read.";
constexpr const char *kTooLarge = "This feed is too large to be shown.";
constexpr const char *kTimedOut =
    "This feed did not arrive in time. The site may be slow or busy at the moment. Try again later.";
constexpr const char *kEmpty = "The feed has no headlines at the moment.";
constexpr const char *kReport =
    "This part of the report could not be read. Choose \"View Feeds...\" again to rebuild the report.";

struct HtmlDocDeleter {
  void operator()(xmlDocPtr doc) const noexcept { xmlFreeDoc(doc); }
};
using HtmlDocPtr = std::unique_ptr<xmlDoc, HtmlDocDeleter>;
struct CurlUrlDeleter {
  void operator()(CURLU *url) const noexcept { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
  void operator()(char *text) const noexcept { curl_free(text); }
};
struct XmlTextDeleter {
  void operator()(xmlChar *text) const noexcept { xmlFree(text); }
};
using XmlText = std::unique_ptr<xmlChar, XmlTextDeleter>;

const xmlChar *X(const char *text) { return reinterpret_cast<const xmlChar *>(text); }

std::string AsString(XmlText text) { return text ? reinterpret_cast<const char *>(text.get()) : ""; }

std::optional<std::string> Prop(xmlNodePtr node, const char *name) {
  if (xmlHasProp(node, X(name)) == nullptr) return std::nullopt;
  return AsString(XmlText(xmlGetProp(node, X(name))));
}

std::string Text(xmlNodePtr node) { return AsString(XmlText(xmlNodeGetContent(node))); }

bool Named(xmlNodePtr node, const char *name) {
  return node->type == XML_ELEMENT_NODE && xmlStrcasecmp(node->name, X(name)) == 0;
}

bool HasClass(xmlNodePtr node, std::string_view name) {
  const std::string classes = Prop(node, "class").value_or("");
  std::size_t start = 0;
  while (start < classes.size()) {
    std::size_t end = classes.find_first_of(" \t\n\r\f", start);
    if (end == std::string::npos) end = classes.size();
    if (std::string_view(classes).substr(start, end - start) == name) return true;
    start = end + 1;
  }
  return false;
}

// Every element below root (root included) that matches, in document order,
// outermost only: nothing inside a match is looked at, so a caller may free
// or rewrite each match without touching another.
std::vector<xmlNodePtr> Elements(xmlNodePtr root, const std::function<bool(xmlNodePtr)> &match) {
  std::vector<xmlNodePtr> found;
  std::function<void(xmlNodePtr)> walk = [&](xmlNodePtr node) {
    for (; node != nullptr; node = node->next) {
      if (node->type != XML_ELEMENT_NODE) continue;
      if (match(node))
        found.push_back(node);
      else
        walk(node->children);
    }
  };
  if (root != nullptr && root->type == XML_ELEMENT_NODE) {
    if (match(root))
      found.push_back(root);
    else
      walk(root->children);
  }
  return found;
}

void Remove(xmlNodePtr node) {
  xmlUnlinkNode(node);
  xmlFreeNode(node);
}

void ClearChildren(xmlNodePtr node) {
  while (node->children != nullptr)
    Remove(node->children);
}

void SetText(xmlNodePtr node, const std::string &text) {
  ClearChildren(node);
  xmlAddChild(node, xmlNewDocText(node->doc, X(text.c_str())));
}

void AddClass(xmlNodePtr node, const char *name) {
  std::string classes = Prop(node, "class").value_or("");
  xmlSetProp(node, X("class"), X((classes.empty() ? std::string(name) : classes + " " + name).c_str()));
}

xmlNodePtr NewElement(xmlNodePtr parent, const char *name, const char *className, const std::string &text) {
  xmlNodePtr element = xmlNewDocNode(parent->doc, nullptr, X(name), nullptr);
  if (className != nullptr) xmlSetProp(element, X("class"), X(className));
  if (!text.empty()) xmlAddChild(element, xmlNewDocText(parent->doc, X(text.c_str())));
  return xmlAddChild(parent, element);
}

void ShowError(xmlNodePtr slot, const char *text) {
  ClearChildren(slot);
  AddClass(slot, "q-failed");
  xmlNodePtr box = NewElement(slot, "div", "q-error", "");
  xmlSetProp(box, X("role"), X("alert"));
  NewElement(box, "p", nullptr, text);
}

HtmlDocPtr ParseHtml(const std::string &text) {
  return HtmlDocPtr(htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                                   HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING));
}

std::string CollapseSpace(const std::string &text) {
  std::string out;
  bool blank = false;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      blank = !out.empty();
    } else {
      if (blank) out += ' ';
      blank = false;
      out += c;
    }
  }
  return out;
}

// Text that a feed declares as HTML, as the plain text a reader sees; its
// scripts, styles and embedded objects contribute nothing.
std::string PlainText(const std::string &html) {
  HtmlDocPtr doc = ParseHtml("<html><body>" + html + "</body></html>");
  if (!doc) return "";
  xmlNodePtr root = xmlDocGetRootElement(doc.get());
  for (xmlNodePtr node : Elements(root, [](xmlNodePtr n) {
         return Named(n, "script") || Named(n, "style") || Named(n, "noscript") || Named(n, "template") ||
                Named(n, "iframe") || Named(n, "object");
       }))
    Remove(node);
  return CollapseSpace(root != nullptr ? Text(root) : "");
}

// At most max characters, cut at a blank when one is near the end.
std::string Shorten(const std::string &text, std::size_t max) {
  std::vector<std::size_t> starts; // byte offset of every code point
  for (std::size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0U) != 0x80U) starts.push_back(i);
  if (starts.size() <= max) return text;
  std::size_t cut = max;
  for (std::size_t i = max; i > 0; --i) {
    if (text[starts[i]] == ' ') {
      if (i * 10 > max * 6) cut = i;
      break;
    }
  }
  return text.substr(0, starts[cut]) + "\u2026";
}

std::optional<std::string> ResolveLink(const std::string &feed, const std::string &bases, const std::string &link) {
  const std::unique_ptr<CURLU, CurlUrlDeleter> url(curl_url());
  const unsigned flags = CURLU_NON_SUPPORT_SCHEME;
  if (!url || curl_url_set(url.get(), CURLUPART_URL, feed.c_str(), flags) != CURLUE_OK) return std::nullopt;
  std::size_t start = 0;
  while (start <= bases.size()) {
    std::size_t end = bases.find('\n', start);
    if (end == std::string::npos) end = bases.size();
    const std::string base = bases.substr(start, end - start);
    if (!base.empty() && curl_url_set(url.get(), CURLUPART_URL, base.c_str(), flags) != CURLUE_OK) return std::nullopt;
    start = end + 1;
  }
  if (curl_url_set(url.get(), CURLUPART_URL, link.c_str(), flags) != CURLUE_OK) return std::nullopt;
  char *scheme = nullptr;
  char *whole = nullptr;
  if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return std::nullopt;
  const std::unique_ptr<char, CurlTextDeleter> keepScheme(scheme);
  const std::string s = scheme;
  if (s != "http" && s != "https") return std::nullopt;
  if (curl_url_get(url.get(), CURLUPART_URL, &whole, 0) != CURLUE_OK) return std::nullopt;
  const std::unique_ptr<char, CurlTextDeleter> keepWhole(whole);
  return std::string(whole);
}

// What the report's script does to a rendered feed before it is shown.
void Polish(xmlNodePtr root, const std::string &feedAddress) {
  for (xmlNodePtr node : Elements(root, [](xmlNodePtr n) { return Prop(n, "data-html") || Prop(n, "data-max"); })) {
    const std::size_t max = std::strtoul(Prop(node, "data-max").value_or("0").c_str(), nullptr, 10);
    std::string text = Prop(node, "data-html") ? PlainText(Text(node)) : Text(node);
    SetText(node, max > 0 ? Shorten(text, max) : text);
    xmlUnsetProp(node, X("data-html"));
  }
  for (xmlNodePtr item : Elements(root, [](xmlNodePtr n) { return HasClass(n, "q-item"); })) {
    auto titles = Elements(item, [](xmlNodePtr n) { return HasClass(n, "q-item-title"); });
    auto summaries = Elements(item, [](xmlNodePtr n) { return HasClass(n, "q-item-summary"); });
    if (!titles.empty() && !summaries.empty() && Text(titles[0]) == Text(summaries[0])) Remove(summaries[0]);
  }
  for (xmlNodePtr span : Elements(root, [](xmlNodePtr n) { return Named(n, "span") && Prop(n, "data-link"); })) {
    const auto resolved = ResolveLink(feedAddress, Prop(span, "data-bases").value_or(""), *Prop(span, "data-link"));
    if (!resolved) continue;
    xmlNodePtr a = xmlNewDocNode(span->doc, nullptr, X("a"), nullptr);
    xmlSetProp(a, X("href"), X(resolved->c_str()));
    xmlSetProp(a, X("rel"), X("noopener noreferrer"));
    xmlAddChild(a, xmlNewDocText(span->doc, X(Text(span).c_str())));
    xmlReplaceNode(span, a);
    xmlFreeNode(span);
  }
}

std::vector<std::string> Segments(const std::string &path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string Folder(const std::string &page) {
  const std::size_t slash = page.rfind('/');
  return slash == std::string::npos ? "" : page.substr(0, slash + 1);
}

std::string PageLink(const std::string &page) {
  std::string encoded;
  const std::unique_ptr<char, CurlTextDeleter> escaped(
      curl_easy_escape(nullptr, page.c_str(), static_cast<int>(page.size())));
  if (escaped) encoded = escaped.get();
  return "report.html?page=" + encoded;
}

// Report links made to work without the report's script: category links
// from their folder names, links to the top from the page's depth, every
// page link into the extension's report page, nothing but http, https and
// mailto beside them.
void FixLinks(xmlNodePtr root, const std::string &page, const std::string &reportFolder) {
  const std::string folder = Folder(page);
  for (xmlNodePtr a : Elements(root, [](xmlNodePtr n) { return Named(n, "a") && Prop(n, "href"); })) {
    std::string target;
    if (const auto name = Prop(a, "data-folder")) {
      const std::string base = Prop(a, "data-root") ? "" : folder + Prop(a, "data-prefix").value_or("");
      target = NormaliseReportPath(base + "x");
      target = target.empty() ? "" : Folder(target) + *name + "/index.html";
      if (!target.empty() && Prop(a, "data-probe") &&
          !platform::FileExists(reportFolder + Folder(target) + "index.xml")) {
        xmlNodePtr span = xmlNewDocNode(a->doc, nullptr, X("span"), nullptr);
        xmlSetProp(span, X("class"), X("q-category-empty"));
        xmlAddChild(span, xmlNewDocText(a->doc, X(Text(a).c_str())));
        NewElement(span, "small", nullptr, " \u2013 No feeds yet");
        xmlReplaceNode(a, span);
        xmlFreeNode(a);
        continue;
      }
    } else if (const auto top = Prop(a, "data-root-link")) {
      target = NormaliseReportPath(*top);
    } else {
      const std::string href = *Prop(a, "href");
      if (href.rfind("http://", 0) == 0 || href.rfind("https://", 0) == 0 || href.rfind("mailto:", 0) == 0) {
        xmlSetProp(a, X("rel"), X("noopener noreferrer"));
        continue;
      }
      if (href.find(':') == std::string::npos || href.find(':') > href.find('/'))
        target = NormaliseReportPath(folder + href.substr(0, href.find_first_of("?#")));
    }
    if (target.empty())
      xmlUnsetProp(a, X("href"));
    else
      xmlSetProp(a, X("href"), X(PageLink(target).c_str()));
  }
}

void FillSlot(xmlNodePtr slot, const fetch::FeedDelivery *delivery, platform::XmlDocument &details) {
  const std::string src = Prop(slot, "data-src").value_or("");
  if (delivery == nullptr) return ShowError(slot, kTimedOut);
  switch (delivery->status) {
  case platform::FetchStatus::Ok: break;
  case platform::FetchStatus::Unsupported: return ShowError(slot, kRefused);
  case platform::FetchStatus::TooLarge: return ShowError(slot, kTooLarge);
  case platform::FetchStatus::TimedOut: return ShowError(slot, kTimedOut);
  case platform::FetchStatus::Failed: return ShowError(slot, kUnreachable);
  }
  platform::XmlDocument feed;
  if (!feed.LoadBytes(delivery->bytes) || !feed.HasRoot()) return ShowError(slot, kNotFeed);
  const xmlNodePtr feedRoot = feed.DocumentElement().Raw();
  const std::string name = reinterpret_cast<const char *>(feedRoot->name);
  if (name != "rss" && name != "RDF" && name != "feed" && name != "channel") return ShowError(slot, kNotFeed);
  platform::XmlDocument rendered;
  try {
    platform::TransformNodeToObject(feed, details, rendered, {{"limit", Prop(slot, "data-limit").value_or("0")}});
  } catch (const std::exception &) {
    return ShowError(slot, kNotFeed);
  }
  if (rendered.Raw() == nullptr || rendered.Raw()->children == nullptr) return ShowError(slot, kNotFeed);
  ClearChildren(slot);
  for (xmlNodePtr node = rendered.Raw()->children; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE && node->type != XML_TEXT_NODE) continue;
    xmlNodePtr copy = xmlDocCopyNode(node, slot->doc, 1);
    if (copy != nullptr) xmlAddChild(slot, copy);
  }
  Polish(slot, src);
  if (Elements(slot, [](xmlNodePtr n) { return HasClass(n, "q-item"); }).empty())
    NewElement(slot, "p", "q-note", kEmpty);
  AddClass(slot, "q-loaded");
}

std::string Serialise(xmlDocPtr doc, xmlNodePtr node) {
  const std::unique_ptr<xmlBuffer, decltype(&xmlBufferFree)> buffer(xmlBufferCreate(), &xmlBufferFree);
  if (!buffer) return "";
  htmlNodeDump(buffer.get(), doc, node);
  return std::string(reinterpret_cast<const char *>(xmlBufferContent(buffer.get())),
                     static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

std::string SerialiseDocument(xmlDocPtr doc) {
  xmlChar *html = nullptr;
  int size = 0;
  htmlDocDumpMemoryFormat(doc, &html, &size, 0);
  const XmlText keep(html);
  return html == nullptr ? "" : std::string(reinterpret_cast<const char *>(html), static_cast<std::size_t>(size));
}

std::shared_ptr<platform::XmlDocument> LoadXml(const std::string &path) {
  auto doc = std::make_shared<platform::XmlDocument>();
  if (!doc->Load(path) || !doc->HasRoot()) throw ProtocolError{"not-found", kReport};
  return doc;
}

} // namespace

std::string NormaliseReportPath(const std::string &path) {
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos) return "";
  std::vector<std::string> kept;
  for (const std::string &part : Segments(path)) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (kept.empty()) return "";
      kept.pop_back();
    } else {
      kept.push_back(part);
    }
  }
  std::string out;
  for (const auto &part : kept)
    out += (out.empty() ? "" : "/") + part;
  return out;
}

ReportPages::ReportPages(TRSSFeedOptions &store) : store_(store) {}

ReportFrame ReportPages::Frame(const std::string &path) {
  const std::string page = NormaliseReportPath(path);
  const std::string base = page.substr(page.rfind('/') == std::string::npos ? 0 : page.rfind('/') + 1);
  const bool index = base == "index.html";
  const bool details = base.size() > 5 && base.find_first_not_of("0123456789") == base.size() - 5 &&
                       base.compare(base.size() - 5, 5, ".html") == 0;
  if (page.empty() || (!index && !details)) throw ProtocolError{"bad-argument", "No such report page."};

  store_.Load();
  if (store_.AppPath.empty() || store_.AppPath.front() != '/')
    throw ProtocolError{"not-installed", "Quorvelle has no installation folder for this user, so there is no report "
                                         "to show. Install Quorvelle (scripts/install.sh) or start quorvelle-browser "
                                         "once."};
  const std::string reportFolder = platform::IncludeTrailingPathDelimiter(store_.AppPath) + "headlines/";
  if (page == "index.html" || !platform::FileExists(reportFolder + "index.html")) store_.GenerateXML();
  const std::string folder = reportFolder + Folder(page);
  const std::string stem = base.substr(0, base.size() - 5);

  const std::optional<std::string> templateText = platform::ReadFileBytes(folder + base);
  if (!templateText) throw ProtocolError{"not-found", kReport};
  const auto source = LoadXml(folder + stem + ".xml");
  const auto pageSheet = LoadXml(folder + (index ? "index.xsl" : "details.xsl"));
  ReportFrame frame;
  frame.detailsSheet = LoadXml(folder + "details.xsl");
  platform::XmlDocument content;
  try {
    platform::TransformNodeToObject(*source, *pageSheet, content);
  } catch (const std::exception &) {
    throw ProtocolError{"failed", kReport};
  }

  HtmlDocPtr doc = ParseHtml(*templateText);
  xmlNodePtr root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  const auto outputs = Elements(root, [](xmlNodePtr n) { return Prop(n, "id") == "OutputResult"; });
  if (outputs.empty() || content.Raw() == nullptr) throw ProtocolError{"failed", kReport};
  for (xmlNodePtr node : Elements(root, [](xmlNodePtr n) { return Named(n, "script") || Named(n, "noscript"); }))
    Remove(node);
  xmlNodePtr output = outputs.front();
  ClearChildren(output);
  for (xmlNodePtr node = content.Raw()->children; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    if (xmlNodePtr copy = xmlDocCopyNode(node, doc.get(), 1)) xmlAddChild(output, copy);
  }
  FixLinks(output, page, reportFolder);

  for (xmlNodePtr slot : Elements(output, [](xmlNodePtr n) { return HasClass(n, "q-feed-slot"); }))
    frame.slots.push_back({Prop(slot, "data-src").value_or(""), Prop(slot, "data-limit").value_or("0")});
  frame.page = page;
  frame.details = details;
  const auto titles = Elements(root, [](xmlNodePtr n) { return Named(n, "title"); });
  frame.title = titles.empty() ? "Quorvelle" : Text(titles.front());
  frame.html = SerialiseDocument(doc.get());
  return frame;
}

ReportBox RenderBox(const ReportFrame &frame, std::size_t slot, const fetch::FeedDelivery *delivery) {
  ReportBox box;
  const HtmlDocPtr doc = ParseHtml("<div class=\"q-feed-slot\"></div>");
  xmlNodePtr root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  const auto found = Elements(root, [](xmlNodePtr n) { return HasClass(n, "q-feed-slot"); });
  if (found.empty() || slot >= frame.slots.size()) return box;
  xmlNodePtr element = found.front();
  xmlSetProp(element, X("data-src"), X(frame.slots[slot].src.c_str()));
  xmlSetProp(element, X("data-limit"), X(frame.slots[slot].limit.c_str()));
  FillSlot(element, delivery, *frame.detailsSheet);
  box.html = Serialise(doc.get(), element);
  if (box.html.size() > kMaxBoxBytes) {
    xmlSetProp(element, X("class"), X("q-feed-slot"));
    ShowError(element, kTooLarge);
    box.html = Serialise(doc.get(), element);
  } else if (frame.details) {
    const auto feedTitles = Elements(element, [](xmlNodePtr n) { return HasClass(n, "q-feed-title"); });
    if (!feedTitles.empty()) box.feedTitle = CollapseSpace(Text(feedTitles.front()));
  }
  return box;
}

std::string AssemblePage(const ReportFrame &frame, const std::vector<std::string> &boxes, std::string &title) {
  HtmlDocPtr doc = ParseHtml(frame.html);
  xmlNodePtr root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
  const auto slots = Elements(root, [](xmlNodePtr n) { return HasClass(n, "q-feed-slot"); });
  for (std::size_t i = 0; i < slots.size() && i < boxes.size(); ++i) {
    const HtmlDocPtr box = ParseHtml(boxes[i]);
    xmlNodePtr boxRoot = box ? xmlDocGetRootElement(box.get()) : nullptr;
    const auto rendered = Elements(boxRoot, [](xmlNodePtr n) { return HasClass(n, "q-feed-slot"); });
    if (rendered.empty()) continue;
    if (xmlNodePtr copy = xmlDocCopyNode(rendered.front(), doc.get(), 1)) {
      xmlReplaceNode(slots[i], copy);
      xmlFreeNode(slots[i]);
    }
  }
  title = frame.title;
  if (frame.details && root != nullptr) {
    const auto feedTitles = Elements(root, [](xmlNodePtr n) { return HasClass(n, "q-feed-title"); });
    if (!feedTitles.empty() && !Text(feedTitles.front()).empty())
      title = CollapseSpace(Text(feedTitles.front())) + " \u2013 " + title;
    const auto titles = Elements(root, [](xmlNodePtr n) { return Named(n, "title"); });
    if (!titles.empty()) SetText(titles.front(), title);
  }
  return SerialiseDocument(doc.get());
}

} // namespace quorvelle::native_host
