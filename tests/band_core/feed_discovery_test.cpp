#include "band/core/feed_discovery.h"

#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace quorvelle {
namespace {

std::pair<std::string, std::string> Discover(const std::string &page) {
  std::string url = "stale";
  std::string title = "stale";
  FindRSSLinkInPageText(page, url, title);
  return {url, title};
}

using Found = std::pair<std::string, std::string>;
const Found kNothing{"", ""};

TEST(FeedDiscoveryPatterns, AreTheTwoLinkExpressionsOf147Characters) {
  EXPECT_EQ(kRSSLinkPatternTitleFirst.size(), 147U);
  EXPECT_EQ(kRSSLinkPatternHrefFirst.size(), 147U);
  // They differ only in the order of the TITLE and HREF parts.
  const std::string_view titlePart = R"(TITLE\s*\=[\s'"]+(.+)[\s'"])";
  const std::string_view hrefPart = R"(HREF\s*\=[\s'"]+(.+)[\s'"])";
  EXPECT_TRUE(kRSSLinkPatternTitleFirst.ends_with(std::string(titlePart) + R"(\s+)" + std::string(hrefPart)));
  EXPECT_TRUE(kRSSLinkPatternHrefFirst.ends_with(std::string(hrefPart) + R"(\s+)" + std::string(titlePart)));
}

struct RealPage {
  const char *file;
  Found expected;
};

// What discovery finds in each captured page head. Pages whose feed links
// carry their attributes in another order, unquoted values, no title, or
// only atom+xml announce nothing that the expressions accept.
const RealPage kRealPages[] = {
    // rss+xml and atom+xml feeds; the first rss+xml link is offered.
    {"kde-planet-gentoo-head.html", {"https://planet.gentoo.org/rss20.xml", "Planet Gentoo"}},
    // One feed among rel="alternate" links without a type (media, app links).
    {"kde-youtube-channel-head.html",
     {"https://www.youtube.com/feeds/videos.xml?channel_id=UCtM5z2gkrGRuWd0JQMx76qA", "RSS"}},
    // The entity stays as the page text has it; the JSON feed is not rss+xml.
    {"nnw-indiestack-head.html", {"http://indiestack.com/feed/", "Indie Stack &raquo; Feed"}},
    // Unquoted attribute values: REL= must be followed by a blank or quote.
    {"nnw-inessential-head.html", kNothing},
    // rss+xml link without a title, and no later title attribute to run into.
    {"nnw-scripting-head.html", kNothing},
    // Atom first, then the rss+xml link; comments feed and service.post are atom.
    {"readability-blogger-head.html",
     {"http://siliconexposed.blogspot.com/feeds/posts/default?alt=rss", "Silicon Exposed - RSS"}},
    // href, rel, title, type: another order.
    {"readability-ebb-org-head.html", kNothing},
    // type, href, title, rel: another order.
    {"readability-heise-head.html", kNothing},
    // oEmbed alternates come first and are not rss+xml.
    {"readability-pixnet-head.html", {"http://feed.pixnet.net/blog/posts/rss/stevenhgm", "RSS 2.0"}},
    // atom+xml only.
    {"readability-v8-blog-head.html", kNothing},
};

TEST(FeedDiscoveryRealPages, EachCapturedPageGivesItsKnownFeed) {
  for (const RealPage &page : kRealPages) {
    SCOPED_TRACE(page.file);
    const std::string path = std::string(QUORVELLE_REALWORLD_DIR) + "/pages/" + page.file;
    ASSERT_TRUE(test::PathExists(path));
    EXPECT_EQ(Discover(test::ReadFile(path)), page.expected);
  }
}

TEST(FeedDiscovery, FindsTitleBeforeHrefWhateverTheLetterCase) {
  const Found news{"news.xml", "News"};
  EXPECT_EQ(Discover(R"(<html><head><link rel="alternate" type="application/rss+xml" title="News" href="news.xml">)"),
            news);
  EXPECT_EQ(Discover(R"(<HTML><HEAD><LINK REL="ALTERNATE" TYPE="APPLICATION/RSS+XML" TITLE="News" HREF="news.xml">)"),
            news);
  EXPECT_EQ(Discover(R"(<Link Rel='Alternate' Type='Application/Rss+Xml' Title='News' Href='news.xml' />)"), news);
  // Extra blanks around '=' and after '<'.
  EXPECT_EQ(
      Discover("< link  rel = \"alternate\"\ttype =\"application/rss+xml\"\n title= \"News\" href = \"news.xml\">"),
      news);
  // The title keeps its inner blanks and apostrophes; the address is not resolved.
  EXPECT_EQ(
      Discover(R"(<link rel="alternate" type="application/rss+xml" title="Bob's Daily News" href="/rss?id=1&amp;x">)"),
      Found("/rss?id=1&amp;x", "Bob's Daily News"));
  // Likewise the address, which ends the expression here.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" title="T" href="/bob's.xml">)"),
            Found("/bob's.xml", "T"));
}

TEST(FeedDiscovery, FindsHrefBeforeTitleOnlyWhenNoTitleFirstLinkExists) {
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" href="news.xml" title="News">)"),
            Found("news.xml", "News"));
  // The title ends the expression, yet it is taken whole, not up to its first blank.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" href="news.xml" title="Daily News" />)"),
            Found("news.xml", "Daily News"));
  // A title-first link anywhere wins over an earlier href-first one.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" href="b.xml" title="B">
                        <link rel="alternate" type="application/rss+xml" title="A" href="a.xml">)"),
            Found("a.xml", "A"));
  // Several title-first links: the first in document order.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" title="One" href="1.xml">
                        <link rel="alternate" type="application/rss+xml" title="Two" href="2.xml">)"),
            Found("1.xml", "One"));
}

