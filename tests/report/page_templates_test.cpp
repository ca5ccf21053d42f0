#include "tests/report/report_fixture.h"

#include <gtest/gtest.h>

namespace quorvelle {
namespace {

class PageTemplates : public ::testing::Test {
protected:
  void Template(const std::string &name, const std::string &text) { test::WriteFile(env.Install() + name, text); }
  test::ReportInstall env;
};

TEST_F(PageTemplates, MissingTemplateGivesNothingAndLogsNothing) {
  test::ReportDebugLog log;
  std::string page = "left over";
  const std::string out = env.Temp() + "/out.html";
  env.store.LoadTemplateAndReplaceVars("no-such.html", "T", "1.xml", out, page);
  EXPECT_EQ(page, "");
  EXPECT_FALSE(test::PathExists(out));
  EXPECT_EQ(log.Log(), "");
}

TEST_F(PageTemplates, VariablesAreReplacedInOrderWithCaseSignificant) {
  Template("t.html", "<title>%%TITLE%%</title>\n%%title%%\n%%XML_FILENAME%%|%%PRODUCT_NAME%%\r\n%%DIV_RESULT%%x</DIV>");
  std::string page;
  // A title holding a later variable has it replaced as well.
  env.store.LoadTemplateAndReplaceVars("t.html", "A %%XML_FILENAME%% B", "3.xml", "", page);
  EXPECT_EQ(page, "<title>A 3.xml B</title>\r\n%%title%%\r\n3.xml|Quorvelle\r\n<DIV id=\"OutputResult\">x</DIV>\r\n");
}

TEST_F(PageTemplates, LinesBecomeCrLfAndTheOutputFileIsReplaced) {
  Template("plain.html", "a\nb\rc\r\nd");
  const std::string out = env.Temp() + "/page.html";
  test::WriteFile(out, "old content that is longer than the new one");
  std::string page;
  env.store.LoadTemplateAndReplaceVars("plain.html", "", "", out, page);
  EXPECT_EQ(page, "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(test::ReadFile(out), "a\r\nb\r\nc\r\nd\r\n");
}

TEST_F(PageTemplates, EmptyOutputPathOnlyReturnsThePage) {
  Template("t.html", "%%TITLE%%");
  std::string page;
  env.store.LoadTemplateAndReplaceVars("t.html", "Main", "index.xml", "", page);
  EXPECT_EQ(page, "Main\r\n");
  EXPECT_EQ(env.ReportEntries().size(), 0U) << "nothing may be written";
}

TEST_F(PageTemplates, AnOutputThatCannotBeWrittenIsLoggedAndThePageStillReturned) {
  test::ReportDebugLog log;
  Template("t.html", "%%TITLE%%");
  std::string page;
  env.store.LoadTemplateAndReplaceVars("t.html", "X", "", env.Temp() + "/no/such/folder/p.html", page);
  EXPECT_EQ(page, "X\r\n");
  EXPECT_NE(log.Log().find(",Info: TRSSFeedOptions.LoadTemplateAndReplaceVars,"), std::string::npos) << log.Log();
}

} // namespace
} // namespace quorvelle
