#include "tests/exchange/exchange_fixture.h"

#include "platform/files/temporary_file.h"
#include "platform/registry/registry.h"
#include "platform/shell/known_folders.h"
#include "tests/helpers/loopback_http_server.h"
#include "tests/helpers/scripted_ui.h"

#include <filesystem>

namespace quorvelle::test {
namespace {

namespace fs = std::filesystem;
using platform::ui::FileDialogResult;

const std::string kCafe = "Caf\xC3\xA9";

class CommandsTest : public ExchangeTest {
protected:
  void SetUp() override {
    ExchangeTest::SetUp();
    // The whole installation, so the report can be rebuilt after an import.
    fs::copy(std::string(QUORVELLE_SOURCE_DIR) + "/data", appPath,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories(user.Home() + "/Documents");
  }

  std::optional<std::string> Setting(const char *name) {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, false);
    if (!key || !key->ValueExists(name)) return std::nullopt;
    return key->ReadString(name);
  }
  std::string Opml(const std::string &name, const std::string &title, const std::string &outlines) {
    const std::string path = user.Home() + "/in/" + name;
    WriteFile(path, "<?xml version='1.0' encoding='UTF-8'?><opml version='2.0'><head>" +
                        (title.empty() ? std::string() : "<title>" + title + "</title>") + "</head><body>" + outlines +
                        "</body></opml>");
    return path;
  }
  bool ReportBuilt() { return fs::exists(appPath + "headlines"); }
  std::vector<FeedRow> SavedFeeds() {
    platform::XmlDocument saved;
    saved.Load(user.FeedsFile());
    return AllFeeds(saved);
  }