TEST(FeedDiscovery, IgnoresOtherTypesAndOtherAttributeOrders) {
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/atom+xml" title="News" href="news.atom">)"), kNothing);
  EXPECT_EQ(Discover(R"(<link type="application/rss+xml" rel="alternate" title="News" href="news.xml">)"), kNothing);
  EXPECT_EQ(Discover(R"(<link rel="alternate" title="News" type="application/rss+xml" href="news.xml">)"), kNothing);
  EXPECT_EQ(Discover(R"(<a rel="alternate" type="application/rss+xml" title="News" href="news.xml">)"), kNothing);
  EXPECT_EQ(Discover(""), kNothing);
  EXPECT_EQ(Discover("<html><head><title>No feed</title></head><body></body></html>"), kNothing);
  EXPECT_EQ(Discover("<?xml version=\"1.0\"?><rss><channel><link>x</link></channel></rss>"), kNothing);
}

TEST(FeedDiscovery, LineBreaksInsideValuesBecomeBlanks) {
  EXPECT_EQ(Discover("<link rel=\"alternate\" type=\"application/rss+xml\" title=\"Morning\r\nNews\" href=\"m.xml\">"),
            Found("m.xml", "Morning News"));
  EXPECT_EQ(Discover("<link rel=\"alternate\" type=\"application/rss+xml\" href=\"m.xml\" title=\"Morning\nEdition\">"),
            Found("m.xml", "Morning Edition"));
}

TEST(FeedDiscovery, MatchesThatRunOutOfTheirElementArePassedOver) {
  // A feed link without a title: the lazy address group would run on to the
  // next title attribute of the page and take the markup between as address.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" href="/feed.xml">
                        <body><a title="Home" href="/">Home</a></body>)"),
            kNothing);
  // ... and with a proper feed link later, that one is found.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" href="/untitled.xml">
                        <link rel="alternate" type="application/rss+xml" href="/feed.xml" title="Feed">)"),
            Found("/feed.xml", "Feed"));
  // A link without an address must not borrow the next element's address.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" title="Feed">
                        <a title="x" href="/elsewhere">x</a>)"),
            kNothing);
  // Another attribute between href and title.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" href="/f.xml" media="all" title="F">)"),
            kNothing);
}

TEST(FeedDiscovery, NonAsciiTitlesAndIllFormedBytesAreSafe) {
  EXPECT_EQ(
      Discover("<link rel=\"alternate\" type=\"application/rss+xml\" title=\"Caf\xC3\xA9 \xE6\x96\xB0\xE9\x97\xBB\" "
               "href=\"/caf\xC3\xA9.xml\">"),
      Found("/caf\xC3\xA9.xml", "Caf\xC3\xA9 \xE6\x96\xB0\xE9\x97\xBB"));
  // Stray bytes elsewhere on the page do not disturb the search.
  EXPECT_EQ(
      Discover("\xFF\xFE<p>\x80</p><link rel=\"alternate\" type=\"application/rss+xml\" title=\"T\" href=\"t.xml\">"
               "\xC3"),
      Found("t.xml", "T"));
}

} // namespace
} // namespace quorvelle
