#pragma once
// Helpers over the elements of the feed list: the node walks that find a
// category by name or a feed by URL, the case-insensitive keys they compare,
// and the text form in which lists of feeds travel to the dialogs.
//
// The walks throw on a malformed element (a category without `name`, a feed
// without `src`); the operation that calls them decides what a failure means.

#include "platform/xml/xml_document.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvelle {

inline constexpr std::string_view kFeedsElement = "Quorvelle_Feeds";
inline constexpr std::string_view kCategoriesElement = "Quorvelle_Categories";
inline constexpr std::string_view kCategoryElement = "Quorvelle_Category";
inline constexpr std::string_view kFeedElement = "Quorvelle_Feed";

// The entries with CR LF between them and none after the last; the text form
// of the URL and title lists. An empty list gives the empty text.
std::string JoinWithCrLf(const std::vector<std::string> &entries);

namespace feedlist {

// The document element of the feed list; throws when the list has none (a
// Feeds.xml that did not parse).
platform::XmlNode RequireDocumentElement(platform::XmlDocument &doc);

// An element (not text, comment, ...) whose name, without a namespace prefix,
// is exactly name.
bool IsElementNamed(xmlNodePtr node, std::string_view name) noexcept;

// The text lower-cased by Unicode rules; the same result as
// platform::LowerCase, without its cost for plain ASCII.
std::string LowerCaseKey(std::string_view text);

// Whether LowerCaseKey(text) equals loweredKey, without building the lowered
// text when text is plain ASCII.
bool EqualsLoweredKey(std::string_view text, std::string_view loweredKey);

// The attribute's text. The view points into the node, or into storage when
// the value has to be assembled. Throws EOleException when the attribute is
// missing.
std::string_view RequiredAttribute(xmlNodePtr node, std::string_view name, std::string &storage);

// Depth-first walk from start through start's following siblings: the first
// Quorvelle_Category whose decoded name lower-cased equals loweredName, or,
// when loweredName is empty, the first Quorvelle_Categories. Null when the
// start is null or nothing matches.
platform::XmlNode WalkForCategory(platform::XmlNode start, std::string_view loweredName);

// The same walk for the first Quorvelle_Feed whose `src` lower-cased equals
// loweredUrl.
platform::XmlNode WalkForFeed(platform::XmlNode start, std::string_view loweredUrl);

} // namespace feedlist
} // namespace quorvelle
