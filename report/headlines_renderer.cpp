#include "report/headlines_renderer.h"

#include "report/listed_feeds.h"

#include "platform/files/file_io.h"
#include "platform/inet/url_resolution.h"
#include "platform/xml/html_text.h"
#include "platform/xml/xml_document.h"
#include "platform/xml/xslt.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>

namespace quorvelle::report {

using platform::XmlDocument;
using platform::XmlNode;

// ---------------------------------------------------------------- texts

const std::vector<FailureTextEntry> &FailureTexts() {
  static const std::vector<FailureTextEntry> texts = {
      {FeedFailure::Unreachable, "unreachable",
       "This feed could not be reached. The site may be down, the address may have changed, or this computer may be "
       "offline. Try again later."},
      {FeedFailure::HttpError, "httpError",
       "The site answered with an error (%s) instead of the feed. The address may have changed."},
      {FeedFailure::NotFeed, "notFeed",
       "The address answered, but what came back is not a news feed (RSS, RDF or Atom) that this report can show."},
      {FeedFailure::Outside, "outside",
       "Headlines are fetched by the Quorvelle browser. This page was opened in another browser, which does not let a "
       "page read feeds from other web sites. Open the report from the Quorvelle toolbar to see the headlines."},
      {FeedFailure::Refused, "refused",
       "Quorvelle does not fetch this address. Only http, https and ftp addresses can be read."},
      {FeedFailure::TooLarge, "tooLarge", "This feed is too large to be shown."},
      {FeedFailure::TimedOut, "timedOut",
       "This feed did not arrive in time. The site may be slow or busy at the moment. Try again later."},
      {FeedFailure::Report, "report",
       "This part of the report could not be read. Choose \"View Feeds...\" again to rebuild the report."},
  };
  return texts;
}

std::string FailureText(FeedFailure failure, int status) {
  for (const FailureTextEntry &entry : FailureTexts()) {
    if (entry.failure != failure) continue;
    std::string text = entry.text;
    if (const std::size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, std::to_string(status));
    return text;
  }
  return FailureTexts().front().text;
}

// ---------------------------------------------------------------- paths

std::string NormaliseReportPath(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos) return "";
  std::vector<std::string> kept;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string part(path.substr(start, end - start));
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (kept.empty()) return "";
      kept.pop_back();
    } else {
      kept.push_back(part);
    }
  }
  std::string out;
  for (const auto &part : kept)
    out += (out.empty() ? "" : "/") + part;
  return out;
}

namespace {

std::string Folder(const std::string &page) {
  const std::size_t slash = page.rfind('/');
  return slash == std::string::npos ? "" : page.substr(0, slash + 1);
}

// Every byte but A-Z a-z 0-9 - _ . ! ~ * ' ( ) percent-encoded, as a page's
// script encodes a component of an address.
std::string EncodeComponent(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
        std::string_view("-_.!~*'()").find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4U];
      out += kHex[u & 15U];
    }
  }
  return out;
}

// A page path as a link relative to the folder of from.
std::string RelativeLink(const std::string &from, const std::string &target) {
  std::string link;
  for (const char c : from)
    if (c == '/') link += "../";
  std::size_t start = 0;
  while (start <= target.size()) {
    std::size_t end = target.find('/', start);
    if (end == std::string::npos) end = target.size();
    link += EncodeComponent(target.substr(start, end - start));
    if (end < target.size()) link += '/';
    start = end + 1;
  }
  return link;
}

// ---------------------------------------------------------------- dates

constexpr const char *kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads digits at text[at...] (at most max of them); -1 when none.
long Number(std::string_view text, std::size_t &at, std::size_t max = 9) {
  long value = 0;
  std::size_t digits = 0;
  while (at < text.size() && IsDigit(text[at]) && digits < max) {
    value = value * 10 + (text[at] - '0');
    ++at;
    ++digits;
  }
  return digits == 0 ? -1 : value;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char &c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

struct Fields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
  std::optional<long> offsetMinutes; // nullopt: local time
};

bool Valid(const Fields &f) {
  return f.year >= 1 && f.year <= 9999 && f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= 31 && f.hour >= 0 &&
         f.hour <= 24 && f.minute >= 0 && f.minute <= 59 && f.second >= 0 && f.second <= 60;
}

