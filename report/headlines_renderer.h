#pragma once
// The headlines report rendered once, for every window that shows it: our
// browser, the extension's native host and the command line all call this.
//
// A page of the report tree is rendered in two steps:
// - its frame at once (RenderFrame): the page's own content as the report's
//   stylesheets make it, with one slot per feed, each slot carrying an id
//   ("q-slot-<n>"), its feed's address and the loading state (a
//   ".q-loading" paragraph), and the list of feeds to fetch;
// - then each feed's box (RenderBox), from the feed's bytes or from its
//   failure, as each feed arrives.
//
// A box is inert: no script, no event handler, no style, links only for
// http, https and mailto (relative ones resolved against the feed's address
// and the xml:base in force), text a feed declares as HTML reduced to its
// plain text, titles, summaries and links shortened to their caps, a feed
// page held to kMaxFeedPageItems items. A box over kMaxBoxBytes shows that
// one feed as "This feed is too large to be shown."; nothing else of the
// page is touched. Dates read the same in every window ("Apr 25, 2005,
// 7:39 PM", local time), with the moment in ISO form beside them.
//
// Feed bytes come from fetch::FeedFetcher; a kept copy shown in place of the
// site's answer says so in its box. No Qt here.

#include "fetch/feed_fetcher.h"
#include "report/seen_items.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvelle::report {

// ---- failure texts: the one set every window shows

enum class FeedFailure {
  Unreachable, // the site could not be reached, or failed
  HttpError,   // a direct request (report outside our browser) got an HTTP error
  NotFeed,     // what came back is no RSS, RDF or Atom feed
  Outside,     // the report was opened in another browser
  Refused,     // not an http, https or ftp address
  TooLarge,    // the feed, or its box, is over its budget
  TimedOut,    // the feed did not arrive in time
  Report,      // a file of the report itself could not be read
};

struct FailureTextEntry {
  FeedFailure failure;
  const char *key;  // the name ReportErrors.js gives the text
  const char *text; // HttpError's holds "%s" for the status
};
// Every failure text, in the order of the enum.
const std::vector<FailureTextEntry> &FailureTexts();
// The text shown for failure; status fills HttpError's "%s".
std::string FailureText(FeedFailure failure, int status = 0);

inline constexpr const char *kEmptyFeedText = "The feed has no headlines at the moment.";
inline constexpr const char *kNoCategoryText = "No feeds yet";

// ---- budgets, per box

inline constexpr std::size_t kMaxTitleChars = 300;                   // an item's or a feed's title
inline constexpr std::size_t kMaxSummaryChars = 280;                 // an item's summary
inline constexpr std::size_t kMaxDescriptionChars = 400;             // a feed's description
inline constexpr std::size_t kMaxLinkChars = 2048;                   // a link longer than this is not linked
inline constexpr std::size_t kMaxFeedPageItems = 500;                // items on a feed page
inline constexpr std::size_t kMaxBoxBytes = std::size_t{256} * 1024; // the HTML of one box

// The text a count of new headlines is shown with: "1 new headline", "3 new
// headlines".
std::string NewHeadlinesText(std::size_t count);

// ---- the frame

// How links between report pages are written.
enum class PageLinks {
  Files,     // relative file links, as the report folder holds them (our browser)
  Parameter, // "<prefix><percent-encoded page path>" (the extension's page)
};

struct FrameOptions {
  PageLinks links = PageLinks::Files;
  std::string prefix = "report.html?page=";
  // False leaves PageFrame::html empty (a caller that places content into
  // the page it already shows).
  bool wholePage = true;
};

struct FeedSlot {
  std::string id;      // "q-slot-<n>", unique in its page
  std::string address; // the feed's address as listed
  // Items the box shows: 3 in a list of feeds, 0 for a feed page (all of
  // them, up to kMaxFeedPageItems, with the feed's header).
  int limit = 0;
  // With limit 0: at most this many items (0: kMaxFeedPageItems).
  int maxItems = 0;
};

// A place on a page for the count of new headlines of a category it links
// to: an empty element with that id ("q-count-<n>"), which takes the
// count's text once it is known (nothing is shown for none).
struct CountSlot {
  std::string id;
  std::string page;               // the category's page ("News/index.html")
  std::vector<std::string> feeds; // its enabled feeds, those of the categories inside it too, each once
};

