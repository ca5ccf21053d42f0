// The manage feeds dialog: every command on the open dialog, the nested add,
// edit and move-to dialogs, and the snapshot transaction (OK saves once,
// Cancel in every form puts the document back and writes nothing).

#include "dialogs/manage_dlg.h"

#include "dialogs/add_feed_dlg.h"
#include "dialogs/move_to_dlg.h"
#include "feeds/feed_store.h"
#include "platform/registry/registry.h"
#include "tests/dialogs/dialogs_test_fixture.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

namespace quorvelle::test {
namespace {

using platform::ui::mbCancel;
using platform::ui::mbNo;
using platform::ui::mbYes;
using platform::ui::ModalResult;

constexpr const char *kSeed = R"(<?xml version="1.0" encoding="UTF-8"?><Quorvelle_Feeds><Quorvelle_Categories>)"
                              R"(<Quorvelle_Feed src="http://a.example/a.xml" enabled="true" title="Feed A"/>)"
                              R"(<Quorvelle_Category name="Tech" description="">)"
                              R"(<Quorvelle_Feed src="http://c.example/c.xml" enabled="true" title="Feed C"/>)"
                              R"(<Quorvelle_Feed src="http://d.example/d.xml" enabled="false" title="Feed D"/>)"
                              R"(<Quorvelle_Feed src="http://e.example/e.xml" enabled="true" title="Feed E"/>)"
                              R"(</Quorvelle_Category>)"
                              R"(<Quorvelle_Feed src="http://b.example/b.xml" enabled="false" title="Feed B"/>)"
                              R"(<Quorvelle_Category name="News" description="">)"
                              R"(<Quorvelle_Feed src="http://f.example/f.xml" enabled="true" title="Feed F"/>)"
                              R"(</Quorvelle_Category>)"
                              R"(</Quorvelle_Categories></Quorvelle_Feeds>)";

std::vector<std::string> Rows(const TfrmManageDlg &dialog) {
  std::vector<std::string> rows;
  for (int i = 0; i < dialog.lbxRSS->count(); ++i) {
    rows.push_back(dialog.lbxRSS->item(i)->text().toStdString());
  }
  return rows;
}

std::vector<bool> Checks(const TfrmManageDlg &dialog) {
  std::vector<bool> checks;
  for (int i = 0; i < dialog.lbxRSS->count(); ++i) {
    checks.push_back(dialog.lbxRSS->item(i)->checkState() == Qt::Checked);
  }
  return checks;
}

std::vector<std::string> Entries(const QComboBox &box) {
  std::vector<std::string> entries;
  for (int i = 0; i < box.count(); ++i) {
    entries.push_back(box.itemText(i).toStdString());
  }
  return entries;
}

// The user picks a category in a list.
void ChooseCategory(QComboBox &box, const std::string &name) {
  const int index = name.empty() ? 0 : categorylist::FindEntry(box, name);
  ASSERT_GE(index, 0) << name;
  box.setCurrentIndex(index);
  emit box.activated(index);
}

int SelectedRow(const TfrmManageDlg &dialog) {
  const auto selected = dialog.lbxRSS->selectedItems();
  return selected.isEmpty() ? -1 : dialog.lbxRSS->row(selected.first());
}

std::vector<std::string> StoreTitles(TRSSFeedOptions &store, const std::string &category) {
  std::vector<std::string> urls;
  std::vector<std::string> titles;
  store.GetFeedsURLSForCategory(category, urls, titles);
  return titles;
}

std::vector<std::string> MenuText(const QMenu &menu) {
  std::vector<std::string> entries;
  for (QAction *action : menu.actions()) {
    if (action->isSeparator()) {
      entries.emplace_back("-");
    } else if (action->menu() != nullptr) {
      std::string sub = action->text().toStdString() + "[";
      for (const std::string &entry : MenuText(*action->menu())) {
        sub += entry + ";";
      }
      entries.push_back(sub + "]");
    } else {
      entries.push_back(action->objectName().toStdString());
    }
  }
  return entries;
}

class ManageDlgTest : public DialogTest {
protected:
  void SetUp() override {
    WriteFile(user.FeedsFile(), kSeed);
    LoadStore();
  }
};

TEST_F(ManageDlgTest, ActionsCarryTheirCaptionsAndTagsAndTheMenusListThemInOrder) {
  TfrmManageDlg dialog;
  EXPECT_EQ(dialog.windowTitle(), "Manage Feeds");
  EXPECT_FALSE(dialog.windowIcon().isNull());
  const std::vector<std::tuple<QAction *, const char *, int>> actions = {
      {dialog.actAddFeed, "Add...", 0},
      {dialog.actEditFeed, "Edit...", 0},
      {dialog.actMoveUp, "Move Up", 1},
      {dialog.actMoveDown, "Move Down", 0},
      {dialog.actRemove, "Remove...", 0},
      {dialog.actMoveTo, "Move To...", 0},
      {dialog.actAddCategory, "Add Category...", 0},
      {dialog.actRemoveCategory, "Remove Category...", 0},
      {dialog.actRenameCategory, "Rename Category...", 0},
      {dialog.actMoveToTop, "To Top", 2},
      {dialog.actMoveToBottom, "To Bottom", 3},
      {dialog.actCheckAll, "Enable All Feeds", 1},
      {dialog.actUncheckAll, "Disable All Feeds", 0}};
  for (const auto &[action, caption, tag] : actions) {
    EXPECT_EQ(action->text(), caption);
    EXPECT_EQ(action->data().toInt(), tag) << caption;
    EXPECT_TRUE(action->isEnabled());
  }
  EXPECT_EQ(dialog.btnAdd->text(), "Add...");
  EXPECT_EQ(dialog.btnEdit->text(), "Edit...");
  EXPECT_EQ(dialog.btnMoveUp->text(), "Move Up");
  EXPECT_EQ(dialog.btnMoveDown->text(), "Move Down");
  EXPECT_EQ(dialog.btnMoveTo->text(), "Move To...");
  EXPECT_EQ(dialog.btnRemove->text(), "Remove...");
  EXPECT_EQ(dialog.SpeedButton1->text(), "Category:");
  EXPECT_EQ(dialog.Button1->text(), "OK");
  EXPECT_EQ(dialog.Button2->text(), "Cancel");

  EXPECT_EQ(MenuText(*dialog.popCategory),
            (std::vector<std::string>{"actAddCategory", "actRenameCategory", "-", "actRemoveCategory"}));
  EXPECT_EQ(MenuText(*dialog.popRSS),
            (std::vector<std::string>{"actAddFeed", "Category[actAddCategory;actRemoveCategory;-;actRenameCategory;]",
                                      "-", "Move[actMoveToTop;actMoveToBottom;-;actMoveUp;actMoveDown;]", "actMoveTo",
                                      "-", "actCheckAll", "actUncheckAll", "-", "actRemove", "actRemoveCategory", "-",
                                      "actEditFeed"}));
}

TEST_F(ManageDlgTest, OpensOnGeneralFromTheFileOnDiskWithTheSnapshotTaken) {
  // Another process changed the file since this store loaded it.
  std::string changed = kSeed;
  changed.replace(changed.find("Feed A"), 6, "Feed A from disk");
  WriteFile(user.FeedsFile(), changed);

  TfrmManageDlg dialog;
  EXPECT_EQ(Entries(*dialog.cbxCategory), (std::vector<std::string>{"<< GENERAL >>", "News", "Tech"}));
  EXPECT_EQ(dialog.GetCurrentCategory(), "");
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed A from disk", "Feed B"}));
  EXPECT_EQ(Checks(dialog), (std::vector<bool>{true, false}));
  EXPECT_EQ(dialog.FFeedURLs, (std::vector<std::string>{"http://a.example/a.xml", "http://b.example/b.xml"}));
  EXPECT_EQ(SelectedRow(dialog), -1);
  EXPECT_FALSE(FeedOptions->FStoredXML.empty());

  ChooseCategory(*dialog.cbxCategory, "Tech");
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed C", "Feed D", "Feed E"}));
  EXPECT_EQ(Checks(dialog), (std::vector<bool>{true, false, true}));
  dialog.Button2->click();

  TfrmManageDlg again;
  EXPECT_EQ(again.GetCurrentCategory(), "") << "the dialog always opens on General";
}

// One kind of change each, made on an open dialog the way a person makes it.
struct Change {
  const char *name;
  std::function<void(TfrmManageDlg &, ScriptedUi &)> apply;
};

std::vector<Change> AllChanges() {
  return {
      {"add feed",
       [](TfrmManageDlg &dialog, ScriptedUi &) {
         QGuiApplication::clipboard()->setText("http://new.example/n.xml");
         ModalScript script;
         script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
           open.edTitle->setText("New");
           open.Button1->click();
         });
         dialog.actAddFeed->trigger();
       }},
      {"edit feed",
       [](TfrmManageDlg &dialog, ScriptedUi &) {
         dialog.lbxRSS->setCurrentRow(0);
         ModalScript script;
         script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
           open.edTitle->setText("Edited");
           open.Button1->click();
         });
         dialog.actEditFeed->trigger();
       }},
      {"remove feed",
       [](TfrmManageDlg &dialog, ScriptedUi &ui) {
         dialog.lbxRSS->setCurrentRow(0);
         ui.messageAnswers = {ModalResult::Yes};
         dialog.actRemove->trigger();
       }},
      {"reorder",
       [](TfrmManageDlg &dialog, ScriptedUi &) {
         dialog.lbxRSS->setCurrentRow(1);
         dialog.actMoveUp->trigger();
       }},
      {"toggle enabled",
       [](TfrmManageDlg &dialog, ScriptedUi &) { dialog.lbxRSS->item(0)->setCheckState(Qt::Unchecked); }},
      {"disable all", [](TfrmManageDlg &dialog, ScriptedUi &) { dialog.actUncheckAll->trigger(); }},
      {"move to category",
       [](TfrmManageDlg &dialog, ScriptedUi &) {
         dialog.lbxRSS->setCurrentRow(0);
         ModalScript script;
         script.Then<TfrmMoveToDlg>([](TfrmMoveToDlg &open) {
           ChooseCategory(*open.cbxCategoryTo, "News");
           open.Button1->click();
         });
         dialog.actMoveTo->trigger();
       }},
      {"add category",
       [](TfrmManageDlg &dialog, ScriptedUi &ui) {
         ui.inputAnswers = {std::string("Fresh")};
         dialog.actAddCategory->trigger();
       }},
      {"rename category",
       [](TfrmManageDlg &dialog, ScriptedUi &ui) {
         ChooseCategory(*dialog.cbxCategory, "Tech");
         ui.inputAnswers = {std::string("Technology")};
         dialog.actRenameCategory->trigger();
       }},
      {"remove category",
       [](TfrmManageDlg &dialog, ScriptedUi &ui) {
         ChooseCategory(*dialog.cbxCategory, "Tech");
         ui.messageAnswers = {ModalResult::Yes};
         dialog.actRemoveCategory->trigger();
       }},
      {"category added inside the add dialog",
       [](TfrmManageDlg &dialog, ScriptedUi &ui) {
         ModalScript script;
         script.Then<TfrmAddFeedDlg>([&ui](TfrmAddFeedDlg &open) {
           ui.inputAnswers = {std::string("Nested")};
           open.miAdd->trigger();
           open.Button2->click();
         });
         dialog.actAddFeed->trigger();
       }},
  };
}

