// The add feed dialog, driven as a person would: fields typed, buttons
// pressed, menu entries chosen, prompts answered through the scripted UI.

#include "dialogs/add_feed_dlg.h"

#include "feeds/feed_store.h"
#include "tests/dialogs/dialogs_test_fixture.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

namespace quorvelle::test {
namespace {

using platform::ui::mbCancel;
using platform::ui::mbNo;
using platform::ui::mbOK;
using platform::ui::mbYes;
using platform::ui::ModalResult;
using platform::ui::MsgDlgType;

constexpr const char *kSeed =
    R"(<?xml version="1.0" encoding="UTF-8"?><Quorvelle_Feeds><Quorvelle_Categories>)"
    R"(<Quorvelle_Feed src="http://a.example/rss.xml" enabled="true" title="A"/>)"
    R"(<Quorvelle_Category name="beta" description=""><Quorvelle_Feed src="http://b.example/feed" enabled="true" title="B"/></Quorvelle_Category>)"
    R"(<Quorvelle_Category name="Alpha" description=""/>)"
    R"(</Quorvelle_Categories></Quorvelle_Feeds>)";

std::vector<std::string> Entries(const QComboBox &box) {
  std::vector<std::string> entries;
  for (int i = 0; i < box.count(); ++i) {
    entries.push_back(box.itemText(i).toStdString());
  }
  return entries;
}

// Lets the event loop run until done() holds or two seconds have passed.
bool ProcessEventsUntil(const std::function<bool()> &done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

class AddFeedDlgTest : public DialogTest {
protected:
  void SetUp() override { SeedFeeds(kSeed); }
};

TEST_F(AddFeedDlgTest, FormHasItsNamedControlsCaptionsAndTabOrder) {
  TfrmAddFeedDlg dialog;
  EXPECT_EQ(dialog.windowTitle(), "Add New Feed");
  for (const char *name : {"pnlCategory", "btnCategory", "cbxCategory", "pnlLink", "edTitle", "edURL", "pnlBtns",
                           "btnCheckLink", "lblInfo", "Button1", "Button2", "popCategory"}) {
    EXPECT_NE(dialog.findChild<QObject *>(name), nullptr) << name;
  }
  EXPECT_EQ(dialog.btnCategory->text(), "Category:");
  EXPECT_EQ(dialog.btnCheckLink->text(), "Check Link");
  EXPECT_EQ(dialog.lblInfo->text(), "Getting info about feed....");
  EXPECT_TRUE(dialog.lblInfo->font().bold());
  EXPECT_TRUE(dialog.lblInfo->isHidden());
  EXPECT_EQ(dialog.Button1->text(), "Add");
  EXPECT_TRUE(dialog.Button1->isDefault());
  EXPECT_EQ(dialog.Button2->text(), "Cancel");
  EXPECT_FALSE(dialog.URLChanged());
  EXPECT_FALSE(dialog.DownloadXMLBeforeDialogShow());

  std::vector<std::string> menu;
  for (QAction *action : dialog.popCategory->actions()) {
    menu.push_back(action->isSeparator() ? "-" : action->text().toStdString());
  }
  EXPECT_EQ(menu, (std::vector<std::string>{"Add Category...", "Rename Category...", "-", "Remove Category..."}));

  const std::vector<QWidget *> order = {dialog.edTitle, dialog.edURL,   dialog.cbxCategory,
                                        dialog.Button1, dialog.Button2, dialog.btnCheckLink};
  EXPECT_EQ(FocusOrder(order), order);
}

TEST_F(AddFeedDlgTest, CategoryListIsGeneralThenTheStoreNamesAndMapsGeneralToEmpty) {
  TfrmAddFeedDlg dialog;
  EXPECT_EQ(Entries(*dialog.cbxCategory), (std::vector<std::string>{"<< GENERAL >>", "Alpha", "beta"}));
  EXPECT_EQ(dialog.cbxCategory->currentIndex(), 0);
  EXPECT_EQ(dialog.GetCurrentCategory(), "");

  dialog.SetCurrentCategory("missing");
  EXPECT_EQ(dialog.GetCurrentCategory(), "") << "an unknown name leaves General selected";
  dialog.SetCurrentCategory("ALPHA");
  EXPECT_EQ(dialog.GetCurrentCategory(), "Alpha");
  dialog.SetCurrentCategory("missing");
  EXPECT_EQ(dialog.GetCurrentCategory(), "Alpha");
  dialog.SetCurrentCategory("");
  EXPECT_EQ(dialog.GetCurrentCategory(), "");
}

TEST_F(AddFeedDlgTest, GivenLinkAndTitleAddClosesWithoutAnyDownload) {
  TfrmAddFeedDlg dialog;
  dialog.edURL->setText("http://new.example/rss.xml");
  dialog.edTitle->setText("New");
  ModalScript script;
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
    EXPECT_FALSE(open.URLChanged()) << "showing clears the flag";
    EXPECT_EQ(open.focusWidget(), open.edTitle);
    open.Button1->click();
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(script.unexpected, 0);
  EXPECT_TRUE(inet.requests.empty());
  EXPECT_EQ(dialog.edURL->text(), "http://new.example/rss.xml");
  EXPECT_EQ(dialog.edTitle->text(), "New");
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AddFeedDlgTest, ChangedLinkKeepsTheDialogOpenUntilATitleCanBeRead) {
  const std::string url = "http://x.example/feed.xml";
  TfrmAddFeedDlg dialog;
  ModalScript script;
  script.Then<TfrmAddFeedDlg>([&](TfrmAddFeedDlg &open) {
    open.edTitle->setText("typed by the user");
    open.edURL->setText(QString::fromStdString(url));
    open.Button1->click();
    EXPECT_TRUE(open.isVisible()) << "no title: the dialog stays open";
    ASSERT_EQ(ui.messages.size(), 1U);
    EXPECT_EQ(ui.messages[0].text, "Unable to recieve title of channel title from\r\n\"" + url + "\"");
    EXPECT_EQ(ui.messages[0].caption, "Information");
    EXPECT_EQ(ui.messages[0].type, MsgDlgType::Information);
    EXPECT_EQ(ui.messages[0].buttons, unsigned{mbOK});
    EXPECT_TRUE(open.Button1->isEnabled()) << "controls come back after the check";

    // Once the feed answers, "Add" reads its title and closes.
    inet.bodies[url] = RssWithTitle("Real Title");
    open.Button1->click();
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(inet.requests, (std::vector<std::string>{url, url}));
  EXPECT_EQ(dialog.edTitle->text(), "Real Title") << "a fetched title replaces the typed one";
  EXPECT_EQ(ui.messages.size(), 1U);
}

TEST_F(AddFeedDlgTest, CancelIsTheOnlyWayOutWithoutAReadableTitle) {
  TfrmAddFeedDlg dialog;
  ModalScript script;
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
    open.edURL->setText("http://unreachable.example/");
    open.Button1->click();
    open.Button1->click();
    EXPECT_TRUE(open.isVisible());
    open.Button2->click();
  });
  EXPECT_EQ(dialog.exec(), QDialog::Rejected);
  EXPECT_EQ(ui.messages.size(), 2U);
}

TEST_F(AddFeedDlgTest, AddTrimsBothFieldsAndBlanksAroundTheLinkTriggerTheCheck) {
  inet.bodies["http://x.example/a.xml"] = RssWithTitle("Fetched");
  TfrmAddFeedDlg dialog;
  dialog.edURL->setText("  http://x.example/a.xml \t");
  ModalScript script;
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) { open.Button1->click(); });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(dialog.edURL->text(), "http://x.example/a.xml");
  EXPECT_EQ(inet.requests, (std::vector<std::string>{"http://x.example/a.xml"}));
  EXPECT_EQ(dialog.edTitle->text(), "Fetched");

