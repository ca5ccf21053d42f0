#include "native_host/report_stream.h"

#include "report/new_headlines.h"
#include "support/debug_log.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

namespace quorvelle::native_host {
namespace {

using nlohmann::json;

std::string Part(const Request &request, const char *part, const json &result) {
  return json{{"v", request.version}, {"id", request.id}, {"ok", true}, {"part", part}, {"result", result}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

report::FeedBox SafeBox(const ReportFrame &frame, std::size_t slot, const fetch::FeedDelivery *delivery,
                        report::SeenItems &seen) {
  report::FeedBox box;
  try {
    box = RenderBox(frame, slot, delivery, seen);
  } catch (const std::exception &) {
    // Even a box that cannot be made keeps its place: the failure box.
    box = frame.renderer->RenderFailure(frame.page.feeds[slot], report::FeedFailure::Report);
  }
  box.headlines.clear(); // the page shows the box's markup only
  return box;
}

json BoxResult(std::size_t slot, report::FeedBox box) {
  json result{{"slot", slot},
              {"id", std::move(box.slotId)},
              {"state", std::move(box.state)},
              {"html", std::move(box.html)},
              {"final", box.final}};
  if (!box.feedTitle.empty()) result["title"] = std::move(box.feedTitle);
  return result;
}

// Records what the view showed as seen; a failure is the error guard's log
// line (the page has been shown all the same).
void RecordSeen(report::SeenItems &seen) {
  if (seen.HasPendingMarks()) Guard("TReportStreams.RecordSeen", [&] { seen.Commit(); });
}

} // namespace

bool AnswerChannel::Write(std::string_view body) {
  const std::lock_guard lock(mutex_);
  if (gone_) return false;
  if (!WriteFrame(fd_, body)) gone_ = true;
  return !gone_;
}

struct ReportStreams::Stream {
  Request request;
  ReportFrame frame;
  // What this view showed: committed when the stream finishes, or when it
  // goes away unfinished (the browser closed the port).
  report::SeenItems seen;
  std::vector<std::string> sources;              // each address once
  std::vector<std::vector<std::size_t>> slotsOf; // per source, its slots
  std::vector<fetch::FeedFetcher::Id> ids;
  std::vector<bool> shown;   // a box was sent for the source
  std::vector<bool> settled; // its final delivery came
  std::size_t open = 0;
  std::vector<report::FeedBox> boxes; // version 1: the page's boxes, by slot
  std::chrono::steady_clock::time_point deadline;
  bool finished = false;
  std::mutex mutex;
  // The counts of the categories the page lists (version 2); last, so it
  // calls back no more before the rest goes.
  std::unique_ptr<report::NewHeadlinesCounter> counter;

  Stream() = default;
  Stream(const Stream &) = delete;
  Stream &operator=(const Stream &) = delete;
  ~Stream() { RecordSeen(seen); }
};

ReportStreams::ReportStreams(AnswerChannel &channel, ReportStreamOptions options)
    : channel_(channel), options_(options), fetcher_(options.fetch), watcher_([this] { Watch(); }) {}

ReportStreams::~ReportStreams() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  watcher_.join();
}

void ReportStreams::Start(const Request &request, ReportFrame frame) {
  auto stream = std::make_shared<Stream>();
  stream->request = request;
  stream->frame = std::move(frame);
  const report::PageFrame &page = stream->frame.page;
  std::map<std::string, std::size_t> index;
  for (std::size_t slot = 0; slot < page.feeds.size(); ++slot) {
    const auto [at, added] = index.try_emplace(page.feeds[slot].address, stream->sources.size());
    if (added) {
      stream->sources.push_back(page.feeds[slot].address);
      stream->slotsOf.emplace_back();
    }
    stream->slotsOf[at->second].push_back(slot);
  }
  const std::size_t count = stream->sources.size();
  stream->ids.assign(count, 0);
  stream->shown.assign(count, false);
  stream->settled.assign(count, false);
  const bool counting = request.version != kProtocolVersion && !page.counts.empty();
  stream->open = count + (counting ? page.counts.size() : 0);
  if (request.version == kProtocolVersion) stream->boxes.assign(page.feeds.size(), {});
  stream->deadline = std::chrono::steady_clock::now() + options_.pageTimeLimit;

  if (request.version != kProtocolVersion) {
    std::string first =
        Part(request, "frame",
             {{"page", page.page}, {"title", page.title}, {"html", page.html}, {"boxes", page.feeds.size()}});
    if (first.size() > kMaxMessageBytes) {
      channel_.Write(ErrorAnswer(request.id, {"too-large", "This report page is larger than the browser accepts.",
                                              request.id, request.version}));
      return;
    }
    channel_.Write(first);
  }
  {
    const std::lock_guard lock(mutex_);
    active_.push_back(stream);
  }
  changed_.notify_all();
  if (stream->open == 0) {
    const std::lock_guard lock(stream->mutex);
    Finish(*stream);
    return;
  }
  // Not under the stream's lock: a download refused at once is delivered
  // inside Start.
  for (std::size_t source = 0; source < count; ++source) {
    const fetch::FeedFetcher::Id id = fetcher_.Start(
        stream->sources[source], fetch::FetchMode::Normal,
        [this, stream, source](fetch::FeedDelivery delivery) { Deliver(*stream, source, std::move(delivery)); });
    const std::lock_guard lock(stream->mutex);
    stream->ids[source] = id;
  }
  if (counting) StartCounts(stream);
}

// The stream owns its counter, so the counter holds it only weakly; while
// a count is placed the stream is held, and let go after its lock. Not
// under the stream's lock, for a count made at once.
void ReportStreams::StartCounts(const std::shared_ptr<Stream> &stream) {
  std::vector<std::vector<std::string>> groups;
  for (const report::CountSlot &slot : stream->frame.page.counts)
    groups.push_back(slot.feeds);
  auto counter = std::make_unique<report::NewHeadlinesCounter>(
      fetcher_, groups, stream->seen,
      [this, weak = std::weak_ptr<Stream>(stream)](std::size_t group, const report::GroupCount &count) {
        const std::shared_ptr<Stream> target = weak.lock();
        if (!target) return;
        const std::lock_guard lock(target->mutex);
        if (target->finished) return;
        const report::CountSlot &slot = target->frame.page.counts[group];
        channel_.Write(Part(target->request, "box",
                            {{"slot", target->frame.page.feeds.size() + group},
                             {"id", slot.id},
                             {"state", "q-counted"},
                             {"count", count.newCount},
                             {"html", count.newCount == 0 ? std::string() : report::NewHeadlinesText(count.newCount)},
                             {"final", true}}));
        if (--target->open == 0) Finish(*target);
      });
  const std::lock_guard lock(stream->mutex);
  stream->counter = std::move(counter);
}

void ReportStreams::Deliver(Stream &stream, std::size_t source, fetch::FeedDelivery delivery) {
  const std::lock_guard lock(stream.mutex);
  if (stream.finished || stream.settled[source]) return;
  const bool final = delivery.final;
  for (const std::size_t slot : stream.slotsOf[source]) {
    report::FeedBox box = SafeBox(stream.frame, slot, &delivery, stream.seen);
    if (stream.request.version == kProtocolVersion)
      stream.boxes[slot] = std::move(box);
    else
      channel_.Write(Part(stream.request, "box", BoxResult(slot, std::move(box))));
  }
  stream.shown[source] = true;
  // The body is not kept past its boxes.
  delivery = {};
  if (!final) return;
  stream.settled[source] = true;
  if (--stream.open == 0) Finish(stream);
}

void ReportStreams::TimeOut(Stream &stream) {
  // The counts first, with what has arrived: they take the stream's lock.
  report::NewHeadlinesCounter *counter = nullptr;
  {
    const std::lock_guard lock(stream.mutex);
    counter = stream.counter.get();
  }
  if (counter != nullptr) counter->Settle();
  const std::lock_guard lock(stream.mutex);
  if (stream.finished) return;
  for (std::size_t source = 0; source < stream.sources.size(); ++source) {
    if (stream.settled[source]) continue;
    fetcher_.Cancel(stream.ids[source]);
    // A kept copy already shown stays; a feed with nothing shows that it
    // did not arrive.
    if (stream.shown[source]) continue;
    for (const std::size_t slot : stream.slotsOf[source]) {
      report::FeedBox box = SafeBox(stream.frame, slot, nullptr, stream.seen);
      if (stream.request.version == kProtocolVersion)
        stream.boxes[slot] = std::move(box);
      else
        channel_.Write(Part(stream.request, "box", BoxResult(slot, std::move(box))));
    }
  }
  Finish(stream);
}

// With the stream's lock held.
void ReportStreams::Finish(Stream &stream) {
  stream.finished = true;
  // Before the answer: a view the browser asks for next judges against it.
  RecordSeen(stream.seen);
  const Request &request = stream.request;
  if (request.version != kProtocolVersion) {
    channel_.Write(Part(request, "end", {{"boxes", stream.frame.page.feeds.size()}}));
  } else {
    std::string title;
    std::string html = AssemblePage(stream.frame, stream.boxes, title);
    stream.boxes.clear();
    std::string answer = OkAnswer(request.id, {{"page", stream.frame.page.page}, {"title", title}, {"html", html}});
    if (answer.size() > kMaxMessageBytes)
      answer = ErrorAnswer(request.id, {"too-large", "The answer would be larger than the browser accepts (1 MiB).",
                                        request.id, request.version});
    channel_.Write(answer);
  }
  {
    const std::lock_guard lock(mutex_);
    std::erase_if(active_, [&](const std::shared_ptr<Stream> &s) { return s.get() == &stream; });
  }
  changed_.notify_all();
}

void ReportStreams::Watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::shared_ptr<Stream>> due;
    auto next = std::chrono::steady_clock::time_point::max();
    for (const auto &stream : active_) {
      if (stream->deadline <= now)
        due.push_back(stream);
      else
        next = std::min(next, stream->deadline);
    }
    if (!due.empty()) {
      // Each stream's own lock is taken without this one held.
      lock.unlock();
      for (const auto &stream : due)
        TimeOut(*stream);
      lock.lock();
      continue;
    }
    if (next == std::chrono::steady_clock::time_point::max())
      changed_.wait(lock);
    else
      changed_.wait_until(lock, next);
  }
}

} // namespace quorvelle::native_host
