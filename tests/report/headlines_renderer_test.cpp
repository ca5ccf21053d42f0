// The one headlines renderer: its failure texts are the ones the report's
// script shows, its boxes stay within their budgets whatever a feed holds,
// and a kept copy says what it is.

#include "report/headlines_renderer.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>

namespace quorvelle {
namespace {

std::string DataFolder() { return std::string(QUORVELLE_SOURCE_DIR) + "/data/"; }

fetch::FeedDelivery Delivered(std::string bytes) {
  fetch::FeedDelivery delivery;
  delivery.status = platform::FetchStatus::Ok;
  delivery.bytes = std::move(bytes);
  return delivery;
}

std::string Rss(const std::string &items) {
  return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>T</title><link>http://t.example/</link>" + items +
         "</channel></rss>";
}

// One set of texts: the page's script (for a report opened elsewhere) holds
// each of them word for word under the same name.
TEST(HeadlinesRenderer, FailureTextsAreTheOnesTheReportScriptShows) {
  const std::string script = test::ReadFile(DataFolder() + "ReportErrors.js");
  ASSERT_EQ(report::FailureTexts().size(), 8U);
  for (const report::FailureTextEntry &entry : report::FailureTexts()) {
    EXPECT_NE(script.find(std::string(entry.key) + ": '" + entry.text + "'"), std::string::npos) << entry.key;
  }
  EXPECT_NE(script.find(std::string("empty: '") + report::kEmptyFeedText + "'"), std::string::npos);
  EXPECT_EQ(report::FailureText(report::FeedFailure::HttpError, 404),
            "The site answered with an error (404) instead of the feed. The address may have changed.");

  const report::HeadlinesRenderer renderer(DataFolder());
  const report::FeedSlot slot{"q-slot-0", "http://t.example/feed", 3, 0};
  const struct {
    platform::FetchStatus status;
    report::FeedFailure failure;
  } fetches[] = {{platform::FetchStatus::Failed, report::FeedFailure::Unreachable},
                 {platform::FetchStatus::TimedOut, report::FeedFailure::TimedOut},
                 {platform::FetchStatus::TooLarge, report::FeedFailure::TooLarge},
                 {platform::FetchStatus::Unsupported, report::FeedFailure::Refused}};
  for (const auto &fetch : fetches) {
    fetch::FeedDelivery delivery;
    delivery.status = fetch.status;
    const report::FeedBox box = renderer.RenderBox(slot, delivery);
    EXPECT_TRUE(box.failed);
    EXPECT_EQ(box.state, "q-failed");
    EXPECT_NE(box.html.find(report::FailureText(fetch.failure)), std::string::npos) << box.html;
  }
  for (const char *notFeed : {"<html><body>page</body></html>", "<rss><channel>", "<opml/>"}) {
    EXPECT_EQ(renderer.RenderBox(slot, Delivered(notFeed)).failure, report::FeedFailure::NotFeed) << notFeed;
  }
}

// Limits hold per box: huge titles are shortened, a feed of many items shows
// the cap, a box that would still be too big shows only that feed as too
// large; and a kept copy shown instead of the site's answer says so.
TEST(HeadlinesRenderer, BoxesStayWithinTheirBudgets) {
  const report::HeadlinesRenderer renderer(DataFolder());
  const report::FeedSlot page{"q-slot-1", "http://t.example/feed", 0, 0};
  const std::string huge(400 * 1024, 'x');
  std::string items;
  for (int i = 0; i < 3; ++i)
    items += "<item><title>" + huge + "</title><link>http://t.example/" + std::to_string(i) + "</link></item>";
  report::FeedBox box = renderer.RenderBox(page, Delivered(Rss(items)));
  ASSERT_FALSE(box.failed) << box.failureText;
  ASSERT_EQ(box.headlines.size(), 3U);
  EXPECT_LE(box.headlines[0].title.size(), report::kMaxTitleChars * 3 + 3);
  EXPECT_EQ(box.headlines[2].link, "http://t.example/2");

  items.clear();
  for (int i = 0; i < 60000; ++i)
    items += "<item><title>Item " + std::to_string(i) + "</title><link>http://t.example/" + std::to_string(i) +
             "</link><pubDate>Mon, 25 Apr 2005 19:39:00 GMT</pubDate></item>";
  box = renderer.RenderBox(page, Delivered(Rss(items)));
  ASSERT_FALSE(box.failed) << box.failureText;
  EXPECT_EQ(box.headlines.size(), report::kMaxFeedPageItems);
  EXPECT_LE(box.html.size(), report::kMaxBoxBytes);
  EXPECT_EQ(box.headlines[0].date, "2005-04-25T19:39:00.000Z");

  // Summaries of their full cap on every item overflow the box.
  items.clear();
  const std::string words = [] {
    std::string text;
    for (int i = 0; i < 100; ++i)
      text += "word" + std::to_string(i) + " ";
    return text;
  }();
  for (int i = 0; i < 500; ++i)
    items += "<item><title>" + std::string(report::kMaxTitleChars, 'y') + std::to_string(i) +
             "</title><link>http://t.example/" + std::string(1000, 'z') + "</link><description>" + words +
             "</description></item>";
  box = renderer.RenderBox(page, Delivered(Rss(items)));
  EXPECT_TRUE(box.failed);
  EXPECT_EQ(box.failureText, "This feed is too large to be shown.");

  fetch::FeedDelivery kept = Delivered(Rss("<item><title>Kept</title></item>"));
  kept.fromCache = true;
  kept.stale = fetch::StaleReason::Unreachable;
  kept.readAt = std::chrono::system_clock::now();
  box = renderer.RenderBox(page, kept);
  EXPECT_NE(box.note.find("Shown as last read at "), std::string::npos) << box.note;
  EXPECT_NE(box.note.find("the site could not be reached just now."), std::string::npos);
  EXPECT_NE(box.html.find(box.note), std::string::npos);
  kept.stale = fetch::StaleReason::BackingOff;
  EXPECT_NE(renderer.RenderBox(page, kept).note.find("the site asked"), std::string::npos);
}

TEST(HeadlinesRenderer, DatesReadTheSameWhateverTheFeedWrites) {
  setenv("TZ", "UTC", 1);
  tzset();
  for (const char *written : {"Mon, 25 Apr 2005 19:39:00 GMT", "25 Apr 2005 21:39:00 +0200", "2005-04-25T19:39:00Z",
                              "2005-04-25T15:39:00-04:00", "Mon, 25 Apr 05 12:39:00 PDT"}) {
    const auto date = report::ReadFeedDate(written);
    ASSERT_TRUE(date) << written;
    EXPECT_EQ(date->iso, "2005-04-25T19:39:00.000Z") << written;
    EXPECT_EQ(date->text, "Apr 25, 2005, 7:39 PM") << written;
  }
  EXPECT_EQ(report::ReadFeedDate("2005-04-25")->text, "Apr 25, 2005, 12:00 AM");
  for (const char *junk : {"", "soon", "2005-13-01", "32 Apr 2005"})
    EXPECT_FALSE(report::ReadFeedDate(junk)) << junk;
}

} // namespace
} // namespace quorvelle
