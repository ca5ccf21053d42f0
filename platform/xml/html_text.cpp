#include "platform/xml/html_text.h"

#include "platform/xml/xml_escape.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>

namespace quorvelle::platform {
namespace {

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string &out, std::uint32_t code) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Decodes the reference at the start of text ("&..."); the count of bytes it
// takes, 0 when it is no reference.
std::size_t DecodeReference(std::string_view text, std::string &out) {
  if (text.size() < 3) return 0;
  if (text[1] == '#') {
    const bool hex = text[2] == 'x' || text[2] == 'X';
    std::size_t at = hex ? 3 : 2;
    const std::size_t first = at;
    std::uint32_t code = 0;
    for (; at < text.size(); ++at) {
      const int digit = hex ? HexDigit(text[at]) : (text[at] >= '0' && text[at] <= '9' ? text[at] - '0' : -1);
      if (digit < 0) break;
      // Beyond the last character every further digit keeps it out of range.
      code = std::min<std::uint32_t>(code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit), 0x110000);
    }
    if (at == first) return 0;
    if (at < text.size() && text[at] == ';') ++at;
    AppendUtf8(out, code);
    return at;
  }
  // The longest entity name of HTML 4 has 8 letters; a few more are allowed for.
  constexpr std::size_t kLongestName = 32;
  std::size_t end = 1;
  while (end < text.size() && end <= kLongestName && IsAsciiAlnum(text[end]))
    ++end;
  if (end == 1 || end >= text.size() || text[end] != ';') return 0;
  const std::string name(text.substr(1, end - 1));
  const htmlEntityDesc *entity = htmlEntityLookup(reinterpret_cast<const xmlChar *>(name.c_str()));
  if (entity == nullptr) return 0;
  AppendUtf8(out, entity->value);
  return end + 1;
}

struct ParserFree {
  void operator()(htmlParserCtxtPtr context) const noexcept { htmlFreeParserCtxt(context); }
};

struct ScanState {
  const std::vector<std::string> *names = nullptr;
  const std::function<bool(const HtmlStartTag &)> *onTag = nullptr;
  htmlParserCtxtPtr context = nullptr;
  bool stopped = false;
};

