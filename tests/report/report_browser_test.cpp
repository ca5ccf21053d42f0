// The generated report opened in a real browser (chromium, headless): the
// report tree and the feeds come from one loopback server, and the rendered
// DOM is checked for every feed's headlines, the per-feed failure texts and
// the harmlessness of a hostile feed.

#include "platform/xml/xml_document.h"
#include "report/headlines_renderer.h"
#include "tests/helpers/child_process.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/report/report_fixture.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace quorvelle {
namespace {

namespace fs = std::filesystem;

std::string FindChromium() {
  for (const char *name : {"chromium", "chromium-browser"}) {
    if (std::optional<std::string> found = test::FindProgram(name)) return *found;
  }
  return {};
}

// Runs chromium headless with the extra arguments; its standard output goes
// to outputFile. False when it could not be started or did not finish in time.
bool RunChromium(const std::string &chromium, const std::string &profile, const std::vector<std::string> &extra,
                 const std::string &outputFile) {
  std::vector<std::string> args = {"--headless",
                                   "--no-sandbox",
                                   "--disable-gpu",
                                   "--disable-quic",
                                   "--no-first-run",
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--disable-sync",
                                   "--user-data-dir=" + profile,
                                   "--allow-file-access-from-files",
                                   "--disable-features=GenerateXSLTWarningBanner",
                                   "--virtual-time-budget=8000"};
  args.insert(args.end(), extra.begin(), extra.end());
  test::ChildOptions options;
  options.stdoutFile = outputFile;
  options.stderrToNull = true;
  options.timeLimit = std::chrono::seconds(90);
  return test::RunChild(chromium, args, options) == 0;
}

// A feed written to attack the page that shows it.
constexpr const char *kHostileFeed = R"FEED(<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0"><channel>
<title>Hostile &lt;script&gt;document.documentElement.setAttribute('pwned','y'+'es')&lt;/script&gt;Feed</title>
<link>javascript:document.documentElement.setAttribute('pwned','y'+'es')</link>
<item><title>&lt;img src=x onerror="document.documentElement.setAttribute('pwned','y'+'es')"&gt;Bold &lt;b&gt;claim&lt;/b&gt;</title>
<link>javascript:document.documentElement.setAttribute('pwned','y'+'es')</link>
<description>&lt;script&gt;document.documentElement.setAttribute('pwned','y'+'es')&lt;/script&gt;&lt;p onclick="x()"&gt;Plain summary&lt;/p&gt;&lt;iframe src="javascript:parent.document.documentElement.setAttribute('pwned','y'+'es')"&gt;&lt;/iframe&gt;</description></item>
<item><title><![CDATA[<script>document.documentElement.setAttribute('pwned','y'+'es')</script>Second one]]></title><link>  JaVaScRiPt:alert(1)</link></item>
<item><title>Relative link</title><link>/relative/path</link></item>
<item><title>Safe link</title><link>https://safe.example/a?b=1&amp;c=2</link>
<description>Markup &lt;b&gt;bold&lt;/b&gt; &amp;amp; more</description></item>
</channel></rss>
)FEED";

// Small feeds for what the pages take from a feed: which link is the page,
// what is text and what is HTML.
constexpr const char *kAtomLinksFeed = R"FEED(<?xml version="1.0" encoding="UTF-8"?>
<feed xmlns="http://www.w3.org/2005/Atom"><title>Atom links</title>
<link rel="self" href="http://site.example/feed.atom"/>
<link rel="alternate" type="application/rss+xml" href="http://site.example/rss"/>
<link rel="alternate" type="text/html" href="http://site.example/"/>
<entry><title type="text">Use &lt;div&gt; for layout</title>
<link rel="replies" href="http://site.example/comments/1"/><link rel="alternate" href="http://site.example/post/1"/>
<summary>5 &lt; 6 and x&lt;y</summary></entry>
<entry><title type="html">Bold &lt;b&gt;two&lt;/b&gt;</title>
<link rel="edit" href="http://site.example/edit/2"/><link href="http://site.example/post/2"/></entry>
<entry><title>Only replies</title><link rel="replies" href="http://site.example/comments/3"/></entry>
</feed>
)FEED";
constexpr const char *kRssSelfFeed = R"FEED(<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0" xmlns:atom="http://www.w3.org/2005/Atom"><channel><title>RSS with self</title>
<atom:link rel="self" type="application/rss+xml" href="http://rss.example/feed.xml"/>
<link>http://rss.example/</link><description>About it</description>
<item><title>5 &lt; 6 and x&lt;y</title><link>http://rss.example/1</link>
<description>Some &lt;b&gt;bold&lt;/b&gt; text</description></item>
</channel></rss>
)FEED";

