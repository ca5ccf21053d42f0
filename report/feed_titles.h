#pragma once
// Reading a feed's title, with the reason when there is none: the add feed
// dialog keeps its one message, the command line says why.

#include <string>
#include <string_view>

namespace quorvelle {

enum class TitleProblem {
  None,         // a title was read
  Skipped,      // a media or download file, never fetched for a title
  NotAnAddress, // not an http, https or ftp address
  RefusedPort,  // on a port downloads refuse (one of another protocol)
  Unreachable,  // no answer from the server (name, connection, network)
  HttpStatus,   // the server answered with an error status
  TimedOut,     // the download did not finish in time
  TooLarge,     // the download was larger than downloads may be
  NotAFeed,     // empty, not XML, or XML that is no RSS, RDF or Atom feed
  NoTitle,      // a feed, but no title in it
};

struct FeedTitle {
  std::string title; // "" unless problem is None
  TitleProblem problem = TitleProblem::None;
  long httpStatus = 0; // HttpStatus only
};

// The title in a feed document's bytes. First the two exact passes: down
// the first-child chain from the document element to "channel" and its
// first "title" child, then a "title" child of the document element. When
// they find none, the document is read namespace-aware: the first channel
// element below the document element (comments and processing instructions
// passed over) and its first title, else the document element's first
// title, each in no namespace or a feed's own (RSS 0.9, RSS 1.0, Atom 0.3
// and 1.0), so prefixed names count and dc:title does not. The bytes decode
// by their byte-order mark and encoding declaration.
FeedTitle ReadFeedTitle(std::string_view bytes);

// Downloads url (raw bytes, through the installed download client) and
// reads its title; an address ending in a media or download extension is
// not downloaded. A failure is logged as "TRSSFeedOptions.GetFeedTitleFromURL"
// (a failed download or a body that is no feed is no failure).
FeedTitle FetchFeedTitle(const std::string &url);

// One line saying why no title was read ("" for None).
std::string TitleProblemText(const FeedTitle &result);

} // namespace quorvelle