std::optional<long> ZoneOffset(std::string_view zone) {
  if (zone.empty()) return std::nullopt;
  if (zone[0] == '+' || zone[0] == '-') {
    std::size_t at = 1;
    const std::size_t start = at;
    long hours = Number(zone, at, 2);
    if (hours < 0) return std::nullopt;
    long minutes = 0;
    if (at < zone.size() && zone[at] == ':') ++at;
    if (at < zone.size()) minutes = Number(zone, at, 2);
    if (minutes < 0 || at - start < 2) return std::nullopt;
    const long total = hours * 60 + minutes;
    return zone[0] == '-' ? -total : total;
  }
  static const std::map<std::string, long> named = {
      {"z", 0},         {"gmt", 0},       {"ut", 0},        {"utc", 0},       {"est", -5 * 60}, {"edt", -4 * 60},
      {"cst", -6 * 60}, {"cdt", -5 * 60}, {"mst", -7 * 60}, {"mdt", -6 * 60}, {"pst", -8 * 60}, {"pdt", -7 * 60}};
  const auto it = named.find(LowerAscii(zone));
  if (it == named.end()) return std::nullopt;
  return it->second;
}

// "14:33" or "14:33:00" from at on, into f: how many parts were read (2 or
// 3), 0 when it is no time of day.
int ReadClock(std::string_view text, std::size_t &at, Fields &f) {
  f.hour = static_cast<int>(Number(text, at, 2));
  if (at >= text.size() || text[at] != ':') return 0;
  ++at;
  f.minute = static_cast<int>(Number(text, at, 2));
  if (at >= text.size() || text[at] != ':') return 2;
  ++at;
  f.second = static_cast<int>(Number(text, at, 2));
  return 3;
}

// "2005-04-25T19:39:00Z", "2005-04-25T19:39:00.123+02:00", "2005-04-25".
std::optional<Fields> ReadIso(std::string_view text) {
  Fields f;
  std::size_t at = 0;
  const long year = Number(text, at, 4);
  if (year < 0 || at != 4) return std::nullopt;
  f.year = static_cast<int>(year);
  f.month = 1;
  f.day = 1;
  if (at < text.size() && text[at] == '-') {
    ++at;
    f.month = static_cast<int>(Number(text, at, 2));
    if (at < text.size() && text[at] == '-') {
      ++at;
      f.day = static_cast<int>(Number(text, at, 2));
    }
  }
  if (at == text.size()) {
    f.offsetMinutes = 0; // a date alone is a day in UTC
    return Valid(f) ? std::optional(f) : std::nullopt;
  }
  if (text[at] != 'T' && text[at] != 't' && text[at] != ' ') return std::nullopt;
  ++at;
  const int clockParts = ReadClock(text, at, f);
  if (clockParts == 0) return std::nullopt;
  if (clockParts == 3) {
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
      ++at;
      const std::size_t start = at;
      long fraction = Number(text, at, 3);
      if (fraction < 0) return std::nullopt;
      for (std::size_t digits = at - start; digits < 3; ++digits)
        fraction *= 10;
      while (at < text.size() && IsDigit(text[at]))
        ++at;
      f.millis = static_cast<int>(fraction);
    }
  }
  if (at < text.size()) {
    f.offsetMinutes = ZoneOffset(text.substr(at));
    if (!f.offsetMinutes) return std::nullopt;
  }
  return Valid(f) ? std::optional(f) : std::nullopt;
}

