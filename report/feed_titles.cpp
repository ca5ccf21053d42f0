// The title of a feed, read from the feed itself: the add feed dialog fills
// in or checks a feed's title with it.

#include "report/feed_titles.h"

#include "feeds/feed_store.h"
#include "platform/codepage/text_case.h"
#include "platform/inet/inet_client.h"
#include "support/debug_log.h"

#include <array>

namespace quorvelle {

namespace {

// Media and download files: an address ending in one of these is never
// downloaded for its title.
constexpr std::array<std::string_view, 21> kSkippedExtensions = {
    ".avi", ".mpeg", ".mpg", ".mp3", ".mp2", ".mp4", ".ogg", ".rm",  ".wmv", ".aac", ".png",
    ".jpg", ".tiff", ".pdf", ".doc", ".zip", ".rar", ".exe", ".msi", ".chm", ".mov"};

// The text from the last full stop, provided no backslash or colon follows it.
std::string ExtensionOf(const std::string &address) {
  const std::size_t pos = address.find_last_of(".\\:");
  if (pos == std::string::npos || address[pos] != '.') {
    return {};
  }
  return address.substr(pos);
}

// A title's text is read up to this size (entities declared by the document
// are followed within fixed bounds).
constexpr std::size_t kMaxTitleBytes = std::size_t{64} * 1024;

// The text of the first child element named "title", "" when there is none.
std::string FirstTitleChild(platform::XmlNode parent) {
  for (platform::XmlNode child = parent.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.NodeName() == "title") {
      return child.BoundedText(kMaxTitleBytes);
    }
  }
  return {};
}

// Namespaces whose channel and title elements are a feed's own.
constexpr std::array<std::string_view, 7> kFeedNamespaces = {"",
                                                             "http://my.netscape.com/rdf/simple/0.9/",
                                                             "http://purl.org/rss/1.0/",
                                                             "http://www.w3.org/2005/Atom",
                                                             "http://purl.org/atom/ns#",
                                                             "http://backend.userland.com/rss2",
                                                             "http://blogs.law.harvard.edu/tech/rss"};

bool IsFeedElement(platform::XmlNode node, std::string_view localName) {
  if (!node.IsElement() || node.LocalName() != localName) return false;
  const std::string ns = node.NamespaceUri();
  for (const std::string_view feedNamespace : kFeedNamespaces)
    if (ns == feedNamespace) return true;
  return false;
}

platform::XmlNode FirstFeedChild(platform::XmlNode parent, std::string_view localName) {
  for (platform::XmlNode child = parent.FirstChild(); !child.IsNull(); child = child.NextSibling())
    if (IsFeedElement(child, localName)) return child;
  return {};
}

// The document elements of RSS (0.91 to 2.0), RDF (RSS 0.9 and 1.0) and Atom.
bool IsFeedRoot(platform::XmlNode root) {
  const std::string name = root.LocalName();
  return name == "rss" || name == "feed" || name == "channel" ||
         (name == "RDF" && root.NamespaceUri() == "http://www.w3.org/1999/02/22-rdf-syntax-ns#");
}

} // namespace

FeedTitle ReadFeedTitle(std::string_view bytes) {
  FeedTitle result;
  if (bytes.empty()) {
    result.problem = TitleProblem::NotAFeed;
    return result;
  }
  // The bytes are parsed as XML, so the byte-order mark and the encoding
  // declaration decide how they read.
  platform::XmlDocument document;
  document.LoadBytes(bytes);
  platform::XmlNode root = document.DocumentElement();
  if (root.IsNull()) {
    result.problem = TitleProblem::NotAFeed;
    return result;
  }
  // Channel pass: down the first-child chain to "channel" (RSS, RDF).
  platform::XmlNode node = root;
  while (!node.IsNull() && node.NodeName() != "channel") {
    node = node.FirstChild();
  }
  if (!node.IsNull()) {
    result.title = FirstTitleChild(node);
  }
  // Root pass: a title directly below the document element (Atom).
  if (result.title.empty()) {
    result.title = FirstTitleChild(root);
  }
  // By namespace and local name, past comments before the channel.
  if (result.title.empty() && IsFeedRoot(root)) {
    platform::XmlNode channel = IsFeedElement(root, "channel") ? root : FirstFeedChild(root, "channel");
    if (!channel.IsNull()) {
      if (platform::XmlNode title = FirstFeedChild(channel, "title"); !title.IsNull())
        result.title = title.BoundedText(kMaxTitleBytes);
    }
    if (result.title.empty()) {
      if (platform::XmlNode title = FirstFeedChild(root, "title"); !title.IsNull())
        result.title = title.BoundedText(kMaxTitleBytes);
    }
  }
  if (result.title.empty()) result.problem = IsFeedRoot(root) ? TitleProblem::NoTitle : TitleProblem::NotAFeed;
  return result;
}

namespace {

FeedTitle FetchFeedTitleUnguarded(const std::string &url) {
  FeedTitle result;
  const std::string extension = platform::LowerCase(ExtensionOf(url));
  for (const std::string_view skipped : kSkippedExtensions) {
    if (extension == skipped) {
      result.problem = TitleProblem::Skipped;
      return result;
    }
  }
  // Raw bytes, so a UTF-16 feed keeps its NUL bytes.
  platform::FetchResult download = platform::Inet().FetchBytes(url);
  switch (download.status) {
  case platform::FetchStatus::Ok: return ReadFeedTitle(download.bytes);
  case platform::FetchStatus::Unsupported:
    result.problem = platform::IsAllowedPort(url) ? TitleProblem::NotAnAddress : TitleProblem::RefusedPort;
    break;
  case platform::FetchStatus::TooLarge: result.problem = TitleProblem::TooLarge; break;
  case platform::FetchStatus::TimedOut: result.problem = TitleProblem::TimedOut; break;
  case platform::FetchStatus::Failed:
    result.problem = download.httpStatus >= 400 ? TitleProblem::HttpStatus : TitleProblem::Unreachable;
    result.httpStatus = download.httpStatus;
    break;
  }
  return result;
}

} // namespace

FeedTitle FetchFeedTitle(const std::string &url) {
  FeedTitle result;
  Guard("TRSSFeedOptions.GetFeedTitleFromURL", [&] { result = FetchFeedTitleUnguarded(url); });
  if (result.title.empty() && result.problem == TitleProblem::None) result.problem = TitleProblem::NotAFeed;
  return result;
}

std::string TitleProblemText(const FeedTitle &result) {
  switch (result.problem) {
  case TitleProblem::None: return {};
  case TitleProblem::Skipped: return "The address names a media or download file, which is not read for a title.";
  case TitleProblem::NotAnAddress: return "The address is not an http, https or ftp address.";
  case TitleProblem::RefusedPort: return "The address names a port that downloads refuse (one of another protocol).";
  case TitleProblem::Unreachable: return "The server could not be reached.";
  case TitleProblem::HttpStatus:
    return "The server answered with HTTP status " + std::to_string(result.httpStatus) + ".";
  case TitleProblem::TimedOut: return "The download timed out.";
  case TitleProblem::TooLarge: return "The download is larger than a feed may be.";
  case TitleProblem::NotAFeed: return "The address does not answer with an RSS, RDF or Atom feed.";
  case TitleProblem::NoTitle: return "The feed has no title.";
  }
  return {};
}

void TRSSFeedOptions::GetFeedTitleFromURL(const std::string &url, std::string &title) {
  title.clear();
  title = FetchFeedTitle(url).title;
}

} // namespace quorvelle
