// quorvelle headlines: the report's content in a terminal. Every enabled
// feed (of one category, or of the whole list) is fetched side by side
// through the feed fetcher, as the windows fetch them, and each is printed as
// it arrives, rendered by the same renderer the report pages use.

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "feeds/feed_store.h"
#include "fetch/feed_fetcher.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"
#include "platform/files/file_io.h"
#include "report/headlines_renderer.h"
#include "report/new_headlines.h"
#include "report/seen_items.h"

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

namespace quorvelle::cli {
namespace {

struct ListedFeed {
  std::string url;
  std::string title;
  std::string category;
};

void CollectEnabled(const XmlNode &category, std::vector<ListedFeed> &feeds) {
  for (const XmlNode &feed : category.ChildElements("Quorvelle_Feed")) {
    if (platform::LowerCase(feed.FindAttribute("enabled").value_or("")) != "true") continue;
    feeds.push_back({feed.FindAttribute("src").value_or(""),
                     platform::DecodeStoredText(feed.FindAttribute("title").value_or("")), CategoryName(category)});
  }
}

// The fetcher's limits for one feed: those our browser gives a report page.
fetch::FeedFetcherOptions FetchOptions() {
  fetch::FeedFetcherOptions options;
  options.download.maxBytes = std::size_t{32} * 1024 * 1024;
  options.download.deadline = std::chrono::seconds(30);
  options.download.responseTimeout = std::chrono::seconds(30);
  options.download.timeLimit = std::chrono::seconds(30);
  options.perHostLimit = 6;
  return options;
}

nlohmann::json FeedJson(const ListedFeed &feed, const report::FeedBox &box) {
  nlohmann::json out = {{"version", 1},
                        {"url", feed.url},
                        {"title", box.feedTitle.empty() ? feed.title : box.feedTitle},
                        {"category", feed.category},
                        {"ok", !box.failed}};
  if (box.failed) {
    out["error"] = box.failureText;
    return out;
  }
  out["link"] = box.feedLink;
  out["note"] = box.note;
  out["new"] = box.newCount;
  out["items"] = nlohmann::json::array();
  for (const report::Headline &item : box.headlines)
    out["items"].push_back({{"title", item.title},
                            {"link", item.link},
                            {"date", item.date},
                            {"summary", item.summary},
                            {"new", item.isNew}});
  return out;
}

std::string FeedText(const ListedFeed &feed, const report::FeedBox &box) {
  const std::string title = box.feedTitle.empty() ? (feed.title.empty() ? feed.url : feed.title) : box.feedTitle;
  std::string text = OneLine(title) + "  <" + feed.url + ">\n";
  if (!box.note.empty()) text += "  (" + box.note + ")\n";
  if (box.headlines.empty()) text += std::string("  ") + report::kEmptyFeedText + "\n";
  for (const report::Headline &item : box.headlines) {
    text += "  * " + OneLine(item.title) + "\n";
    std::string details = item.dateText;
    if (!item.link.empty()) details += (details.empty() ? "" : "  ") + item.link;
    if (!details.empty()) text += "    " + details + "\n";
  }
  return text;
}

} // namespace

int Headlines(const std::optional<std::string> &category, int limit, bool json, HeadlinesShown shown) {
  FeedList list;
  if (!list.Open()) return kFailed;
  TRSSFeedOptions &store = list.Store();
  std::vector<ListedFeed> feeds;
  if (category) {
    const XmlNode found = list.Category(*category);
    if (!found) {
      PrintError("No category named \"" + *category + "\"");
      return kFailed;
    }
    CollectEnabled(found, feeds);
  } else {
    const XmlNode container = store.CategoriesContainer();
    CollectEnabled(container, feeds);
    for (const XmlNode &node : container.ChildElements("Quorvelle_Category"))
      CollectEnabled(node, feeds);
  }
  if (feeds.empty()) {
    PrintError(category ? "The category has no enabled feeds" : "The list has no enabled feeds");
    return kFailed;
  }
  const std::string install = platform::IncludeTrailingPathDelimiter(store.AppPath);
  std::unique_ptr<report::HeadlinesRenderer> renderer;
  try {
    renderer = std::make_unique<report::HeadlinesRenderer>(install + "headlines/", install);
  } catch (const report::ReportPageError &) {
    PrintError("The installation folder \"" + store.AppPath + "\" has no readable details.xsl");
    return kFailed;
  }

  // Every run is a view: what it prints counts as seen, except for a peek.
  const report::Mark mark = shown == HeadlinesShown::NewPeek ? report::Mark::No : report::Mark::Yes;
  const bool onlyNew = shown != HeadlinesShown::All;
  report::SeenItems seen;
  const std::set<std::string> listed = report::ListedFeedAddresses(store.CategoriesContainer());

  std::mutex mutex;
  std::condition_variable arrived;
  std::size_t open = feeds.size();
  bool anyFailed = false;
  {
    // Destroyed before the state its deliveries write goes.
    fetch::FeedFetcher fetcher(FetchOptions());
    for (std::size_t i = 0; i < feeds.size(); ++i) {
      report::FeedSlot slot{"q-slot-" + std::to_string(i), feeds[i].url, 0, limit > 0 ? limit : 0};
      const ListedFeed &feed = feeds[i];
      fetcher.Start(feed.url, fetch::FetchMode::Normal, [&, slot, feed](fetch::FeedDelivery delivery) {
        // A terminal cannot take back what it printed: only the final answer.
        if (!delivery.final) return;
        report::FeedBox box = report::RenderViewedBox(*renderer, seen, slot, delivery, mark);
        if (onlyNew) std::erase_if(box.headlines, [](const report::Headline &item) { return !item.isNew; });
        const std::lock_guard lock(mutex);
        if (onlyNew && !box.failed && box.headlines.empty()) {
          // Nothing new in this feed: nothing printed.
        } else if (json) {
          std::cout << FeedJson(feed, box).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        } else if (!box.failed) {
          std::cout << FeedText(feed, box) << '\n';
        }
        std::cout.flush();
        if (box.failed) {
          anyFailed = true;
          PrintError((feed.title.empty() ? feed.url : feed.title + " <" + feed.url + ">") + ": " + box.failureText);
        }
        --open;
        arrived.notify_all();
      });
    }
    std::unique_lock lock(mutex);
    arrived.wait(lock, [&] { return open == 0; });
  }
  try {
    seen.Commit(listed);
  } catch (const std::exception &error) {
    PrintError(std::string("The headlines shown could not be recorded as seen: ") + error.what());
    return kFailed;
  }
  return anyFailed ? kFailed : kDone;
}

} // namespace quorvelle::cli