// "2020/1/10 14:33:00", "2020/01/10": local time, as a browser reads it.
std::optional<Fields> ReadSlashed(std::string_view text) {
  Fields f;
  std::size_t at = 0;
  f.year = static_cast<int>(Number(text, at, 4));
  if (at != 4 || at >= text.size() || text[at] != '/') return std::nullopt;
  ++at;
  f.month = static_cast<int>(Number(text, at, 2));
  if (at >= text.size() || text[at] != '/') return std::nullopt;
  ++at;
  f.day = static_cast<int>(Number(text, at, 2));
  if (at < text.size()) {
    if (text[at] != ' ') return std::nullopt;
    ++at;
    if (ReadClock(text, at, f) == 0 || at != text.size()) return std::nullopt;
  }
  return Valid(f) ? std::optional(f) : std::nullopt;
}

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == ',' || c == '\n' || c == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// "Mon, 25 Apr 2005 19:39:00 GMT", "25 Apr 05 19:39 +0200", "Apr 25 2005".
std::optional<Fields> ReadRfc822(std::string_view text) {
  std::vector<std::string> words = Words(text);
  if (!words.empty() && !IsDigit(words[0][0]) && words[0].size() >= 3) {
    const std::string head = LowerAscii(words[0]).substr(0, 3);
    bool month = false;
    for (const char *name : kMonths)
      month = month || head == LowerAscii(name);
    if (!month) words.erase(words.begin()); // the day of the week
  }
  if (words.size() < 3) return std::nullopt;
  Fields f;
  std::size_t dayWord = 0;
  std::size_t monthWord = 1;
  if (!IsDigit(words[0][0])) std::swap(dayWord, monthWord); // "Apr 25 2005"
  std::size_t at = 0;
  f.day = static_cast<int>(Number(words[dayWord], at, 2));
  if (at != words[dayWord].size()) return std::nullopt;
  const std::string monthName = LowerAscii(words[monthWord]).substr(0, 3);
  for (int m = 0; m < 12; ++m)
    if (monthName == LowerAscii(kMonths[m])) f.month = m + 1;
  at = 0;
  long year = Number(words[2], at, 4);
  if (year < 0 || at != words[2].size()) return std::nullopt;
  if (at <= 2) year += year < 50 ? 2000 : 1900;
  f.year = static_cast<int>(year);
  std::size_t next = 3;
  if (next < words.size() && words[next].find(':') != std::string::npos) {
    const std::string &time = words[next++];
    at = 0;
    f.hour = static_cast<int>(Number(time, at, 2));
    if (at >= time.size() || time[at] != ':') return std::nullopt;
    ++at;
    f.minute = static_cast<int>(Number(time, at, 2));
    if (at < time.size() && time[at] == ':') {
      ++at;
      f.second = static_cast<int>(Number(time, at, 2));
    }
    if (at != time.size() || f.minute < 0 || f.second < 0) return std::nullopt;
  }
  if (next < words.size()) {
    f.offsetMinutes = ZoneOffset(words[next]);
    if (!f.offsetMinutes) return std::nullopt;
  }
  return Valid(f) ? std::optional(f) : std::nullopt;
}

std::string TwoDigits(int value) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::tm LocalTime(std::time_t seconds) {
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

// "Apr 25, 2005, 7:39 PM" (the clock and day of local time).
std::string ReadableTime(const std::tm &local) {
  const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
  return std::string(kMonths[local.tm_mon]) + " " + std::to_string(local.tm_mday) + ", " +
         std::to_string(local.tm_year + 1900) + ", " + std::to_string(hour12) + ":" + TwoDigits(local.tm_min) +
         (local.tm_hour < 12 ? " AM" : " PM");
}

} // namespace

std::optional<ReadDate> ReadFeedDate(std::string_view written) {
  const std::string text = platform::CollapseBlanks(written);
  if (text.empty()) return std::nullopt;
  std::optional<Fields> fields =
      IsDigit(text[0]) && text.size() >= 4 && IsDigit(text[3]) ? ReadIso(text) : std::nullopt;
  if (!fields && text.size() > 4 && text[4] == '/') fields = ReadSlashed(text);
  if (!fields) fields = ReadRfc822(text);
  if (!fields) return std::nullopt;
  std::tm parts{};
  parts.tm_year = fields->year - 1900;
  parts.tm_mon = fields->month - 1;
  parts.tm_mday = fields->day;
  parts.tm_hour = fields->hour;
  parts.tm_min = fields->minute;
  parts.tm_sec = fields->second;
  std::time_t seconds = 0;
  if (fields->offsetMinutes) {
    seconds = timegm(&parts) - *fields->offsetMinutes * 60;
  } else {
    parts.tm_isdst = -1;
    seconds = std::mktime(&parts);
  }
  if (seconds == static_cast<std::time_t>(-1) && fields->year != 1969) return std::nullopt;
  // The clock counts nanoseconds in 64 bits: about 1678 to 2261. A date
  // beyond is shown as written.
  constexpr std::time_t kClockRange = 9'000'000'000;
  if (seconds > kClockRange || seconds < -kClockRange) return std::nullopt;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char iso[96];
  std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour, utc.tm_min, utc.tm_sec, fields->millis);
  ReadDate date;
  date.moment = std::chrono::system_clock::from_time_t(seconds) + std::chrono::milliseconds(fields->millis);
  date.iso = iso;
  date.text = ReadableTime(LocalTime(seconds));
  return date;
}