std::string Lower(const char *text) {
  std::string lower = text != nullptr ? text : "";
  for (char &c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

void StartElement(void *userData, const xmlChar *name, const xmlChar **attributes) {
  auto *state = static_cast<ScanState *>(userData);
  if (state->stopped) return;
  HtmlStartTag tag;
  tag.name = Lower(reinterpret_cast<const char *>(name));
  if (std::find(state->names->begin(), state->names->end(), tag.name) == state->names->end()) return;
  for (const xmlChar **attribute = attributes; attribute != nullptr && attribute[0] != nullptr; attribute += 2) {
    const char *value = reinterpret_cast<const char *>(attribute[1]);
    tag.attributes.emplace_back(Lower(reinterpret_cast<const char *>(attribute[0])), value != nullptr ? value : "");
  }
  if (!(*state->onTag)(tag)) {
    state->stopped = true;
    xmlStopParser(state->context);
  }
}

struct PlainTextState {
  std::string text;
  int hidden = 0; // depth inside elements whose content is never shown
};

bool IsHiddenElement(const xmlChar *name) {
  const std::string lower = Lower(reinterpret_cast<const char *>(name));
  return lower == "script" || lower == "style" || lower == "noscript" || lower == "template" || lower == "iframe" ||
         lower == "object";
}

void PlainStart(void *userData, const xmlChar *name, const xmlChar ** /*attributes*/) {
  auto *state = static_cast<PlainTextState *>(userData);
  if (IsHiddenElement(name)) ++state->hidden;
}

void PlainEnd(void *userData, const xmlChar *name) {
  auto *state = static_cast<PlainTextState *>(userData);
  if (IsHiddenElement(name) && state->hidden > 0) --state->hidden;
}

void PlainCharacters(void *userData, const xmlChar *text, int length) {
  auto *state = static_cast<PlainTextState *>(userData);
  if (state->hidden == 0 && length > 0) state->text.append(reinterpret_cast<const char *>(text), length);
}

// The length of the blank character at the start of text, 0 when it is none.
std::size_t BlankAt(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char c = byte(0);
  if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') return 1;
  if (c == 0xC2 && text.size() > 1 && byte(1) == 0xA0) return 2;                    // U+00A0
  if (c == 0xE1 && text.size() > 2 && byte(1) == 0x9A && byte(2) == 0x80) return 3; // U+1680
  if (c == 0xE2 && text.size() > 2) {
    const unsigned b1 = byte(1), b2 = byte(2);
    if (b1 == 0x80 && (b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF)) return 3; // U+2000-200A, 2028, 2029, 202F
    if (b1 == 0x81 && b2 == 0x9F) return 3;                                             // U+205F
  }
  if (c == 0xE3 && text.size() > 2 && byte(1) == 0x80 && byte(2) == 0x80) return 3; // U+3000
  if (c == 0xEF && text.size() > 2 && byte(1) == 0xBB && byte(2) == 0xBF) return 3; // U+FEFF
  return 0;
}

} // namespace

std::string CollapseBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool blank = false;
  std::size_t at = 0;
  while (at < text.size()) {
    if (const std::size_t size = BlankAt(text.substr(at)); size > 0) {
      blank = !out.empty();
      at += size;
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += text[at++];
  }
  return out;
}

std::string HtmlPlainText(std::string_view html) {
  htmlSAXHandler sax{};
  sax.startElement = PlainStart;
  sax.endElement = PlainEnd;
  sax.characters = PlainCharacters;
  sax.cdataBlock = PlainCharacters;
  PlainTextState state;
  const std::unique_ptr<htmlParserCtxt, ParserFree> context(
      htmlCreatePushParserCtxt(&sax, &state, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8));
  if (!context) throw std::bad_alloc();
  // Not HTML_PARSE_NOIMPLIED: without the implied body, this libxml2 drops
  // the text that follows an element closed at the top ("<object>...</object>
  // Plain words" gave nothing). The implied elements hold no text.
  htmlCtxtUseOptions(context.get(), HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING);
  constexpr std::size_t kPiece = 1 << 20;
  std::size_t at = 0;
  do {
    const std::size_t size = std::min(kPiece, html.size() - at);
    const bool last = at + size == html.size();
    htmlParseChunk(context.get(), html.data() + at, static_cast<int>(size), last ? 1 : 0);
    at += size;
  } while (at < html.size());
  return CollapseBlanks(state.text);
}

std::string DecodeHtmlCharacterReferences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t amp = text.find('&', at);
    if (amp == std::string_view::npos) {
      out.append(text.substr(at));
      break;
    }
    out.append(text.substr(at, amp - at));
    const std::size_t taken = DecodeReference(text.substr(amp), out);
    if (taken == 0) {
      out += '&';
      at = amp + 1;
    } else {
      at = amp + taken;
    }
  }
  return out;
}

const std::string *HtmlStartTag::Attribute(std::string_view attributeName) const {
  for (const auto &[attribute, value] : attributes) {
    if (attribute == attributeName) return &value;
  }
  return nullptr;
}

