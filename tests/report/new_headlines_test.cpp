// The count of new headlines over the collected real-world feeds, read the
// way the background check reads them (the feed fetcher from a loopback
// server): a feed served again unchanged has nothing new; republished with
// one item added it has exactly one, also with its items in another order or
// its dates rewritten.

#include "fetch/feed_fetcher.h"
#include "platform/xml/xslt.h"
#include "report/headlines_renderer.h"
#include "report/item_identity.h"
#include "report/new_headlines.h"
#include "report/seen_items.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quorvelle::report {
namespace {

// Republishes a feed: items in reverse order, dates rewritten, and a copy of
// the first item with its id, link and title changed put in front.
constexpr const char *kRepublish = R"xsl(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:param name="reverse" select="'0'"/>
  <xsl:param name="redate" select="'0'"/>
  <xsl:param name="add" select="'0'"/>
  <xsl:template match="@*|node()"><xsl:copy><xsl:apply-templates select="@*|node()"/></xsl:copy></xsl:template>
  <xsl:template match="*[*[local-name()='item' or local-name()='entry']]">
    <xsl:variable name="items" select="*[local-name()='item' or local-name()='entry']"/>
    <xsl:copy>
      <xsl:apply-templates select="@*|node()[count(.|$items) != count($items)]"/>
      <xsl:if test="$add = '1'"><xsl:apply-templates select="$items[1]" mode="added"/></xsl:if>
      <xsl:for-each select="$items">
        <xsl:sort select="position()" data-type="number" order="{substring('ascendingdescending', 1 + 9 * $reverse, 9 + ($reverse * 1))}"/>
        <xsl:apply-templates select="."/>
      </xsl:for-each>
    </xsl:copy>
  </xsl:template>
  <xsl:template match="*[local-name()='pubDate' or local-name()='date' or local-name()='published' or local-name()='updated' or local-name()='issued' or local-name()='modified']">
    <xsl:copy>
      <xsl:choose>
        <xsl:when test="$redate = '1'">Mon, 01 Jan 2001 00:00:00 GMT</xsl:when>
        <xsl:otherwise><xsl:apply-templates select="@*|node()"/></xsl:otherwise>
      </xsl:choose>
    </xsl:copy>
  </xsl:template>
  <xsl:template match="@*|node()" mode="added"><xsl:copy><xsl:apply-templates select="@*|node()" mode="added"/></xsl:copy></xsl:template>
  <xsl:template match="*[local-name()='guid' or local-name()='id' or local-name()='link' or local-name()='title' or local-name()='description' or local-name()='summary']" mode="added">
    <xsl:copy><xsl:apply-templates select="@*" mode="added"/><xsl:value-of select="."/>#added</xsl:copy>
  </xsl:template>
  <xsl:template match="@*[local-name()='href' or local-name()='about']" mode="added">
    <xsl:attribute name="{name()}" namespace="{namespace-uri()}"><xsl:value-of select="."/>#added</xsl:attribute>
  </xsl:template>
</xsl:stylesheet>
)xsl";

std::string Republish(const std::string &bytes, bool reverse, bool redate, bool add) {
  platform::XmlDocument source;
  platform::XmlDocument sheet;
  EXPECT_TRUE(source.LoadBytes(bytes));
  EXPECT_TRUE(sheet.LoadXML(kRepublish));
  return platform::TransformNode(
      source, sheet, {{"reverse", reverse ? "1" : "0"}, {"redate", redate ? "1" : "0"}, {"add", add ? "1" : "0"}});
}

TEST(NewHeadlines, RealFeedsRepublishedCountExactlyTheItemAdded) {
  test::IsolatedUser user;
  test::LoopbackHttpServer server;
  fetch::FeedFetcher fetcher;
  std::size_t covered = 0;
  for (const auto &entry : std::filesystem::directory_iterator(QUORVELLE_REALWORLD_DIR "/feeds")) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    const std::string original = test::ReadFile(entry.path().string());
    const std::vector<std::string> identities = ItemIdentities(original);
    if (identities.empty()) continue; // not a feed, or one without items
    ++covered;
    // Items told apart only by title and date are other items once their
    // dates change: what a reader can tell of them.
    std::size_t dated = 0;
    for (const ItemFields &fields : ReadItemFields(original))
      dated += fields.id.empty() && fields.link.empty() && !fields.date.empty() ? 1 : 0;
    const std::string path = "/" + name;
    const std::string url = server.Url(path);
    auto serve = [&](std::string body) {
      test::HttpResponse answer{200, "application/xml", std::move(body)};
      answer.headers.push_back({"Cache-Control", "no-cache"});
      server.Route(path, answer);
    };
    auto countNow = [&] {
      SeenItems seen;
      const NewCount count = CountNewHeadlines(fetcher, {url}, seen, std::chrono::seconds(20));
      EXPECT_EQ(count.unread, 0u);
      return count.total;
    };
    {
      // The first view: nothing is new, everything is now seen.
      SeenItems view;
      const ViewResult first = view.View(url, identities, Mark::Yes, 3);
      EXPECT_FALSE(first.known);
      EXPECT_EQ(first.newCount, 0u);
      view.Commit();
    }
    serve(original);
    EXPECT_EQ(countNow(), 0u) << "served again unchanged";
    serve(Republish(original, false, false, false));
    EXPECT_EQ(countNow(), 0u) << "re-serialised";
    serve(Republish(original, true, false, false));
    EXPECT_EQ(countNow(), 0u) << "reordered";
    serve(Republish(original, false, false, true));
    EXPECT_EQ(countNow(), 1u) << "one item added";
    serve(Republish(original, true, false, true));
    EXPECT_EQ(countNow(), 1u) << "one item added, order changed";
    serve(Republish(original, true, true, true));
    EXPECT_EQ(countNow(), 1u + dated) << "one item added, order changed, dates rewritten";
  }
  EXPECT_GE(covered, 12u);
}

