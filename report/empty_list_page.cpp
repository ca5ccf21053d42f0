#include "report/empty_list_page.h"

#include "feeds/feed_store.h"
#include "platform/files/file_io.h"
#include "report/report_files.h"
#include "support/debug_log.h"

#include <string_view>

namespace quorvelle::report {
namespace {

// The report's own look (data/index.html), reduced to what this page uses.
constexpr std::string_view kStyle =
    ":root { color-scheme: light dark; --bg: #f6f5f2; --card: #ffffff; --text: #1d1d1f; --muted: #5f6368;\n"
    "  --accent: #b3471d; --line: #e3e0da; }\n"
    "@media (prefers-color-scheme: dark) {\n"
    "  :root { --bg: #17181a; --card: #212226; --text: #e8e6e3; --muted: #a3a7ad; --accent: #f08a5d;\n"
    "    --line: #34363b; }\n"
    "}\n"
    "* { box-sizing: border-box; }\n"
    "body { margin: 0; background: var(--bg); color: var(--text);\n"
    "  font: 16px/1.55 system-ui, -apple-system, \"Segoe UI\", \"Noto Sans\", \"DejaVu Sans\", sans-serif; }\n"
    ".q-bar { display: flex; align-items: baseline; gap: .5rem; padding: .8rem 1.25rem;\n"
    "  border-bottom: 1px solid var(--line); background: var(--card); }\n"
    ".q-brand { font-weight: 700; letter-spacing: .02em; }\n"
    ".q-page { color: var(--muted); }\n"
    ".q-main { max-width: 48rem; margin: 0 auto; padding: 1.25rem 1rem 3rem; }\n"
    ".q-main h1 { font-size: 1.6rem; line-height: 1.25; margin: .2rem 0 .8rem; }\n"
    ".q-ways { list-style: none; margin: 1rem 0; padding: 0; }\n"
    ".q-ways li { background: var(--card); border: 1px solid var(--line); border-radius: 10px;\n"
    "  padding: .8rem 1.1rem; margin-bottom: .8rem; }\n"
    ".q-command { font-weight: 600; color: var(--accent); }\n"
    ".q-note { color: var(--muted); }\n"
    "code { font-size: .9rem; overflow-wrap: anywhere; }\n"
    ".q-foot { text-align: center; color: var(--muted); font-size: .8rem; padding: 1rem; }\n";

std::string Command(std::string_view caption) {
  return "<span class=\"q-command\">&#8220;" + EscapeHtml(caption) + "&#8221;</span>";
}

// A path as the shell takes it in single quotes.
std::string ShellQuoted(const std::string &path) {
  std::string quoted = "'";
  for (const char c : path)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Whether a Quorvelle_Feed element is anywhere below node.
bool HoldsFeed(const XmlNode &node) {
  for (XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
    if (!child.IsElement()) continue;
    if (child.NodeName() == "Quorvelle_Feed" || HoldsFeed(child)) return true;
  }
  return false;
}

} // namespace

bool ListHoldsNoFeed(TRSSFeedOptions &store) {
  if (!store.FXMLDoc || !store.FXMLDoc->HasRoot()) return true;
  return !HoldsFeed(store.FXMLDoc->DocumentElement());
}

std::string StarterListPath(const TRSSFeedOptions &store) {
  if (store.AppPath.empty()) return {};
  const std::string path = platform::IncludeTrailingPathDelimiter(store.AppPath) + "starter-feeds.opml";
  return platform::FileExists(path) ? path : std::string();
}

std::string EmptyListPageHtml(const std::string &starterList) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  html += kEmptyListTitle;
  html += " &#183; Quorvelle headlines</title>\n<style>\n";
  html += kStyle;
  html += "</style>\n</head>\n<body>\n"
          "<header class=\"q-bar\"><span class=\"q-brand\">Quorvelle</span><span class=\"q-page\">Start</span>"
          "</header>\n<main class=\"q-main q-empty-list\">\n<h1>";
  html += kEmptyListTitle;
  html += "</h1>\n<p>There are no headlines to show yet. Fill the list in one of these ways, found in the "
          "Quorvelle menu (&#8220;Tools&#8221; on the toolbar, or the Quorvelle button of the browser "
          "extension); the next " +
          Command("View Feeds...") + " then shows the headlines.</p>\n<ul class=\"q-ways\">\n<li>" +
          Command("Add RSS/XML/RDF/ATOM Feed...") +
          " adds the feed the page you are on announces, or the address you copied.</li>\n<li>" +
          Command("Import XML/OPML...") + " reads a list of feeds, for example one exported from another feed reader.";
  html += "</li>\n";
  if (!starterList.empty()) {
    html += "<li><strong>The starter list</strong> of public news feeds: choose " + Command("Import XML/OPML...") +
            ", pick <code>" + EscapeHtml(starterList) +
            "</code> and import it into &#8220;&lt;&lt; GENERAL &gt;&gt;&#8221;, the report&#8217;s first page; or run "
            "<code>quorvelle import " +
            EscapeHtml(ShellQuoted(starterList)) + " --category &quot;&quot;</code> in a terminal.</li>\n";
  }
  html += "</ul>\n<p class=\"q-note\">On the command line, <code>quorvelle add ADDRESS</code> adds a feed and "
          "<code>quorvelle import FILE</code> a list.</p>\n</main>\n"
          "<footer class=\"q-foot\">Made by Quorvelle from your feed list.</footer>\n</body>\n</html>\n";
  return html;
}

std::string WriteEmptyListPage(TRSSFeedOptions &store) {
  std::string result;
  Guard("TRSSFeedOptions.WriteEmptyListPage", [&] {
    if (!ListHoldsNoFeed(store) || store.AppPath.empty() || store.AppPath.front() != '/') return;
    const std::string folder = platform::IncludeTrailingPathDelimiter(store.AppPath) + "headlines/";
    platform::ForceDirectories(folder);
    WriteReportFile(folder + "index.html", EmptyListPageHtml(StarterListPath(store)));
    result = folder + "index.html";
  });
  return result;
}

} // namespace quorvelle::report
