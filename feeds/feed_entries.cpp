// Feed entries of the feed list: adding, listing, the enabled flag, lookup
// by URL, removing, reordering, editing and moving between categories.
//
// A feed is a Quorvelle_Feed element (src, enabled, title) below the General
// container or a Quorvelle_Category. Its URL is the key, unique in the whole
// document and compared lower-cased; titles are kept in the stored text form.

#include "feeds/feed_lists.h"
#include "feeds/feed_store.h"

#include "platform/codepage/codepage.h"
#include "platform/errors.h"
#include "platform/ui/user_interface.h"
#include "support/debug_log.h"

#include <array>

namespace quorvelle {
namespace {

bool IsFeed(xmlNodePtr node) noexcept { return feedlist::IsElementNamed(node, kFeedElement); }

// The first direct feed child of the category whose URL matches; null when
// there is none.
xmlNodePtr FindDirectFeed(XmlNode category, std::string_view url) {
  const std::string key = feedlist::LowerCaseKey(url);
  std::string storage;
  for (xmlNodePtr child = category.Raw()->children; child != nullptr; child = child->next) {
    if (IsFeed(child) && feedlist::EqualsLoweredKey(feedlist::RequiredAttribute(child, "src", storage), key)) {
      return child;
    }
  }
  return nullptr;
}

xmlNodePtr NextFeed(xmlNodePtr node) {
  while (node != nullptr && !IsFeed(node)) {
    node = node->next;
  }
  return node;
}

xmlNodePtr PreviousFeed(xmlNodePtr node) {
  while (node != nullptr && !IsFeed(node)) {
    node = node->prev;
  }
  return node;
}

// The feed whose place the moved feed takes; null when it cannot move that
// way. Elements that are not feeds (the categories sharing General's
// container) are skipped.
xmlNodePtr MovePartner(xmlNodePtr feed, int direction) {
  switch (direction) {
  case mdDown: return NextFeed(feed->next);
  case mdUp: return PreviousFeed(feed->prev);
  case mdTop: return NextFeed(feed->parent->children);
  case mdBottom: return PreviousFeed(feed->parent->last);
  default: return nullptr;
  }
}

constexpr std::array<std::string_view, 3> kFeedAttributes = {"src", "enabled", "title"};

std::array<std::string, 3> ReadFeedAttributes(xmlNodePtr feed) {
  std::array<std::string, 3> values;
  std::string storage;
  for (std::size_t i = 0; i < kFeedAttributes.size(); ++i) {
    values[i] = std::string(feedlist::RequiredAttribute(feed, kFeedAttributes[i], storage));
  }
  return values;
}

void WriteFeedAttributes(XmlNode feed, const std::array<std::string, 3> &values) {
  for (std::size_t i = 0; i < kFeedAttributes.size(); ++i) {
    feed.SetAttribute(kFeedAttributes[i], values[i]);
  }
}

bool IsInside(xmlNodePtr node, xmlNodePtr ancestor) noexcept {
  for (xmlNodePtr p = node; p != nullptr; p = p->parent) {
    if (p == ancestor) {
      return true;
    }
  }
  return false;
}

} // namespace

bool TRSSFeedOptions::AddNewRSSFeed(std::string_view url, std::string_view title, std::string_view category) {
  bool result = false;
  Guard("TRSSFeedOptions.AddNewRSSFeed", [&] {
    if (url.empty()) {
      return;
    }
    // A lookup that fails on a malformed feed ends the add: nothing is added
    // unless the URL is known to be new.
    if (feedlist::WalkForFeed(feedlist::RequireDocumentElement(*FXMLDoc), feedlist::LowerCaseKey(url))) {
      platform::ui::ShowInformation("Feed with URL:\r\n" + std::string(url) + " \r\nis already in the list");
      return;
    }
    XmlNode feed = FXMLDoc->CreateElement(kFeedElement);
    feed.SetAttribute("src", url);
    feed.SetAttribute("enabled", "true");
    feed.SetAttribute("title", platform::EncodeStoredText(title));

    XmlNode container = CategoriesContainer();
    XmlNode parent = container;
    if (!category.empty()) {
      parent = feedlist::WalkForCategory(container.FirstChild(), feedlist::LowerCaseKey(category));
      if (!parent) {
        XmlNode created = FXMLDoc->CreateElement(kCategoryElement);
        created.SetAttribute("name", platform::EncodeStoredText(category));
        created.SetAttribute("description", "");
        parent = container.AppendChild(created);
      }
    }
    parent.AppendChild(feed);
    result = true;
  });
  return result;
}

bool TRSSFeedOptions::GetFeedsURLSForCategory(std::string_view category, std::vector<std::string> &urls,
                                              std::vector<std::string> &titles) {
  bool result = false;
  Guard("TRSSFeedOptions.GetFeedsURLSForCategory", [&] {
    urls.clear();
    titles.clear();
    XmlNode parent = ResolveCategory(category);
    for (xmlNodePtr child = parent.Raw()->children; child != nullptr; child = child->next) {
      if (!IsFeed(child)) {
        continue;
      }
      // Every feed gives one entry to each list, so entry i of both lists
      // always belongs to the same feed; what cannot be read stays empty.
      std::string &feedUrl = urls.emplace_back();
      std::string &feedTitle = titles.emplace_back();
      std::string storage;
      SilentGuard([&] { feedUrl = std::string(feedlist::RequiredAttribute(child, "src", storage)); });
      SilentGuard(
          [&] { feedTitle = platform::DecodeStoredText(feedlist::RequiredAttribute(child, "title", storage)); });
    }
    result = true;
  });
  return result;
}

bool TRSSFeedOptions::GetFeedStateEnabled(std::string_view url, std::string_view category) {
  bool result = false;
  Guard("TRSSFeedOptions.GetFeedStateEnabled", [&] {
    xmlNodePtr feed = FindDirectFeed(ResolveCategory(category), url);
    if (feed == nullptr) {
      return;
    }
    std::string storage;
    result = feedlist::EqualsLoweredKey(feedlist::RequiredAttribute(feed, "enabled", storage), "true");
  });
  return result;
}

bool TRSSFeedOptions::SetFeedStateEnabled(std::string_view url, std::string_view category, bool enabled) {
  bool result = false;
  Guard("TRSSFeedOptions.SetFeedStateEnabled", [&] {
    xmlNodePtr feed = FindDirectFeed(ResolveCategory(category), url);
    if (feed == nullptr) {
      return;
    }
    // Only an existing flag is changed; a feed without one is left alone.
    std::string storage;
    (void)feedlist::RequiredAttribute(feed, "enabled", storage);
    XmlNode(FXMLDoc.get(), feed).SetAttribute("enabled", enabled ? "true" : "false");
    result = true;
  });
  return result;
}

XmlNode TRSSFeedOptions::FindFeedWithURL(XmlNode start, std::string_view url) {
  XmlNode result;
  Guard("TRSSFeedOptions.FindFeedWithURL", [&] { result = feedlist::WalkForFeed(start, feedlist::LowerCaseKey(url)); });
  return result;
}

void TRSSFeedOptions::DeleteFeed(std::string_view url, std::string_view /*category*/) {
  Guard("TRSSFeedOptions.DeleteFeed", [&] {
    XmlNode feed = feedlist::WalkForFeed(feedlist::RequireDocumentElement(*FXMLDoc), feedlist::LowerCaseKey(url));
    if (feed) {
      feed.ParentNode().RemoveChild(feed);
    }
  });
}

void TRSSFeedOptions::MoveFeed(std::string_view url, std::string_view category, int direction) {
  Guard("TRSSFeedOptions.MoveFeed", [&] {
    xmlNodePtr feed = FindDirectFeed(ResolveCategory(category), url);
    if (feed == nullptr) {
      return;
    }
    xmlNodePtr partner = MovePartner(feed, direction);
    if (partner == nullptr || partner == feed) {
      return;
    }
    // Both sides are read before either is written, so a feed lacking an
    // attribute leaves both feeds as they were.
    const std::array<std::string, 3> moved = ReadFeedAttributes(feed);
    const std::array<std::string, 3> other = ReadFeedAttributes(partner);
    WriteFeedAttributes(XmlNode(FXMLDoc.get(), feed), other);
    WriteFeedAttributes(XmlNode(FXMLDoc.get(), partner), moved);
  });
}

bool TRSSFeedOptions::ChangeFeedPropertiesFeed(std::string_view /*category*/, std::string_view oldUrl,
                                               std::string_view newUrl, std::string_view newTitle) {
  bool result = true;
  Guard("TRSSFeedOptions.ChangeFeedPropertiesFeed", [&] {
    XmlNode root = feedlist::RequireDocumentElement(*FXMLDoc);
    XmlNode feed = feedlist::WalkForFeed(root, feedlist::LowerCaseKey(oldUrl));
    if (!feed) {
      return;
    }
    // The address is the list's key: it may change its case, not become
    // another feed's address.
    const XmlNode owner = feedlist::WalkForFeed(root, feedlist::LowerCaseKey(newUrl));
    if (owner && owner != feed) {
      platform::ui::ShowInformation("Feed with URL:\r\n" + std::string(newUrl) + " \r\nis already in the list");
      result = false;
      return;
    }
    feed.SetAttribute("src", newUrl);
    feed.SetAttribute("title", platform::EncodeStoredText(newTitle));
  });
  return result;
}

void TRSSFeedOptions::MoveFeedToCategory(std::string_view url, std::string_view sourceCategory,
                                         std::string_view targetCategory) {
  Guard("TRSSFeedOptions.MoveFeedToCategory", [&] {
    XmlNode root = feedlist::RequireDocumentElement(*FXMLDoc);
    XmlNode source = feedlist::WalkForCategory(root, feedlist::LowerCaseKey(sourceCategory));
    XmlNode target = feedlist::WalkForCategory(root, feedlist::LowerCaseKey(targetCategory));
    if (!source || !target) {
      return;
    }
    XmlNode feed = feedlist::WalkForFeed(source, feedlist::LowerCaseKey(url));
    if (!feed) {
      return;
    }
    std::string storage;
    const std::string src(feedlist::RequiredAttribute(feed.Raw(), "src", storage));
    const std::string title(feedlist::RequiredAttribute(feed.Raw(), "title", storage));
    const std::string enabled(feedlist::RequiredAttribute(feed.Raw(), "enabled", storage));
    // A target nested inside the feed would leave with it: the feed would be
    // appended to a detached element and lost.
    if (IsInside(target.Raw(), feed.Raw())) {
      throw EAbort("The target category lies inside the feed that is moved");
    }
    feed.ParentNode().RemoveChild(feed);
    XmlNode moved = FXMLDoc->CreateElement(kFeedElement);
    moved.SetAttribute("src", src);
    moved.SetAttribute("title", title);
    moved.SetAttribute("enabled", enabled);
    target.AppendChild(moved);
  });
}

} // namespace quorvelle