namespace {

// ---------------------------------------------------------------- the DOM walk

bool HasClass(const XmlNode &node, std::string_view name) {
  const std::string classes = node.FindAttribute("class").value_or("");
  std::size_t start = 0;
  while (start < classes.size()) {
    std::size_t end = classes.find_first_of(" \t\n\r\f", start);
    if (end == std::string::npos) end = classes.size();
    if (std::string_view(classes).substr(start, end - start) == name) return true;
    start = end + 1;
  }
  return false;
}

std::string LocalName(const XmlNode &node) {
  const std::string name = LowerAscii(node.NodeName());
  const std::size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

// The elements at and below root that match, in document order, outermost
// only, so each may be rewritten without touching another.
std::vector<XmlNode> Elements(const XmlNode &root, const std::function<bool(const XmlNode &)> &match) {
  std::vector<XmlNode> found;
  std::function<void(const XmlNode &)> walk = [&](const XmlNode &node) {
    if (!node.IsElement()) return;
    if (match(node)) {
      found.push_back(node);
      return;
    }
    for (XmlNode child = node.FirstChild(); child; child = child.NextSibling())
      walk(child);
  };
  if (root) walk(root);
  return found;
}

std::vector<XmlNode> WithClass(const XmlNode &root, std::string_view name) {
  return Elements(root, [name](const XmlNode &n) { return HasClass(n, name); });
}

std::vector<XmlNode> Named(const XmlNode &root, std::string_view name) {
  return Elements(root, [name](const XmlNode &n) { return LocalName(n) == name; });
}

void Remove(XmlNode node) {
  if (XmlNode parent = node.ParentNode()) parent.RemoveChild(node);
}

XmlNode NewElement(XmlDocument &doc, XmlNode parent, std::string_view name, std::string_view className,
                   std::string_view text) {
  XmlNode element = doc.CreateElement(name);
  if (!className.empty()) element.SetAttribute("class", className);
  if (!text.empty()) element.SetText(text);
  return parent ? parent.AppendChild(element) : element;
}

// At most max characters, cut at a blank when one is near the end.
std::string Shorten(const std::string &text, std::size_t max) {
  std::vector<std::size_t> starts; // byte offset of every code point
  for (std::size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0U) != 0x80U) starts.push_back(i);
  if (starts.size() <= max) return text;
  std::size_t cut = max;
  for (std::size_t i = max; i > 0; --i) {
    if (text[starts[i]] == ' ') {
      if (i * 10 > max * 6) cut = i;
      break;
    }
  }
  return text.substr(0, starts[cut]) + "\u2026";
}

bool IsSafeHref(std::string_view href) {
  const std::string lower = LowerAscii(href.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0 || lower.rfind("mailto:", 0) == 0;
}

// A link's text kept, the link itself dropped.
void Unlink(XmlDocument &doc, XmlNode a) {
  XmlNode span = NewElement(doc, {}, "span", "", a.Text());
  a.ReplaceWith(span);
}

// What the report's script does to a rendered feed in the browser, done
// here: plain text, caps, readable dates, resolved links, nothing active.
void Polish(XmlDocument &doc, XmlNode root, const std::string &feedAddress) {
  for (XmlNode node : Elements(root, [](const XmlNode &n) {
         return n.FindAttribute("data-html").has_value() || n.FindAttribute("data-max").has_value();
       })) {
    const std::size_t max = std::strtoul(node.FindAttribute("data-max").value_or("0").c_str(), nullptr, 10);
    const std::string text = node.FindAttribute("data-html") ? platform::HtmlPlainText(node.Text()) : node.Text();
    node.SetText(max > 0 ? Shorten(text, max) : text);
    node.RemoveAttribute("data-html");
  }
  // Titles within their cap (the text of their link, when they have one).
  for (const char *title : {"q-item-title", "q-feed-title"})
    for (XmlNode node : WithClass(root, title)) {
      if (node.Text().size() <= kMaxTitleChars) continue;
      XmlNode target = node;
      for (XmlNode child = node.FirstChild(); child; child = child.NextSibling())
        if (child.IsElement()) target = child;
      target.SetText(Shorten(target.Text(), kMaxTitleChars));
    }
  // A summary that only repeats its headline says nothing new.
  for (XmlNode item : WithClass(root, "q-item")) {
    const auto titles = WithClass(item, "q-item-title");
    const auto summaries = WithClass(item, "q-item-summary");
    if (!titles.empty() && !summaries.empty() && titles[0].Text() == summaries[0].Text()) Remove(summaries[0]);
  }
  for (XmlNode time : Elements(root, [](const XmlNode &n) { return n.FindAttribute("data-date").has_value(); })) {
    const std::string raw = time.FindAttribute("data-date").value_or("");
    if (const std::optional<ReadDate> date = ReadFeedDate(raw)) {
      time.SetText(date->text);
      time.SetAttribute("datetime", date->iso);
      time.SetAttribute("title", raw);
    }
  }
  for (XmlNode span : Elements(
           root, [](const XmlNode &n) { return LocalName(n) == "span" && n.FindAttribute("data-link").has_value(); })) {
    std::optional<std::string> base = feedAddress;
    const std::string bases = span.FindAttribute("data-bases").value_or("");
    std::size_t start = 0;
    while (base && start < bases.size()) {
      std::size_t end = bases.find('\n', start);
      if (end == std::string::npos) end = bases.size();
      if (end > start) base = platform::ResolveUrlReference(*base, bases.substr(start, end - start));
      start = end + 1;
    }
    const std::optional<std::string> resolved =
        base ? platform::ResolveUrlReference(*base, *span.FindAttribute("data-link")) : std::nullopt;
    span.RemoveAttribute("data-link");
    span.RemoveAttribute("data-bases");
    span.RemoveAttribute("class");
    if (!resolved || !IsSafeHref(*resolved) || resolved->size() > kMaxLinkChars) continue;
    XmlNode a = NewElement(doc, {}, "a", "", span.Text());
    a.SetAttribute("href", *resolved);
    a.SetAttribute("rel", "noopener noreferrer");
    span.ReplaceWith(a);
  }
  // Nothing active, whatever the stylesheet wrote: no script, no frame, no
  // handler, no style; links only to the web and mail, within their cap.
  for (XmlNode node : Elements(root, [](const XmlNode &n) {
         const std::string name = LocalName(n);
         return name == "script" || name == "style" || name == "iframe" || name == "object" || name == "embed" ||
                name == "form" || name == "link" || name == "meta" || name == "img" || name == "base";
       }))
    Remove(node);
  std::function<void(XmlNode)> strip = [&](XmlNode node) {
    for (XmlNode child = node.FirstChild(); child; child = child.NextSibling())
      if (child.IsElement()) strip(child);
    for (const std::string &name : node.AttributeNames()) {
      const std::string lower = LowerAscii(name);
      if (lower.rfind("on", 0) == 0 || lower == "style" || lower == "src" || lower == "srcset" || lower == "action" ||
          lower == "formaction" || lower == "background")
        node.RemoveAttribute(name);
    }
  };
  strip(root);
  for (XmlNode a : Elements(root, [](const XmlNode &n) { return n.FindAttribute("href").has_value(); })) {
    const std::string href = *a.FindAttribute("href");
    if (!IsSafeHref(href) || href.size() > kMaxLinkChars) Unlink(doc, a);
  }
}

// True when an element of the subtree carries an event handler (the
// stylesheet never writes one; this is the last guard).
bool HasHandler(const XmlNode &root) {
  for (XmlNode node : Elements(root, [](const XmlNode &n) {
         for (const std::string &name : n.AttributeNames())
           if (LowerAscii(name).rfind("on", 0) == 0) return true;
         return false;
       }))
    return static_cast<bool>(node);
  return false;
}

std::string InnerHtml(const XmlNode &node) {
  std::string html;
  for (XmlNode child = node.FirstChild(); child; child = child.NextSibling())
    html += child.Html();
  return html;
}

std::string FirstHref(const XmlNode &root) {
  for (XmlNode a : Named(root, "a"))
    if (auto href = a.FindAttribute("href")) return *href;
  return "";
}

std::vector<Headline> ReadHeadlines(const XmlNode &root) {
  std::vector<Headline> headlines;
  for (XmlNode item : WithClass(root, "q-item")) {
    Headline headline;
    if (const auto titles = WithClass(item, "q-item-title"); !titles.empty()) {
      headline.title = platform::CollapseBlanks(titles[0].Text());
      headline.link = FirstHref(titles[0]);
    }
    if (const auto dates = WithClass(item, "q-item-date"); !dates.empty()) {
      headline.dateText = dates[0].Text();
      headline.date = dates[0].FindAttribute("datetime").value_or(headline.dateText);
    }
    if (const auto summaries = WithClass(item, "q-item-summary"); !summaries.empty())
      headline.summary = summaries[0].Text();
    headlines.push_back(std::move(headline));
  }
  return headlines;
}

// Puts node into parent right after its child `after` (first, when after is
// null).
void InsertAfter(XmlNode parent, XmlNode after, XmlNode node) {
  std::vector<XmlNode> following;
  bool past = !after;
  for (XmlNode child = parent.FirstChild(); child; child = child.NextSibling()) {
    if (past) following.push_back(child);
    if (child.Raw() == after.Raw()) past = true;
  }
  for (XmlNode &child : following)
    parent.RemoveChild(child);
  parent.AppendChild(node);
  for (XmlNode &child : following)
    parent.AppendChild(child);
}

// The headlines no earlier view showed: class "q-new" and a "New" mark (a
// word, not only a colour) before the title; and the feed's count of new
// headlines at the top of the box.
void MarkNew(XmlDocument &doc, XmlNode root, const ViewResult &marks, FeedBox &box) {
  std::size_t i = 0;
  for (XmlNode item : WithClass(root, "q-item")) {
    if (i < marks.isNew.size() && i < box.headlines.size() && marks.isNew[i]) {
      box.headlines[i].isNew = true;
      item.SetAttribute("class", item.FindAttribute("class").value_or("q-item") + " q-new");
      InsertAfter(item, {}, NewElement(doc, {}, "strong", "q-new-mark", "New"));
    }
    ++i;
  }
  box.newCount = marks.newCount;
  if (marks.newCount == 0) return;
  InsertAfter(root, {}, NewElement(doc, {}, "p", "q-new-count", NewHeadlinesText(marks.newCount)));
}

std::string ClockText(std::chrono::system_clock::time_point at) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
  const std::tm local = LocalTime(seconds);
  const std::tm today = LocalTime(std::time(nullptr));
  if (local.tm_year == today.tm_year && local.tm_yday == today.tm_yday)
    return TwoDigits(local.tm_hour) + ":" + TwoDigits(local.tm_min);
  return ReadableTime(local);
}

std::string StaleNote(const fetch::FeedDelivery &delivery) {
  if (!delivery.fromCache || delivery.stale == fetch::StaleReason::None || !delivery.final) return "";
  const std::string when = delivery.readAt ? " at " + ClockText(*delivery.readAt) : "";
  if (delivery.stale == fetch::StaleReason::BackingOff)
    return "Shown as last read" + when + "; the site asked to be read less often, so it is not asked again yet.";
  return "Shown as last read" + when + "; the site could not be reached just now.";
}

FeedFailure FailureOfStatus(platform::FetchStatus status) {
  switch (status) {
  case platform::FetchStatus::Unsupported: return FeedFailure::Refused;
  case platform::FetchStatus::TooLarge: return FeedFailure::TooLarge;
  case platform::FetchStatus::TimedOut: return FeedFailure::TimedOut;
  default: return FeedFailure::Unreachable;
  }
}

std::unique_ptr<XmlDocument> LoadXml(const std::string &path) {
  auto doc = std::make_unique<XmlDocument>();
  if (!doc->Load(path) || !doc->HasRoot()) throw ReportPageError("not-found", FailureText(FeedFailure::Report));
  return doc;
}

} // namespace

