// What the XML layer lets into and out of a document: characters XML cannot
// hold, and entity references with their expansion budget.
#include "platform/xml/xml_document.h"
#include "platform/xml/xml_escape.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>

namespace quorvelle::platform {
namespace {

TEST(XmlIntegrity, CharactersXmlCannotHoldBecomeBlanksInEveryWrite) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"Line\vbreak", "Line break"},      {"a\x01\x08\x0c\x1f z", "a     z"},
      {"tab\tlf\ncr\r", "tab\tlf\ncr\r"}, {"\xEF\xBF\xBE\xEF\xBF\xBF", "  "},
      {"bad\xC3", "bad\xEF\xBF\xBD"},     {"\xD0\x96\xE2\x82\xAC", "\xD0\x96\xE2\x82\xAC"},
  };
  for (const auto &c : cases) {
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXML("<r/>"));
    doc.DocumentElement().SetAttribute("title", c.in);
    XmlDocument reread;
    ASSERT_TRUE(reread.LoadXML(doc.Xml())) << doc.Xml();
    EXPECT_EQ(reread.DocumentElement().GetAttribute("title"), c.out);
    EXPECT_EQ(XmlSafeText(c.in), c.out);
  }
  EXPECT_EQ(EscapeXmlValue("a\vb&"), "a b&amp;");
}

std::string Bomb(std::size_t entityBytes, int references) {
  std::string text = "<!DOCTYPE opml [<!ENTITY big \"" + std::string(entityBytes, 'x') + "\">]><opml><head><title>";
  for (int i = 0; i < references; ++i)
    text += "&big;";
  return text + "</title></head><body a=\"&big;&big;\"/></opml>";
}

TEST(XmlIntegrity, EntityReferencesAreReplacedWithinABudgetAndNeverSurvive) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXML("<!DOCTYPE l SYSTEM \"l.dtd\" [<!ENTITY u \"http://e.example/\"><!ENTITY m \"<b>&u;</b>\">]>"
                          "<l><f src=\"&u;feed.xml\">&m;&undeclared;</f></l>"));
  XmlNode feed = doc.DocumentElement().FirstChild();
  EXPECT_EQ(feed.GetAttribute("src"), "http://e.example/feed.xml");
  EXPECT_EQ(feed.FirstChild().NodeName(), "b");
  EXPECT_EQ(feed.Text(), "http://e.example/");
  const std::string saved = doc.Xml();
  EXPECT_EQ(saved.find('&'), std::string::npos) << saved;
  EXPECT_EQ(saved.find("DOCTYPE"), std::string::npos) << saved;
  XmlDocument reread;
  EXPECT_TRUE(reread.LoadXML(saved));

  // Flat amplification: a 10 KB entity referenced thousands of times.
  XmlDocument bomb;
  EXPECT_FALSE(bomb.LoadXML(Bomb(10'000, 3'500)));
  EXPECT_FALSE(bomb.HasRoot());
  EXPECT_FALSE(bomb.ParseError().empty());
  EXPECT_FALSE(bomb.LoadBytes(Bomb(100, 60'000)));
  // Modest use stays readable.
  ASSERT_TRUE(bomb.LoadXML(Bomb(100, 3)));
  EXPECT_EQ(bomb.DocumentElement().FirstChild().Text().size(), 300U);

  // Nothing from outside: references to outside entities are dropped unread.
  test::TempDir dir;
  test::WriteFile(dir / "secret", "SECRET");
  const std::string file = "file://" + dir.Path() + "/secret";
  for (const std::string &text : {"<!DOCTYPE r [<!ENTITY x SYSTEM \"" + file + "\">]><r a=\"1\">A&x;B</r>",
                                  "<!DOCTYPE r [<!ENTITY % p SYSTEM \"" + file + "\">%p;]><r a=\"1\">AB</r>"}) {
    ASSERT_TRUE(doc.LoadXML(text)) << text;
    EXPECT_EQ(doc.DocumentElement().Text(), "AB");
    EXPECT_EQ(doc.Xml().find('&'), std::string::npos);
    EXPECT_EQ(doc.Xml().find("SECRET"), std::string::npos);
  }
}

} // namespace
} // namespace quorvelle::platform