TEST_F(ManageDlgTest, CancelAfterEveryKindOfChangeLeavesDocumentAndDiskAsTheyWere) {
  for (const Change &change : AllChanges()) {
    SCOPED_TRACE(change.name);
    WriteFile(user.FeedsFile(), kSeed);
    LoadStore();
    const std::string disk = DiskFeeds();
    TfrmManageDlg dialog;
    const std::string opened = MemoryFeeds();
    change.apply(dialog, ui);
    EXPECT_NE(MemoryFeeds(), opened) << "the change reached the store";
    EXPECT_EQ(DiskFeeds(), disk);
    dialog.Button2->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(MemoryFeeds(), opened);
    EXPECT_EQ(DiskFeeds(), disk);
  }
}

TEST_F(ManageDlgTest, EscapeAndTheCloseBoxActAsCancel) {
  const std::string disk = DiskFeeds();
  for (const bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox ? "close box" : "Escape");
    TfrmManageDlg dialog;
    const std::string opened = MemoryFeeds();
    ModalScript script;
    script.Then<TfrmManageDlg>([&](TfrmManageDlg &open) {
      open.actCheckAll->trigger();
      open.lbxRSS->setCurrentRow(0);
      ui.messageAnswers = {ModalResult::Yes};
      open.actRemove->trigger();
      ASSERT_NE(MemoryFeeds(), opened);
      if (closeBox) {
        open.close();
      } else {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(open.lbxRSS, &escape);
      }
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(MemoryFeeds(), opened);
    EXPECT_EQ(DiskFeeds(), disk);
  }
}

TEST_F(ManageDlgTest, OkSavesAllChangesAtOnce) {
  const std::string disk = DiskFeeds();
  TfrmManageDlg dialog;
  QGuiApplication::clipboard()->setText("http://new.example/n.xml");
  ModalScript script;
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
    open.edTitle->setText("New");
    open.Button1->click();
  });
  dialog.actAddFeed->trigger();
  dialog.lbxRSS->setCurrentRow(1);
  dialog.actMoveUp->trigger();
  dialog.lbxRSS->item(1)->setCheckState(Qt::Unchecked);
  ui.inputAnswers = {std::string("Fresh")};
  dialog.actAddCategory->trigger();
  EXPECT_EQ(DiskFeeds(), disk) << "nothing is written before OK";

  dialog.Button1->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(FeedOptions->FStoredXML.empty());
  TRSSFeedOptions reread;
  reread.Load();
  EXPECT_EQ(StoreTitles(reread, ""), (std::vector<std::string>{"Feed B", "Feed A", "New"}));
  EXPECT_FALSE(reread.GetFeedStateEnabled("http://a.example/a.xml", ""));
  EXPECT_TRUE(reread.GetFeedStateEnabled("http://new.example/n.xml", ""));
  EXPECT_EQ(reread.GetListOfCategories(), "Fresh\r\nNews\r\nTech\r\n");
  EXPECT_EQ(StoreTitles(reread, "Tech"), (std::vector<std::string>{"Feed C", "Feed D", "Feed E"}));
}

