#pragma once
// The headlines report as finished HTML pages, for a browser that should not
// run the report's own script: the report tree that "View Feeds..." writes,
// its stylesheets applied here with libxslt, every feed of a page downloaded
// side by side, and the page handed over with no script in it.
//
// What the report's script does in the browser happens here: a feed's items
// go through details.xsl, text a feed declares as HTML is reduced to plain
// text, relative item links are resolved against the feed's address and
// kept only for http, https and mailto, and each feed that cannot be shown
// gets the report's own failure text in its box. Links between report pages
// become "report.html?page=<path>" so the extension's page can follow them.

#include "platform/inet/inet_client.h"

#include <chrono>
#include <string>

namespace quorvelle {
class TRSSFeedOptions;
}

namespace quorvelle::native_host {

struct ReportPage {
  std::string page;  // the path inside the report, as normalised
  std::string title; // the page's title
  std::string html;  // the whole page
};

struct ReportOptions {
  platform::CurlInetOptions download{};
  long perHostLimit = 6;
  // Feeds that have not arrived by then are shown as "did not arrive in time".
  std::chrono::milliseconds pageTimeLimit{15000};
};

class ReportPages {
public:
  explicit ReportPages(TRSSFeedOptions &store, ReportOptions options = {});
  // The page at path ("index.html", "<category>/index.html", "<n>.html", ...)
  // of the report. "index.html" writes the report afresh from the list.
  // Throws ProtocolError for a path outside the report or a missing page.
  ReportPage Render(const std::string &path);

private:
  TRSSFeedOptions &store_;
  ReportOptions options_;
};

// "a/./b/../c.html" -> "a/c.html"; nullopt-like "" for a path that leaves the
// top ("..", absolute, empty segments where they matter).
std::string NormaliseReportPath(const std::string &path);

} // namespace quorvelle::native_host
