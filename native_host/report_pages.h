#pragma once
// The headlines report for a browser that should not run the report's own
// script: the report tree that "View Feeds..." writes, its stylesheets
// applied here with libxslt, handed over in two steps: the page's frame at
// once (each feed a slot showing that it is loading), then each feed's box
// as that feed arrives.
//
// What the report's script does in the browser happens here: a feed's items
// go through details.xsl, text a feed declares as HTML is reduced to plain
// text, relative item links are resolved against the feed's address and
// kept only for http, https and mailto, and each feed that cannot be shown
// gets the report's own failure text in its box. Links between report pages
// become "report.html?page=<path>" so the extension's page can follow them.

#include "fetch/feed_fetcher.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace quorvelle {
class TRSSFeedOptions;
}

namespace quorvelle::platform {
class XmlDocument;
}

namespace quorvelle::native_host {

// A box larger than this shows "This feed is too large to be shown." instead,
// so one feed never costs the others their place on the page.
inline constexpr std::size_t kMaxBoxBytes = 256U * 1024U;

struct ReportSlot {
  std::string src;   // the feed's address
  std::string limit; // how many items the box shows ("0": all)
};

// A page of the report with every feed still loading.
struct ReportFrame {
  std::string page;  // the path inside the report, as normalised
  std::string title; // the page's title
  std::string html;  // the whole page
  bool details = false;
  std::vector<ReportSlot> slots; // in the page's order
  std::shared_ptr<platform::XmlDocument> detailsSheet;
};

struct ReportBox {
  std::string html;      // the slot element, loaded or failed
  std::string feedTitle; // a feed page's title from its feed, else ""
};

class ReportPages {
public:
  explicit ReportPages(TRSSFeedOptions &store);
  // The frame of the page at path ("index.html", "<category>/index.html",
  // "<n>.html", ...) of the report. "index.html" writes the report afresh
  // from the list. Throws ProtocolError for a path outside the report or a
  // missing page.
  ReportFrame Frame(const std::string &path);

private:
  TRSSFeedOptions &store_;
};

// The box of the frame's slot from what the fetcher delivered; nullptr: the
// feed did not arrive in time. Safe on any thread, one call per frame at a
// time.
ReportBox RenderBox(const ReportFrame &frame, std::size_t slot, const fetch::FeedDelivery *delivery);

// The whole page: the frame with each slot replaced by its box (boxes in the
// slots' order), and its title.
std::string AssemblePage(const ReportFrame &frame, const std::vector<std::string> &boxes, std::string &title);

// "a/./b/../c.html" -> "a/c.html"; nullopt-like "" for a path that leaves the
// top ("..", absolute, empty segments where they matter).
std::string NormaliseReportPath(const std::string &path);

} // namespace quorvelle::native_host
