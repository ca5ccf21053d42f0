#include "platform/errors.h"
#include "platform/xml/xml_document.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>

namespace quorvelle::platform {
namespace {
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(XmlDocument, ParsesDroppingBlankTextAndWalksElements) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXML(
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<Quorvelle_Feeds>\r\n  "
      "<Quorvelle_Categories>\r\n    <Quorvelle_Feed src=\"a\" enabled=\"true\" title=\"Caf\xC3\x83\xC2\xA9\"/>\r\n"
      "  </Quorvelle_Categories>\r\n</Quorvelle_Feeds>\r\n"));
  XmlNode root = doc.DocumentElement();
  EXPECT_EQ(root.NodeName(), "Quorvelle_Feeds");
  XmlNode container = root.FirstChild();
  EXPECT_EQ(container.NodeName(), "Quorvelle_Categories");
  EXPECT_TRUE(container.NextSibling().IsNull());
  XmlNode feed = container.FirstChild();
  EXPECT_EQ(feed.NodeName(), "Quorvelle_Feed");
  // The text is taken as UTF-8 whatever the declaration says.
  EXPECT_EQ(feed.GetAttribute("title"), "Caf\xC3\x83\xC2\xA9");
  EXPECT_FALSE(feed.FindAttribute("missing").has_value());
  EXPECT_THROW((void)feed.GetAttribute("missing"), EOleException);
  EXPECT_THROW((void)XmlNode().FirstChild(), EOleException);
}

TEST(XmlDocument, SerialisesWithUtf8DeclarationAndRawUtf8Attributes) {
  TempDir dir;
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXML("<r><c/></r>"));
  XmlNode c = doc.DocumentElement().FirstChild();
  c.SetAttribute("name", "Caf\xC3\x83\xC2\xA9 & <b>\"q\"");
  const std::string xml = doc.Xml();
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0U);
  EXPECT_NE(xml.find("name=\"Caf\xC3\x83\xC2\xA9 &amp; &lt;b&gt;&quot;q&quot;\""), std::string::npos) << xml;
  EXPECT_EQ(c.Xml(), "<c name=\"Caf\xC3\x83\xC2\xA9 &amp; &lt;b&gt;&quot;q&quot;\"/>");
  doc.Save(dir / "out.xml");
  EXPECT_EQ(ReadFile(dir / "out.xml"), xml);
  XmlDocument back;
  ASSERT_TRUE(back.LoadXML(ReadFile(dir / "out.xml")));
  EXPECT_EQ(back.DocumentElement().FirstChild().GetAttribute("name"), "Caf\xC3\x83\xC2\xA9 & <b>\"q\"");
}

TEST(XmlDocument, CreateAppendRemoveAndCopyAcrossDocuments) {
  XmlDocument target;
  ASSERT_TRUE(target.LoadXML("<root><list/></root>"));
  XmlDocument source;
  ASSERT_TRUE(source.LoadXML("<src><item id=\"1\"><sub/></item><item id=\"2\"/></src>"));
  XmlNode list = target.DocumentElement().FirstChild();
  XmlNode copied = list.AppendChild(source.DocumentElement().FirstChild().CloneNode(true));
  EXPECT_EQ(copied.Owner(), &target);
  EXPECT_EQ(copied.GetAttribute("id"), "1");
  EXPECT_TRUE(copied.FirstChild().IsElement());
  XmlNode created = target.CreateElement("item");
  created.SetAttribute("id", "3");
  list.AppendChild(created);
  EXPECT_EQ(list.ChildElements("item").size(), 2U);
  list.RemoveChild(copied);
  EXPECT_EQ(list.ChildElements("item").size(), 1U);
  EXPECT_EQ(list.FirstChild().GetAttribute("id"), "3");
  // Nodes created or removed but never attached are freed with the document
  // (the sanitizer build checks that nothing leaks).
  (void)target.CreateElement("never-attached");
  XmlNode parent = target.CreateElement("p");
  parent.AppendChild(target.CreateElement("child"));
  EXPECT_THROW(parent.FirstChild().AppendChild(parent), EOleException);
}

TEST(XmlDocument, ParseFailureLeavesNoRootAndXmlTextIsEmpty) {
  XmlDocument doc;
  EXPECT_FALSE(doc.LoadXML("<a><b></a>"));
  EXPECT_FALSE(doc.HasRoot());
  EXPECT_TRUE(doc.DocumentElement().IsNull());
  EXPECT_EQ(doc.Xml(), "");
  EXPECT_FALSE(doc.ParseError().empty());
  TempDir dir;
  EXPECT_THROW(doc.Save(dir / "x.xml"), EOleException);
  EXPECT_FALSE(test::PathExists(dir / "x.xml"));
}

TEST(XmlDocument, NeverLoadsExternalEntitiesOrDtds) {
  TempDir dir;
  WriteFile(dir / "secret.txt", "TOP-SECRET");
  XmlDocument doc;
  const std::string xxe = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + dir.Path() +
                          "/secret.txt\">]><r><t>&x;</t></r>";
  doc.LoadXML(xxe);
  // Loaded without the file's text, or refused: the secret never shows.
  EXPECT_EQ(doc.Xml().find("TOP-SECRET"), std::string::npos);
  if (doc.HasRoot()) {
    EXPECT_EQ(doc.DocumentElement().FirstChild().Text().find("TOP-SECRET"), std::string::npos);
  }
}

TEST(XmlDocument, RefusesAnEntityExpansionBombAndLoadsSmallEntities) {
  // The same entities used within bounds load with their text.
  XmlDocument small;
  ASSERT_TRUE(small.LoadXML("<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
                            "<!ENTITY lol1 \"&lol;&lol;&lol;\">]><lolz><title>&lol1;</title></lolz>"))
      << small.ParseError();
  EXPECT_EQ(small.DocumentElement().FirstChild().Text(), "lollollol");
  // Nested entities that would expand to a billion characters: refused like
  // any unreadable document, with the reason, in bounded memory and time.
  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
  bomb += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">";
  for (int i = 2; i <= 9; ++i) {
    bomb += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j)
      bomb += "&lol" + std::to_string(i - 1) + ";";
    bomb += "\">";
  }
  bomb += "]><lolz><title>&lol9;</title></lolz>";
  XmlDocument bombDoc;
  EXPECT_FALSE(bombDoc.LoadXML(bomb));
  EXPECT_FALSE(bombDoc.HasRoot());
  EXPECT_FALSE(bombDoc.ParseError().empty());
  EXPECT_EQ(bombDoc.Xml(), "");
}

} // namespace
} // namespace quorvelle::platform