  ScriptedUi ui;
  ScriptedExchangeDialogs dialogs;
};

// ------------------------------------------------------------------ export

TEST_F(CommandsTest, ExportAsksForCategoriesThenAFileAndWritesCrLfLines) {
  store->AddNewRSSFeed("http://g/1", kCafe, "");
  store->AddNewRSSFeed("http://n/1", "N", "News");
  dialogs.exportAnswers.push_back(ExportChoice{false, "News"});
  const std::string out = user.Home() + "/out/";
  fs::create_directories(out);
  ui.fileAnswers.push_back(FileDialogResult{out + "list", 1}); // typed without extension, second filter
  store->ExportToFilename();

  ASSERT_EQ(ui.fileDialogs.size(), 1U);
  const platform::ui::FileDialogRequest &request = ui.fileDialogs[0];
  const std::string documents = platform::DocumentsFolder();
  EXPECT_TRUE(request.save);
  EXPECT_EQ(request.title, "Export Feeds as...");
  EXPECT_EQ(request.filter, "OPML file (*.opml)|*.opml|Quorvelle file (*.xml)|*.xml");
  EXPECT_EQ(request.filterIndex, 0);
  EXPECT_EQ(request.initialDir, documents);
  EXPECT_EQ(request.fileName, documents + "Feeds");
  EXPECT_TRUE(request.overwritePrompt);
  EXPECT_TRUE(request.pathMustExist);

  ASSERT_TRUE(PathExists(out + "list.xml"));
  EXPECT_EQ(ReadFile(out + "list.xml"), "<Quorvelle_Feeds name=\"News\"><Quorvelle_Categories>"
                                        "<Quorvelle_Feed src=\"http://n/1\" enabled=\"true\" title=\"N\"/>"
                                        "</Quorvelle_Categories></Quorvelle_Feeds>\r\n");
  EXPECT_EQ(Setting("ExportDirectory"), out);

  // The next export starts in that folder; OPML by the first filter, and an
  // existing file is replaced.
  dialogs.exportAnswers.push_back(ExportChoice{true, ""});
  WriteFile(out + "all.opml", std::string(100000, 'x'));
  ui.fileAnswers.push_back(FileDialogResult{out + "all", 0});
  store->ExportToFilename();
  EXPECT_EQ(ui.fileDialogs.at(1).initialDir, out);
  EXPECT_EQ(ui.fileDialogs.at(1).fileName, out + "Feeds");
  const std::string opml = ReadFile(out + "all.opml");
  EXPECT_EQ(opml.find('x'), opml.find("xml")); // nothing of the old content
  EXPECT_NE(opml.find("\r\n<opml version=\"2.0\">\r\n"), std::string::npos);
  EXPECT_EQ(opml.find("\n\n"), std::string::npos);
  EXPECT_NE(opml.find("text=\"" + kCafe + "\""), std::string::npos);
  platform::XmlDocument parsed;
  EXPECT_TRUE(parsed.LoadBytes(opml));

  // Any other extension writes an empty file.
  dialogs.exportAnswers.push_back(ExportChoice{true, ""});
  ui.fileAnswers.push_back(FileDialogResult{out + "notes.TXT", 0});
  store->ExportToFilename();
  ASSERT_TRUE(PathExists(out + "notes.TXT"));
  EXPECT_EQ(ReadFile(out + "notes.TXT"), "");

  // Upper-case extensions count.
  dialogs.exportAnswers.push_back(ExportChoice{true, ""});
  ui.fileAnswers.push_back(FileDialogResult{out + "upper.OPML", 1});
  store->ExportToFilename();
  EXPECT_NE(ReadFile(out + "upper.OPML").find("<opml"), std::string::npos);
}

TEST_F(CommandsTest, CancelledExportWritesNothingAndKeepsTheFolder) {
  store->ExportToFilename(); // the export dialog is cancelled
  EXPECT_EQ(dialogs.exportShown, 1);
  EXPECT_TRUE(ui.fileDialogs.empty());
  EXPECT_EQ(Setting("ExportDirectory"), std::nullopt);

  dialogs.exportAnswers.push_back(ExportChoice{true, ""});
  store->ExportToFilename(); // the file dialog is cancelled
  EXPECT_EQ(ui.fileDialogs.size(), 1U);
  // The default was written when it was read, and not changed since.
  EXPECT_EQ(Setting("ExportDirectory"), platform::DocumentsFolder());
  EXPECT_FALSE(PathExists(platform::DocumentsFolder() + "Feeds.opml"));
}

// ------------------------------------------------------------------ import

TEST_F(CommandsTest, ImportOfOpmlNamedLikeACategoryMergesIntoIt) {
  store->AddNewRSSFeed("http://n/1", "N", "News");
  store->Save();
  const std::string file =
      Opml("news.opml", "news", "<outline text='A' xmlUrl='http://a/1'/><outline text='Dup' xmlUrl='HTTP://N/1'/>");
  ui.fileAnswers.push_back(FileDialogResult{file, 0});
  dialogs.importAnswers.push_back(ImportChoice{true, "", "news"});
  store->ImportFromFilename("");

  ASSERT_EQ(ui.fileDialogs.size(), 1U);
  EXPECT_FALSE(ui.fileDialogs[0].save);
  EXPECT_EQ(ui.fileDialogs[0].title, "Import OPML/XML Feeds...");
  EXPECT_EQ(ui.fileDialogs[0].fileName, "");
  EXPECT_EQ(ui.fileDialogs[0].initialDir, platform::DocumentsFolder());
  EXPECT_EQ(dialogs.proposedNames, std::vector<std::string>{"news"});
  EXPECT_EQ(Setting("ImportDirectory"), user.Home() + "/in/");
  EXPECT_TRUE(ui.messages.empty());

  const std::vector<FeedRow> expected = {{"News", "http://n/1", "N", "true"}, {"News", "http://a/1", "A", "true"}};
  EXPECT_EQ(Feeds(), expected);
  EXPECT_EQ(store->GetListOfCategories(), "News\r\n");
  EXPECT_EQ(SavedFeeds(), expected);
  EXPECT_TRUE(ReportBuilt());
}

TEST_F(CommandsTest, ImportChoosesGeneralANewCategoryOrTheSelectedOne) {
  const std::string untitled = Opml("untitled.opml", "", "<outline text='U' xmlUrl='http://u/1'/>");
  dialogs.importAnswers.push_back(ImportChoice{true, "ignored", ""});
  store->ImportFromFilename(untitled);
  EXPECT_TRUE(ui.fileDialogs.empty()); // a path was given
  EXPECT_EQ(Setting("ImportDirectory"), std::nullopt);
  EXPECT_EQ(dialogs.proposedNames.at(0), "");
  EXPECT_EQ(Feeds(), (std::vector<FeedRow>{{"", "http://u/1", "U", "true"}}));

  // A new category whose name is beyond ASCII gets the feeds.
  const std::string titled = Opml("titled.opml", "Nouvelles " + kCafe, "<outline text='T' xmlUrl='http://t/1'/>");
  dialogs.importAnswers.push_back(ImportChoice{true, "", "  Nouvelles " + kCafe + " "});
  store->ImportFromFilename(titled);
  EXPECT_EQ(dialogs.proposedNames.at(1), "Nouvelles " + kCafe);
  EXPECT_EQ(store->GetListOfCategories(), "Nouvelles " + kCafe + "\r\n");
  EXPECT_EQ(Feeds().back(), (FeedRow{"Nouvelles " + kCafe, "http://t/1", "T", "true"}));

  // The selected category when "Into selected category:" was chosen.
  store->AddCategory("Picked");
  store->Save();
  const std::string picked = Opml("picked.opml", "Whatever", "<outline text='P' xmlUrl='http://p/1'/>");
  dialogs.importAnswers.push_back(ImportChoice{false, "Picked", "Whatever"});
  store->ImportFromFilename(picked);
  EXPECT_EQ(Feeds().back(), (FeedRow{"Picked", "http://p/1", "P", "true"}));
  EXPECT_EQ(store->GetListOfCategories(), "Nouvelles " + kCafe + "\r\nPicked\r\n");
  EXPECT_EQ(SavedFeeds(), Feeds());
}

TEST_F(CommandsTest, CancelledImportSavesNothingAndLeavesTheReport) {
  store->AddNewRSSFeed("http://kept/1", "K", "");
  store->Save();
  const std::string before = ReadFile(user.FeedsFile());
  const std::string file = Opml("x.opml", "X", "<outline text='A' xmlUrl='http://a/1'/>");
  store->ImportFromFilename(file); // import dialog cancelled
  EXPECT_EQ(dialogs.proposedNames.size(), 1U);
  EXPECT_EQ(ReadFile(user.FeedsFile()), before);
  EXPECT_FALSE(ReportBuilt());

  store->ImportFromFilename(""); // file dialog cancelled
  EXPECT_EQ(ui.fileDialogs.size(), 1U);
  EXPECT_EQ(Setting("ImportDirectory"), platform::DocumentsFolder());
  EXPECT_EQ(ReadFile(user.FeedsFile()), before);
}

TEST_F(CommandsTest, ImportOfOwnFormatShowsNoDialogAndPicksUpOtherWindowsChanges) {
  // Another window saved a feed meanwhile: the import reloads first.
  TRSSFeedOptions otherWindow;
  otherWindow.Load();
  otherWindow.AddNewRSSFeed("http://other/1", "O", "");
  otherWindow.Save();

  const std::string file = user.Home() + "/in/list.XML";
  WriteFile(file, "<Quorvelle_Feeds><Quorvelle_Categories><Quorvelle_Category name='Tech' description=''>"
                  "<Quorvelle_Feed src='http://t/1' enabled='false' title='T'/></Quorvelle_Category>"
                  "</Quorvelle_Categories></Quorvelle_Feeds>");
  store->ImportFromFilename(file);
  EXPECT_TRUE(dialogs.proposedNames.empty());
  const std::vector<FeedRow> expected = {{"", "http://other/1", "O", "true"}, {"Tech", "http://t/1", "T", "false"}};
  EXPECT_EQ(Feeds(), expected);
  EXPECT_EQ(SavedFeeds(), expected);

  // Another extension imports nothing, but the store is still saved.
  const std::string text = user.Home() + "/in/list.txt";
  WriteFile(text, "http://x/1");
  store->ImportFromFilename(text);
  EXPECT_EQ(SavedFeeds(), expected);
}

// --------------------------------------------------------- import from URL

TEST_F(CommandsTest, ImportFromAddressUsesATemporaryFileAndRemovesIt) {
  LoopbackHttpServer server;
  server.Route("/list.opml", {200, "text/x-opml",
                              "<?xml version='1.0'?>\n<opml version='1.0'><head><title>Remote</title></head><body>"
                              "<outline text='R' xmlUrl='http://r/1'/></body></opml>\n"});
  server.Route("/missing.opml", {404, "text/html", "<html>not found</html>"});
  const std::string temp = platform::TemporaryFolder();
  WriteFile(temp + "temp.opml", "someone else's");
  // A dangling link planted under the next name is never followed.
  const std::string landed = user.Home() + "/landed.opml";
  fs::create_symlink(landed, temp + "temp-1.opml");

  dialogs.importAnswers.push_back(ImportChoice{true, "", "Remote"});
  store->ImportOPMLFromURL(server.Url("/list.opml"));
  EXPECT_EQ(dialogs.proposedNames, std::vector<std::string>{"Remote"});
  EXPECT_EQ(Feeds(), (std::vector<FeedRow>{{"Remote", "http://r/1", "R", "true"}}));
  EXPECT_EQ(ReadFile(temp + "temp.opml"), "someone else's");
  EXPECT_FALSE(PathExists(landed));

  // Cancelled in the import dialog: the temporary file goes as well.
  store->ImportOPMLFromURL(server.Url("/list.opml"));
  EXPECT_EQ(dialogs.proposedNames.size(), 2U);
  EXPECT_FALSE(PathExists(landed));

  // An error answer or an unreachable address imports nothing and asks nothing.
  store->ImportOPMLFromURL(server.Url("/missing.opml"));
  store->ImportOPMLFromURL("http://127.0.0.1:1/none.opml");
  EXPECT_EQ(dialogs.proposedNames.size(), 2U);
  EXPECT_TRUE(ui.messages.empty());
  // The downloads went to the user's own folder, which is empty again.
  const std::string own = platform::PrivateTemporaryFolder();
  EXPECT_EQ(fs::status(own).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_TRUE(fs::is_empty(own));
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto &e : fs::directory_iterator(temp))
    ++entries;
  EXPECT_EQ(entries, 3U); // temp.opml, the planted link and the user's folder

  // A private folder planted as a link to a folder of others is refused.
  fs::remove(own.substr(0, own.size() - 1));
  fs::create_directory_symlink(user.Home() + "/in", own.substr(0, own.size() - 1));
  store->ImportOPMLFromURL(server.Url("/list.opml"));
  EXPECT_EQ(dialogs.proposedNames.size(), 2U);
}

TEST_F(CommandsTest, ImportIntoANewCategoryWhoseNameCleansToNothingGoesToGeneral) {
  const std::string file = Opml("odd.opml", "Odd", "<outline text='A' xmlUrl='http://a/1'/>");
  const std::vector<std::string> names = {"???", "<>", "$%"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string src = "http://g/" + std::to_string(i);
    WriteFile(file, "<opml version='2.0'><head/><body><outline text='G' xmlUrl='" + src + "'/></body></opml>");
    dialogs.importAnswers.push_back(ImportChoice{true, "", names[i]});
    store->ImportFromFilename(file);
    EXPECT_EQ(SavedFeeds().back(), (FeedRow{"", src, "G", "true"})) << names[i];
  }
  EXPECT_EQ(store->GetListOfCategories(), "");
}

} // namespace
} // namespace quorvelle::test
