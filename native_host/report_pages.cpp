#include "native_host/report_pages.h"

#include "feeds/feed_store.h"
#include "native_host/native_messaging.h"
#include "platform/files/file_io.h"
#include "platform/xml/xml_document.h"
#include "report/new_headlines.h"

#include <functional>

namespace quorvelle::native_host {
namespace {

using platform::XmlDocument;
using platform::XmlNode;

// Every element below node (node included) for which match holds.
void Walk(XmlNode node, const std::function<void(XmlNode)> &visit) {
  for (; node; node = node.NextSibling()) {
    if (!node.IsElement()) continue;
    visit(node);
    Walk(node.FirstChild(), visit);
  }
}

} // namespace

ReportPages::ReportPages(TRSSFeedOptions &store) : store_(store) {}

ReportFrame ReportPages::Frame(const std::string &path) {
  const std::string page = report::NormaliseReportPath(path);
  if (page.empty()) throw ProtocolError{"bad-argument", "No such report page."};
  store_.Load();
  if (store_.AppPath.empty() || store_.AppPath.front() != '/')
    throw ProtocolError{"not-installed", "Quorvelle has no installation folder for this user, so there is no report "
                                         "to show. Install Quorvelle (scripts/install.sh) or start quorvelle-browser "
                                         "once."};
  const std::string reportFolder = platform::IncludeTrailingPathDelimiter(store_.AppPath) + "headlines/";
  if (page == "index.html" || !platform::FileExists(reportFolder + "index.html")) store_.GenerateXML();
  try {
    ReportFrame frame;
    frame.renderer = std::make_shared<const report::HeadlinesRenderer>(reportFolder);
    frame.page = frame.renderer->RenderFrame(page, {report::PageLinks::Parameter, "report.html?page="});
    return frame;
  } catch (const report::ReportPageError &error) {
    throw ProtocolError{error.Code(), error.what()};
  }
}

report::FeedBox RenderBox(const ReportFrame &frame, std::size_t slot, const fetch::FeedDelivery *delivery,
                          report::SeenItems &seen) {
  const report::FeedSlot &feed = frame.page.feeds.at(slot);
  if (delivery == nullptr) return frame.renderer->RenderFailure(feed, report::FeedFailure::TimedOut);
  return report::RenderViewedBox(*frame.renderer, seen, feed, *delivery, report::Mark::Yes);
}

std::string AssemblePage(const ReportFrame &frame, const std::vector<report::FeedBox> &boxes, std::string &title) {
  title = frame.page.title;
  if (frame.page.feeds.empty()) return frame.page.html;
  XmlDocument doc;
  if (!doc.LoadHtml(frame.page.html)) return frame.page.html;
  std::vector<XmlNode> slots(frame.page.feeds.size());
  XmlNode titleElement;
  Walk(doc.DocumentElement(), [&](XmlNode node) {
    if (node.NodeName() == "title" && !titleElement) titleElement = node;
    const std::string id = node.FindAttribute("id").value_or("");
    for (std::size_t i = 0; i < frame.page.feeds.size(); ++i)
      if (id == frame.page.feeds[i].id) slots[i] = node;
  });
  for (std::size_t i = 0; i < slots.size() && i < boxes.size(); ++i) {
    XmlNode slot = slots[i];
    const report::FeedBox &box = boxes[i];
    if (!slot || box.state.empty()) continue;
    XmlDocument content;
    if (!content.LoadHtml("<div>" + box.html + "</div>")) continue;
    XmlNode holder;
    Walk(content.DocumentElement(), [&](XmlNode node) {
      if (!holder && node.NodeName() == "div") holder = node;
    });
    slot.SetText("");
    slot.RemoveAttribute("aria-busy");
    slot.SetAttribute("class", slot.FindAttribute("class").value_or("") + " " + box.state);
    for (XmlNode child = holder ? holder.FirstChild() : XmlNode(); child; child = child.NextSibling())
      slot.AppendChild(child);
    if (frame.page.feedPage && !box.feedTitle.empty() && title == frame.page.title)
      title = box.feedTitle + " \u2013 " + frame.page.title;
  }
  if (titleElement) titleElement.SetText(title);
  return "<!DOCTYPE html>\n" + doc.DocumentElement().Html();
}

} // namespace quorvelle::native_host
