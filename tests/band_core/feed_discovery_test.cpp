#include "band/core/feed_discovery.h"

#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quorvelle {
void PrintTo(const DiscoveredFeed &feed, std::ostream *out) { *out << '{' << feed.url << ", " << feed.title << '}'; }

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

// The first feed discovery offers in each captured page head. Links with
// their attributes in another order, unquoted values, no title, or another
// feed type than rss+xml are read by the HTML parser after the expressions.
const RealPage kRealPages[] = {
    // rss+xml and atom+xml feeds; the first rss+xml link is offered.
    {"kde-planet-gentoo-head.html", {"https://planet.gentoo.org/rss20.xml", "Planet Gentoo"}},
    // One feed among rel="alternate" links without a type (media, app links).
    {"kde-youtube-channel-head.html",
     {"https://www.youtube.com/feeds/videos.xml?channel_id=UCtM5z2gkrGRuWd0JQMx76qA", "RSS"}},
    // The character reference is decoded; the JSON feed is not rss+xml.
    {"nnw-indiestack-head.html", {"http://indiestack.com/feed/", "Indie Stack \xC2\xBB Feed"}},
    // Unquoted attribute values: not for the expressions, read by the parser.
    {"nnw-inessential-head.html", {"https://inessential.com/xml/rss.xml", "inessential.com RSS feed"}},
    // rss+xml link without a title: offered without one.
    {"nnw-scripting-head.html", {"http://scripting.com/rss.xml", ""}},
    // Atom first, then the rss+xml link; comments feed and service.post are atom.
    {"readability-blogger-head.html",
     {"http://siliconexposed.blogspot.com/feeds/posts/default?alt=rss", "Silicon Exposed - RSS"}},
    // href, rel, title, type: another order.
    {"readability-ebb-org-head.html", {"http://ebb.org/bkuhn/rss.xml", "Whole Website RSS for Bradley M. Kuhn"}},
    // type, href, title, rel: another order; the atom+xml link comes first.
    {"readability-heise-head.html", {"http://www.heise.de/mac-and-i/news-atom.xml", "Aktuelle News von Mac & i"}},
    // oEmbed alternates come first and are not rss+xml.
    {"readability-pixnet-head.html", {"http://feed.pixnet.net/blog/posts/rss/stevenhgm", "RSS 2.0"}},
    // atom+xml only, in another order; no page address, so it stays relative.
    {"readability-v8-blog-head.html", {"/blog.atom", "V8 Atom feed"}},
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
  // The title keeps its inner blanks and apostrophes; without a page address
  // the address is not resolved. Character references are decoded in both.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" title="Bob's News &amp; Views" )"
                     R"(href="/rss?id=1&amp;x">)"),
            Found("/rss?id=1&x", "Bob's News & Views"));
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

TEST(FeedDiscovery, IgnoresOtherTypesAndRssLinksInOtherAttributeOrders) {
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/json" title="News" href="news.json">)"), kNothing);
  EXPECT_EQ(Discover(R"(<link rel="stylesheet" type="application/atom+xml" title="News" href="news.atom">)"), kNothing);
  // Other attribute orders are read by the HTML parser.
  EXPECT_EQ(Discover(R"(<link type="application/rss+xml" rel="alternate" title="News" href="news.xml">)"),
            Found("news.xml", "News"));
  EXPECT_EQ(Discover(R"(<link rel="alternate" title="News" type="application/rss+xml" href="news.xml">)"),
            Found("news.xml", "News"));
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
  // next title attribute of the page and take the markup between as address;
  // the HTML parser reads the link as it is.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" href="/feed.xml">
                        <body><a title="Home" href="/">Home</a></body>)"),
            Found("/feed.xml", ""));
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
            Found("/f.xml", "F"));
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

std::vector<DiscoveredFeed> All(const std::string &page, std::string_view address = {}) {
  return DiscoverFeeds(page, address);
}

