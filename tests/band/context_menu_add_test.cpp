// The automation object behind the browser's context-menu entry, called as
// the entry's page script calls it: by ProgID, through IDispatch.

#include "tests/band/band_test_support.h"
#include "tests/helpers/loopback_http_server.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

namespace quorvelle::test {
namespace {

constexpr const char *kOpml = R"(<?xml version="1.0" encoding="UTF-8"?>
<opml version="1.0"><head><title>Shared List</title></head><body>
<outline text="Imported One" title="Imported One" type="rss" xmlUrl="http://one.example/rss.xml"/>
</body></opml>)";

class ContextMenuAddTest : public BandLibraryTest {
protected:
  void SetUp() override {
    BandLibraryTest::SetUp();
    Load();
    ASSERT_EQ(library_->RegisterServer(), com::S_OK);
    object_ = CreateByProgID("RSSQuorvelle.ContextMenuAdd");
    ASSERT_TRUE(object_);
  }
  void Unload() override {
    object_ = nullptr;
    BandLibraryTest::Unload();
  }

  // What the page's script does: ProgID -> CLSID -> the class object.
  com::ComPtr<com::IDispatch> CreateByProgID(const std::string &progID) {
    const auto clsid = RegistryText(platform::HKEY_CLASSES_ROOT, progID + "\\Clsid");
    if (!clsid) return {};
    const auto parsed = com::StringToGuid(*clsid);
    if (!parsed) return {};
    return library_->Create<com::IDispatch>(*parsed);
  }

  com::HRESULT Capture(const std::string &address) {
    com::DISPID id = 0;
    EXPECT_EQ(object_->GetIDsOfNames(u"Capture", id), com::S_OK);
    EXPECT_EQ(id, 1);
    // The address is the second argument; the first is not read.
    return object_->Invoke(id, {com::WideString(u"ignored"), com::Utf8ToWide(address)}, nullptr);
  }

  // What the add-feed dialog showed, answered with OK or Cancel.
  struct Shown {
    bool opened = false;
    std::string url;
    std::string title;
    std::string category;
  };
  Shown CaptureWithDialog(const std::string &address, bool ok, const std::string &chooseCategory = {}) {
    Shown shown;
    WhenModal(Named("frmAddFeedDlg"), [&](QWidget *dialog) {
      shown.opened = true;
      shown.url = dialog->findChild<QLineEdit *>("edURL")->text().toStdString();
      shown.title = dialog->findChild<QLineEdit *>("edTitle")->text().toStdString();
      auto *categories = dialog->findChild<QComboBox *>("cbxCategory");
      shown.category = categories->currentText().toStdString();
      if (!chooseCategory.empty())
        categories->setCurrentIndex(categories->findText(QString::fromStdString(chooseCategory)));
      dialog->findChild<QPushButton *>(ok ? "Button1" : "Button2")->click();
    });
    EXPECT_EQ(Capture(address), com::S_OK);
    return shown;
  }

  [[nodiscard]] std::string Feeds() const { return PathExists(user_.FeedsFile()) ? ReadFile(user_.FeedsFile()) : ""; }