// First headline of each collected feed the report can show.
struct ShownFeed {
  const char *file;
  const char *headline; // as it appears in the DOM
};
const ShownFeed kShownFeeds[] = {
    {"kde-heise-atom10.xml", "Was war. Was wird."},
    {"kde-inhabitat-rss20.xml", "ELASTIC CO."},
    {"kde-pro-linux-rss091.xml", "Mainsoft und IBM wollen Portierung auf Linux unterst\xC3\xBCtzen"},
    {"kde-schockwellenreiter-rss092.xml", "P\xC3\xA4uschen (auf der Rixdorfer B\xC3\xBChne)"},
    {"kde-security-debian-rss10.xml", "DSA-1008 kdegraphics - buffer overflow"},
    {"kde-slashdot-rss10.xml", "First 500 Terabytes Transmitted via LHCGlobal Grid"},
    {"kde-tagesschau-rss090.xml", "Aktionstag: Zehntausende demonstrieren in Frankreich"},
    {"kde-tbray-nested-xmlbase-atom10.xml", "Rent-seeking for Nomads"},
    {"kde-wordpress2-atom03.xml", "Some title"},
    {"feedparser-rss10-prefixed-no-default-ns.xml", "Test Item - RSS 1.0 no Default NS"},
    {"rsparser-kc0011-gb2312-rss20.xml", "\xE5\xBB\xBA\xE5\x9B\xBD"
                                         "35\xE5\x91\xA8\xE5\xB9\xB4\xE7\xBA\xAA\xE5\xBF\xB5"},
};

std::string ContentType(const std::string &path) {
  if (path.ends_with(".html")) return "text/html; charset=utf-8";
  if (path.ends_with(".js")) return "text/javascript; charset=utf-8";
  return "application/xml";
}