// Another program adds a feed while the dialog is open: OK keeps both its
// feed and the dialog's changes.
TEST_F(ManageDlgTest, OkKeepsAFeedAnotherProgramAddedWhileTheDialogWasOpen) {
  TfrmManageDlg dialog;
  dialog.lbxRSS->setCurrentRow(0);
  dialog.actMoveDown->trigger();
  {
    TRSSFeedOptions other;
    other.Load();
    other.AddNewRSSFeed("http://other.example/o.xml", "Other", "Tech");
    other.Save();
  }
  dialog.Button1->click();
  TRSSFeedOptions reread;
  reread.Load();
  EXPECT_EQ(StoreTitles(reread, ""), (std::vector<std::string>{"Feed B", "Feed A"}));
  EXPECT_EQ(StoreTitles(reread, "Tech"), (std::vector<std::string>{"Feed C", "Feed D", "Feed E", "Other"}));
}

TEST_F(ManageDlgTest, ReorderingKeepsTheSelectionOnTheMovedFeed) {
  TfrmManageDlg dialog;
  ChooseCategory(*dialog.cbxCategory, "Tech");
  std::string category = "Tech";
  const auto moveAndCheck = [&](int row, QAction *action, const std::vector<std::string> &rows, int selected) {
    dialog.lbxRSS->setCurrentRow(row);
    action->trigger();
    EXPECT_EQ(Rows(dialog), rows) << action->text().toStdString();
    EXPECT_EQ(SelectedRow(dialog), selected) << action->text().toStdString();
    EXPECT_EQ(StoreTitles(*FeedOptions, category), rows);
  };
  moveAndCheck(2, dialog.actMoveDown, {"Feed C", "Feed D", "Feed E"}, 2);
  moveAndCheck(0, dialog.actMoveUp, {"Feed C", "Feed D", "Feed E"}, 0);
  moveAndCheck(2, dialog.actMoveToTop, {"Feed E", "Feed D", "Feed C"}, 0);
  moveAndCheck(1, dialog.actMoveToBottom, {"Feed E", "Feed C", "Feed D"}, 2);
  moveAndCheck(0, dialog.actMoveDown, {"Feed C", "Feed E", "Feed D"}, 1);
  EXPECT_EQ(dialog.FFeedURLs,
            (std::vector<std::string>{"http://c.example/c.xml", "http://e.example/e.xml", "http://d.example/d.xml"}));
  EXPECT_EQ(Checks(dialog), (std::vector<bool>{true, true, false})) << "the enabled flags travel with the feeds";

  // In General the move goes past the categories between its feeds.
  ChooseCategory(*dialog.cbxCategory, "");
  category = "";
  moveAndCheck(1, dialog.actMoveUp, {"Feed B", "Feed A"}, 0);
}

