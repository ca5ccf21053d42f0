#pragma once
// What makes a headline the same headline from one reading of its feed to
// the next. Within one feed address an item is known by its own id: the RSS
// `guid`, the Atom `id` or the RSS 1.0 `rdf:about`; an item without one by
// the page it links to; an item without either by its title together with
// its date; an item with none of these by its text (description, summary or
// content). White space is normalised (runs become one space, the ends
// trimmed), so a feed that is merely re-indented keeps its items. A date is
// part of the identity only in the last case: a rewritten date never makes
// an item with an id or a link new.

#include <string>
#include <string_view>
#include <vector>

namespace quorvelle::report {

struct ItemFields {
  std::string id;    // guid / id / rdf:about as written
  std::string link;  // the page the item stands for
  std::string title; // text content of the title
  std::string date;  // the item's first date element as written
  std::string text;  // its first description, summary or content
};

// The identity of one item, never empty: a kind word and the value
// ("id ...", "link ...", "title ...\x1f<date>", "text ..."); one longer than
// 300 bytes keeps its beginning and a checksum of the whole.
std::string ItemIdentity(const ItemFields &fields);

// The fields and identities of a feed's items in the order the report shows
// them (document order; RSS 0.9x/2.0, RSS 1.0 and Atom 0.3/1.0, any
// namespace prefix). Empty when the bytes are not a feed.
std::vector<ItemFields> ReadItemFields(std::string_view feedBytes);
std::vector<std::string> ItemIdentities(std::string_view feedBytes);

// Runs of white space made one space, the ends trimmed.
std::string NormalizeSpace(std::string_view text);

} // namespace quorvelle::report
