#pragma once
// Feed discovery: finds the link element with which a page announces its RSS
// feed, so the add-feed dialog can open with the feed's address and title.
// The toolbar form hands in the page as the browser serialises it (outer
// HTML of the document element, UTF-8).

#include <string>
#include <string_view>

namespace quorvelle {

// Link element with TITLE before HREF: group 1 is the title, group 2 the address.
inline constexpr std::string_view kRSSLinkPatternTitleFirst =
    R"(<\s*LINK\s+REL\s*\=[\s'"]+ALTERNATE[\s'"]+\s+TYPE\s*\=[\s'"]+APPLICATION\/RSS\+XML[\s'"]\s+TITLE\s*\=[\s'"]+(.+)[\s'"]\s+HREF\s*\=[\s'"]+(.+)[\s'"])";

// Link element with HREF before TITLE: group 1 is the address, group 2 the title.
inline constexpr std::string_view kRSSLinkPatternHrefFirst =
    R"(<\s*LINK\s+REL\s*\=[\s'"]+ALTERNATE[\s'"]+\s+TYPE\s*\=[\s'"]+APPLICATION\/RSS\+XML[\s'"]\s+HREF\s*\=[\s'"]+(.+)[\s'"]\s+TITLE\s*\=[\s'"]+(.+)[\s'"])";

// Looks for <link rel=alternate type=application/rss+xml title=... href=...>
// in pageText (attributes in exactly that order, or with href before title
// when no element has them in that order), matching case-insensitively with
// lazy quantifiers. Line breaks inside the values become blanks; the address
// is returned as written (a relative address stays relative).
//
// The address and title are the whole values of their attributes, read from
// their quotes: a multi-word title that ends the element is not cut at its
// first blank, and a match whose group runs out of its attribute value (into
// a later attribute, or into a later element when a link lacks its title or
// address) is passed over rather than returning markup as an address.
// When several elements match, the first in document order is offered.
//
// url and title are emptied on entry and stay empty when nothing is found or
// anything fails; failures are logged as "TRSSQuorvelleForm.FindRSSLinkOnPage".
void FindRSSLinkInPageText(const std::string &pageText, std::string &url, std::string &title);

} // namespace quorvelle
