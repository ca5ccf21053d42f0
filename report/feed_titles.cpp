// The title of a feed, read from the feed itself: the add feed dialog fills
// in or checks a feed's title with it.

#include "feeds/feed_store.h"

#include "platform/codepage/text_case.h"
#include "platform/errors.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <array>
#include <libxml/entities.h>
#include <libxml/tree.h>

namespace quorvelle {

namespace {

// Media and download files: an address ending in one of these is never
// downloaded for its title.
constexpr std::array<std::string_view, 21> kSkippedExtensions = {
    ".avi", ".mpeg", ".mpg", ".mp3", ".mp2", ".mp4", ".ogg", ".rm",  ".wmv", ".aac", ".png",
    ".jpg", ".tiff", ".pdf", ".doc", ".zip", ".rar", ".exe", ".msi", ".chm", ".mov"};

// The text from the last full stop, provided no backslash or colon follows it.
std::string ExtensionOf(const std::string &address) {
  const std::size_t pos = address.find_last_of(".\\:");
  if (pos == std::string::npos || address[pos] != '.') {
    return {};
  }
  return address.substr(pos);
}

// Limits for reading a title's text: entity references declared by the
// document are followed, but a document built to expand them without end
// (nested entities) costs at most this much.
constexpr std::size_t kMaxTitleBytes = std::size_t{64} * 1024;
constexpr std::size_t kMaxNodeVisits = 100000;
constexpr int kMaxDepth = 64;

struct TextBudget {
  std::size_t visits = 0;
};

// Text content of the node with markup removed, as the parser would give it,
// within the limits above.
void AppendText(xmlNodePtr node, std::string &out, TextBudget &budget, int depth) {
  for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
    if (++budget.visits > kMaxNodeVisits || out.size() >= kMaxTitleBytes || depth > kMaxDepth) {
      return;
    }
    switch (child->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
      if (child->content != nullptr) {
        out += reinterpret_cast<const char *>(child->content);
      }
      break;
    case XML_ELEMENT_NODE: AppendText(child, out, budget, depth + 1); break;
    case XML_ENTITY_REF_NODE: {
      // Only entities declared inside the document; external ones are never
      // loaded.
      const xmlEntity *entity = xmlGetDocEntity(child->doc, child->name);
      if (entity != nullptr && entity->etype == XML_INTERNAL_GENERAL_ENTITY) {
        if (entity->children != nullptr) {
          AppendText(reinterpret_cast<xmlNodePtr>(const_cast<xmlEntity *>(entity)), out, budget, depth + 1);
        } else if (entity->content != nullptr) {
          out += reinterpret_cast<const char *>(entity->content);
        }
      }
      break;
    }
    default: break;
    }
  }
  if (out.size() > kMaxTitleBytes) {
    // Cut before the character the limit falls into, never inside it.
    std::size_t cut = kMaxTitleBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) {
      --cut;
    }
    out.resize(cut);
  }
}

std::string TextOf(platform::XmlNode node) {
  std::string text;
  TextBudget budget;
  AppendText(node.Raw(), text, budget, 0);
  return text;
}

// The text of the first child element named "title", "" when there is none.
std::string FirstTitleChild(platform::XmlNode parent) {
  for (platform::XmlNode child = parent.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.NodeName() == "title") {
      return TextOf(child);
    }
  }
  return {};
}

} // namespace

void TRSSFeedOptions::GetFeedTitleFromURL(const std::string &url, std::string &title) {
  Guard("TRSSFeedOptions.GetFeedTitleFromURL", [&] {
    title.clear();
    const std::string extension = platform::LowerCase(ExtensionOf(url));
    for (const std::string_view skipped : kSkippedExtensions) {
      if (extension == skipped) {
        return;
      }
    }
    const std::string body = GetInetFileToString(url);
    if (body.empty()) {
      return;
    }
    // The bytes are parsed as XML, so the byte-order mark and the encoding
    // declaration decide how they read.
    platform::XmlDocument document;
    document.LoadBytes(body);
    platform::XmlNode root = document.DocumentElement();
    if (root.IsNull()) {
      return;
    }
    // Channel pass: down the first-child chain to "channel" (RSS, RDF).
    platform::XmlNode node = root;
    while (!node.IsNull() && node.NodeName() != "channel") {
      node = node.FirstChild();
    }
    if (!node.IsNull()) {
      title = FirstTitleChild(node);
    }
    // Root pass: a title directly below the document element (Atom).
    if (title.empty()) {
      title = FirstTitleChild(root);
    }
  });
}

} // namespace quorvelle
