#pragma once
// Report requests answered while the browser goes on asking: the frame of
// the page at once, then each feed's box as the fetcher delivers it, every
// other request answered in between (answers name their request, so they
// may pass each other).
//
// A version 2 report request gets, in this order:
//   {"v": 2, "id": ..., "ok": true, "part": "frame",
//    "result": {"page", "title", "html", "boxes": <slots>}}
//   {"v": 2, "id": ..., "ok": true, "part": "box",
//    "result": {"slot": <index>, "id", "state", "html", "final": <bool>, "title"?}}
//                                                          one or more per slot
//   {"v": 2, "id": ..., "ok": true, "part": "end", "result": {"boxes": <slots>}}
// "id" names the slot element in the frame, "state" is the class it takes
// ("q-loaded" or "q-failed"), "html" its new content. A box with "final":
// false shows a kept copy that a later box for the same slot replaces;
// "title" is the feed's title when the box has its header (a feed page).
// After the slots' boxes may come one box per category the page lists, with
// "slot" past the feed slots, "state": "q-counted", "count" (its new
// headlines) and "html" the count's text ("" for none), for the element
// "id" names; "end" waits for them too. A version 1
// report request gets one answer, the whole page, when the last feed has
// arrived or the page's time limit has passed.
//
// Each feed's body is rendered and freed as it arrives: no request holds
// more than the boxes themselves.

#include "fetch/feed_fetcher.h"
#include "native_host/native_messaging.h"
#include "native_host/report_pages.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvelle::native_host {

// The browser's end of the channel, written from any thread one message at
// a time.
class AnswerChannel {
public:
  explicit AnswerChannel(int fd) : fd_(fd) {}
  // False once the browser is gone (later messages are dropped).
  bool Write(std::string_view body);

private:
  std::mutex mutex_;
  int fd_;
  bool gone_ = false;
};

struct ReportStreamOptions {
  fetch::FeedFetcherOptions fetch{};
  // Feeds that have not arrived by then are shown as "did not arrive in time".
  std::chrono::milliseconds pageTimeLimit{15000};
};

class ReportStreams {
public:
  explicit ReportStreams(AnswerChannel &channel, ReportStreamOptions options = {});
  // Cancels what still runs; no answer is sent for it.
  ~ReportStreams();
  ReportStreams(const ReportStreams &) = delete;
  ReportStreams &operator=(const ReportStreams &) = delete;

  // Answers request (a report request) with frame and its feeds, as the
  // request's version asks. Returns at once; the boxes follow from the
  // fetcher's thread.
  void Start(const Request &request, ReportFrame frame);

private:
  struct Stream;
  void StartCounts(const std::shared_ptr<Stream> &stream);
  void Deliver(Stream &stream, std::size_t source, fetch::FeedDelivery delivery);
  void TimeOut(Stream &stream);
  void Finish(Stream &stream);
  void Watch();

  AnswerChannel &channel_;
  ReportStreamOptions options_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::vector<std::shared_ptr<Stream>> active_;
  // After the state its callbacks use: destroyed (and so cancelled) first.
  fetch::FeedFetcher fetcher_;
  std::thread watcher_;
};

} // namespace quorvelle::native_host