TEST_F(ManageDlgTest, CommandsThatNeedARowDoNothingWithoutOne) {
  TfrmManageDlg dialog;
  const std::string opened = MemoryFeeds();
  ModalScript script; // rejects and counts any dialog that opens
  for (QAction *action : {dialog.actRemove, dialog.actEditFeed, dialog.actMoveTo, dialog.actMoveUp, dialog.actMoveDown,
                          dialog.actMoveToTop, dialog.actMoveToBottom}) {
    action->trigger();
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(script.unexpected, 0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(MemoryFeeds(), opened);

  // Enabling or disabling all feeds of an empty category changes nothing.
  ui.inputAnswers = {std::string("Empty")};
  dialog.actAddCategory->trigger();
  const std::string withEmpty = MemoryFeeds();
  dialog.actCheckAll->trigger();
  dialog.actUncheckAll->trigger();
  EXPECT_EQ(MemoryFeeds(), withEmpty);
}

TEST_F(ManageDlgTest, AddShowsWhatTheStoreHolds) {
  TfrmManageDlg dialog;
  // Untouched clipboard link, no title: accepted at once with an empty title.
  QGuiApplication::clipboard()->setText("http://clip.example/c.xml");
  ModalScript script;
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
    EXPECT_EQ(open.edURL->text(), "http://clip.example/c.xml");
    EXPECT_EQ(open.GetCurrentCategory(), "");
    open.Button1->click();
  });
  dialog.actAddFeed->trigger();
  EXPECT_TRUE(inet.requests.empty());
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed A", "Feed B", ""}));
  EXPECT_EQ(Checks(dialog), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(dialog.FFeedURLs.back(), "http://clip.example/c.xml");

  // Into another category: the shown list does not grow.
  QGuiApplication::clipboard()->setText("http://other.example/o.xml");
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
    open.cbxCategory->setCurrentIndex(categorylist::FindEntry(*open.cbxCategory, "News"));
    open.edTitle->setText("Other");
    open.Button1->click();
  });
  dialog.actAddFeed->trigger();
  EXPECT_EQ(Rows(dialog).size(), 3U);
  EXPECT_EQ(StoreTitles(*FeedOptions, "News"), (std::vector<std::string>{"Feed F", "Other"}));

  // A link that is already in the list: the store refuses it, the rows stay.
  QGuiApplication::clipboard()->setText("HTTP://C.example/c.xml");
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
    open.edTitle->setText("Duplicate");
    open.Button1->click();
  });
  dialog.actAddFeed->trigger();
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_EQ(ui.messages[0].text, "Feed with URL:\r\nHTTP://C.example/c.xml \r\nis already in the list");
  EXPECT_EQ(Rows(dialog).size(), 3U);
  EXPECT_EQ(dialog.FFeedURLs.size(), 3U);
  EXPECT_TRUE(script.Done());
}

