#pragma once
// The headlines report for the extension's page, on the core's renderer
// (report/headlines_renderer.h): the report tree that "View Feeds..." writes,
// each page's frame at once with links into "report.html?page=<path>", then
// each feed's box as that feed arrives.

#include "fetch/feed_fetcher.h"
#include "report/headlines_renderer.h"
#include "report/seen_items.h"

#include <memory>
#include <string>
#include <vector>

namespace quorvelle {
class TRSSFeedOptions;
}

namespace quorvelle::native_host {

// A page of the report with every feed still loading, and the renderer that
// makes its boxes.
struct ReportFrame {
  report::PageFrame page;
  std::shared_ptr<const report::HeadlinesRenderer> renderer;
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
// feed did not arrive in time. Its new headlines are marked against `seen`,
// and the headlines a final box shows are recorded there as seen (the
// caller commits them when its view is done). Safe on any thread.
report::FeedBox RenderBox(const ReportFrame &frame, std::size_t slot, const fetch::FeedDelivery *delivery,
                          report::SeenItems &seen);

// The whole page: the frame with each slot filled with its box (boxes in the
// slots' order), and its title.
std::string AssemblePage(const ReportFrame &frame, const std::vector<report::FeedBox> &boxes, std::string &title);

} // namespace quorvelle::native_host
