#include "platform/errors.h"
#include "platform/xml/xslt.h"
#include "tests/helpers/test_environment.h"

#include <gtest/gtest.h>

namespace quorvelle::platform {
namespace {

constexpr const char *kSource = "<list><item name='a'/><item name='b'/></list>";

std::string Sheet(const std::string &body, const std::string &extraNamespaces = "") {
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'" + extraNamespaces + ">" +
         body + "</xsl:stylesheet>";
}

TEST(Xslt, TransformsToTextByXslOutputAndPassesParametersLiterally) {
  XmlDocument source;
  XmlDocument sheet;
  ASSERT_TRUE(source.LoadXML(kSource));
  ASSERT_TRUE(sheet.LoadXML(Sheet("<xsl:output method='xml' encoding='UTF-8' indent='no'/>"
                                  "<xsl:param name='p'/>"
                                  "<xsl:template match='/'><out p='{$p}'><xsl:for-each select='//item'>"
                                  "<i><xsl:value-of select='@name'/></i></xsl:for-each></out></xsl:template>")));
  // A value that would be an XPath expression stays text.
  const std::string text = TransformNode(source, sheet, {{"p", "concat('x', \"y\") & 1+1"}});
  EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<out p=\"concat('x', &quot;y&quot;) &amp; 1+1\"><i>a</i><i>b</i></out>");
  // Neither document was consumed: a second run gives the same text.
  EXPECT_EQ(TransformNode(source, sheet, {{"p", "concat('x', \"y\") & 1+1"}}), text);
  EXPECT_EQ(source.DocumentElement().NodeName(), "list");

  XmlDocument result;
  ASSERT_TRUE(result.LoadXML("<old/>"));
  TransformNodeToObject(source, sheet, result, {{"p", "v"}});
  EXPECT_EQ(result.DocumentElement().NodeName(), "out");
  EXPECT_EQ(result.DocumentElement().GetAttribute("p"), "v");
  EXPECT_EQ(result.DocumentElement().ChildElements("i").size(), 2U);
}

TEST(Xslt, BrokenOrMissingStylesheetRaisesAndLeavesResultAlone) {
  XmlDocument source;
  ASSERT_TRUE(source.LoadXML(kSource));
  XmlDocument result;
  ASSERT_TRUE(result.LoadXML("<kept/>"));

  XmlDocument missing; // never loaded: no root
  EXPECT_THROW(TransformNode(source, missing), EOleException);

  XmlDocument broken;
  ASSERT_TRUE(broken.LoadXML(Sheet("<xsl:template match='/'><xsl:value-of select='(('/></xsl:template>")));
  EXPECT_THROW(TransformNodeToObject(source, broken, result), EOleException);
  EXPECT_EQ(result.DocumentElement().NodeName(), "kept");

  XmlDocument terminating;
  ASSERT_TRUE(terminating.LoadXML(
      Sheet("<xsl:template match='/'><xsl:message terminate='yes'>stop</xsl:message></xsl:template>")));
  EXPECT_THROW(TransformNodeToObject(source, terminating, result), EOleException);
  EXPECT_EQ(result.DocumentElement().NodeName(), "kept");
}

TEST(Xslt, StylesheetCannotReadOtherFilesOrWriteFiles) {
  test::TempDir dir;
  const std::string secret = dir / "secret.xml";
  test::WriteFile(secret, "<secret>password</secret>");
  XmlDocument source;
  ASSERT_TRUE(source.LoadXML(kSource));

  XmlDocument reader;
  ASSERT_TRUE(reader.LoadXML(Sheet("<xsl:template match='/'><r><xsl:value-of select=\"document('file://" + secret +
                                   "')\"/></r></xsl:template>")));
  std::string text;
  try {
    text = TransformNode(source, reader);
  } catch (const EOleException &) {
    // Refusing the whole transformation is as good as an empty read.
  }
  EXPECT_EQ(text.find("password"), std::string::npos) << text;

  const std::string written = dir / "written.txt";
  XmlDocument writer;
  ASSERT_TRUE(writer.LoadXML(Sheet("<xsl:template match='/'><exsl:document href='" + written +
                                       "' method='text'>owned</exsl:document><done/></xsl:template>",
                                   " xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'")));
  try {
    TransformNode(source, writer);
  } catch (const EOleException &) {
  }
  XmlDocument xslWriter;
  ASSERT_TRUE(xslWriter.LoadXML("<xsl:stylesheet version='1.1' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                                "<xsl:template match='/'><xsl:document href='" +
                                written + "' method='text'>owned</xsl:document></xsl:template></xsl:stylesheet>"));
  try {
    TransformNode(source, xslWriter);
  } catch (const EOleException &) {
  }
  EXPECT_FALSE(test::PathExists(written));
}

} // namespace
} // namespace quorvelle::platform