TEST_F(ManageDlgTest, AddDialogOpensOnTheShownCategoryAndItsCategoryChangesReachTheList) {
  TfrmManageDlg dialog;
  ChooseCategory(*dialog.cbxCategory, "Tech");
  ModalScript script;
  script.Then<TfrmAddFeedDlg>([&](TfrmAddFeedDlg &open) {
    EXPECT_EQ(open.GetCurrentCategory(), "Tech");
    ui.inputAnswers = {std::string("Nested")};
    open.miAdd->trigger();
    open.Button2->click();
  });
  dialog.actAddFeed->trigger();
  EXPECT_EQ(Entries(*dialog.cbxCategory), (std::vector<std::string>{"<< GENERAL >>", "Nested", "News", "Tech"}));
  EXPECT_EQ(dialog.GetCurrentCategory(), "Tech");
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed C", "Feed D", "Feed E"}));

  // The shown category removed inside the add dialog: back to General,
  // without bringing the removed category back.
  script.Then<TfrmAddFeedDlg>([&](TfrmAddFeedDlg &open) {
    ui.messageAnswers = {ModalResult::Yes};
    open.miRemove->trigger();
    open.Button2->click();
  });
  dialog.actAddFeed->trigger();
  EXPECT_EQ(dialog.GetCurrentCategory(), "");
  EXPECT_EQ(FeedOptions->GetListOfCategories(), "Nested\r\nNews\r\n");
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed A", "Feed B"}));
}