// A view marks in its box exactly the headlines no earlier view showed, with
// the class, the word "New" and the feed's count; a start page's box shows
// three, so the rest stay new for the feed's page.
TEST(NewHeadlines, ViewsMarkInTheirBoxesWhatNoEarlierViewShowed) {
  test::IsolatedUser user;
  const HeadlinesRenderer renderer(std::string(QUORVELLE_SOURCE_DIR) + "/data/");
  const std::string original = test::ReadFile(QUORVELLE_REALWORLD_DIR "/feeds/kde-heise-atom10.xml");
  const std::string url = "http://heise.example/atom";
  const FeedSlot startPage{"q-slot-0", url, 3, 0};
  const FeedSlot feedPage{"q-slot-0", url, 0, 0};
  auto view = [&](const FeedSlot &slot, const std::string &bytes, Mark mark) {
    SeenItems seen;
    fetch::FeedDelivery delivery;
    delivery.status = platform::FetchStatus::Ok;
    delivery.bytes = bytes;
    FeedBox box = RenderViewedBox(renderer, seen, slot, delivery, mark);
    seen.Commit();
    return box;
  };
  auto newTitles = [](const FeedBox &box) {
    std::vector<std::string> titles;
    for (const Headline &headline : box.headlines)
      if (headline.isNew) titles.push_back(headline.title);
    return titles;
  };
  auto count = [](const std::string &html, const std::string &what) {
    std::size_t n = 0;
    for (std::size_t at = html.find(what); at != std::string::npos; at = html.find(what, at + 1))
      ++n;
    return n;
  };
  const FeedBox first = view(startPage, original, Mark::Yes);
  ASSERT_FALSE(first.failed) << first.failureText;
  EXPECT_EQ(first.newCount, 0u);
  EXPECT_EQ(count(first.html, "q-new"), 0u) << "the first view marks nothing new";

  // Two items added in front: both shown, marked and counted; looking again
  // without marking shows the same.
  const std::string once = Republish(original, false, false, true);
  const std::string twice = Republish(once, false, false, true);
  const FeedBox peek = view(startPage, twice, Mark::No);
  const FeedBox second = view(startPage, twice, Mark::Yes);
  for (const FeedBox *box : {&peek, &second}) {
    EXPECT_EQ(box->newCount, 2u);
    EXPECT_EQ(newTitles(*box).size(), 2u);
    EXPECT_EQ(count(box->html, "class=\"q-item q-new\""), 2u) << box->html;
    EXPECT_EQ(count(box->html, ">New</strong>"), 2u);
    EXPECT_NE(box->html.find("2 new headlines"), std::string::npos);
  }
  EXPECT_FALSE(newTitles(second)[0].starts_with("New")) << "the mark is not part of the title";
  EXPECT_EQ(view(startPage, twice, Mark::Yes).newCount, 0u) << "seen once shown";

  // Reordered so that the new ones are not among the three shown: they stay
  // new for the feed page, which shows them.
  const std::string added = Republish(Republish(twice, false, false, true), true, false, false);
  const FeedBox start = view(startPage, added, Mark::Yes);
  EXPECT_EQ(start.newCount, 1u);
  EXPECT_TRUE(newTitles(start).empty());
  const FeedBox page = view(feedPage, added, Mark::Yes);
  EXPECT_EQ(page.newCount, 1u);
  ASSERT_EQ(newTitles(page).size(), 1u);
  EXPECT_EQ(view(feedPage, added, Mark::Yes).newCount, 0u);
}

} // namespace
} // namespace quorvelle::report
