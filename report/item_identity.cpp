#include "report/item_identity.h"

#include "platform/xml/xml_document.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>

namespace quorvelle::report {
namespace {

using platform::XmlNode;

std::string LocalName(const XmlNode &node) {
  std::string name = node.NodeName();
  const std::size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

// The element children of node with one of the local names, in document order.
std::vector<XmlNode> Children(const XmlNode &node, std::initializer_list<std::string_view> names) {
  std::vector<XmlNode> out;
  for (XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
    if (!child.IsElement()) continue;
    const std::string local = LocalName(child);
    for (std::string_view name : names) {
      if (local == name) {
        out.push_back(child);
        break;
      }
    }
  }
  return out;
}

std::string FirstText(const XmlNode &node, std::initializer_list<std::string_view> names) {
  const std::vector<XmlNode> found = Children(node, names);
  return found.empty() ? std::string() : NormalizeSpace(found.front().Text());
}

// The page an item stands for, by the report's rule: the text of a plain
// <link>, else an Atom link with rel "alternate" or none, one of type
// text/html first.
std::string PageAddress(const XmlNode &item) {
  std::string alternate;
  std::string html;
  for (const XmlNode &link : Children(item, {"link"})) {
    const std::optional<std::string> href = link.FindAttribute("href");
    if (!href) {
      std::string text = NormalizeSpace(link.Text());
      if (!text.empty()) return text;
      continue;
    }
    const std::string rel = NormalizeSpace(link.FindAttribute("rel").value_or("alternate"));
    if (rel != "alternate") continue;
    if (alternate.empty()) alternate = NormalizeSpace(*href);
    if (html.empty() && link.FindAttribute("type").value_or("") == "text/html") html = NormalizeSpace(*href);
  }
  return html.empty() ? alternate : html;
}

ItemFields Fields(const XmlNode &item) {
  ItemFields fields;
  fields.id = FirstText(item, {"guid", "id"});
  if (fields.id.empty()) fields.id = NormalizeSpace(item.FindAttribute("about").value_or(""));
  fields.link = PageAddress(item);
  fields.title = FirstText(item, {"title"});
  fields.date = FirstText(item, {"pubDate", "date", "published", "updated", "issued", "modified"});
  if (fields.title.empty() && fields.date.empty())
    fields.text = FirstText(item, {"description", "summary", "content", "encoded"});
  return fields;
}

} // namespace

std::string NormalizeSpace(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool pending = false;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      pending = !out.empty();
      continue;
    }
    if (pending) out.push_back(' ');
    pending = false;
    out.push_back(c);
  }
  return out;
}

namespace {

// Identities are kept for a long time: a long one keeps its beginning (cut
// between characters) and a checksum of the whole.
constexpr std::size_t kMaxIdentityBytes = 300;

std::string Bounded(std::string identity) {
  if (identity.size() <= kMaxIdentityBytes) return identity;
  std::uint64_t hash = 14695981039346656037ull; // FNV-1a
  for (const unsigned char c : identity)
    hash = (hash ^ c) * 1099511628211ull;
  std::size_t cut = kMaxIdentityBytes - 24;
  while (cut > 0 && (static_cast<unsigned char>(identity[cut]) & 0xC0) == 0x80)
    --cut;
  char tail[24];
  std::snprintf(tail, sizeof tail, " #%016llx", static_cast<unsigned long long>(hash));
  identity.resize(cut);
  return identity + tail;
}

} // namespace

std::string ItemIdentity(const ItemFields &fields) {
  if (!fields.id.empty()) return Bounded("id " + fields.id);
  if (!fields.link.empty()) return Bounded("link " + fields.link);
  if (fields.title.empty() && fields.date.empty() && !fields.text.empty()) return Bounded("text " + fields.text);
  return Bounded("title " + fields.title + '\x1f' + fields.date);
}

std::vector<ItemFields> ReadItemFields(std::string_view feedBytes) {
  platform::XmlDocument doc;
  if (!doc.LoadBytes(feedBytes) || !doc.HasRoot()) return {};
  const XmlNode root = doc.DocumentElement();
  const std::string kind = LocalName(root);
  std::vector<XmlNode> items;
  if (kind == "feed") {
    items = Children(root, {"entry"});
  } else if (kind == "rss" || kind == "channel" || kind == "RDF") {
    // The items inside the channel, and for RSS 1.0 (and a bare channel)
    // those beside it, in document order.
    for (const XmlNode &child : Children(root, {"item", "channel"})) {
      if (LocalName(child) == "channel") {
        for (const XmlNode &item : Children(child, {"item"}))
          items.push_back(item);
      } else if (kind != "rss") {
        items.push_back(child);
      }
    }
  }
  std::vector<ItemFields> out;
  out.reserve(items.size());
  for (const XmlNode &item : items)
    out.push_back(Fields(item));
  return out;
}

std::vector<std::string> ItemIdentities(std::string_view feedBytes) {
  std::vector<std::string> out;
  for (const ItemFields &fields : ReadItemFields(feedBytes))
    out.push_back(ItemIdentity(fields));
  return out;
}

} // namespace quorvelle::report