struct PageFrame {
  std::string page; // the page's path inside the report, normalised ("News/index.html")
  bool feedPage = false;
  std::string title; // the page's title (a feed page's gets the feed's title in front once known)
  // The content of the page's OutputResult element: every slot in its
  // loading state.
  std::string content;
  // The whole page: its template with content in place and no script.
  std::string html;
  std::vector<FeedSlot> feeds;
  // The categories the page lists (not the links to every other category).
  std::vector<CountSlot> counts;
};

// A page that is not there or cannot be read: code "bad-argument" (no such
// page, a path leaving the report) or "not-found" / "failed" (message is
// FailureText(FeedFailure::Report)).
class ReportPageError : public std::runtime_error {
public:
  ReportPageError(std::string code, const std::string &message) : std::runtime_error(message), code_(std::move(code)) {}
  [[nodiscard]] const std::string &Code() const { return code_; }

private:
  std::string code_;
};

// "a/./b/../c.html" -> "a/c.html"; "" for a path that leaves the top or is
// absolute.
std::string NormaliseReportPath(std::string_view path);

// ---- the box

struct Headline {
  std::string title;    // plain text, shortened
  std::string link;     // "" when the item has no http, https or mailto link
  std::string date;     // the moment in ISO form ("2005-04-25T19:39:00.000Z"), else the date as written
  std::string dateText; // the date as shown ("Apr 25, 2005, 7:39 PM"), "" when the item has none
  std::string summary;  // plain text, shortened, "" when none or it repeats the title
  bool isNew = false;   // no earlier view showed it (marked "New" in the box)
};

struct FeedBox {
  std::string slotId;
  std::string address;
  bool failed = false;
  FeedFailure failure = FeedFailure::Unreachable; // when failed
  std::string failureText;                        // when failed
  bool final = true;                              // false for an early kept copy that a later box replaces
  std::string state;                              // the slot's class once placed: "q-loaded" or "q-failed"
  std::string html;                               // the slot's new content
  std::string feedTitle;                          // from the feed's header (feed pages and RenderFeed), else ""
  std::string feedLink;                           // the feed's site, "" when none
  std::string note; // "Shown as last read at 10:42; ..." for a kept copy shown instead, else ""
  std::vector<Headline> headlines;
  std::size_t newCount = 0; // new headlines the feed holds, shown or not
};

// The readable form of a date as feeds write it (RFC 822 or ISO 8601), in
// local time: "Apr 25, 2005, 7:39 PM"; nullopt when it does not read as a date.
struct ReadDate {
  std::chrono::system_clock::time_point moment;
  std::string iso;  // "2005-04-25T19:39:00.000Z"
  std::string text; // "Apr 25, 2005, 7:39 PM"
};
std::optional<ReadDate> ReadFeedDate(std::string_view written);

class HeadlinesRenderer {
public:
  // reportFolder: the report tree ("…/headlines/"); its stylesheets are the
  // ones the pages use. stylesheetFolder: where details.xsl is read from
  // when it differs (the installation folder, for a renderer without a
  // report, as the command line has); "" uses reportFolder. Throws
  // ReportPageError when details.xsl cannot be read.
  explicit HeadlinesRenderer(std::string reportFolder, std::string stylesheetFolder = {});
  ~HeadlinesRenderer();
  HeadlinesRenderer(const HeadlinesRenderer &) = delete;
  HeadlinesRenderer &operator=(const HeadlinesRenderer &) = delete;

  // The frame of the page at path ("index.html", "News/index.html",
  // "News/3.html"). Throws ReportPageError.
  [[nodiscard]] PageFrame RenderFrame(std::string_view path, const FrameOptions &options = {}) const;

  // The box of slot from what the fetcher delivered. Safe from any thread.
  // With marks (what a view judged of the feed's items, in feed order), each
  // new headline gets the class "q-new" and a "New" mark, and the box says
  // how many new headlines the feed holds.
  [[nodiscard]] FeedBox RenderBox(const FeedSlot &slot, const fetch::FeedDelivery &delivery,
                                  const ViewResult *marks = nullptr) const;
  // The box of a feed that failed without a delivery (a page's time limit).
  [[nodiscard]] FeedBox RenderFailure(const FeedSlot &slot, FeedFailure failure) const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace quorvelle::report