std::string NewHeadlinesText(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " new headline" : " new headlines");
}

// ---------------------------------------------------------------- renderer

struct HeadlinesRenderer::Impl {
  std::string reportFolder;
  std::unique_ptr<platform::XsltStylesheet> details;
};

HeadlinesRenderer::HeadlinesRenderer(std::string reportFolder, std::string stylesheetFolder)
    : impl_(std::make_unique<Impl>()) {
  impl_->reportFolder = platform::IncludeTrailingPathDelimiter(reportFolder);
  const std::string sheets =
      stylesheetFolder.empty() ? impl_->reportFolder : platform::IncludeTrailingPathDelimiter(stylesheetFolder);
  const auto sheet = LoadXml(sheets + "details.xsl");
  try {
    impl_->details = std::make_unique<platform::XsltStylesheet>(*sheet);
  } catch (const std::exception &) {
    throw ReportPageError("failed", FailureText(FeedFailure::Report));
  }
}

HeadlinesRenderer::~HeadlinesRenderer() = default;

FeedBox HeadlinesRenderer::RenderFailure(const FeedSlot &slot, FeedFailure failure) const {
  FeedBox box;
  box.slotId = slot.id;
  box.address = slot.address;
  box.failed = true;
  box.failure = failure;
  box.failureText = FailureText(failure);
  box.state = "q-failed";
  XmlDocument doc;
  XmlNode error = NewElement(doc, {}, "div", "q-error", "");
  error.SetAttribute("role", "alert");
  NewElement(doc, error, "p", "", box.failureText);
  box.html = error.Html();
  return box;
}