// The rendered content of the report page: the OutputResult element.
std::string Output(const std::string &dom) {
  const std::size_t at = dom.find("id=\"OutputResult\"");
  if (at == std::string::npos) return {};
  const std::size_t end = dom.find("</main>", at);
  return dom.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

class ReportInBrowser : public ::testing::Test {
protected:
  void SetUp() override {
    chromium = FindChromium();
    if (chromium.empty()) {
      GTEST_SKIP() << "chromium is not installed: the report pages were not checked in a browser";
    }
    const std::string feeds = std::string(QUORVELLE_REALWORLD_DIR) + "/feeds/";
    for (const auto &entry : fs::directory_iterator(feeds)) {
      server.RouteFile("/feeds/" + entry.path().filename().string(), entry.path().string(), "application/xml");
    }
    server.Route("/feeds/hostile.xml", {200, "application/xml", kHostileFeed});
    server.Route("/feeds/atom-links.xml", {200, "application/xml", kAtomLinksFeed});
    server.Route("/feeds/rss-self.xml", {200, "application/xml", kRssSelfFeed});
    server.Route("/feeds/page.html", {200, "text/html", "<!DOCTYPE html><html><body><p>Just a page</p></body></html>"});

    // Every collected feed, for the renderer checked against the browser.
    std::string every;
    for (const auto &entry : fs::directory_iterator(feeds)) {
      every += Feed(server.Url("/feeds/" + entry.path().filename().string()), entry.path().filename().string());
    }
    std::string world;
    for (const ShownFeed &feed : kShownFeeds) {
      world += Feed(server.Url(std::string("/feeds/") + feed.file), feed.file);
    }
    world += Feed(server.Url("/feeds/down.xml"), "Down") + Feed(server.Url("/feeds/page.html"), "Not a feed") +
             Feed("http://127.0.0.1:1/elsewhere.xml", "Elsewhere");
    env.UseList("<Quorvelle_Feeds><Quorvelle_Categories>" + Feed(server.Url("/feeds/kde-heise-atom10.xml"), "heise") +
                Feed(server.Url("/feeds/hostile.xml"), "") + Feed(server.Url("/feeds/atom-links.xml"), "atom") +
                Feed(server.Url("/feeds/rss-self.xml"), "rss") +
                "<Quorvelle_Category name=\"World\" description=\"\">" + world +
                "</Quorvelle_Category><Quorvelle_Category name=\"Every\" description=\"\">" + every +
                "</Quorvelle_Category><Quorvelle_Category name=\"Empty\" description=\"\"/>" + Category("index.html") +
                Category("News") + Category("News") + "<Quorvelle_Category name=\"Outer\" description=\"\">" +
                Category("Inner") + "</Quorvelle_Category></Quorvelle_Categories></Quorvelle_Feeds>");
    ASSERT_NE(env.store.GenerateXML(), "");
    for (const auto &entry : fs::recursive_directory_iterator(env.Report())) {
      if (entry.is_regular_file()) {
        const std::string rel = fs::relative(entry.path(), env.Report()).string();
        server.RouteFile("/report/" + rel, entry.path().string(), ContentType(rel));
        // Folders of changed names hold a blank and brackets, which the pages
        // ask for percent-encoded.
        std::string encoded;
        for (const char c : rel) {
          encoded += c == ' ' ? "%20" : c == '[' ? "%5B" : c == ']' ? "%5D" : std::string(1, c);
        }
        if (encoded != rel) server.RouteFile("/report/" + encoded, entry.path().string(), ContentType(rel));
      }
    }
  }

  // A category holding one small feed.
  std::string Category(const std::string &name) {
    return "<Quorvelle_Category name=\"" + name + "\" description=\"\">" +
           Feed(server.Url("/feeds/rss-self.xml"), name) + "</Quorvelle_Category>";
  }

  static std::string Feed(const std::string &src, const std::string &title) {
    return "<Quorvelle_Feed src=\"" + src + "\" enabled=\"true\" title=\"" + title + "\"/>";
  }

  std::string Dom(const std::string &page) {
    const std::string out = env.Temp() + "/dom.html";
    test::TempDir profile;
    EXPECT_TRUE(RunChromium(chromium, profile.Path(), {"--dump-dom", server.Url("/report/" + page)}, out)) << page;
    return test::PathExists(out) ? test::ReadFile(out) : "";
  }

  std::string chromium;
  test::ReportInstall env;
  test::LoopbackHttpServer server;
};

TEST_F(ReportInBrowser, CategoryPageShowsEveryFeedsHeadlinesAndExplainsFailuresInPlace) {
  const std::string dom = Output(Dom("World/index.html"));
  ASSERT_NE(dom, "");
  for (const ShownFeed &feed : kShownFeeds) {
    EXPECT_NE(dom.find(feed.headline), std::string::npos) << feed.file;
  }
  EXPECT_NE(dom.find("The site answered with an error (404)"), std::string::npos);
  EXPECT_NE(dom.find("what came back is not a news feed"), std::string::npos);
  EXPECT_NE(dom.find("This page was opened in another browser"), std::string::npos);
  // Navigation: every other category; one without feeds is not a link.
  EXPECT_NE(dom.find("aria-current=\"page\">World<"), std::string::npos);
  EXPECT_NE(dom.find("q-category-empty\">Empty"), std::string::npos) << dom;
  EXPECT_EQ(dom.find("Loading headlines"), std::string::npos) << "every slot was filled";
}

TEST_F(ReportInBrowser, StartPageListsCategoriesAndGeneralFeeds) {
  const std::string dom = Output(Dom("index.html"));
  ASSERT_NE(dom, "");
  EXPECT_NE(dom.find("href=\"World/index.html\">World</a>"), std::string::npos) << dom;
  EXPECT_NE(dom.find("href=\"1.html\">heise</a>"), std::string::npos);
  EXPECT_NE(dom.find("Was war. Was wird."), std::string::npos);
  // A feed without a stored title is listed by its address.
  EXPECT_NE(dom.find(">" + server.Url("/feeds/hostile.xml") + "</a>"), std::string::npos);
  // A name of a report file and a repeated name lead to folders of their own.
  EXPECT_NE(dom.find("href=\"index.html%20%5B1%5D/index.html\">index.html</a>"), std::string::npos);
  EXPECT_NE(dom.find("href=\"News/index.html\">News</a>"), std::string::npos);
  EXPECT_NE(dom.find("href=\"News%20%5B2%5D/index.html\">News</a>"), std::string::npos);
}

// What a page takes from a feed: the page an item or feed stands for (not
// its comments or its own address), text as text, HTML reduced to its text;
// and, on a nested category's page, links to every category that reach the
// report's top folder.
TEST_F(ReportInBrowser, PagesTakeTheRightLinksAndTextFromFeeds) {
  struct Check {
    const char *page;
    std::vector<std::string> shown;
    std::vector<std::string> absent;
  };
  const Check checks[] = {
      {"3.html",
       {"href=\"http://site.example/\" rel=\"noopener noreferrer\">Visit the site</a>",
        "href=\"http://site.example/post/1\" rel=\"noopener noreferrer\">Use &lt;div&gt; for layout</a>",
        ">5 &lt; 6 and x&lt;y</p>", "href=\"http://site.example/post/2\" rel=\"noopener noreferrer\">Bold two</a>",
        "<span>Only replies</span>"},
       {"comments/", "edit/2", "feed.atom", "site.example/rss"}},
      {"4.html",
       {"href=\"http://rss.example/\" rel=\"noopener noreferrer\">Visit the site</a>",
        "href=\"http://rss.example/1\" rel=\"noopener noreferrer\">5 &lt; 6 and x&lt;y</a>", ">Some bold text</p>"},
       {"feed.xml"}},
      {"Outer/Inner/index.html",
       {"href=\"../../index.html\" data-root-link=\"index.html\">", "href=\"../../World/index.html\"",
        "href=\"../../index.html%20%5B1%5D/index.html\"", "href=\"../../News%20%5B2%5D/index.html\"",
        "q-category-empty\">Empty"},
       {"href=\"../World/", "Loading headlines"}},
  };
  for (const Check &check : checks) {
    const std::string dom = Output(Dom(check.page));
    ASSERT_NE(dom, "") << check.page;
    for (const std::string &text : check.shown) {
      EXPECT_NE(dom.find(text), std::string::npos) << check.page << ": " << text << "\n" << dom;
    }
    for (const std::string &text : check.absent) {
      EXPECT_EQ(dom.find(text), std::string::npos) << check.page << ": " << text << "\n" << dom;
    }
  }
}

TEST_F(ReportInBrowser, FeedPageShowsAllItemsAndHostileFeedsStayText) {
  const std::string heise = Output(Dom("1.html"));
  EXPECT_NE(heise.find("heise online News"), std::string::npos);
  EXPECT_NE(heise.find("Was war. Was wird."), std::string::npos);
  std::size_t items = 0;
  for (std::size_t at = heise.find("class=\"q-item\""); at != std::string::npos;
       at = heise.find("class=\"q-item\"", at + 1)) {
    ++items;
  }
  EXPECT_EQ(items, 5U);

  const std::string fullDom = Dom("2.html");
  const std::string dom = Output(fullDom);
  ASSERT_NE(dom, "");
  EXPECT_EQ(fullDom.find("pwned=\"yes\""), std::string::npos) << "script from the feed ran";
  for (const char *forbidden :
       {"<script", "<img", "<iframe", "onclick=", "href=\"javascript", "href=\"JaVaScRiPt", "href=\"  JaVaScRiPt"}) {
    EXPECT_EQ(dom.find(forbidden), std::string::npos) << forbidden << "\n" << dom;
  }
  // An RSS title is text: markup in it is shown as written, never made.
  EXPECT_NE(dom.find("&gt;Bold &lt;b&gt;claim&lt;/b&gt;"), std::string::npos) << dom;
  EXPECT_NE(dom.find("Plain summary"), std::string::npos);
  EXPECT_NE(dom.find("Second one"), std::string::npos);
  EXPECT_NE(dom.find("href=\"https://safe.example/a?b=1&amp;c=2\""), std::string::npos);
  EXPECT_NE(dom.find("href=\"" + server.Url("/relative/path") + "\""), std::string::npos);

  // A picture of a feed page, for people to look at.
  test::TempDir profile;
  const std::string shot = std::string(QUORVELLE_BINARY_DIR) + "/report-feed-page.png";
  EXPECT_TRUE(RunChromium(
      chromium, profile.Path(),
      {"--screenshot=" + shot, "--window-size=900,1100", "--hide-scrollbars", server.Url("/report/World/1.html")},
      env.Temp() + "/shot.log"));
  EXPECT_TRUE(test::PathExists(shot));
}

// The elements of root with that class, in document order.
std::vector<platform::XmlNode> WithClass(const platform::XmlNode &root, const std::string &name) {
  std::vector<platform::XmlNode> found;
  for (platform::XmlNode child = root.FirstChild(); child; child = child.NextSibling()) {
    if (!child.IsElement()) continue;
    const std::string classes = " " + child.FindAttribute("class").value_or("") + " ";
    if (classes.find(" " + name + " ") != std::string::npos) found.push_back(child);
    for (const platform::XmlNode &inner : WithClass(child, name))
      found.push_back(inner);
  }
  return found;
}

std::string Collapsed(const std::string &text) {
  std::string out;
  for (const char c : text) {
    const bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

// The headline of one item as a page shows it: title, link, moment.
std::string Shown(const platform::XmlNode &item) {
  std::string title, link, date;
  if (const auto titles = WithClass(item, "q-item-title"); !titles.empty()) {
    title = Collapsed(titles[0].Text());
    for (platform::XmlNode child = titles[0].FirstChild(); child; child = child.NextSibling())
      if (child.IsElement() && child.FindAttribute("href")) link = *child.FindAttribute("href");
  }
  if (const auto dates = WithClass(item, "q-item-date"); !dates.empty())
    date = dates[0].FindAttribute("datetime").value_or(Collapsed(dates[0].Text()));
  return title + " | " + link + " | " + date;
}

// Nothing in a box may run, load or lead anywhere but the web and mail.
void ExpectInert(const platform::XmlNode &node, const std::string &where) {
  for (platform::XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
    if (!child.IsElement()) continue;
    for (const char *element : {"script", "iframe", "object", "embed", "style", "img", "form"})
      EXPECT_NE(child.NodeName(), element) << where;
    for (const std::string &attribute : child.AttributeNames()) {
      EXPECT_NE(attribute.rfind("on", 0), 0U) << where << ": " << attribute;
      if (attribute == "href") {
        const std::string href = *child.FindAttribute("href");
        EXPECT_TRUE(href.rfind("http://", 0) == 0 || href.rfind("https://", 0) == 0 || href.rfind("mailto:", 0) == 0)
            << where << ": " << href;
      }
    }
    ExpectInert(child, where);
  }
}

// The one renderer against the browser's own XSLT path: for every collected
// feed, the box the renderer makes holds the headlines (titles, links,
// moments) the browser shows for it, or the same failure, and nothing active.
TEST_F(ReportInBrowser, RendererBoxesHoldTheHeadlinesTheBrowserShowsForEveryCollectedFeed) {
  // Dates without a zone are local time in both.
  setenv("TZ", "UTC", 1);
  tzset();
  platform::XmlDocument page;
  page.LoadHtml(Dom("Every/index.html"));
  ASSERT_TRUE(page.HasRoot());
  const std::vector<platform::XmlNode> shownSlots = WithClass(page.DocumentElement(), "q-feed-slot");

  const report::HeadlinesRenderer renderer(env.Report());
  const report::PageFrame frame = renderer.RenderFrame("Every/index.html");
  ASSERT_EQ(shownSlots.size(), frame.feeds.size());
  ASSERT_GE(frame.feeds.size(), 20U);
  std::size_t headlines = 0;
  for (std::size_t i = 0; i < frame.feeds.size(); ++i) {
    const report::FeedSlot &slot = frame.feeds[i];
    const std::string file = slot.address.substr(slot.address.rfind('/') + 1);
    ASSERT_EQ(shownSlots[i].FindAttribute("data-src").value_or(""), slot.address);
    fetch::FeedDelivery delivery;
    delivery.status = platform::FetchStatus::Ok;
    delivery.bytes = test::ReadFile(std::string(QUORVELLE_REALWORLD_DIR) + "/feeds/" + file);
    const report::FeedBox box = renderer.RenderBox(slot, delivery);

    const std::vector<platform::XmlNode> errors = WithClass(shownSlots[i], "q-error");
    EXPECT_EQ(box.failed, !errors.empty()) << file;
    if (box.failed && !errors.empty()) {
      EXPECT_EQ(Collapsed(errors[0].Text()), box.failureText) << file;
    }

    std::vector<std::string> browser;
    for (const platform::XmlNode &item : WithClass(shownSlots[i], "q-item"))
      browser.push_back(Shown(item));
    platform::XmlDocument rendered;
    rendered.LoadHtml("<div>" + box.html + "</div>");
    ASSERT_TRUE(rendered.HasRoot()) << file;
    ExpectInert(rendered.DocumentElement(), file);
    std::vector<std::string> ours;
    for (const platform::XmlNode &item : WithClass(rendered.DocumentElement(), "q-item"))
      ours.push_back(Shown(item));
    EXPECT_EQ(ours, browser) << file;
    ASSERT_EQ(box.headlines.size(), ours.size()) << file;
    headlines += ours.size();
  }
  EXPECT_GE(headlines, 20U) << "the collected feeds show headlines at all";
}

} // namespace
} // namespace quorvelle
