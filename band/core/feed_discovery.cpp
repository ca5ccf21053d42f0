#include "band/core/feed_discovery.h"

#include "platform/inet/url_resolution.h"
#include "platform/xml/html_text.h"
#include "regexpr/reg_expr.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <climits>
#include <cstdint>
#include <optional>
#include <unordered_set>

namespace quorvelle {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsQuote(char c) { return c == '"' || c == '\''; }

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char &c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// The attribute value that group n of the current match was taken from.
//
// The lazy groups are only an approximation of a value: the blank-or-quote
// run before a group may leave the opening quote inside the group
// (title= "News"), the last group of an expression stops at the first blank
// or apostrophe (title="Morning News" would give "Morning"), and a group may
// run out of its value into later attributes or later elements when the
// element lacks the attribute that the expression expects next. So the value
// is read from its own quotes; a group that is not exactly its value (not
// merely a leading part of it, for the last group) gives no value.
std::optional<std::string> AttributeValue(const TRegExpr &expression, int group, bool lastGroup) {
  const std::string &input = expression.InputString();
  const auto groupStart = static_cast<std::size_t>(expression.MatchPos(group));
  const std::size_t groupEnd = groupStart + static_cast<std::size_t>(expression.MatchLen(group));
  // Back to the '=' that the expression matched before the group.
  std::size_t equals = groupStart;
  while (equals > 0 && (IsBlank(input[equals - 1]) || IsQuote(input[equals - 1])))
    --equals;
  std::size_t valueStart = equals;
  while (valueStart < input.size() && IsBlank(input[valueStart]))
    ++valueStart;
  if (valueStart < input.size() && IsQuote(input[valueStart])) {
    const char quote = input[valueStart];
    ++valueStart;
    const std::size_t valueEnd = input.find(quote, valueStart);
    if (valueEnd == std::string::npos || groupEnd > valueEnd || (!lastGroup && groupEnd != valueEnd)) {
      return std::nullopt;
    }
    return input.substr(valueStart, valueEnd - valueStart);
  }
  // An unquoted value ends at the first blank and holds none of " ' = < > `.
  std::string value = input.substr(valueStart, groupEnd - valueStart);
  for (const char c : value) {
    if (IsBlank(c) || IsQuote(c) || c == '=' || c == '<' || c == '>' || c == '`') return std::nullopt;
  }
  return value;
}

// A value as the page means it: references decoded, line breaks as blanks.
std::string PageValue(std::string_view written) {
  return DeleteControlCharsFromString(platform::DecodeHtmlCharacterReferences(written));
}

TRegExpr LinkExpression(std::string_view pattern) {
  TRegExpr expression;
  expression.SetModifierI(true);
  expression.SetModifierR(true);
  expression.SetModifierS(true);
  expression.SetModifierG(false);
  expression.SetExpression(std::string(pattern));
  return expression;
}

// Where each element that either link expression could match begins. Every
// match of them begins so, and no two such beginnings overlap.
std::vector<std::size_t> LinkStarts(const std::string &pageText) {
  std::vector<std::size_t> starts;
  TRegExpr start = LinkExpression(R"(<\s*LINK\s+REL)");
  start.SetInputString(pageText);
  for (bool found = start.Exec(); found; found = start.ExecNext())
    starts.push_back(static_cast<std::size_t>(start.MatchPos(0)));
  return starts;
}

// Steps of the expression engine allowed for a match attempt over a text.
constexpr std::size_t kMatchStepsBase = 1000;
constexpr std::size_t kMatchStepsPerByte = 1;

// The longest run of blanks and quotes that a link element may hold.
constexpr std::size_t kLongestBlankRun = 32;

// Where the search from start stops: at limit, or inside the first run of
// more than kLongestBlankRun blanks and quotes. No element worth offering
// holds such a run, and it is what makes the expressions' lazy parts try
// ways of splitting it without end (their time grows with the cube of the
// run's length).
std::size_t SearchEnd(const std::string &text, std::size_t start, std::size_t limit) {
  std::size_t run = 0;
  for (std::size_t at = start; at < limit; ++at) {
    run = IsBlank(text[at]) || IsQuote(text[at]) ? run + 1 : 0;
    if (run > kLongestBlankRun) return at;
  }
  return limit;
}

// Runs the expression from each link start, over the text up to the next
// one (or up to a long run of blanks, see SearchEnd): a match that is passed over is not searched again from the next
// character, and no search runs on through the rest of the page more than
// once, so the whole takes one pass over the page. A match that would
// reach beyond the next link start has run out of its element anyway.
void FindWithPattern(std::string_view pattern, int urlGroup, int titleGroup, const std::string &pageText,
                     const std::vector<std::size_t> &starts, std::vector<DiscoveredFeed> &found) {
  TRegExpr expression = LinkExpression(pattern);
  for (std::size_t n = 0; n < starts.size(); ++n) {
    const std::size_t end = SearchEnd(pageText, starts[n], n + 1 < starts.size() ? starts[n + 1] : pageText.size());
    // The expressions can split a run of blanks and quotes between their
    // lazy parts in very many ways; a match that needs more steps than its
    // text allows for is passed over (and logged) like a match whose groups
    // are no attribute values.
    const std::size_t length = end - starts[n];
    expression.SetMatchLimit(
        static_cast<std::uint32_t>(std::min<std::size_t>(kMatchStepsBase + kMatchStepsPerByte * length, UINT32_MAX)));
    expression.SetInputString(pageText.substr(starts[n], length));
    Guard("TRSSQuorvelleForm.FindRSSLinkOnPage", [&] {
      if (!expression.Exec()) return;
      const std::optional<std::string> url = AttributeValue(expression, urlGroup, urlGroup == 2);
      const std::optional<std::string> title = AttributeValue(expression, titleGroup, titleGroup == 2);
      // The address keeps its line breaks until it is resolved (which drops them).
      if (url && title) found.push_back({platform::DecodeHtmlCharacterReferences(*url), PageValue(*title)});
    });
  }
}

bool HasToken(std::string_view list, std::string_view token) {
  std::size_t at = 0;
  while (at < list.size()) {
    while (at < list.size() && IsBlank(list[at]))
      ++at;
    std::size_t end = at;
    while (end < list.size() && !IsBlank(list[end]))
      ++end;
    if (end > at && LowerAscii(list.substr(at, end - at)) == token) return true;
    at = end;
  }
  return false;
}

// What the HTML parser reads from the page's link and base elements: the
// first base address and every alternate link of a feed type, in document
// order.
struct PageLinks {
  std::optional<std::string> base;
  std::vector<DiscoveredFeed> announced;
};

// How many announcing links the HTML parser reads; a page announcing more
// than these is offered its first ones.
constexpr std::size_t kMostAnnounced = 1000;

// The feed types a link may announce: RSS, Atom and RDF.
bool IsFeedType(std::string_view type) {
  type = TrimBlanks(type.substr(0, type.find(';')));
  const std::string kind = LowerAscii(type);
  return kind == "application/rss+xml" || kind == "application/atom+xml" || kind == "application/rdf+xml";
}

PageLinks ReadPageLinks(std::string_view pageText) {
  PageLinks links;
  if (pageText.empty()) return links;
  static const std::vector<std::string> kNames{"base", "link"};
  platform::ScanHtmlStartTags(
      pageText, kNames,
      [&](const platform::HtmlStartTag &tag) {
        const std::string *href = tag.Attribute("href");
        if (href == nullptr) return true;
        if (tag.name == "base") {
          if (!links.base) links.base = *href;
          return true;
        }
        const std::string *rel = tag.Attribute("rel");
        const std::string *type = tag.Attribute("type");
        if (rel != nullptr && type != nullptr && HasToken(*rel, "alternate") && IsFeedType(*type)) {
          const std::string *title = tag.Attribute("title");
          links.announced.push_back({*href, title != nullptr ? DeleteControlCharsFromString(*title) : std::string()});
        }
        return links.announced.size() < kMostAnnounced;
      },
      "href");
  return links;
}

// A scheme at the start of an address ("http:", "javascript:", "C:"), lower
// case; "" when the address starts with none (a relative address).
std::string SchemeOf(std::string_view address) {
  std::size_t at = 0;
  while (at < address.size()) {
    const char c = address[at];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && (at == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) break;
    ++at;
  }
  if (at == 0 || at >= address.size() || address[at] != ':') return {};
  return LowerAscii(address.substr(0, at));
}

// The address to offer for a link's href, or nullopt when it is none to
// offer. A feed: address is offered as its http(s) twin; an address with a
// scheme must be an http, https or ftp one written with its "//" (so
// "http:f.xml" is no address of a host). Relative addresses are resolved
// against base; without one they stay as written.
std::optional<std::string> OfferedAddress(std::string_view href, const std::string &base) {
  // Tabs and line breaks inside an address are dropped, as a browser does.
  std::string address;
  for (const char c : TrimBlanks(href))
    if (c != '\t' && c != '\n' && c != '\r') address += c;
  if (address.empty()) return std::nullopt;
  std::string scheme = SchemeOf(address);
  if (scheme == "feed") {
    address.erase(0, 5);
    scheme = SchemeOf(address);
    if (scheme.empty()) {
      if (!address.starts_with("//")) return std::nullopt;
      address = "http:" + address;
      scheme = "http";
    }
  }
  if (!scheme.empty()) {
    if (scheme != "http" && scheme != "https" && scheme != "ftp") return std::nullopt;
    if (address.compare(scheme.size(), 3, "://") != 0) return std::nullopt;
  }
  if (!base.empty()) {
    if (auto resolved = platform::ResolveUrlReference(base, address)) {
      address = std::move(*resolved);
    } else if (!scheme.empty()) {
      return std::nullopt;
    }
  }
  address = DeleteControlCharsFromString(address);
  scheme = SchemeOf(address);
  if (scheme.empty()) return address; // nothing to resolve against
  if (scheme != "http" && scheme != "https" && scheme != "ftp") return std::nullopt;
  // An absolute address names its host.
  const std::size_t host = scheme.size() + 3;
  if (address.compare(scheme.size(), 3, "://") != 0 || host >= address.size() || address[host] == '/' ||
      address[host] == '?' || address[host] == '#') {
    return std::nullopt;
  }
  return address;
}

} // namespace

