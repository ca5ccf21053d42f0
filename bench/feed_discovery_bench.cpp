// Feed discovery over a 5 MB page, in the shapes that make it scan most:
// the feed link in the head (the usual page), no feed link at all (both
// expressions scan the whole page), a feed link only at the very end, and
// links without a title whose lazy groups run on through the body before
// they are passed over; runs of blanks. Then pages made only of title-first feed links
// without an address (500 KB, 1 MB, 5 MB), whose every match is passed over:
// the time must grow with the page, not with its square. Target: each well
// under 100 ms. Pages of unclosed elements and stray end tags, with links
// after them. `feed_discovery_bench <MB>` leaves out the adversarial pages
// larger than that many megabytes.

#include "band/core/feed_discovery.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPageSize = std::size_t{5} * 1024 * 1024;
const std::string kFeedLink =
    R"(<link rel="alternate" type="application/rss+xml" title="Example News" href="https://example.org/rss.xml">)";
const std::string kHrefFirstLink =
    R"(<link rel="alternate" type="application/rss+xml" href="https://example.org/rss.xml" title="Example News">)";
const std::string kAtomLink =
    R"(<link type="application/atom+xml" href="/atom.xml" rel="alternate" title='Example News'>)";
const std::string kUntitledLink = R"(<link rel="alternate" type="application/rss+xml" href="/untitled.xml">)";

// A body of ordinary markup: paragraphs, links with titles, line breaks.
std::string Body(std::size_t size) {
  std::string body;
  body.reserve(size + 512);
  for (int n = 0; body.size() < size; ++n) {
    body += "<p class=\"story\">Paragraph " + std::to_string(n) +
            " with some text about the news of the day, caf\xC3\xA9 and \xE6\x96\xB0\xE9\x97\xBB.\r\n"
            "<a title=\"Story " +
            std::to_string(n) + "\" href=\"/story/" + std::to_string(n) + "\">more</a></p>\r\n";
  }
  return body;
}

std::string Page(const std::string &head, const std::string &tail) {
  return "<html><head><title>Bench</title>" + head + "</head><body>" + Body(kPageSize) + tail + "</body></html>";
}

void Run(const char *name, const std::string &page, bool expectFeed) {
  std::string url;
  std::string title;
  const auto warmUp = Clock::now();
  quorvelle::FindRSSLinkInPageText(page, url, title, "https://example.org/page.html");
  // A page that takes seconds is timed once more only.
  const int kRounds = Clock::now() - warmUp > std::chrono::seconds(1) ? 1 : 5;
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = Clock::now();
    quorvelle::FindRSSLinkInPageText(page, url, title, "https://example.org/page.html");
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::printf("%-34s %6.2f MB  best of %d: %8.2f ms  %s  url=\"%s\"\n", name,
              static_cast<double>(page.size()) / 1048576.0, kRounds, best, best < 100.0 ? "ok  " : "SLOW", url.c_str());
  if (expectFeed != !url.empty()) std::printf("  unexpected result for %s\n", name);
}

// Nothing but title-first rss+xml links that lack their address.
std::string AddresslessLinks(std::size_t size) {
  const std::string link = R"(<link rel="alternate" type="application/rss+xml" title="No address">)";
  std::string page = "<html><head>";
  page.reserve(size + link.size());
  while (page.size() < size)
    page += link;
  return page;
}

} // namespace

int main(int argc, char **argv) {
  const double largest = argc > 1 ? std::atof(argv[1]) : 5.0;
  Run("feed link in the head", Page(kFeedLink, ""), true);
  Run("no feed link", Page("", ""), false);
  Run("feed link at the end", Page("", kFeedLink), true);
  Run("untitled links, href-first feed", Page(kUntitledLink + kUntitledLink, kHrefFirstLink), true);
  Run("untitled link in the head only", Page(kUntitledLink, ""), true);
  // Found by the HTML parser's pass, which reads the page up to the link.
  Run("atom link in the head", Page(kAtomLink, ""), true);
  Run("atom link at the end", Page("", kAtomLink), true);
  // Runs of blanks that the expressions' lazy parts can split in many ways:
  // one run through the whole page, and links whose title opens a run of
  // just the length that is still searched.
  Run("one 5 MB run of blanks", R"(<link rel="alternate")" + std::string(kPageSize, ' '), false);
  const std::string runLink = R"(<link rel="alternate" type="application/rss+xml" title=")" + std::string(32, ' ');
  std::string runLinks;
  while (runLinks.size() < kPageSize)
    runLinks += runLink + "x ";
  Run("links with runs of 32 blanks", runLinks, false);
  // Unclosed elements and stray end tags, which cost the HTML parser more
  // with every open element: with the feed link after them, and with
  // untitled rss+xml links the parser reads all along.
  std::string strays = "<html><head></head><body>";
  while (strays.size() < kPageSize)
    strays += "<div></x>";
  Run("<div></x> page, link at the end", strays + kAtomLink, true);
  std::string strayLinks = "<html><head></head><body>";
  while (strayLinks.size() < kPageSize)
    strayLinks += "<div></x><div></x>" + kUntitledLink;
  Run("<div></x> page with untitled links", strayLinks, true);
  for (const double megabytes : {0.5, 1.0, 5.0}) {
    if (megabytes > largest) continue;
    const std::string name = "address-less links " + std::to_string(megabytes).substr(0, 3) + " MB";
    Run(name.c_str(), AddresslessLinks(static_cast<std::size_t>(megabytes * 1024 * 1024)), false);
  }
  return 0;
}