TEST(FeedDiscovery, DecodesEveryKindOfCharacterReferenceOnce) {
  const auto found =
      All(R"(<link rel="alternate" type="application/rss+xml" )"
          R"(title="&quot;A&quot; &#38; &#x42;&#X43; &eacute;&raquo; &amp;amp; &bogus; & &#0; &#x110000;" )"
          R"(href="/f?a=1&amp;b=&#50;&#x33&lt;">)");
  ASSERT_EQ(found.size(), 1U);
  EXPECT_EQ(found[0].title, "\"A\" & BC \xC3\xA9\xC2\xBB &amp; &bogus; & \xEF\xBF\xBD \xEF\xBF\xBD");
  EXPECT_EQ(found[0].url, "/f?a=1&b=23<");
  // A line break written as a reference becomes a blank too.
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" title="A&#10;B" href="f">)"),
            Found("f", "A B"));
}

TEST(FeedDiscovery, ResolvesTheAddressAgainstTheBaseOrThePageAddress) {
  const std::string link = R"(<link rel="alternate" type="application/rss+xml" title="T" href="feed.xml?a=1&amp;b=2">)";
  const std::string page = "https://news.example/section/page.html?x=1";
  EXPECT_EQ(All(link, page), (std::vector<DiscoveredFeed>{{"https://news.example/section/feed.xml?a=1&b=2", "T"}}));
  EXPECT_EQ(All(R"(<link rel="alternate" type="application/rss+xml" title="T" href="/f.xml">)", page)[0].url,
            "https://news.example/f.xml");
  EXPECT_EQ(All(R"(<link rel="alternate" type="application/rss+xml" title="T" href="//cdn.example/f">)", page)[0].url,
            "https://cdn.example/f");
  // An absolute address stays itself.
  EXPECT_EQ(
      All(R"(<link rel="alternate" type="application/rss+xml" title="T" href="http://o.example/r?s=1">)", page)[0].url,
      "http://o.example/r?s=1");
  // The first base element with an address wins over the page address; a
  // relative base is itself resolved against the page address.
  EXPECT_EQ(All("<head><base target=_top><base href='/blog/'><base href='http://other.example/'>" + link, page)[0].url,
            "https://news.example/blog/feed.xml?a=1&b=2");
  EXPECT_EQ(All(R"(<BASE HREF="http://b.example/x/&amp;/">)" + link, page)[0].url,
            "http://b.example/x/&/feed.xml?a=1&b=2");
  // A local page's links resolve to local files, which are not offered;
  // nothing to resolve against: the address as written.
  EXPECT_TRUE(All(link, "file:///home/u/My%20Pages/a.html").empty());
  EXPECT_EQ(All(link, "about:blank")[0].url, "feed.xml?a=1&b=2");
  EXPECT_EQ(All("<base href='/blog/'>" + link)[0].url, "feed.xml?a=1&b=2");
}

TEST(FeedDiscovery, OffersTheExpressionsFeedsFirstThenEveryOtherAnnouncedOne) {
  // All title-first rss+xml links, in document order, each address once;
  // then the others the page announces.
  EXPECT_EQ(All(R"(<link rel="alternate" type="application/rss+xml" title="One" href="1.xml">
                   <link rel="alternate" type="application/atom+xml" title="Atom" href="a.xml">
                   <link rel="alternate" type="application/rss+xml" title="Two" href="2.xml">
                   <link rel="alternate" type="application/rss+xml" title="One again" href="1.xml">)"),
            (std::vector<DiscoveredFeed>{{"1.xml", "One"}, {"2.xml", "Two"}, {"a.xml", "Atom"}}));
  // Without title-first links: every feed type in document order, in any
  // attribute order and quoting, rel among other words, a title or not.
  EXPECT_EQ(All("<link type=application/rdf+xml rel=alternate href=r.rdf title='RDF &amp; more'>"
                R"(<LINK HREF='a1.xml' REL="Alternate Home" TYPE=' Application/Atom+XML ' TITLE="A > B">)"
                "<link rel=alternate type=application/atom+xml href=\"a2\n.xml\">"
                R"(<link rel=alternate type=application/atom+xml title="no address">)"
                R"(<link rel=alternate type=application/rss+xml href="rss.xml">)",
                "http://e.example/p/"),
            (std::vector<DiscoveredFeed>{{"http://e.example/p/r.rdf", "RDF & more"},
                                         {"http://e.example/p/a1.xml", "A > B"},
                                         {"http://e.example/p/a2.xml", ""},
                                         {"http://e.example/p/rss.xml", ""}}));
}

TEST(FeedDiscovery, PagesOfPassedOverLinksStillFindTheFeedAfterThem) {
  // Thousands of links that each expression starts on and passes over.
  std::string page = "<html><head>";
  for (int n = 0; n < 20000; ++n)
    page += R"(<link rel="alternate" type="application/rss+xml" title="No address">)";
  EXPECT_EQ(Discover(page), kNothing);
  EXPECT_EQ(Discover(page + R"(<link rel="alternate" type="application/rss+xml" href="f.xml" title="F">)"),
            Found("f.xml", "F"));
  EXPECT_EQ(Discover(page + "<link rel='alternate' type='application/atom+xml' href='a.xml'>"), Found("a.xml", ""));
  // Long runs of blanks, which the expressions' lazy parts could split in
  // very many ways, end the search from a link but not the search for others.
  const std::string blanks(1 << 20, ' ');
  EXPECT_EQ(Discover(R"(<link rel="alternate" type="application/rss+xml" title=")" + blanks + "x\" href=" + blanks +
                     R"(<link rel="alternate" type="application/rss+xml" title="F" href="f.xml">)"),
            Found("f.xml", "F"));
}

// Inputs the fuzzer found, each with what must come of it.
TEST(FeedDiscovery, FuzzFindings) {
  const std::string address = "https://news.example/a/page.html";
  // Stray end tags after unclosed elements: the link at the end is found.
  std::string strays = "<html><head></head><body>";
  while (strays.size() < 256 * 1024)
    strays += "<div></x>";
  EXPECT_EQ(All(strays + "<link rel=alternate type=application/atom+xml href=/end.xml>", address),
            (std::vector<DiscoveredFeed>{{"https://news.example/end.xml", ""}}));
  // The page is decoded already: a charset in it decodes nothing again.
  EXPECT_EQ(All("<meta charset=\"iso-8859-1\"><link rel=alternate type=application/atom+xml "
                "title=\"Caf\xC3\xA9\" href=c.xml>"),
            (std::vector<DiscoveredFeed>{{"c.xml", "Caf\xC3\xA9"}}));
  // No <html>: links and the base after the first closed element count.
  EXPECT_EQ(
      All("<p>x</p><base href='http://b.example/f/'><link rel=alternate type=application/rss+xml href=r.xml>", address),
      (std::vector<DiscoveredFeed>{{"http://b.example/f/r.xml", ""}}));
  // Only http, https and ftp addresses with a host, never a blank one; a
  // feed: address as its http(s) twin.
  for (const char *href : {" ", "", "javascript:alert(1)", "http:f.xml", "file:///etc/passwd", "C:/x.xml",
                           "mailto:a@b.example", "feed:f.xml", "data:text/xml,<rss/>"}) {
    SCOPED_TRACE(href);
    const std::string quoted = std::string("\"") + href + "\"";
    EXPECT_TRUE(All("<link rel=alternate type=application/rss+xml title=T href=" + quoted + ">", address).empty());
    EXPECT_TRUE(
        All("<link rel=\"alternate\" type=\"application/rss+xml\" title=\"T\" href=" + quoted + ">", address).empty());
    EXPECT_TRUE(All("<link rel=alternate type=application/rss+xml title=T href=" + quoted + ">").empty());
  }
  EXPECT_EQ(All("<link rel=alternate type=application/rss+xml href=feed://f.example/r.xml>"
                "<link rel=alternate type=application/atom+xml href=feed:https://f.example/a.xml>"
                "<link rel=alternate type=application/atom+xml href=FTP://F.example/b.xml>",
                address),
            (std::vector<DiscoveredFeed>{
                {"http://f.example/r.xml", ""}, {"https://f.example/a.xml", ""}, {"ftp://F.example/b.xml", ""}}));
}

} // namespace
} // namespace quorvelle