  void WriteFeeds(const std::string &categories) {
    WriteFile(user_.FeedsFile(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories>" +
                                     categories + "</Quorvelle_Categories></Quorvelle_Feeds>");
  }

  com::ComPtr<com::IDispatch> object_;
};

TEST_F(ContextMenuAddTest, InvokeChecksTheMemberAndItsArguments) {
  com::DISPID id = 0;
  EXPECT_EQ(object_->GetIDsOfNames(u"CAPTURE", id), com::S_OK);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(object_->GetIDsOfNames(u"Release", id), com::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(object_->GetIDsOfNames(u"importfile", id), com::S_OK);
  EXPECT_EQ(id, 2);
  EXPECT_EQ(object_->Invoke(3, {com::WideString(u"a"), com::WideString(u"b")}, nullptr), com::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(object_->Invoke(2, {com::WideString(u"a"), com::WideString(u"b")}, nullptr), com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(object_->Invoke(2, {std::int32_t{5}}, nullptr), com::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(object_->Invoke(1, {com::WideString(u"only one")}, nullptr), com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(object_->Invoke(1, {com::WideString(u"a"), std::int32_t{5}}, nullptr), com::DISP_E_TYPEMISMATCH);
  // Nothing was captured by the refused calls.
  EXPECT_EQ(Feeds().find("Quorvelle_Feed "), std::string::npos);
}

TEST_F(ContextMenuAddTest, OkAddsTheFeedRemembersTheCategoryAndRebuildsTheReport) {
  LoopbackHttpServer server;
  server.Route("/feed.xml", {200, "application/rss+xml",
                             "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Captured "
                             "Title</title></channel></rss>"});
  WriteFeeds(R"(<Quorvelle_Category name="News" description=""/>)");
  const std::string address = server.Url("/feed.xml");

  const Shown first = CaptureWithDialog(address, true, "News");
  ASSERT_TRUE(first.opened);
  EXPECT_EQ(first.url, address);
  EXPECT_EQ(first.category, "<< GENERAL >>");
  const std::string feeds = Feeds();
  EXPECT_NE(feeds.find("<Quorvelle_Category name=\"News\" description=\"\"><Quorvelle_Feed src=\"" + address + "\""),
            std::string::npos)
      << feeds;
  EXPECT_EQ(RegistryText(platform::HKEY_CURRENT_USER, kSettingsKeyPath, "CurrentCategory"), "News");
  EXPECT_TRUE(PathExists(AppPath() + "headlines/index.html"));

  // The next capture preselects the category chosen last time.
  const Shown second = CaptureWithDialog("http://other.example/rss.xml", false);
  EXPECT_EQ(second.category, "News");
}

TEST_F(ContextMenuAddTest, CancelWritesNothingAndRebuildsNothing) {
  Unload();
  SetSetting("CurrentCategory", "Kept");
  Load();
  object_ = CreateByProgID("RSSQuorvelle.ContextMenuAdd");
  ASSERT_TRUE(object_);
  const bool existed = PathExists(user_.FeedsFile());
  const std::string before = existed ? Feeds() : std::string();
  const Shown shown = CaptureWithDialog("http://127.0.0.1:9/never.xml", false);
  ASSERT_TRUE(shown.opened);
  EXPECT_EQ(shown.url, "http://127.0.0.1:9/never.xml");
  EXPECT_EQ(shown.title, "");
  EXPECT_EQ(PathExists(user_.FeedsFile()), existed);
  if (existed) {
    EXPECT_EQ(Feeds(), before);
  }
  EXPECT_EQ(RegistryText(platform::HKEY_CURRENT_USER, kSettingsKeyPath, "CurrentCategory"), "Kept");
  EXPECT_FALSE(PathExists(AppPath() + "headlines/index.html"));
}

TEST_F(ContextMenuAddTest, AnOpmlAddressIsImportedWithoutTheDialog) {
  LoopbackHttpServer server;
  server.Route("/Shared.OPML", {200, "text/x-opml", kOpml});
  bool dialogOpened = false;
  // The import asks for its category (a new one named after the list) and
  // is answered with OK.
  WhenModal(
      [](QWidget *window) { return window->objectName() == "frmImportDlg" || window->objectName() == "frmAddFeedDlg"; },
      [&](QWidget *window) {
        dialogOpened = window->objectName() == "frmAddFeedDlg";
        window->findChild<QPushButton *>("Button1")->click();
      });
  EXPECT_EQ(Capture(server.Url("/Shared.OPML")), com::S_OK);
  EXPECT_FALSE(dialogOpened);
  EXPECT_EQ(server.RequestCount("/Shared.OPML"), 1U);
  EXPECT_NE(Feeds().find("http://one.example/rss.xml"), std::string::npos) << Feeds();
}

TEST_F(ContextMenuAddTest, OnlyAnAddressEndingInOpmlIsImported) {
  LoopbackHttpServer server;
  server.Route("/list.opml", {200, "text/x-opml", kOpml});
  // The query makes the extension ".opml?x=1": the dialog opens instead.
  const Shown shown = CaptureWithDialog(server.Url("/list.opml?x=1"), false);
  EXPECT_TRUE(shown.opened);
  EXPECT_EQ(shown.url, server.Url("/list.opml?x=1"));
  EXPECT_EQ(Feeds().find("one.example"), std::string::npos);
}

} // namespace
} // namespace quorvelle::test
