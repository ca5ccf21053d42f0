#include "platform/codepage/codepage.h"
#include "platform/xml/xml_document.h"
#include "platform/xml/xslt.h"
#include "report/report_files.h"
#include "tests/report/report_fixture.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

namespace quorvelle {
namespace {

using Entries = std::vector<std::string>;

std::string List(const std::string &inner) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>" + inner +
         "</Quorvelle_Categories></Quorvelle_Feeds>";
}
std::string Feed(const std::string &src, const std::string &enabled = "true", const std::string &title = "T") {
  return "<Quorvelle_Feed src=\"" + src + "\" enabled=\"" + enabled + "\" title=\"" + title + "\"/>";
}
std::string Category(const std::string &storedName, const std::string &inner, const std::string &description = "") {
  return "<Quorvelle_Category name=\"" + storedName + "\" description=\"" + description + "\">" + inner +
         "</Quorvelle_Category>";
}
bool ParsesAsXml(const std::string &path) {
  platform::XmlDocument doc;
  return doc.Load(path);
}

class ReportGeneration : public ::testing::Test {
protected:
  test::ReportInstall env;
};

TEST_F(ReportGeneration, GeneralOnlyTreeAndASecondRunStartsFromScratch) {
  env.UseList(List(Feed("http://a.example/rss") + Feed("http://b.example/rss")));
  const std::string index = env.store.GenerateXML();
  EXPECT_EQ(index, env.Report() + "index.html");
  EXPECT_EQ(env.ReportEntries(), (Entries{"1.html", "1.xml", "2.html", "2.xml", "ReportErrors.js", "details.xsl",
                                          "index.html", "index.xml", "index.xsl"}));
  EXPECT_EQ(env.store.FReportCategories, "");

  test::WriteFile(env.Report() + "foreign.txt", "x");
  std::filesystem::create_directories(env.Report() + "old/sub");
  env.UseList(List(Feed("http://a.example/rss", "false") + Feed("http://b.example/rss")));
  env.store.GenerateXML();
  EXPECT_EQ(env.ReportEntries(),
            (Entries{"2.html", "2.xml", "ReportErrors.js", "details.xsl", "index.html", "index.xml", "index.xsl"}));
}

TEST_F(ReportGeneration, DisabledFeedsLeaveGapsAndOnlyExactTrueCounts) {
  env.UseList(List(Category("News", Feed("http://1.example/") + Feed("http://2.example/", "false") +
                                        Feed("http://3.example/") + Feed("http://4.example/", "True"))));
  EXPECT_NE(env.store.GenerateXML(), "");
  EXPECT_EQ(env.ReportEntries(),
            (Entries{"News/", "News/1.html", "News/1.xml", "News/3.html", "News/3.xml", "News/ReportErrors.js",
                     "News/details.xsl", "News/index.html", "News/index.xml", "News/index.xsl", "ReportErrors.js",
                     "details.xsl", "index.html", "index.xml", "index.xsl"}));
  EXPECT_EQ(test::ReadFile(env.Report() + "index.xsl"), test::ReadFile(env.Install() + "index_root.xsl"));
  EXPECT_EQ(test::ReadFile(env.Report() + "News/index.xsl"), test::ReadFile(env.Install() + "index.xsl"));
}

TEST_F(ReportGeneration, FileContentsAreExact) {
  env.UseList(List(Feed("http://g.example/rss", "true", "G") + Category("Empty", "") +
                   Category("News", Feed("http://n.example/rss", "true", "N"), "About news")));
  env.store.GenerateXML();
  EXPECT_EQ(test::ReadFile(env.Report() + "1.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><?xml-stylesheet href=\"details.xsl\" type=\"text/xsl\"?>"
            "<Quorvelle_Feeds name=\"General\" description=\"General\"><Quorvelle_Feed src=\"http://g.example/rss\"/>"
            "</Quorvelle_Feeds>\r\n");
  EXPECT_EQ(test::ReadFile(env.Report() + "News/1.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><?xml-stylesheet href=\"details.xsl\" type=\"text/xsl\"?>"
            "<Quorvelle_Feeds name=\"News\" description=\"About news\"><Quorvelle_Feed src=\"http://n.example/rss\"/>"
            "</Quorvelle_Feeds>\r\n");
  EXPECT_EQ(test::ReadFile(env.Report() + "index.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><?xml-stylesheet href=\"index.xsl\" type=\"text/xsl\"?>"
            "<Quorvelle_Feeds name=\"General\"><Quorvelle_Categories>"
            "<Quorvelle_Feed src=\"http://g.example/rss\" enabled=\"true\" title=\"G\"/>"
            "<Quorvelle_Category name=\"Empty\" description=\"\"/>"
            "<Quorvelle_Category name=\"News\" description=\"About news\">"
            "<Quorvelle_Feed src=\"http://n.example/rss\" enabled=\"true\" title=\"N\"/></Quorvelle_Category>"
            "</Quorvelle_Categories></Quorvelle_Feeds>\r\n");
  // The navigation list names every category, the empty one included.
  EXPECT_EQ(test::ReadFile(env.Report() + "News/index.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><?xml-stylesheet href=\"index.xsl\" type=\"text/xsl\"?>"
            "<Quorvelle_Feeds name=\"News\"><Quorvelle_Categories>"
            "<Quorvelle_Feed src=\"http://n.example/rss\" enabled=\"true\" title=\"N\"/>\r\n"
            "<Quorvelle_Category name=\"Empty\" description=\"\"/>\r\n"
            "<Quorvelle_Category name=\"News\" description=\"\"/></Quorvelle_Categories></Quorvelle_Feeds>\r\n");
  EXPECT_FALSE(test::PathExists(env.Report() + "Empty"));
  // Pages: the title is the category's name, the XML file the feed's file.
  const std::string page = test::ReadFile(env.Report() + "News/1.html");
  EXPECT_NE(page.find("<title>News &#183; Quorvelle headlines</title>"), std::string::npos);
  EXPECT_NE(page.find("showFeedPage(\"1.xml\")"), std::string::npos);
  EXPECT_NE(page.find("<DIV id=\"OutputResult\">"), std::string::npos);
  EXPECT_NE(test::ReadFile(env.Report() + "index.html").find("<title>Main &#183;"), std::string::npos);
}

TEST_F(ReportGeneration, NamesAndTitlesComeOutAsUtf8AndNonAsciiAddressesStayValid) {
  const std::string cafe = "Caf\xC3\xA9";
  env.UseList(List(Category(platform::EncodeStoredText(cafe),
                            Feed("http://x.example/f\xC3\xBCr", "true", platform::EncodeStoredText("Tit\xC3\xA9")))));
  env.store.GenerateXML();
  const std::string folder = env.Report() + cafe + "/";
  ASSERT_TRUE(test::PathExists(folder + "index.xml"));
  const std::string index = test::ReadFile(folder + "index.xml");
  EXPECT_TRUE(platform::IsValidUtf8(index));
  EXPECT_NE(index.find("<Quorvelle_Feeds name=\"" + cafe + "\">"), std::string::npos) << index;
  EXPECT_NE(index.find("title=\"Tit\xC3\xA9\""), std::string::npos) << index;
  EXPECT_NE(index.find("<Quorvelle_Category name=\"" + cafe + "\" description=\"\"/>"), std::string::npos);
  const std::string feed = test::ReadFile(folder + "1.xml");
  EXPECT_NE(feed.find("name=\"" + cafe + "\""), std::string::npos) << feed;
  EXPECT_NE(feed.find("src=\"http://x.example/f\xC3\xBCr\""), std::string::npos) << feed;
  EXPECT_TRUE(platform::IsValidUtf8(test::ReadFile(env.Report() + "index.xml")));
  EXPECT_NE(test::ReadFile(folder + "index.html").find("<title>" + cafe + " &#183;"), std::string::npos);
}

TEST_F(ReportGeneration, ReservedCharactersAreEscapedSoEveryFileIsWellFormed) {
  // As the store holds them after a parse: & < > " in names and addresses.
  env.UseList(List(
      Category("R&amp;D &lt;x&gt; &quot;q&quot;", Feed("http://e.example/?a=1&amp;b=&lt;2&gt;&quot;"), "d&amp;d")));
  env.store.GenerateXML();
  const std::string folder = env.Report() + "R&D <x> \"q\"/";
  for (const std::string &name : {env.Report() + "index.xml", folder + "index.xml", folder + "1.xml"}) {
    EXPECT_TRUE(ParsesAsXml(name)) << name << "\n" << test::ReadFile(name);
  }
  platform::XmlDocument feed;
  ASSERT_TRUE(feed.Load(folder + "1.xml"));
  EXPECT_EQ(feed.DocumentElement().GetAttribute("name"), "R&D <x> \"q\"");
  EXPECT_EQ(feed.DocumentElement().GetAttribute("description"), "d&d");
  EXPECT_EQ(feed.DocumentElement().FirstChild().GetAttribute("src"), "http://e.example/?a=1&b=<2>\"");
  // The page title is text, not markup.
  const std::string page = test::ReadFile(folder + "index.html");
  EXPECT_NE(page.find("<title>R&amp;D &lt;x&gt; &quot;q&quot; &#183;"), std::string::npos);
  EXPECT_EQ(page.find("<x>"), std::string::npos);
}

TEST_F(ReportGeneration, CategoryNamesNeverLeadOutOfTheReportFolder) {
  env.UseList(List(Category("..", Feed("http://1.example/")) + Category(".", Feed("http://2.example/")) +
                   Category("../../escape", Feed("http://3.example/")) + Category("a/b", Feed("http://4.example/")) +
                   Category("", Feed("http://5.example/"))));
  env.store.GenerateXML();
  for (const char *folder : {"_../", "_./", ".. .. escape/", "a b/", "_/"}) {
    EXPECT_TRUE(test::PathExists(env.Report() + folder + "1.xml")) << folder;
  }
  // Nothing next to the report folder or the installation folder.
  EXPECT_FALSE(test::PathExists(env.Install() + "escape"));
  EXPECT_FALSE(test::PathExists(env.Temp() + "/escape"));
  EXPECT_FALSE(test::PathExists(env.Install() + "1.xml"));
  // The start page's own files were not overwritten by a category.
  EXPECT_EQ(test::ReadFile(env.Report() + "index.xsl"), test::ReadFile(env.Install() + "index_root.xsl"));
}

TEST_F(ReportGeneration, EmptyOrRelativeInstallFolderDeletesNothing) {
  test::ReportDebugLog log;
  const std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(env.Temp());
  std::filesystem::create_directories("headlines");
  test::WriteFile("headlines/keep.txt", "mine");
  std::filesystem::create_directories("rel/headlines");
  test::WriteFile("rel/headlines/keep.txt", "mine");
  env.UseList(List(Feed("http://a.example/")));
  for (const std::string appPath : {"", "rel/"}) {
    env.store.AppPath = appPath;
    EXPECT_EQ(env.store.GenerateXML(), "");
  }
  EXPECT_EQ(test::ReadFile("headlines/keep.txt"), "mine");
  EXPECT_EQ(test::ReadFile("rel/headlines/keep.txt"), "mine");
  EXPECT_FALSE(test::PathExists("headlines/index.xml"));
  std::filesystem::current_path(cwd);
  EXPECT_NE(log.Log().find(",Info: TRSSFeedOptions.GenerateXML,"), std::string::npos);
}

TEST_F(ReportGeneration, AReportFolderThatIsASymbolicLinkIsUnlinkedNotEmptied) {
  const std::string outside = env.Temp() + "/outside/";
  std::filesystem::create_directories(outside);
  test::WriteFile(outside + "precious.txt", "keep");
  std::filesystem::create_directory_symlink(outside, env.Install() + "headlines");
  env.UseList(List(Feed("http://a.example/")));
  EXPECT_NE(env.store.GenerateXML(), "");
  EXPECT_EQ(test::ReadFile(outside + "precious.txt"), "keep");
  EXPECT_FALSE(std::filesystem::is_symlink(env.Install() + "headlines"));
  EXPECT_TRUE(test::PathExists(env.Report() + "1.xml"));
}

TEST_F(ReportGeneration, EmptyListMissingDataFilesAndBadElements) {
  test::ReportDebugLog log;
  env.UseList(List(""));
  EXPECT_EQ(env.store.GenerateXML(), "");
  EXPECT_TRUE(test::PathExists(env.Report()));
  EXPECT_EQ(env.ReportEntries().size(), 0U);

  // Without templates and stylesheets the XML files are still written.
  for (const char *name : {"index_root.html", "index.html", "details.html", "index.xsl", "details.xsl"}) {
    std::filesystem::remove(env.Install() + name);
  }
  env.UseList(List(Feed("http://a.example/")));
  EXPECT_EQ(env.store.GenerateXML(), "") << "no start page, so nothing to show";
  EXPECT_EQ(env.ReportEntries(), (Entries{"1.xml", "ReportErrors.js", "index.xml", "index.xsl"}));
  EXPECT_EQ(log.Log().find("GenerateXMLForFeeds"), std::string::npos) << log.Log();

  // A feed without src ends its level (logged); the other levels go on.
  std::filesystem::copy(std::string(QUORVELLE_SOURCE_DIR) + "/data", env.Install(),
                        std::filesystem::copy_options::overwrite_existing | std::filesystem::copy_options::recursive);
  env.UseList(List(Category("A", "<Quorvelle_Feed enabled=\"true\"/>" + Feed("http://a2.example/")) +
                   Category("B", Feed("http://b.example/"))));
  EXPECT_NE(env.store.GenerateXML(), "");
  EXPECT_FALSE(test::PathExists(env.Report() + "A/2.xml"));
  EXPECT_TRUE(test::PathExists(env.Report() + "B/1.xml"));
  EXPECT_NE(log.Log().find(",Info: TRSSFeedOptions.GenerateXMLForFeeds,"), std::string::npos);
}

TEST_F(ReportGeneration, AnEmptyCategoryWithoutANameIsSkippedAndTheNextOnesWritten) {
  env.UseList(List(Feed("http://g.example/") + "<Quorvelle_Category/>" + Category("B", Feed("http://b.example/")) +
                   "<Quorvelle_Category description=''></Quorvelle_Category>" +
                   Category("C", Feed("http://c.example/"))));
  EXPECT_NE(env.store.GenerateXML(), "");
  EXPECT_TRUE(test::PathExists(env.Report() + "B/1.xml"));
  EXPECT_TRUE(test::PathExists(env.Report() + "C/1.xml"));
}

// While a build runs, the previous report is whole in its place; a stopped
// build leaves it as it was and nothing of its own behind. The progress is
// told once per XML file, in order, and a finished build ends at its total.
TEST_F(ReportGeneration, ABuildSwapsInWholeAndAStoppedOneLeavesThePreviousReport) {
  const auto entriesWithContent = [&] {
    std::vector<std::string> out;
    for (const std::string &entry : env.ReportEntries())
      out.push_back(entry + (entry.back() == '/' ? "" : "=" + test::ReadFile(env.Report() + entry)));
    return out;
  };
  const auto leftovers = [&] {
    std::vector<std::string> out;
    for (const auto &entry : std::filesystem::directory_iterator(env.Install()))
      if (entry.path().filename().string().starts_with(".headlines")) out.push_back(entry.path().string());
    return out;
  };
  env.UseList(List(Feed("http://old.example/") + Category("Old", Feed("http://o.example/"))));
  ASSERT_NE(env.store.GenerateXML(), "");
  const std::vector<std::string> previous = entriesWithContent();

  env.UseList(List(Feed("http://new.example/") + Feed("http://off.example/", "false") +
                   Category("New", Feed("http://n1.example/") + Feed("http://n2.example/"))));
  std::vector<std::pair<std::size_t, std::size_t>> told;
  env.store.FReportProgress = [&](std::size_t done, std::size_t total) {
    EXPECT_EQ(entriesWithContent(), previous) << "at file " << done;
    told.emplace_back(done, total);
    return done < 3;
  };
  EXPECT_EQ(env.store.GenerateXML(), "");
  EXPECT_EQ(entriesWithContent(), previous);
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
  EXPECT_EQ(told, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {3, 3}}));

  told.clear();
  env.store.FReportProgress = [&](std::size_t done, std::size_t total) {
    if (told.size() < 5) {
      EXPECT_EQ(entriesWithContent(), previous) << "at file " << done;
    }
    told.emplace_back(done, total);
    return true;
  };
  EXPECT_EQ(env.store.GenerateXML(), env.Report() + "index.html");
  EXPECT_EQ(told.size(), 6U);
  EXPECT_EQ(told.back(), (std::pair<std::size_t, std::size_t>{5, 5}));
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
  EXPECT_TRUE(test::PathExists(env.Report() + "New/2.xml"));
  EXPECT_FALSE(test::PathExists(env.Report() + "Old"));

  // A build left behind by a process that is gone is cleared away.
  const std::string abandoned = env.Install() + ".headlines.build-999999999/";
  std::filesystem::create_directories(abandoned + "x");
  env.store.FReportProgress = nullptr;
  EXPECT_NE(env.store.GenerateXML(), "");
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

// A file that cannot be written spoils the new tree, however far the walk
// got when the write failed: the previous report stays whole, nothing of the
// build is left behind, and the failure is logged.
TEST_F(ReportGeneration, AFileThatCannotBeWrittenKeepsThePreviousReport) {
  test::ReportDebugLog log;
  env.UseList(List(Feed("http://old.example/")));
  ASSERT_NE(env.store.GenerateXML(), "");
  const std::string previous = test::ReadFile(env.Report() + "index.xml");
  std::string feeds;
  for (int n = 0; n < 10; ++n)
    feeds += Feed("http://new.example/" + std::to_string(n));
  // The last feed's file is the largest: each apostrophe of its address is
  // written as a six-byte reference there, as one byte in the index files.
  env.UseList(List(Category("C", feeds) + Feed("http://new.example/?" + std::string(1000, '\''))));
  // Files longer than the limit cannot be written: with the small one the
  // first file fails, with the large one only the last.
  for (const rlim_t limit : {200, 4000}) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{limit, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string page = env.store.GenerateXML();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousSignal);
    EXPECT_EQ(page, "") << limit;
    EXPECT_EQ(test::ReadFile(env.Report() + "index.xml"), previous) << limit;
    EXPECT_FALSE(test::PathExists(env.Report() + "C")) << limit;
    for (const auto &entry : std::filesystem::directory_iterator(env.Install()))
      EXPECT_FALSE(entry.path().filename().string().starts_with(".headlines")) << entry.path();
  }
  EXPECT_NE(log.Log().find(",Info: TRSSFeedOptions.GenerateXMLForFeeds,"), std::string::npos) << log.Log();
}

// Category links as a report stylesheet renders them for one index file:
// {folder name, whether it is reached from the report's top folder}.
std::vector<std::pair<std::string, bool>> CategoryLinks(const std::string &folder) {
  platform::XmlDocument index;
  platform::XmlDocument stylesheet;
  platform::XmlDocument page;
  EXPECT_TRUE(index.Load(folder + "index.xml")) << folder;
  EXPECT_TRUE(stylesheet.Load(folder + "index.xsl")) << folder;
  platform::TransformNodeToObject(index, stylesheet, page);
  std::vector<std::pair<std::string, bool>> links;
  std::function<void(platform::XmlNode)> walk = [&](platform::XmlNode node) {
    for (; !node.IsNull(); node = node.NextSibling()) {
      if (!node.IsElement()) continue;
      if (const auto name = node.FindAttribute("data-folder")) {
        links.emplace_back(*name, node.FindAttribute("data-root").has_value());
      }
      walk(node.FirstChild());
    }
  };
  walk(page.DocumentElement());
  return links;
}

// The generator and the stylesheets name category folders by one rule: names
// of the report's own files and repeated names get folders of their own, and
// every category link of every index page leads to a folder that was written.
TEST_F(ReportGeneration, StylesheetsLinkEveryCategoryToTheFolderTheGeneratorWrote) {
  const std::vector<std::string> names = {
      "index.html", "details.xsl", "1.xml", "ReportErrors.js", "index.xsl", "index.xml",  "12.html", "News",
      "News",       "a/b",         "..",    "1.xsl",           "x1.xml",    "index.html", "News"};
  std::string list = Feed("http://general.example/1");
  for (std::size_t i = 0; i < names.size(); ++i) {
    list += Category(names[i], Feed("http://c.example/" + std::to_string(i)));
  }
  // A nested level with its own feed file "1.xml" and clashing, repeated names.
  list += Category("Outer", Feed("http://o.example/") + Category("1.xml", Feed("http://i.example/1")) +
                                Category("1.xml", Feed("http://i.example/2")));
  env.UseList(List(list));
  ASSERT_NE(env.store.GenerateXML(), "");

  const std::string top = env.Report();
  for (const char *own : {"index.html", "index.xml", "index.xsl", "details.xsl", "ReportErrors.js", "1.xml"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(top + own)) << own << " is the report's own file";
  }
  EXPECT_EQ(test::ReadFile(top + "details.xsl"), test::ReadFile(env.Install() + "details.xsl"));
  for (const char *folder : {"index.html [1]", "details.xsl [1]", "1.xml [1]", "News", "News [2]", "News [3]",
                             "index.html [2]", "a b", "_..", "1.xsl", "x1.xml", "Outer/1.xml [1]", "Outer/1.xml [2]"}) {
    EXPECT_TRUE(test::PathExists(top + folder + "/index.html")) << folder;
  }

  const auto topLinks = CategoryLinks(top);
  std::set<std::string> linked;
  for (const auto &[folder, fromTop] : topLinks) {
    EXPECT_TRUE(test::PathExists(top + folder + "/index.xml")) << "start page links " << folder;
    linked.insert(folder);
  }
  EXPECT_EQ(linked.size(), names.size() + 1) << "each category has a folder of its own";
  for (const std::string &folder : linked) {
    for (const auto &[target, fromTop] : CategoryLinks(top + folder + "/")) {
      const std::string path = (fromTop ? top : top + folder + "/") + target;
      EXPECT_TRUE(test::PathExists(path + "/index.xml")) << folder << " links " << target;
    }
  }
  // The same rule, as the generator states it.
  EXPECT_EQ(report::CategoryFolderName("index.html"), "index.html [1]");
  EXPECT_EQ(report::CategoryFolderName("News", 2), "News [2]");
  EXPECT_EQ(report::CategoryFolderName("007.html"), "007.html [1]");
  EXPECT_EQ(report::CategoryFolderName(".xml"), ".xml");
}

} // namespace
} // namespace quorvelle
