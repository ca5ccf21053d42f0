#include "platform/inet/inet_client.h"
#include "platform/xml/xml_escape.h"
#include "report/feed_titles.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/report/report_fixture.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace quorvelle {
namespace {

class FeedTitles : public ::testing::Test {
protected:
  std::string TitleOf(const std::string &body, const std::string &path = "/feed.xml") {
    server.Route(path, {200, "application/xml", body});
    std::string title = "not cleared";
    env.store.GetFeedTitleFromURL(server.Url(path), title);
    return title;
  }
  test::ReportInstall env;
  test::LoopbackHttpServer server;
};

TEST_F(FeedTitles, MediaAndDownloadAddressesAreNeverFetched) {
  server.Route("/clip.MP3", {200, "application/xml", "<rss><channel><title>X</title></channel></rss>"});
  server.Route("/clip.mp3?x=1", {200, "application/xml", "<rss><channel><title>Y</title></channel></rss>"});
  std::string title = "not cleared";
  env.store.GetFeedTitleFromURL(server.Url("/clip.MP3"), title);
  EXPECT_EQ(title, "");
  EXPECT_EQ(server.RequestCount("/clip.MP3"), 0U);
  for (const char *ext : {".avi", ".mpeg", ".mpg", ".mp2", ".mp4", ".ogg", ".rm",  ".wmv", ".aac", ".png",
                          ".jpg", ".tiff", ".pdf", ".doc", ".zip", ".rar", ".exe", ".msi", ".chm", ".mov"}) {
    server.Route(std::string("/f") + ext, {200, "application/xml", "<rss><channel><title>X</title></channel></rss>"});
    env.store.GetFeedTitleFromURL(server.Url(std::string("/f") + ext), title);
    EXPECT_EQ(server.RequestCount(std::string("/f") + ext), 0U) << ext;
  }
  // The extension runs to the end of the address, query included.
  env.store.GetFeedTitleFromURL(server.Url("/clip.mp3?x=1"), title);
  EXPECT_EQ(title, "Y");
  EXPECT_EQ(server.RequestCount("/clip.mp3?x=1"), 1U);
}

TEST_F(FeedTitles, ChannelPassThenRootPass) {
  EXPECT_EQ(TitleOf("<rss version=\"2.0\"><channel><link>l</link><title>Chan <b>nel</b></title></channel></rss>"),
            "Chan nel");
  EXPECT_EQ(TitleOf("<feed xmlns=\"http://www.w3.org/2005/Atom\"><id>x</id><title>Atom</title></feed>"), "Atom");
  EXPECT_EQ(TitleOf("<rss><channel><description>d</description></channel></rss>"), "");
  EXPECT_EQ(TitleOf("<rss><channel><description>d</description></channel><title>Root</title></rss>"), "Root");
  // A comment first below the root stops the first-child walk; the root pass
  // comes first, then the channel is found past the comment.
  EXPECT_EQ(TitleOf("<rss><!-- c --><channel><title>Hidden</title></channel><title>Root</title></rss>"), "Root");
  EXPECT_EQ(TitleOf("<rss><!-- c --><channel><title>Found</title></channel></rss>"), "Found");
  // Prefixed names count in a feed's own namespace, not in others.
  EXPECT_EQ(TitleOf("<r:rss xmlns:r=\"u\"><r:channel><r:title>P</r:title></r:channel></r:rss>"), "");
  EXPECT_EQ(TitleOf("<a:feed xmlns:a=\"http://www.w3.org/2005/Atom\"><!-- c --><a:title>A</a:title></a:feed>"), "A");
  EXPECT_EQ(TitleOf("<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
                    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><?pi?><channel><dc:title>D</dc:title>"
                    "<title>T</title></channel></rdf:RDF>"),
            "T");
}

TEST_F(FeedTitles, FailuresGiveAnEmptyTitleWithoutALogLine) {
  test::ReportDebugLog log;
  EXPECT_EQ(TitleOf("this is not XML"), "");
  EXPECT_EQ(TitleOf(""), "");
  server.Route("/gone.xml", {404, "application/xml", "<rss><channel><title>Error page</title></channel></rss>"});
  std::string title;
  env.store.GetFeedTitleFromURL(server.Url("/gone.xml"), title);
  EXPECT_EQ(title, "");
  env.store.GetFeedTitleFromURL("http://127.0.0.1:1/closed.xml", title);
  EXPECT_EQ(title, "");
  EXPECT_EQ(log.Log(), "");
}

TEST_F(FeedTitles, TheDocumentsEncodingDecides) {
  EXPECT_EQ(
      TitleOf("<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss><channel><title>Caf\xC3\xA9</title></channel></rss>"),
      "Caf\xC3\xA9");
  EXPECT_EQ(
      TitleOf("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss><channel><title>Caf\xE9</title></channel></rss>"),
      "Caf\xC3\xA9");
  EXPECT_EQ(TitleOf("\xEF\xBB\xBF<rss><channel><title>Caf\xC3\xA9</title></channel></rss>"), "Caf\xC3\xA9");
}

TEST_F(FeedTitles, HostileDocumentsReadNoFileReachNoNetworkAndStaySmall) {
  test::WriteFile(env.Temp() + "/secret.txt", "SECRET");
  server.Route("/dtd", {200, "application/xml-dtd", "<!ENTITY x \"FETCHED\">"});
  const std::string external = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY file SYSTEM \"file://" + env.Temp() +
                               "/secret.txt\"><!ENTITY net SYSTEM \"" + server.Url("/ent") +
                               "\"><!ENTITY % dtd SYSTEM \"" + server.Url("/dtd") +
                               "\"> %dtd;]><rss><channel><title>A&file;B&net;C</title></channel></rss>";
  EXPECT_EQ(TitleOf(external), "ABC");
  EXPECT_EQ(server.RequestCount("/ent"), 0U);
  EXPECT_EQ(server.RequestCount("/dtd"), 0U);

  // Nested entities that would expand to gigabytes.
  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY l0 \"lollollollollollollollollollol\">";
  for (int i = 1; i <= 9; ++i) {
    bomb += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) {
      bomb += "&l" + std::to_string(i - 1) + ";";
    }
    bomb += "\">";
  }
  bomb += "]><rss><channel><title>&l9;</title></channel></rss>";
  const auto start = std::chrono::steady_clock::now();
  const std::string title = TitleOf(bomb);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LE(title.size(), 64U * 1024U);
  EXPECT_LT(seconds, 20.0) << "must not expand the entities in full";
}

