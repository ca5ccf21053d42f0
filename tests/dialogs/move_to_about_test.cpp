// The move-to dialog with its remembered target category, the about box, and
// (on request) screenshots of the four dialogs.

#include "dialogs/about_box.h"
#include "dialogs/add_feed_dlg.h"
#include "dialogs/manage_dlg.h"
#include "dialogs/move_to_dlg.h"

#include "feeds/feed_store.h"
#include "platform/registry/registry.h"
#include "tests/dialogs/dialogs_test_fixture.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSet>

#include <QAbstractItemView>
#include <QPainter>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace quorvelle::test {
namespace {

constexpr const char *kSeed =
    R"(<?xml version="1.0" encoding="UTF-8"?><Quorvelle_Feeds><Quorvelle_Categories>)"
    R"(<Quorvelle_Category name="Tech" description=""/><Quorvelle_Category name="News" description=""/>)"
    R"(</Quorvelle_Categories></Quorvelle_Feeds>)";

std::optional<std::string> RememberedTarget() {
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, false);
  if (!key || !key->ValueExists("ToCategory")) {
    return std::nullopt;
  }
  return key->ReadString("ToCategory");
}

void Remember(const std::string &target) {
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
  ASSERT_TRUE(key);
  key->WriteString("ToCategory", target);
}

void Choose(QComboBox &box, const std::string &name) {
  const int index = name.empty() ? 0 : categorylist::FindEntry(box, name);
  ASSERT_GE(index, 0) << name;
  box.setCurrentIndex(index);
  emit box.activated(index);
}

class MoveToDlgTest : public DialogTest {
protected:
  void SetUp() override { SeedFeeds(kSeed); }

  // Shows the dialog preset to from, lets act work on it, returns the result.
  int Run(TfrmMoveToDlg &dialog, const std::string &from, const std::function<void(TfrmMoveToDlg &)> &act) {
    dialog.SetFromCategory(from);
    ModalScript script;
    script.Then<TfrmMoveToDlg>(act);
    const int result = dialog.exec();
    EXPECT_TRUE(script.Done());
    return result;
  }
};

TEST_F(MoveToDlgTest, FormListsGeneralThenTheCategoriesWithOkFirstInTheTabOrder) {
  TfrmMoveToDlg dialog;
  EXPECT_EQ(dialog.windowTitle(), "Move Feed...");
  EXPECT_EQ(dialog.size(), QSize(394, 148));
  EXPECT_EQ(dialog.Button1->text(), "OK");
  EXPECT_TRUE(dialog.Button1->isDefault());
  EXPECT_EQ(dialog.Button2->text(), "Cancel");
  for (QComboBox *box : {dialog.cbxCategoryFrom, dialog.cbxCategoryTo}) {
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0), "<< GENERAL >>");
    EXPECT_EQ(box->itemText(1), "News");
    EXPECT_EQ(box->itemText(2), "Tech");
  }
  EXPECT_EQ(dialog.FFromCategory, "");
  EXPECT_EQ(dialog.FToCategory, "");
  const std::vector<QWidget *> order = {dialog.Button1, dialog.Button2, dialog.cbxCategoryFrom, dialog.cbxCategoryTo};
  EXPECT_EQ(FocusOrder(order), order);
}

