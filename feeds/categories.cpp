// Categories of the feed list: lookup by name, the sorted name list, adding,
// renaming and removing, and the resolution the feed operations use.
//
// A category is a Quorvelle_Category element inside Quorvelle_Categories; the
// container itself is the built-in category General (the empty name). Names
// are kept in the stored text form and compared decoded and lower-cased.

#include "feeds/feed_lists.h"
#include "feeds/feed_store.h"

#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"
#include "platform/errors.h"
#include "platform/ui/user_interface.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <algorithm>

namespace quorvelle {
namespace {

XmlNode AppendCategoryElement(platform::XmlDocument &doc, XmlNode container, std::string_view name) {
  XmlNode category = doc.CreateElement(kCategoryElement);
  category.SetAttribute("name", platform::EncodeStoredText(name));
  category.SetAttribute("description", "");
  return container.AppendChild(category);
}

} // namespace

XmlNode TRSSFeedOptions::FindCategory(XmlNode start, std::string_view name) {
  XmlNode result;
  Guard("TRSSFeedOptions.FindCategory",
        [&] { result = feedlist::WalkForCategory(start, feedlist::LowerCaseKey(name)); });
  return result;
}

std::string TRSSFeedOptions::GetListOfCategories(XmlNode root) {
  std::string result;
  Guard("TRSSFeedOptions.GetListOfCategories", [&] {
    XmlNode top = root.IsNull() ? feedlist::RequireDocumentElement(*FXMLDoc) : root;
    xmlNodePtr container = top.Raw()->children;
    while (container != nullptr && !feedlist::IsElementNamed(container, kCategoriesElement)) {
      container = container->next;
    }
    if (container == nullptr) {
      throw EOleException("The feed list has no Quorvelle_Categories element");
    }
    std::vector<std::string> names;
    std::string storage;
    for (xmlNodePtr child = container->children; child != nullptr; child = child->next) {
      if (feedlist::IsElementNamed(child, kCategoryElement)) {
        names.push_back(platform::DecodeStoredText(feedlist::RequiredAttribute(child, "name", storage)));
      }
    }
    std::stable_sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
      return platform::CompareTextIgnoringCase(a, b) < 0;
    });
    std::string text;
    for (const std::string &name : names) {
      text += name;
      text += "\r\n";
    }
    result = std::move(text);
  });
  return result;
}

XmlNode TRSSFeedOptions::AddCategory(std::string_view name) {
  XmlNode result;
  Guard("TRSSFeedOptions.AddCategory", [&] {
    const std::string cleaned = MakeValidFileName(std::string(name));
    if (cleaned.empty()) {
      return;
    }
    XmlNode container = CategoriesContainer();
    if (feedlist::WalkForCategory(container, feedlist::LowerCaseKey(cleaned))) {
      platform::ui::ShowInformation("Category with same name:\r\n" + cleaned + " \r\n exists already.");
      return;
    }
    result = AppendCategoryElement(*FXMLDoc, container, cleaned);
  });
  return result;
}

void TRSSFeedOptions::RenameCategory(std::string_view oldName, std::string_view newName) {
  Guard("TRSSFeedOptions.RenameCategory", [&] {
    // General has no name of its own to change.
    if (oldName.empty()) {
      return;
    }
    // A category whose cleaned name is empty could never be found again by
    // name (the empty name is General's), so such a rename is not made.
    const std::string cleaned = MakeValidFileName(std::string(newName));
    if (cleaned.empty()) {
      return;
    }
    XmlNode category =
        feedlist::WalkForCategory(feedlist::RequireDocumentElement(*FXMLDoc), feedlist::LowerCaseKey(oldName));
    if (category) {
      category.SetAttribute("name", platform::EncodeStoredText(cleaned));
    }
  });
}

void TRSSFeedOptions::DeleteCategory(std::string_view name) {
  Guard("TRSSFeedOptions.DeleteCategory", [&] {
    if (name.empty()) {
      return;
    }
    XmlNode category =
        feedlist::WalkForCategory(feedlist::RequireDocumentElement(*FXMLDoc), feedlist::LowerCaseKey(name));
    if (category) {
      category.ParentNode().RemoveChild(category);
    }
  });
}

XmlNode TRSSFeedOptions::ResolveCategory(std::string_view name) {
  XmlNode found = feedlist::WalkForCategory(feedlist::RequireDocumentElement(*FXMLDoc), feedlist::LowerCaseKey(name));
  if (found) {
    return found;
  }
  return AppendCategoryElement(*FXMLDoc, CategoriesContainer(), name);
}

} // namespace quorvelle