FeedBox HeadlinesRenderer::RenderBox(const FeedSlot &slot, const fetch::FeedDelivery &delivery,
                                     const ViewResult *marks) const {
  if (delivery.status != platform::FetchStatus::Ok) {
    FeedBox failed = RenderFailure(slot, FailureOfStatus(delivery.status));
    failed.final = delivery.final;
    return failed;
  }
  XmlDocument feed;
  if (!feed.LoadBytes(delivery.bytes) || !feed.HasRoot()) return RenderFailure(slot, FeedFailure::NotFeed);
  const std::string rootName = LocalName(feed.DocumentElement());
  if (rootName != "rss" && rootName != "rdf" && rootName != "feed" && rootName != "channel")
    return RenderFailure(slot, FeedFailure::NotFeed);
  const int cap = slot.maxItems > 0 ? slot.maxItems : static_cast<int>(kMaxFeedPageItems);
  XmlDocument rendered;
  try {
    impl_->details->Apply(feed, rendered, {{"limit", std::to_string(slot.limit)}, {"cap", std::to_string(cap)}});
  } catch (const std::exception &) {
    return RenderFailure(slot, FeedFailure::NotFeed);
  }
  XmlNode root = rendered.DocumentElement();
  if (!root || !HasClass(root, "q-feed-render")) return RenderFailure(slot, FeedFailure::NotFeed);
  Polish(rendered, root, slot.address);

  FeedBox box;
  box.slotId = slot.id;
  box.address = slot.address;
  box.final = delivery.final;
  box.state = "q-loaded";
  box.note = StaleNote(delivery);
  box.headlines = ReadHeadlines(root);
  if (marks) MarkNew(rendered, root, *marks, box);
  if (const auto titles = WithClass(root, "q-feed-title"); !titles.empty())
    box.feedTitle = platform::CollapseBlanks(titles[0].Text());
  if (const auto homes = WithClass(root, "q-feed-home"); !homes.empty()) box.feedLink = FirstHref(homes[0]);
  if (!box.note.empty()) {
    XmlNode note = NewElement(rendered, {}, "p", "q-note q-stale", box.note);
    box.html += note.Html();
  }
  if (box.headlines.empty()) NewElement(rendered, root, "p", "q-note", kEmptyFeedText);
  if (HasHandler(root)) return RenderFailure(slot, FeedFailure::NotFeed);
  box.html += root.Html();
  if (box.html.size() > kMaxBoxBytes) {
    FeedBox tooLarge = RenderFailure(slot, FeedFailure::TooLarge);
    tooLarge.final = delivery.final;
    return tooLarge;
  }
  return box;
}