TEST_F(ManageDlgTest, EditUsesTheEditFormAndKeepsTheEnabledFlag) {
  TfrmManageDlg dialog;
  dialog.lbxRSS->setCurrentRow(0);
  ModalScript script;
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
    EXPECT_EQ(open.windowTitle(), "Edit Feed");
    EXPECT_EQ(open.Button1->text(), "OK");
    EXPECT_TRUE(open.pnlCategory->isHidden());
    EXPECT_EQ(open.edURL->text(), "http://a.example/a.xml");
    EXPECT_EQ(open.edTitle->text(), "Feed A");
    open.edTitle->setText(" Feed A, renamed ");
    open.Button1->click();
  });
  dialog.actEditFeed->trigger();
  EXPECT_TRUE(inet.requests.empty()) << "no fetch on showing the edit form, none for an untouched link";
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed A, renamed", "Feed B"}));
  EXPECT_EQ(Checks(dialog), (std::vector<bool>{true, false}));
  EXPECT_EQ(StoreTitles(*FeedOptions, ""), (std::vector<std::string>{"Feed A, renamed", "Feed B"}));

  // A new link is checked before the edit form closes.
  inet.bodies["http://a2.example/a.xml"] = RssWithTitle("From the feed");
  dialog.lbxRSS->setCurrentRow(1);
  script.Then<TfrmAddFeedDlg>([](TfrmAddFeedDlg &open) {
    open.edURL->setText("http://a2.example/a.xml");
    open.Button1->click();
  });
  dialog.actEditFeed->trigger();
  EXPECT_EQ(dialog.FFeedURLs, (std::vector<std::string>{"http://a.example/a.xml", "http://a2.example/a.xml"}));
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed A, renamed", "From the feed"}));
  EXPECT_FALSE(FeedOptions->GetFeedStateEnabled("http://a2.example/a.xml", "")) << "the flag stays with the feed";

  // Another feed's address is refused with the store's message; the form
  // stays open and nothing changes.
  inet.bodies["HTTP://A.example/a.xml"] = RssWithTitle("Dup");
  script.Then<TfrmAddFeedDlg>([&](TfrmAddFeedDlg &open) {
    open.edURL->setText("HTTP://A.example/a.xml");
    open.Button1->click();
    EXPECT_TRUE(open.isVisible());
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, "Feed with URL:\r\nHTTP://A.example/a.xml \r\nis already in the list");
    open.Button2->click();
  });
  dialog.actEditFeed->trigger();
  EXPECT_EQ(dialog.FFeedURLs, (std::vector<std::string>{"http://a.example/a.xml", "http://a2.example/a.xml"}));
  EXPECT_TRUE(FeedOptions->FindFeedWithURL(FeedOptions->FXMLDoc->DocumentElement(), "http://a2.example/a.xml"));
  EXPECT_TRUE(script.Done());
}

TEST_F(ManageDlgTest, RemoveAsksWithTheTitleAndOnlyYesRemoves) {
  TfrmManageDlg dialog;
  dialog.lbxRSS->setCurrentRow(1);
  ui.messageAnswers = {ModalResult::No, ModalResult::Cancel};
  dialog.actRemove->trigger();
  dialog.actRemove->trigger();
  ASSERT_EQ(ui.messages.size(), 2U);
  EXPECT_EQ(ui.messages[0].text, "Are you sure you want to remove feed\r\n\"Feed B\" ?");
  EXPECT_EQ(ui.messages[0].caption, "Confirmation");
  EXPECT_EQ(ui.messages[0].buttons, unsigned{mbYes | mbNo | mbCancel});
  EXPECT_EQ(ui.messages[0].defaultButton, ModalResult::No);
  EXPECT_EQ(Rows(dialog).size(), 2U);

  ui.messageAnswers = {ModalResult::Yes};
  dialog.actRemove->trigger();
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed A"}));
  EXPECT_EQ(dialog.FFeedURLs, (std::vector<std::string>{"http://a.example/a.xml"}));
  EXPECT_EQ(SelectedRow(dialog), -1);
  EXPECT_TRUE(FeedOptions->FindFeedWithURL(FeedOptions->FXMLDoc->DocumentElement(), "http://b.example/b.xml").IsNull());
}

