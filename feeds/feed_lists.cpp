#include "feeds/feed_lists.h"

#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"
#include "platform/errors.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace quorvelle {

std::string JoinWithCrLf(const std::vector<std::string> &entries) {
  std::string text;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) {
      text += "\r\n";
    }
    text += entries[i];
  }
  return text;
}

namespace feedlist {

platform::XmlNode RequireDocumentElement(platform::XmlDocument &doc) {
  platform::XmlNode root = doc.DocumentElement();
  if (root.IsNull()) {
    throw EOleException("The feed list has no document element");
  }
  return root;
}

namespace {

bool IsAscii(std::string_view text) noexcept {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct XmlCharDeleter {
  void operator()(xmlChar *p) const noexcept { xmlFree(p); }
};

char AsciiLower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Only elements are descended into: an entity reference's children belong to
// the entity declaration, not to the tree.
bool HasWalkableChildren(xmlNodePtr node) noexcept {
  return node->type == XML_ELEMENT_NODE && node->children != nullptr;
}

// Pre-order walk of start and its following siblings with their subtrees;
// iterative, so the depth of the document cannot exhaust the stack.
template <class Match> xmlNodePtr Walk(xmlNodePtr start, Match &&match) {
  if (start == nullptr) {
    return nullptr;
  }
  xmlNodePtr const boundary = start->parent;
  xmlNodePtr node = start;
  while (node != nullptr) {
    if (match(node)) {
      return node;
    }
    if (HasWalkableChildren(node)) {
      node = node->children;
      continue;
    }
    while (node->next == nullptr) {
      node = node->parent;
      if (node == boundary || node == nullptr) {
        return nullptr;
      }
    }
    node = node->next;
  }
  return nullptr;
}

} // namespace

bool IsElementNamed(xmlNodePtr node, std::string_view name) noexcept {
  if (node == nullptr || node->type != XML_ELEMENT_NODE || node->name == nullptr) {
    return false;
  }
  if (node->ns != nullptr && node->ns->prefix != nullptr) {
    return false;
  }
  const char *own = reinterpret_cast<const char *>(node->name);
  return std::strlen(own) == name.size() && name.compare(0, name.size(), own, name.size()) == 0;
}

std::string LowerCaseKey(std::string_view text) {
  if (!IsAscii(text)) {
    return platform::LowerCase(text);
  }
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), AsciiLower);
  return lowered;
}

bool EqualsLoweredKey(std::string_view text, std::string_view loweredKey) {
  if (!IsAscii(text)) {
    return platform::LowerCase(text) == loweredKey;
  }
  if (text.size() != loweredKey.size()) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (AsciiLower(text[i]) != loweredKey[i]) {
      return false;
    }
  }
  return true;
}

std::string_view RequiredAttribute(xmlNodePtr node, std::string_view name, std::string &storage) {
  if (node != nullptr && node->type == XML_ELEMENT_NODE) {
    for (xmlAttrPtr attr = node->properties; attr != nullptr; attr = attr->next) {
      const char *own = reinterpret_cast<const char *>(attr->name);
      if (attr->ns != nullptr || own == nullptr || std::strlen(own) != name.size() ||
          name.compare(0, name.size(), own, name.size()) != 0) {
        continue;
      }
      xmlNodePtr value = attr->children;
      if (value == nullptr) {
        return {};
      }
      if (value->next == nullptr && value->type == XML_TEXT_NODE && value->content != nullptr) {
        return reinterpret_cast<const char *>(value->content);
      }
      // A value made of several parts (entity references): let libxml2
      // assemble it.
      std::unique_ptr<xmlChar, XmlCharDeleter> assembled(xmlNodeListGetString(node->doc, value, 1));
      storage = assembled ? reinterpret_cast<const char *>(assembled.get()) : "";
      return storage;
    }
  }
  throw EOleException("Could not convert variant of type (Null) into type (String): attribute '" + std::string(name) +
                      "' missing");
}

platform::XmlNode WalkForCategory(platform::XmlNode start, std::string_view loweredName) {
  std::string storage;
  xmlNodePtr found = Walk(start.Raw(), [&](xmlNodePtr node) {
    if (IsElementNamed(node, kCategoryElement)) {
      const std::string_view stored = RequiredAttribute(node, "name", storage);
      return EqualsLoweredKey(platform::DecodeStoredText(stored), loweredName);
    }
    return loweredName.empty() && IsElementNamed(node, kCategoriesElement);
  });
  return {start.Owner(), found};
}

platform::XmlNode WalkForFeed(platform::XmlNode start, std::string_view loweredUrl) {
  std::string storage;
  xmlNodePtr found = Walk(start.Raw(), [&](xmlNodePtr node) {
    return IsElementNamed(node, kFeedElement) && EqualsLoweredKey(RequiredAttribute(node, "src", storage), loweredUrl);
  });
  return {start.Owner(), found};
}

} // namespace feedlist
} // namespace quorvelle