TEST_F(MoveToDlgTest, OkRemembersTheTargetAndTheNextDialogPreselectsIt) {
  EXPECT_FALSE(RememberedTarget());
  {
    TfrmMoveToDlg dialog;
    const int result = Run(dialog, "Tech", [](TfrmMoveToDlg &open) {
      EXPECT_EQ(open.cbxCategoryFrom->currentText(), "Tech");
      EXPECT_EQ(open.cbxCategoryTo->currentIndex(), 0);
      EXPECT_EQ(open.focusWidget(), open.Button1);
      Choose(*open.cbxCategoryTo, "News");
      open.Button1->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.FFromCategory, "Tech");
    EXPECT_EQ(dialog.FToCategory, "News");
    EXPECT_EQ(RememberedTarget(), "News");
  }
  TfrmMoveToDlg next;
  EXPECT_EQ(next.FToCategory, "News");
  const int result = Run(next, "news", [](TfrmMoveToDlg &open) {
    EXPECT_EQ(open.cbxCategoryFrom->currentText(), "News") << "the list's search ignores letter case";
    EXPECT_EQ(open.cbxCategoryTo->currentText(), "News");
    // Source and target may be anything, also the same category.
    Choose(*open.cbxCategoryFrom, "");
    open.Button1->click();
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(next.FFromCategory, "");
  EXPECT_EQ(next.FToCategory, "News");
}

TEST_F(MoveToDlgTest, CancelNeverWritesAndOkAlwaysDoes) {
  Remember("Tech");
  {
    TfrmMoveToDlg dialog;
    EXPECT_EQ(Run(dialog, "",
                  [](TfrmMoveToDlg &open) {
                    Choose(*open.cbxCategoryTo, "News");
                    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QApplication::sendEvent(&open, &escape);
                  }),
              QDialog::Rejected);
    EXPECT_EQ(RememberedTarget(), "Tech");
  }
  {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    ASSERT_TRUE(key);
    key->DeleteValue("ToCategory");
  }
  TfrmMoveToDlg dialog;
  EXPECT_EQ(Run(dialog, "", [](TfrmMoveToDlg &open) { open.Button1->click(); }), QDialog::Accepted);
  EXPECT_EQ(RememberedTarget(), "") << "General chosen: written as the empty string";
}

TEST_F(MoveToDlgTest, ARememberedTargetThatIsGoneOrEmptySelectsGeneral) {
  for (const std::string remembered : {"Vanished", ""}) {
    SCOPED_TRACE(remembered);
    Remember(remembered);
    TfrmMoveToDlg dialog;
    EXPECT_EQ(dialog.FToCategory, remembered);
    Run(dialog, "", [](TfrmMoveToDlg &open) {
      EXPECT_EQ(open.cbxCategoryTo->currentIndex(), 0);
      open.Button1->click();
    });
    EXPECT_EQ(dialog.FToCategory, "");
  }
}

class AboutBoxTest : public DialogTest {};

TEST_F(AboutBoxTest, ShowsTheProductAndClosesWithOkOrEscapeOnly) {
  TfmAbout box;
  EXPECT_EQ(box.windowTitle(), "About");
  EXPECT_EQ(box.size(), QSize(400, 373));
  EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(box.windowFlags() & Qt::WindowMinMaxButtonsHint);
  EXPECT_EQ(box.lblProductName->text(), "Quorvelle");
  EXPECT_TRUE(box.lblProductName->font().bold());
  EXPECT_EQ(box.lblProductVersion->text(), "version 1.00");
  EXPECT_EQ(box.lblProductURL->text(), "https://www.tolvane.example/quorvelle/");
  EXPECT_EQ(box.lblProductEmail->text(), "support@tolvane.example");
  EXPECT_TRUE(box.lblProductEmail->font().underline());
  EXPECT_EQ(box.lblProductEmail->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(box.Image1->pixmap().size(), QSize(32, 32));
  EXPECT_EQ(box.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_FALSE(box.lblNotice->text().isEmpty());

  ModalScript script;
  script.Then<TfmAbout>([](TfmAbout &open) {
    EXPECT_EQ(open.focusWidget(), open.Button1);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(open.Button1, &escape);
  });
  EXPECT_EQ(box.exec(), QDialog::Rejected);
  script.Then<TfmAbout>([](TfmAbout &open) { open.Button1->click(); });
  EXPECT_EQ(box.exec(), QDialog::Accepted);
  EXPECT_TRUE(script.Done());
}

TEST_F(AboutBoxTest, MailLinkStartsTheMailProgramWithTheSupportAddressAndTheBoxStaysOpen) {
  const std::string opener = user.Home() + "/opener.sh";
  const std::string output = user.Home() + "/opened.txt";
  WriteFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + output + ".part\" && mv \"" + output + ".part\" \"" +
                        output + "\"\n");
  ASSERT_EQ(::chmod(opener.c_str(), 0700), 0);
  ScopedEnv useOpener("QUORVELLE_URL_OPENER", opener);

  TfmAbout box;
  ModalScript script;
  script.Then<TfmAbout>([](TfmAbout &open) {
    const QPointF inside(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, inside, open.lblProductEmail->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, open.lblProductEmail->mapToGlobal(inside), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(open.lblProductEmail, &press);
    QApplication::sendEvent(open.lblProductEmail, &release);
    EXPECT_TRUE(open.isVisible());
    open.Button1->click();
  });
  box.exec();
  QElapsedTimer clock;
  clock.start();
  while (!PathExists(output) && clock.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  ASSERT_TRUE(PathExists(output));
  EXPECT_EQ(ReadFile(output), "mailto:support@tolvane.example");
}

// Colours in the image: a blank or black grab has one or two.
int DistinctColours(const QImage &image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) {
      colours.insert(image.pixel(x, y));
    }
  }
  return static_cast<int>(colours.size());
}

// Writes the four screenshots of the docs when QUORVELLE_SCREENSHOT_DIR names
// a folder.
TEST_F(DialogTest, DialogScreenshots) {
  const QString folder = qEnvironmentVariable("QUORVELLE_SCREENSHOT_DIR");
  if (folder.isEmpty()) {
    GTEST_SKIP() << "QUORVELLE_SCREENSHOT_DIR not set";
  }
  SeedFeeds(
      R"(<?xml version="1.0" encoding="UTF-8"?><Quorvelle_Feeds><Quorvelle_Categories>)"
      R"(<Quorvelle_Feed src="https://planet.example.org/rss20.xml" enabled="true" title="Planet Example"/>)"
      R"(<Quorvelle_Feed src="https://blog.example.com/feed.atom" enabled="false" title="Example Engineering Blog"/>)"
      R"(<Quorvelle_Feed src="http://news.example.net/world.rss" enabled="true" title="World News"/>)"
      R"(<Quorvelle_Category name="Science" description=""/><Quorvelle_Category name="Tech" description=""/>)"
      R"(</Quorvelle_Categories></Quorvelle_Feeds>)");
  const auto save = [&](QWidget &widget, const char *name) {
    widget.show();
    QCoreApplication::processEvents();
    const QImage image = widget.grab().toImage();
    EXPECT_EQ(image.size() / image.devicePixelRatio(), widget.size());
    EXPECT_GT(DistinctColours(image), 8) << name;
    EXPECT_TRUE(image.save(folder + "/" + name)) << name;
    widget.hide();
  };
  {
    TfrmAddFeedDlg dialog;
    dialog.edTitle->setText("Planet Example");
    dialog.edURL->setText("https://planet.example.org/rss20.xml");
    dialog.SetCurrentCategory("Tech");
    save(dialog, "add-feed-dialog.png");
  }
  {
    // A page that announces several feeds, with the list of them open.
    TfrmAddFeedDlg dialog;
    dialog.OfferFeeds({{"https://planet.example.org/rss20.xml", "Planet Example"},
                       {"https://planet.example.org/universe/rss20.xml", "Example Universe"},
                       {"https://planet.example.org/atom.xml", ""}});
    dialog.show();
    dialog.cbxURL->showPopup();
    QCoreApplication::processEvents();
    QWidget *popup = dialog.cbxURL->view()->window();
    QPixmap picture(
        dialog.size().expandedTo(QSize(dialog.width(), dialog.mapFromGlobal(popup->geometry().bottomLeft()).y() + 1)));
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, dialog.grab());
    painter.drawPixmap(dialog.mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
    painter.end();
    EXPECT_GT(DistinctColours(picture.toImage()), 8);
    EXPECT_TRUE(picture.save(folder + "/add-feed-offered-feeds.png"));
    dialog.cbxURL->hidePopup();
  }
  {
    TfrmManageDlg dialog;
    dialog.lbxRSS->setCurrentRow(0);
    save(dialog, "manage-dialog.png");
    dialog.Button2->click();
  }
  {
    TfrmMoveToDlg dialog;
    dialog.SetFromCategory("");
    dialog.SetToCategory("Science");
    save(dialog, "move-to-dialog.png");
  }
  {
    TfmAbout box;
    save(box, "about-box.png");
  }
}

} // namespace
} // namespace quorvelle::test