TEST_F(ManageDlgTest, MoveToPresetsTheShownCategoryAndMovesTheSelectedFeed) {
  TfrmManageDlg dialog;
  ChooseCategory(*dialog.cbxCategory, "Tech");
  dialog.lbxRSS->setCurrentRow(1);
  ModalScript script;
  script.Then<TfrmMoveToDlg>([](TfrmMoveToDlg &open) {
    EXPECT_EQ(open.cbxCategoryFrom->currentText(), "Tech");
    EXPECT_EQ(open.cbxCategoryTo->currentIndex(), 0);
    ChooseCategory(*open.cbxCategoryTo, "News");
    open.Button1->click();
  });
  dialog.actMoveTo->trigger();
  EXPECT_EQ(dialog.GetCurrentCategory(), "Tech");
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed C", "Feed E"}));
  EXPECT_EQ(StoreTitles(*FeedOptions, "News"), (std::vector<std::string>{"Feed F", "Feed D"}));
  EXPECT_FALSE(FeedOptions->GetFeedStateEnabled("http://d.example/d.xml", "News"));

  // Cancelled: nothing moves.
  dialog.lbxRSS->setCurrentRow(0);
  script.Then<TfrmMoveToDlg>([](TfrmMoveToDlg &open) {
    EXPECT_EQ(open.cbxCategoryTo->currentText(), "News") << "the last target is remembered";
    open.Button2->click();
  });
  dialog.actMoveTo->trigger();
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed C", "Feed E"}));
  EXPECT_TRUE(script.Done());
}

TEST_F(ManageDlgTest, CheckBoxesAndEnableAllWorkOnTheShownCategoryOnly) {
  TfrmManageDlg dialog;
  dialog.lbxRSS->setCurrentRow(1);
  dialog.lbxRSS->item(1)->setCheckState(Qt::Checked);
  EXPECT_TRUE(FeedOptions->GetFeedStateEnabled("http://b.example/b.xml", ""));
  dialog.lbxRSS->item(0)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(FeedOptions->GetFeedStateEnabled("http://a.example/a.xml", ""));

  ChooseCategory(*dialog.cbxCategory, "Tech");
  dialog.actCheckAll->trigger();
  EXPECT_EQ(Checks(dialog), (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(FeedOptions->GetFeedStateEnabled("http://d.example/d.xml", "Tech"));
  dialog.actUncheckAll->trigger();
  EXPECT_EQ(Checks(dialog), (std::vector<bool>{false, false, false}));
  for (const char *url : {"http://c.example/c.xml", "http://d.example/d.xml", "http://e.example/e.xml"}) {
    EXPECT_FALSE(FeedOptions->GetFeedStateEnabled(url, "Tech")) << url;
  }
  EXPECT_TRUE(FeedOptions->GetFeedStateEnabled("http://b.example/b.xml", ""));
  EXPECT_TRUE(FeedOptions->GetFeedStateEnabled("http://f.example/f.xml", "News"));
}

TEST_F(ManageDlgTest, CategoryCommandsReloadTheListAndGeneralCannotBeRemoved) {
  TfrmManageDlg dialog;
  dialog.actRemoveCategory->trigger();
  ASSERT_EQ(ui.messages.size(), 1U);
  EXPECT_EQ(ui.messages[0].text, "General category can not be removed.");

  ui.inputAnswers = {std::string("Fresh")};
  dialog.actAddCategory->trigger();
  EXPECT_EQ(dialog.GetCurrentCategory(), "Fresh");
  EXPECT_TRUE(Rows(dialog).empty());

  ui.inputAnswers = {std::string("tech")};
  dialog.actAddCategory->trigger();
  ASSERT_EQ(ui.messages.size(), 2U);
  EXPECT_EQ(ui.messages[1].text, "Category \"tech\" is already exists");
  EXPECT_EQ(dialog.GetCurrentCategory(), "Tech");
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed C", "Feed D", "Feed E"}));

  ui.inputAnswers = {std::string("Technology")};
  dialog.actRenameCategory->trigger();
  EXPECT_EQ(dialog.GetCurrentCategory(), "Technology");
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed C", "Feed D", "Feed E"}));

  ui.messageAnswers = {ModalResult::Yes};
  dialog.actRemoveCategory->trigger();
  EXPECT_EQ(dialog.GetCurrentCategory(), "");
  EXPECT_EQ(Rows(dialog), (std::vector<std::string>{"Feed A", "Feed B"}));
  EXPECT_EQ(FeedOptions->GetListOfCategories(), "Fresh\r\nNews\r\n");
}

} // namespace
} // namespace quorvelle::test