// What the title algorithm gives for the collected real-world feeds: every
// feed with a title gives it, and the others say why they give none.
struct RealFeed {
  const char *file;
  const char *title;
  TitleProblem problem = TitleProblem::None;
};

class RealWorldFeedTitles : public FeedTitles, public ::testing::WithParamInterface<RealFeed> {};

TEST_P(RealWorldFeedTitles, GivesTheTitleOfTheTable) {
  const RealFeed &feed = GetParam();
  server.RouteFile("/feed", std::string(QUORVELLE_REALWORLD_DIR) + "/feeds/" + feed.file, "application/xml");
  std::string title = "not cleared";
  env.store.GetFeedTitleFromURL(server.Url("/feed"), title);
  EXPECT_EQ(title, feed.title) << feed.file;
  const FeedTitle read = FetchFeedTitle(server.Url("/feed"));
  EXPECT_EQ(read.title, feed.title);
  EXPECT_EQ(read.problem, feed.problem) << TitleProblemText(read);
}

INSTANTIATE_TEST_SUITE_P(
    Collected, RealWorldFeedTitles,
    ::testing::Values(
        // not a feed
        RealFeed{"defusedxml-external.xml", "", TitleProblem::NotAFeed},
        // rejected by the parser
        RealFeed{"defusedxml-xmlbomb.xml", "", TitleProblem::NotAFeed},
        // not well-formed
        RealFeed{"feedparser-aaa_illformed.xml", "", TitleProblem::NotAFeed},
        // channel without title
        RealFeed{"feedparser-demoronize-1-c1-control.xml", "", TitleProblem::NoTitle},
        // empty RDF, external DTD not fetched
        RealFeed{"feedparser-doctype_contains_entity_decl.xml", "", TitleProblem::NoTitle},
        // Atom 0.3, escaped markup comes back as text
        RealFeed{"feedparser-feed_title_script_cdata.xml",
                 "safe<script type=\"text/javascript\">location.href='http:/'+'/example.com/';</script> description"},
        RealFeed{"feedparser-item_description_crazy.xml", "Crazy RSS"},
        // rss:channel, rss:title: prefixed names of the RSS 1.0 namespace
        RealFeed{"feedparser-rss10-prefixed-no-default-ns.xml", "RSS Tests - RSS 1.0 no Default NS"},
        // not well-formed
        RealFeed{"feedparser-rss_incomplete_cdata.xml", "", TitleProblem::NotAFeed},
        // UTF-16 with its byte-order mark: an empty rss element
        RealFeed{"feedparser-utf-16le-bom.xml", "", TitleProblem::NoTitle},
        // root pass
        RealFeed{"kde-heise-atom10.xml", "heise online News"}, RealFeed{"kde-inhabitat-rss20.xml", "Inhabitat"},
        // ISO-8859-1, external DTD not fetched
        RealFeed{"kde-pro-linux-rss091.xml", "Pro-Linux News"},
        // a comment first below rss, CR line ends
        RealFeed{"kde-schockwellenreiter-rss092.xml", "Der Schockwellenreiter (RSS-Feed)"},
        // a comment first below rdf:RDF
        RealFeed{"kde-security-debian-rss10.xml", "Debian Security"}, RealFeed{"kde-slashdot-rss10.xml", "Slashdot"},
        // RSS 0.90: comments first below rdf:RDF
        RealFeed{"kde-tagesschau-rss090.xml", "tagesschau.de - Die Nachrichten der ARD"},
        // root pass
        RealFeed{"kde-tbray-nested-xmlbase-atom10.xml", "ongoing by Tim Bray"},
        // root pass
        RealFeed{"kde-wordpress2-atom03.xml", "Foobar's Weblog"},
        // GB2312, read as Chinese text
        RealFeed{"rsparser-kc0011-gb2312-rss20.xml",
                 "\xE6\x8A\x95\xE8\xB5\x84\xE8\xB5\x84\xE8\xAE\xAF\xE7\xBD\x91\xE4\xBA\xA4\xE6\x98\x93\xE5\x9C\xA8"
                 "\xE7\xBA\xBF--\xE6\xB5\x81\xE9\x80\x9A\xE7\xBA\xAA\xE5\xBF\xB5\xE5\xB8\x81\xE6\x9C\x80\xE6\x96\xB0"
                 "20\xE7\xAF\x87\xE8\xAE\xBA\xE5\x9D\x9B\xE4\xB8\xBB\xE9\xA2\x98-\xE5\x85\xA8\xE6\x96\x87"}),
    [](const ::testing::TestParamInfo<RealFeed> &param) {
      std::string name = param.param.file;
      for (char &c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

TEST_F(FeedTitles, ALongTitleIsCutOnACharacterBoundary) {
  // Two-, three- and four-byte characters, each offset so the limit falls
  // inside one of them.
  for (const std::string character : {"\xC3\xA9", "\xE6\x96\xB0", "\xF0\x9F\x98\x80"}) {
    for (std::size_t offset = 0; offset < character.size(); ++offset) {
      std::string text(offset, 'x');
      while (text.size() < 70'000)
        text += character;
      const std::string title = TitleOf("<rss><channel><title>" + text + "</title></channel></rss>");
      ASSERT_GE(title.size(), 64U * 1024 - 3);
      EXPECT_LE(title.size(), 64U * 1024);
      EXPECT_EQ(platform::XmlSafeText(title), title) << "cut inside a character";
    }
  }
}

TEST_F(FeedTitles, UTF16FeedsReadInTheirOwnEncoding) {
  const std::string text = "<?xml version=\"1.0\" encoding=\"utf-16\"?><!-- c\r\n --><rss><channel>"
                           "<title>Caf\xC3\xA9</title></channel></rss>";
  std::string le = "\xFF\xFE";
  std::string be = "\xFE\xFF";
  // The text is ASCII but for the e acute (U+00E9).
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text.compare(i, 2, "\xC3\xA9") == 0 ? '\xE9' : text[i];
    if (c == '\xE9') ++i;
    le += c, le += '\0';
    be += '\0', be += c;
  }
  EXPECT_EQ(TitleOf(le), "Caf\xC3\xA9");
  EXPECT_EQ(TitleOf(be), "Caf\xC3\xA9");
}

TEST_F(FeedTitles, EachFailureSaysWhy) {
  server.Route("/gone.xml", {404, "text/html", "<html>gone</html>"});
  server.Route("/page.html", {200, "text/html", "<html><head><title>A page</title></head></html>"});
  server.Route("/untitled.xml", {200, "application/xml", "<rss><channel><link>l</link></channel></rss>"});
  test::HttpResponse slow(200, "application/xml", "<rss><channel><title>Late</title></channel></rss>");
  slow.chunkSize = 4;
  slow.chunkDelay = std::chrono::milliseconds(400);
  server.Route("/slow.xml", slow);
  const platform::CurlInetOptions quick{.deadline = std::chrono::milliseconds(300)};
  platform::CurlInetClient quickClient(quick);
  const struct {
    std::string url;
    TitleProblem problem;
    std::string text;
  } cases[] = {
      {server.Url("/gone.xml"), TitleProblem::HttpStatus, "The server answered with HTTP status 404."},
      {server.Url("/page.html"), TitleProblem::NotAFeed, "The address does not answer with an RSS, RDF or Atom feed."},
      {server.Url("/untitled.xml"), TitleProblem::NoTitle, "The feed has no title."},
      {"http://127.0.0.1:47/closed.xml", TitleProblem::Unreachable, "The server could not be reached."},
      {"notaurl", TitleProblem::NotAnAddress, "The address is not an http, https or ftp address."},
      {"http://127.0.0.1:25/mail.xml", TitleProblem::RefusedPort,
       "The address names a port that downloads refuse (one of another protocol)."},
      {server.Url("/clip.mp3"), TitleProblem::Skipped,
       "The address names a media or download file, which is not read for a title."},
  };
  for (const auto &c : cases) {
    const FeedTitle read = FetchFeedTitle(c.url);
    EXPECT_EQ(read.title, "") << c.url;
    EXPECT_EQ(read.problem, c.problem) << c.url;
    EXPECT_EQ(TitleProblemText(read), c.text);
  }
  platform::InetClient *previous = platform::InstallInet(&quickClient);
  const FeedTitle late = FetchFeedTitle(server.Url("/slow.xml"));
  platform::InstallInet(previous);
  EXPECT_EQ(late.problem, TitleProblem::TimedOut);
  EXPECT_EQ(TitleProblemText(late), "The download timed out.");
}

} // namespace
} // namespace quorvelle