namespace {

// A count slot after the link to a category the page lists, for the
// enabled feeds its index names (those inside its own categories too).
void AddCountSlot(XmlDocument &doc, XmlNode link, const std::string &reportFolder, const std::string &target,
                  std::vector<CountSlot> &counts) {
  XmlDocument index;
  if (!index.Load(reportFolder + target.substr(0, target.size() - 5) + ".xml") || !index.HasRoot()) return;
  CountSlot slot{"q-count-" + std::to_string(counts.size()), target, EnabledFeedAddresses(index.DocumentElement())};
  if (slot.feeds.empty() || !link.ParentNode()) return;
  XmlNode placeholder = NewElement(doc, {}, "small", "q-category-new", "");
  placeholder.SetAttribute("id", slot.id);
  InsertAfter(link.ParentNode(), link, placeholder);
  counts.push_back(std::move(slot));
}

// Report links made right for where the page is shown: category links from
// their folder names, links to the top from the page's depth, other page
// links kept within the report; nothing but http, https and mailto beside.
void FixLinks(XmlDocument &doc, XmlNode root, const std::string &page, const std::string &reportFolder,
              const FrameOptions &options, std::vector<CountSlot> &counts) {
  const std::string folder = Folder(page);
  const auto write = [&](const std::string &target) {
    return options.links == PageLinks::Files ? RelativeLink(page, target) : options.prefix + EncodeComponent(target);
  };
  for (XmlNode a : Elements(root, [](const XmlNode &n) { return LocalName(n) == "a" && n.FindAttribute("href"); })) {
    std::string target;
    if (const auto name = a.FindAttribute("data-folder")) {
      const std::string base = a.FindAttribute("data-root") ? "" : folder + a.FindAttribute("data-prefix").value_or("");
      target = NormaliseReportPath(base + "x");
      target = target.empty() && !base.empty() ? "" : Folder(target) + *name + "/index.html";
      if (a.FindAttribute("data-probe") && !platform::FileExists(reportFolder + Folder(target) + "index.xml")) {
        XmlNode span = NewElement(doc, {}, "span", "q-category-empty", a.Text());
        NewElement(doc, span, "small", "", std::string(" \u2013 ") + kNoCategoryText);
        a.ReplaceWith(span);
        continue;
      }
      if (!target.empty() && !a.FindAttribute("data-probe")) AddCountSlot(doc, a, reportFolder, target, counts);
    } else if (const auto top = a.FindAttribute("data-root-link")) {
      target = NormaliseReportPath(*top);
    } else {
      const std::string href = *a.FindAttribute("href");
      if (IsSafeHref(href)) {
        a.SetAttribute("rel", "noopener noreferrer");
        continue;
      }
      if (href.find(':') == std::string::npos || href.find(':') > href.find('/'))
        target = NormaliseReportPath(folder + href.substr(0, href.find_first_of("?#")));
      // A page of the report, as the stylesheet wrote it, is right as it
      // stands beside the page.
      if (!target.empty() && options.links == PageLinks::Files) continue;
    }
    if (target.empty())
      a.RemoveAttribute("href");
    else
      a.SetAttribute("href", write(target));
  }
}

} // namespace

