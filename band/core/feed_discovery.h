#pragma once
// Feed discovery: finds the link elements with which a page announces its
// feeds, so the add-feed dialog can open with a feed's address and title.
// The toolbar form hands in the page as the browser serialises it (outer
// HTML of the document element, UTF-8) with the page's address; a program
// without a browser may hand in the page's source as downloaded. No Qt here.

#include <string>
#include <string_view>
#include <vector>

namespace quorvelle {

// Link element with TITLE before HREF: group 1 is the title, group 2 the address.
inline constexpr std::string_view kRSSLinkPatternTitleFirst =
    R"(<\s*LINK\s+REL\s*\=[\s'"]+ALTERNATE[\s'"]+\s+TYPE\s*\=[\s'"]+APPLICATION\/RSS\+XML[\s'"]\s+TITLE\s*\=[\s'"]+(.+)[\s'"]\s+HREF\s*\=[\s'"]+(.+)[\s'"])";

// Link element with HREF before TITLE: group 1 is the address, group 2 the title.
inline constexpr std::string_view kRSSLinkPatternHrefFirst =
    R"(<\s*LINK\s+REL\s*\=[\s'"]+ALTERNATE[\s'"]+\s+TYPE\s*\=[\s'"]+APPLICATION\/RSS\+XML[\s'"]\s+HREF\s*\=[\s'"]+(.+)[\s'"]\s+TITLE\s*\=[\s'"]+(.+)[\s'"])";

struct DiscoveredFeed {
  std::string url;
  std::string title;
  friend bool operator==(const DiscoveredFeed &, const DiscoveredFeed &) = default;
};

// Every feed that pageText announces, in the order to offer them (the first
// is the one to preselect); empty when none. The band, `quorvelle discover`
// and the extension (through the native host) all call this one.
//
// Which links count, in this order:
//  1. <link rel=alternate type=application/rss+xml title=... href=...> with
//     the attributes in exactly that order (kRSSLinkPatternTitleFirst,
//     matched case-insensitively with lazy quantifiers);
//  2. only when 1 found none: the same with href before title
//     (kRSSLinkPatternHrefFirst);
//  3. then every other link element that the HTML parser reads with a rel
//     holding "alternate" and a type of application/rss+xml,
//     application/atom+xml or application/rdf+xml, in document order, with
//     its attributes in any order and any quoting, a title or not (the
//     caller fetches a missing title).
// In steps 1 and 2 the address and title are the whole values of their
// attributes, read from their quotes; a match whose group runs out of its
// attribute value is passed over.
//
// Values: character references are decoded ("&amp;" -> "&"), line breaks
// become blanks in titles and are dropped from addresses. The address is
// resolved against the page's base: the href of its first <base> element
// (itself resolved against pageAddress), else pageAddress. With an empty
// pageAddress, or one that cannot be resolved against (about:blank), a
// relative address stays as written. Only http, https and ftp addresses with
// a host are offered (a feed: address as its http twin, "feed:https://..."
// as https); a blank href, javascript:, file:, "C:/x" or "http:x" never. The
// same address is offered once, with the title of its first link.
//
// Takes time in proportion to the page's length, whatever it holds. Failures
// are logged as "TRSSQuorvelleForm.FindRSSLinkOnPage"; what was found up to
// then is returned.
std::vector<DiscoveredFeed> DiscoverFeeds(std::string_view pageText, std::string_view pageAddress);

// The first feed of DiscoverFeeds into url and title; both are emptied on
// entry and stay empty when the page announces none.
void FindRSSLinkInPageText(const std::string &pageText, std::string &url, std::string &title,
                           std::string_view pageAddress = {});

} // namespace quorvelle