  TfrmAddFeedDlg second;
  second.edURL->setText("http://x.example/b.xml");
  second.edTitle->setText("  My Feed  ");
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) { open.Button1->click(); });
  EXPECT_EQ(second.exec(), QDialog::Accepted);
  EXPECT_EQ(second.edTitle->text(), "My Feed");
  EXPECT_EQ(inet.requests.size(), 1U) << "an untouched link is not checked";
}

TEST_F(AddFeedDlgTest, CheckLinkShowsTheBusyLookDuringTheFetchAndRestoresIt) {
  TfrmAddFeedDlg dialog;
  dialog.edURL->setText("http://bad.example/nothing.xml");
  dialog.edTitle->setText("kept");
  const QColor buttonFace = QApplication::palette().color(QPalette::Active, QPalette::Button);
  const QColor window = QApplication::palette().color(QPalette::Active, QPalette::Base);
  bool sawBusy = false;
  inet.onFetch = [&](const std::string &) {
    sawBusy = true;
    for (QWidget *control : std::initializer_list<QWidget *>{dialog.btnCategory, dialog.edURL, dialog.edTitle,
                                                             dialog.Button1, dialog.Button2}) {
      EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_FALSE(dialog.lblInfo->isHidden());
    EXPECT_TRUE(dialog.btnCheckLink->isHidden());
    EXPECT_EQ(dialog.edURL->palette().color(QPalette::Base), buttonFace);
    EXPECT_EQ(dialog.edTitle->palette().color(QPalette::Base), buttonFace);
  };
  dialog.btnCheckLink->click();
  EXPECT_TRUE(sawBusy);
  EXPECT_TRUE(ui.messages.empty()) << "\"Check Link\" fails silently";
  EXPECT_EQ(dialog.edTitle->text(), "kept");
  for (QWidget *control : std::initializer_list<QWidget *>{dialog.btnCategory, dialog.edURL, dialog.edTitle,
                                                           dialog.Button1, dialog.Button2}) {
    EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
  }
  EXPECT_TRUE(dialog.lblInfo->isHidden());
  EXPECT_FALSE(dialog.btnCheckLink->isHidden());
  EXPECT_EQ(dialog.edURL->palette().color(QPalette::Base), window);
}

TEST_F(AddFeedDlgTest, FetchedTitlesComeBackOnOneLineWithTheirOwnEncoding) {
  TfrmAddFeedDlg dialog;
  dialog.edURL->setText("http://x.example/spaced.xml");
  inet.bodies["http://x.example/spaced.xml"] = RssWithTitle("\n    Spaced\n    Title   \n");
  EXPECT_TRUE(dialog.CheckLink(false));
  EXPECT_EQ(dialog.edTitle->text(), "Spaced     Title");

  dialog.edURL->setText("http://x.example/cafe.xml");
  inet.bodies["http://x.example/cafe.xml"] = RssWithTitle("Caf\xC3\xA9 \xE2\x80\x93 news");
  EXPECT_TRUE(dialog.CheckLink(false));
  EXPECT_EQ(dialog.edTitle->text(), QString::fromUtf8("Caf\xC3\xA9 \xE2\x80\x93 news"));

  dialog.edURL->setText("http://x.example/song.MP3");
  EXPECT_FALSE(dialog.CheckLink(false));
  EXPECT_EQ(inet.requests.size(), 2U) << "media files are never downloaded";
}

TEST_F(AddFeedDlgTest, ShowingFetchesTheTitleSilentlyOnlyWhenAskedAndTheLinkLooksLikeAFeed) {
  const std::string url = "http://x.example/feed";
  inet.bodies[url] = RssWithTitle("On Show");
  {
    TfrmAddFeedDlg dialog;
    dialog.SetDownloadXMLBeforeDialogShow(true);
    dialog.edURL->setText(QString::fromStdString(url));
    ModalScript script;
    script.Then<TfrmAddFeedDlg>([&](TfrmAddFeedDlg &open) {
      EXPECT_TRUE(ProcessEventsUntil([&] { return open.edTitle->text() == "On Show"; }));
      EXPECT_FALSE(open.URLChanged());
      open.Button1->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(inet.requests.size(), 1U) << "the link was not changed after showing: no second check";
  }
  for (const bool ask : {false, true}) {
    TfrmAddFeedDlg dialog;
    dialog.SetDownloadXMLBeforeDialogShow(ask);
    // An https page address is not taken for a feed link.
    dialog.edURL->setText(QString::fromStdString(ask ? "https://x.example/page" : url));
    ModalScript script;
    script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
      open.Button2->click();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(dialog.edTitle->text().isEmpty());
  }
  EXPECT_EQ(inet.requests.size(), 1U);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AddFeedDlgTest, AddCategoryPromptsAddsAndSelectsOrPointsAtTheExistingEntry) {
  TfrmAddFeedDlg dialog;
  ui.inputAnswers = {std::string("  News  ")};
  dialog.miAdd->trigger();
  ASSERT_EQ(ui.prompts.size(), 1U);
  EXPECT_EQ(ui.prompts[0].caption, "New category");
  EXPECT_EQ(ui.prompts[0].prompt, "Enter name of new category");
  EXPECT_EQ(ui.prompts[0].proposed, "Untitled");
  EXPECT_EQ(FeedOptions->GetListOfCategories(), "Alpha\r\nbeta\r\nNews\r\n");
  EXPECT_EQ(dialog.GetCurrentCategory(), "News");
  EXPECT_EQ(Entries(*dialog.cbxCategory), (std::vector<std::string>{"<< GENERAL >>", "Alpha", "beta", "News"}));

  ui.inputAnswers = {std::string("ALPHA"), std::string("<< general >>")};
  dialog.miAdd->trigger();
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_EQ(ui.messages[0].text, "Category \"ALPHA\" is already exists");
  EXPECT_EQ(ui.messages[0].caption, "Information");
  EXPECT_EQ(dialog.GetCurrentCategory(), "Alpha");
  dialog.miAdd->trigger();
  ASSERT_EQ(ui.messages.size(), 2U);
  EXPECT_EQ(ui.messages[1].text, "Category \"<< general >>\" is already exists");
  EXPECT_EQ(dialog.cbxCategory->currentIndex(), 0);
  EXPECT_EQ(FeedOptions->GetListOfCategories(), "Alpha\r\nbeta\r\nNews\r\n");

  // A name the store cleans is selected under its cleaned form.
  ui.inputAnswers = {std::string("Tools & Tips")};
  dialog.miAdd->trigger();
  EXPECT_EQ(dialog.GetCurrentCategory(), "Tools and Tips");

  ui.inputAnswers = {std::nullopt};
  dialog.miAdd->trigger();
  EXPECT_EQ(dialog.GetCurrentCategory(), "Tools and Tips");
  EXPECT_EQ(ui.messages.size(), 2U);
}

TEST_F(AddFeedDlgTest, RenameCategoryNeverTouchesGeneralAndRefusesNamesThatWouldClash) {
  TfrmAddFeedDlg dialog;
  ui.inputAnswers = {std::string("anything")};
  dialog.miRename->trigger();
  EXPECT_TRUE(ui.prompts.empty()) << "General cannot be renamed";

  dialog.SetCurrentCategory("Alpha");
  ui.inputAnswers = {std::string(" Gamma ")};
  dialog.miRename->trigger();
  ASSERT_EQ(ui.prompts.size(), 1U);
  EXPECT_EQ(ui.prompts[0].caption, "Rename category");
  EXPECT_EQ(ui.prompts[0].prompt, "Enter name of new category");
  EXPECT_EQ(ui.prompts[0].proposed, "Alpha");
  EXPECT_EQ(FeedOptions->GetListOfCategories(), "beta\r\nGamma\r\n");
  EXPECT_EQ(dialog.GetCurrentCategory(), "Gamma");

  // Into another category's name (in any letter case) or into nothing: refused.
  ui.inputAnswers = {std::string("BETA"), std::string("<< GENERAL >>"), std::string("   ")};
  dialog.miRename->trigger();
  dialog.miRename->trigger();
  dialog.miRename->trigger();
  EXPECT_EQ(FeedOptions->GetListOfCategories(), "beta\r\nGamma\r\n");
  EXPECT_EQ(dialog.GetCurrentCategory(), "Gamma");
  ASSERT_EQ(ui.messages.size(), 2U);
  EXPECT_EQ(ui.messages[0].text, "Category \"BETA\" is already exists");

  // Its own name in another letter case is a rename.
  ui.inputAnswers = {std::string("gamma")};
  dialog.miRename->trigger();
  EXPECT_EQ(FeedOptions->GetListOfCategories(), "beta\r\ngamma\r\n");
  EXPECT_EQ(dialog.GetCurrentCategory(), "gamma");
}

TEST_F(AddFeedDlgTest, RemoveCategoryAsksWithNoAsDefaultAndTakesTheFeedsAlong) {
  TfrmAddFeedDlg dialog;
  dialog.miRemove->trigger();
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_EQ(ui.messages[0].text, "General category can not be removed.");
  EXPECT_EQ(ui.messages[0].caption, "Information");
  EXPECT_EQ(ui.messages[0].buttons, unsigned{mbOK});

  dialog.SetCurrentCategory("beta");
  ui.messageAnswers = {ModalResult::No, ModalResult::Cancel};
  dialog.miRemove->trigger();
  dialog.miRemove->trigger();
  ASSERT_EQ(ui.messages.size(), 3U);
  EXPECT_EQ(ui.messages[1].text, "Are you sure you want to remove category \"beta\" and all its content?");
  EXPECT_EQ(ui.messages[1].caption, "Confirmation");
  EXPECT_EQ(ui.messages[1].type, MsgDlgType::Confirmation);
  EXPECT_EQ(ui.messages[1].buttons, unsigned{mbYes | mbNo | mbCancel});
  EXPECT_EQ(ui.messages[1].defaultButton, ModalResult::No);
  EXPECT_EQ(FeedOptions->GetListOfCategories(), "Alpha\r\nbeta\r\n");

  ui.messageAnswers = {ModalResult::Yes};
  dialog.miRemove->trigger();
  EXPECT_EQ(FeedOptions->GetListOfCategories(), "Alpha\r\n");
  EXPECT_TRUE(FeedOptions->FindFeedWithURL(FeedOptions->FXMLDoc->DocumentElement(), "http://b.example/feed").IsNull());
  EXPECT_EQ(dialog.cbxCategory->currentIndex(), 0);
  EXPECT_EQ(Entries(*dialog.cbxCategory), (std::vector<std::string>{"<< GENERAL >>", "Alpha"}));
}

TEST_F(AddFeedDlgTest, WithoutAStoreTheDialogStillOpensWithGeneralAndChecksNothing) {
  FeedOptions.reset();
  TfrmAddFeedDlg dialog;
  EXPECT_EQ(Entries(*dialog.cbxCategory), (std::vector<std::string>{"<< GENERAL >>"}));
  dialog.edURL->setText("http://x.example/a.xml");
  EXPECT_FALSE(dialog.CheckLink(true));
  EXPECT_TRUE(dialog.Button1->isEnabled());
  EXPECT_TRUE(dialog.lblInfo->isHidden());
}

TEST_F(AddFeedDlgTest, OfferedFeedsFillAddressAndTitleAndAddWithoutADownload) {
  TfrmAddFeedDlg dialog;
  dialog.OfferFeeds({{"http://e.example/rss.xml", "News & Views"},
                     {"http://e.example/atom.xml", "Atom"},
                     {"http://e.example/untitled.xml", ""}});
  ASSERT_NE(dialog.cbxURL, nullptr);
  EXPECT_EQ(Entries(*dialog.cbxURL), (std::vector<std::string>{"http://e.example/rss.xml", "http://e.example/atom.xml",
                                                               "http://e.example/untitled.xml"}));
  // edURL is still the dialog's address field, now the list's text field.
  EXPECT_EQ(dialog.findChild<QLineEdit *>("edURL"), dialog.edURL);
  EXPECT_EQ(dialog.cbxURL->lineEdit(), dialog.edURL);
  EXPECT_EQ(dialog.edURL->text(), "http://e.example/rss.xml");
  EXPECT_EQ(dialog.edTitle->text(), "News & Views");

  ModalScript script;
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
    // Choosing a feed as the list does: its address and its title.
    open.cbxURL->setCurrentIndex(1);
    emit open.cbxURL->activated(1);
    EXPECT_EQ(open.edURL->text(), "http://e.example/atom.xml");
    EXPECT_EQ(open.edTitle->text(), "Atom");
    open.Button1->click();
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_TRUE(script.Done());
  EXPECT_TRUE(inet.requests.empty()) << "an offered feed with its title needs no check";
  EXPECT_EQ(dialog.edURL->text(), "http://e.example/atom.xml");

  // One without a title is read when added, like a typed address.
  emit dialog.cbxURL->activated(2);
  EXPECT_EQ(dialog.edTitle->text(), "");
  EXPECT_TRUE(dialog.URLChanged());
}

} // namespace
} // namespace quorvelle::test