PageFrame HeadlinesRenderer::RenderFrame(std::string_view path, const FrameOptions &options) const {
  const std::string page = NormaliseReportPath(path);
  const std::string base = page.substr(page.rfind('/') == std::string::npos ? 0 : page.rfind('/') + 1);
  const bool index = base == "index.html";
  const bool details = base.size() > 5 && base.find_first_not_of("0123456789") == base.size() - 5 &&
                       base.compare(base.size() - 5, 5, ".html") == 0;
  if (page.empty() || (!index && !details)) throw ReportPageError("bad-argument", "No such report page.");
  const std::string &reportFolder = impl_->reportFolder;
  const std::string folder = reportFolder + Folder(page);
  const std::string stem = base.substr(0, base.size() - 5);
  const std::optional<std::string> templateText = platform::ReadFileBytes(folder + base);
  if (!templateText) throw ReportPageError("not-found", FailureText(FeedFailure::Report));
  const auto source = LoadXml(folder + stem + ".xml");
  const auto sheet = LoadXml(folder + (index ? "index.xsl" : "details.xsl"));
  XmlDocument content;
  try {
    platform::TransformNodeToObject(*source, *sheet, content);
  } catch (const std::exception &) {
    throw ReportPageError("failed", FailureText(FeedFailure::Report));
  }
  XmlNode contentRoot = content.DocumentElement();
  if (!contentRoot) throw ReportPageError("failed", FailureText(FeedFailure::Report));

  PageFrame frame;
  frame.page = page;
  frame.feedPage = details;
  // The result of the stylesheet may hold several top elements (a feed
  // page's crumbs and article); they are walked under one holder.
  XmlNode holder = content.CreateElement("div");
  std::vector<XmlNode> tops;
  for (XmlNode node = contentRoot; node; node = node.NextSibling())
    tops.push_back(node);
  for (XmlNode node = contentRoot.PreviousSibling(); node; node = node.PreviousSibling())
    tops.insert(tops.begin(), node);
  for (XmlNode node : tops) {
    if (XmlNode parent = node.ParentNode()) parent.RemoveChild(node);
    holder.AppendChild(node);
  }
  FixLinks(content, holder, page, reportFolder, options, frame.counts);
  int slotNumber = 0;
  for (XmlNode slot : WithClass(holder, "q-feed-slot")) {
    FeedSlot feed;
    feed.id = "q-slot-" + std::to_string(slotNumber++);
    feed.address = slot.FindAttribute("data-src").value_or("");
    feed.limit = std::atoi(slot.FindAttribute("data-limit").value_or("0").c_str());
    slot.SetAttribute("id", feed.id);
    slot.SetAttribute("aria-busy", "true");
    frame.feeds.push_back(std::move(feed));
  }
  frame.content = InnerHtml(holder);

  const auto titleOf = [](const XmlNode &root) {
    const auto titles = Named(root, "title");
    return titles.empty() ? std::string("Quorvelle") : platform::CollapseBlanks(titles.front().Text());
  };
  XmlDocument whole;
  whole.LoadHtml(*templateText);
  if (!options.wholePage) {
    frame.title = titleOf(whole.DocumentElement());
    return frame;
  }
  XmlNode html = whole.DocumentElement();
  for (XmlNode node :
       Elements(html, [](const XmlNode &n) { return LocalName(n) == "script" || LocalName(n) == "noscript"; }))
    Remove(node);
  const auto outputs =
      Elements(html, [](const XmlNode &n) { return n.FindAttribute("id").value_or("") == "OutputResult"; });
  if (outputs.empty()) throw ReportPageError("failed", FailureText(FeedFailure::Report));
  XmlNode output = outputs.front();
  output.SetText("");
  for (XmlNode child = holder.FirstChild(); child; child = child.NextSibling())
    output.AppendChild(child.CloneNode(true));
  frame.title = titleOf(html);
  frame.html = "<!DOCTYPE html>\n" + html.Html();
  return frame;
}

} // namespace quorvelle::report