std::vector<DiscoveredFeed> DiscoverFeeds(std::string_view pageText, std::string_view pageAddress) {
  std::vector<DiscoveredFeed> found;
  Guard("TRSSQuorvelleForm.FindRSSLinkOnPage", [&] {
    const std::string page(pageText);
    const std::vector<std::size_t> starts = LinkStarts(page);
    FindWithPattern(kRSSLinkPatternTitleFirst, 2, 1, page, starts, found);
    if (found.empty()) FindWithPattern(kRSSLinkPatternHrefFirst, 1, 2, page, starts, found);
    // The HTML parser reads the link and base elements: the feeds the
    // expressions do not find follow theirs, in document order.
    PageLinks links = ReadPageLinks(page);
    found.insert(found.end(), std::make_move_iterator(links.announced.begin()),
                 std::make_move_iterator(links.announced.end()));
    // A base that cannot be resolved against (about:blank) resolves nothing;
    // a base element's that cannot leaves the page address in force.
    const auto usable = [](const std::string &address) {
      return !address.empty() && platform::ResolveUrlReference(address, "x").has_value();
    };
    std::string base = usable(std::string(pageAddress)) ? std::string(pageAddress) : std::string();
    if (links.base && !base.empty()) {
      auto resolved = platform::ResolveUrlReference(base, *links.base);
      if (resolved && usable(*resolved)) base = std::move(*resolved);
    }
    std::vector<DiscoveredFeed> offered;
    std::unordered_set<std::string> known;
    // Each address written is resolved once, however often the page repeats it.
    std::unordered_set<std::string> written;
    for (DiscoveredFeed &feed : found) {
      if (!written.insert(feed.url).second) continue;
      std::optional<std::string> address = OfferedAddress(feed.url, base);
      if (!address || !known.insert(*address).second) continue;
      feed.url = std::move(*address);
      offered.push_back(std::move(feed));
    }
    found = std::move(offered);
  });
  return found;
}

void FindRSSLinkInPageText(const std::string &pageText, std::string &url, std::string &title,
                           std::string_view pageAddress) {
  url.clear();
  title.clear();
  std::vector<DiscoveredFeed> feeds = DiscoverFeeds(pageText, pageAddress);
  if (feeds.empty()) return;
  url = std::move(feeds.front().url);
  title = std::move(feeds.front().title);
}

} // namespace quorvelle
