// The bytes a feed answers with, rendered into its box as every window shows
// it: no crash, nothing active in the box (no script, frame, style, handler,
// no link but http, https and mailto), and a box of bounded size.

#include "fuzz/fuzz_support.h"
#include "platform/xml/xml_document.h"
#include "report/headlines_renderer.h"

#include <functional>

using namespace quorvelle;

namespace {

std::string LowerAscii(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

void RequireInert(platform::XmlNode node) {
  for (platform::XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
    if (!child.IsElement()) continue;
    const std::string name = LowerAscii(child.NodeName());
    fuzz::Require(name != "script" && name != "iframe" && name != "object" && name != "embed" && name != "style" &&
                      name != "img" && name != "form" && name != "base" && name != "meta" && name != "link",
                  "no active element in a box");
    for (const std::string &attribute : child.AttributeNames()) {
      const std::string lower = LowerAscii(attribute);
      fuzz::Require(lower.rfind("on", 0) != 0 && lower != "style" && lower != "src", "no handler or style");
      if (lower == "href") {
        const std::string href = LowerAscii(child.FindAttribute(attribute).value_or(""));
        fuzz::Require(href.rfind("http://", 0) == 0 || href.rfind("https://", 0) == 0 || href.rfind("mailto:", 0) == 0,
                      "links only to the web and mail");
        fuzz::Require(href.size() <= report::kMaxLinkChars, "a link within its cap");
      }
    }
    RequireInert(child);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::User();
  static const report::HeadlinesRenderer renderer(std::string(QUORVELLE_FUZZ_DATA_DIR));
  fetch::FeedDelivery delivery;
  delivery.status = platform::FetchStatus::Ok;
  delivery.bytes.assign(reinterpret_cast<const char *>(data), size);
  for (const int limit : {0, 3}) {
    const report::FeedSlot slot{"q-slot-0", "http://feeds.example/dir/feed.xml", limit, 0};
    const report::FeedBox box = renderer.RenderBox(slot, delivery);
    fuzz::Require(box.html.size() <= report::kMaxBoxBytes, "a box within its budget");
    fuzz::Require(box.headlines.size() <= (limit > 0 ? 3U : report::kMaxFeedPageItems), "the item cap holds");
    platform::XmlDocument parsed;
    parsed.LoadHtml("<div>" + box.html + "</div>");
    if (parsed.HasRoot()) RequireInert(parsed.DocumentElement());
  }
  return 0;
}