namespace {

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsTagBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// Whether html holds, at 'at' (just behind a '<' or "</"), the element name
// (lower case) followed by something that ends a tag name.
bool NameAt(std::string_view html, std::size_t at, std::string_view name) {
  if (html.size() - at < name.size()) return false;
  for (std::size_t k = 0; k < name.size(); ++k)
    if (LowerChar(html[at + k]) != name[k]) return false;
  const std::size_t end = at + name.size();
  return end == html.size() || IsTagBlank(html[end]) || html[end] == '/' || html[end] == '>';
}

// Where the tag that starts at 'at' ends (behind its '>', or the end of the
// text): a '>' inside a quoted attribute value does not end it.
std::size_t TagEnd(std::string_view html, std::size_t at) {
  std::size_t k = at + 1;
  while (k < html.size()) {
    const char c = html[k];
    if (c == '>') return k + 1;
    ++k;
    if (c != '=') continue;
    while (k < html.size() && IsTagBlank(html[k]))
      ++k;
    if (k < html.size() && (html[k] == '"' || html[k] == '\'')) {
      const std::size_t close = html.find(html[k], k + 1);
      if (close == std::string_view::npos) return html.size();
      k = close + 1;
    }
  }
  return html.size();
}

// Elements whose content is text, not markup, in a browser.
constexpr std::string_view kRawTextElements[] = {"script", "style", "title", "textarea", "xmp", "noembed", "noframes"};

// The start tags of the named elements, cut from html in one pass: comments
// and the text content of raw-text elements (scripts, styles, titles) are
// passed over, as a browser's tokenizer does. Each tag is one piece.
std::vector<std::string_view> CutStartTags(std::string_view html, const std::vector<std::string> &names) {
  std::vector<std::string_view> tags;
  std::size_t at = 0;
  while ((at = html.find('<', at)) != std::string_view::npos) {
    if (html.compare(at, 4, "<!--") == 0) {
      const std::size_t close = html.find("-->", at + 4);
      if (close == std::string_view::npos) break;
      at = close + 3;
      continue;
    }
    const std::string_view *raw = nullptr;
    for (const std::string_view &name : kRawTextElements)
      if (NameAt(html, at + 1, name)) raw = &name;
    const std::string *wanted = nullptr;
    for (const std::string &name : names)
      if (NameAt(html, at + 1, name)) wanted = &name;
    if (raw == nullptr && wanted == nullptr) {
      ++at;
      continue;
    }
    const std::size_t end = TagEnd(html, at);
    if (wanted != nullptr) tags.push_back(html.substr(at, end - at));
    at = end;
    if (raw != nullptr) {
      // On to the first end tag of the same name.
      while ((at = html.find("</", at)) != std::string_view::npos && !NameAt(html, at + 2, *raw))
        at += 2;
      if (at == std::string_view::npos) break;
    }
  }
  return tags;
}

// Whether text holds needle (lower case) in any letter case.
bool HoldsAnyCase(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  for (std::size_t at = 0; at + needle.size() <= text.size(); ++at) {
    std::size_t k = 0;
    while (k < needle.size() && LowerChar(text[at + k]) == needle[k])
      ++k;
    if (k == needle.size()) return true;
  }
  return false;
}

} // namespace

void ScanHtmlStartTags(std::string_view html, const std::vector<std::string> &names,
                       const std::function<bool(const HtmlStartTag &tag)> &onTag, std::string_view mustHold) {
  htmlSAXHandler sax{};
  sax.startElement = StartElement;
  ScanState state;
  state.names = &names;
  state.onTag = &onTag;
  const std::unique_ptr<htmlParserCtxt, ParserFree> context(
      htmlCreatePushParserCtxt(&sax, &state, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8));
  if (!context) throw std::bad_alloc();
  state.context = context.get();
  // The text is decoded already: a <meta charset> must not decode it again.
  htmlCtxtUseOptions(context.get(),
                     HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC);
  // Only the wanted start tags go to the parser, inside a head of their own:
  // its time then grows with the page, whatever markup the rest holds (its
  // stack of open elements makes stray end tags cost more and more), and
  // every tag is read in the same place, however the page around it nests.
  static constexpr std::string_view kOpening = "<html><head>";
  htmlParseChunk(context.get(), kOpening.data(), static_cast<int>(kOpening.size()), 0);
  // The tags go in batches, one tag a line; bytes that are not UTF-8 become
  // U+FFFD, so the parser never switches to another decoding half way.
  constexpr std::size_t kBatch = std::size_t{64} * 1024;
  std::string batch;
  const auto parse = [&] {
    // Plain ASCII text (the usual head) needs no mending.
    const bool plain = std::all_of(batch.begin(), batch.end(), [](char c) {
      return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r';
    });
    const std::string text = plain ? std::move(batch) : XmlSafeText(batch);
    batch.clear();
    // The parser takes its input in pieces whose size fits an int.
    constexpr std::size_t kPiece = 1 << 20;
    for (std::size_t at = 0; at < text.size() && !state.stopped; at += kPiece) {
      const std::size_t size = std::min(kPiece, text.size() - at);
      htmlParseChunk(context.get(), text.data() + at, static_cast<int>(size), 0);
    }
  };
  for (const std::string_view tag : CutStartTags(html, names)) {
    if (!HoldsAnyCase(tag, mustHold)) continue;
    batch += tag;
    batch += '\n';
    if (batch.size() >= kBatch) parse();
    if (state.stopped) return;
  }
  parse();
  if (state.stopped) return;
  htmlParseChunk(context.get(), nullptr, 0, 1);
}

} // namespace quorvelle::platform
