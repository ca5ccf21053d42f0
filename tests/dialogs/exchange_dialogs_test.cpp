#include "dialogs/export_dlg.h"
#include "dialogs/import_dlg.h"
#include "dialogs/quorvelle_application.h"
#include "platform/errors.h"
#include "support/debug_log.h"
#include "tests/dialogs/modal_driver.h"
#include "tests/exchange/exchange_fixture.h"
#include "tests/helpers/scripted_ui.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <set>

namespace quorvelle::test {
namespace {

using platform::ui::FileDialogResult;

QStringList Entries(const QComboBox *combo) {
  QStringList out;
  for (int i = 0; i < combo->count(); ++i)
    out << combo->itemText(i);
  return out;
}

// Saves the dialog as it looks into the build folder; the picture must show
// more than a plain background.
void Screenshot(QDialog &dialog, const std::string &name) {
  dialog.show();
  QApplication::processEvents();
  const QImage image = dialog.grab().toImage();
  EXPECT_EQ(image.size(), dialog.size());
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 3) {
    for (int x = 0; x < image.width(); x += 3)
      colours.insert(image.pixel(x, y));
  }
  EXPECT_GT(colours.size(), 4U) << name << " looks empty";
  EXPECT_TRUE(image.save(QString::fromStdString(std::string(QUORVELLE_BINARY_DIR) + "/" + name)));
  dialog.hide();
}

class ExchangeDialogsTest : public ExchangeTest {
protected:
  void SetUp() override {
    ExchangeTest::SetUp();
    store->AddCategory("beta");
    store->AddCategory("Alpha");
    store->AddCategory("Caf\xC3\xA9");
    store->AddNewRSSFeed("http://g/1", "G", "");
    store->AddNewRSSFeed("http://a/1", "A", "Alpha");
    store->AddNewRSSFeed("http://b/1", "B", "beta");
  }
};

// ------------------------------------------------------------ TfrmExportDlg

TEST_F(ExchangeDialogsTest, ExportDialogStartsWithAllCategoriesAndFollowsTheRadioButtons) {
  TfrmExportDlg dialog(*store);
  EXPECT_EQ(dialog.windowTitle(), "Export Feeds as OPML/XML");
  EXPECT_EQ(dialog.size(), QSize(390, 179));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  auto *label = dialog.findChild<QLabel *>("Label1");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Select categories to be exported:");
  EXPECT_TRUE(label->font().bold());
  auto *all = dialog.findChild<QRadioButton *>("rgAllCategories");
  auto *selected = dialog.findChild<QRadioButton *>("rgSelectedCategory");
  auto *combo = dialog.findChild<QComboBox *>("cbxCategory");
  auto *ok = dialog.findChild<QPushButton *>("Button1");
  auto *cancel = dialog.findChild<QPushButton *>("Button2");
  ASSERT_TRUE(all && selected && combo && ok && cancel);
  EXPECT_EQ(all->text(), "All categories");
  EXPECT_EQ(selected->text(), "Selected category only");
  EXPECT_EQ(ok->text(), "Export");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(cancel->text(), "Cancel");

  EXPECT_TRUE(all->isChecked());
  EXPECT_TRUE(dialog.FAllCategories);
  EXPECT_FALSE(combo->isEnabled());
  EXPECT_EQ(Entries(combo), QStringList({"<< GENERAL >>", "Alpha", "beta", "Caf\xC3\xA9"}));
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(dialog.GetCurrentCategory(), "");

  selected->click();
  EXPECT_TRUE(selected->isChecked());
  EXPECT_TRUE(combo->isEnabled());
  EXPECT_FALSE(dialog.FAllCategories);
  combo->setCurrentIndex(3);
  EXPECT_EQ(dialog.GetCurrentCategory(), "Caf\xC3\xA9");
  all->click();
  EXPECT_FALSE(combo->isEnabled());
  EXPECT_TRUE(dialog.FAllCategories);

  ok->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(ExchangeDialogsTest, ImportDialogPrefillsTheNameAndTrimsIt) {
  TfrmImportDlg dialog(*store);
  EXPECT_EQ(dialog.windowTitle(), "Import Feeds from OPML/XML");
  EXPECT_EQ(dialog.size(), QSize(383, 179));
  auto *createNew = dialog.findChild<QRadioButton *>("rgCreateNewCategory");
  auto *edit = dialog.findChild<QLineEdit *>("edNewCategory");
  auto *selected = dialog.findChild<QRadioButton *>("rgSelectedCategory");
  auto *combo = dialog.findChild<QComboBox *>("cbxCategory");
  auto *ok = dialog.findChild<QPushButton *>("Button1");
  auto *cancel = dialog.findChild<QPushButton *>("Button2");
  ASSERT_TRUE(createNew && edit && selected && combo && ok && cancel);
  EXPECT_EQ(createNew->text(), "Into new category:");
  EXPECT_EQ(selected->text(), "Into selected category:");
  EXPECT_EQ(ok->text(), "Import");
  EXPECT_TRUE(ok->isDefault());
  // The name box has the focus at start and comes first in the dialog's tab
  // order, then the radio buttons, the list and the two buttons.
  EXPECT_EQ(dialog.focusWidget(), edit);
  const std::vector<QWidget *> tabOrder = {edit, createNew, selected, combo, ok, cancel};
  std::vector<QWidget *> chain;
  for (QWidget *widget = dialog.nextInFocusChain(); widget != &dialog && chain.size() <= tabOrder.size();
       widget = widget->nextInFocusChain()) {
    if (std::find(tabOrder.begin(), tabOrder.end(), widget) != tabOrder.end()) chain.push_back(widget);
  }
  EXPECT_EQ(chain, tabOrder);

  EXPECT_TRUE(createNew->isChecked());
  EXPECT_TRUE(dialog.FCreateNewCategory);
  EXPECT_TRUE(edit->isEnabled());
  EXPECT_FALSE(combo->isEnabled());
  EXPECT_EQ(Entries(combo), QStringList({"<< GENERAL >>", "Alpha", "beta", "Caf\xC3\xA9"}));

  dialog.SetNewCategoryName("  Liste des flux \xF0\x9F\x87\xAB\xF0\x9F\x87\xB7\t");
  EXPECT_EQ(edit->text().toStdString(), "  Liste des flux \xF0\x9F\x87\xAB\xF0\x9F\x87\xB7\t");
  EXPECT_EQ(dialog.GetNewCategoryName(), "Liste des flux \xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");

  selected->click();
  EXPECT_FALSE(dialog.FCreateNewCategory);
  EXPECT_FALSE(edit->isEnabled());
  EXPECT_TRUE(combo->isEnabled());
  combo->setCurrentIndex(2);
  EXPECT_EQ(dialog.GetCurrentCategory(), "beta");
  createNew->click();
  EXPECT_TRUE(dialog.FCreateNewCategory);
  EXPECT_TRUE(edit->isEnabled());
  EXPECT_FALSE(combo->isEnabled());

  cancel->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(ExchangeDialogsTest, ScreenshotsOfBothDialogs) {
  TfrmExportDlg exportDialog(*store);
  Screenshot(exportDialog, "export-dialog.png");
  TfrmImportDlg importDialog(*store);
  importDialog.SetNewCategoryName("Liferea Default Feed List");
  Screenshot(importDialog, "import-dialog.png");
}

// ------------------------------------- the commands with the real dialogs

TEST_F(ExchangeDialogsTest, ExportCommandThroughTheDialogWritesTheChosenCategory) {
  ScriptedUi ui; // answers the file dialog
  const std::string out = user.Home() + "/alpha.xml";
  ui.fileAnswers.push_back(FileDialogResult{out, 1});
  WhenModal<TfrmExportDlg>([](TfrmExportDlg *dialog) {
    dialog->rgSelectedCategory->click();
    dialog->cbxCategory->setCurrentIndex(1); // Alpha
    dialog->Button1->click();
  });
  store->ExportToFilename();
  ASSERT_TRUE(PathExists(out));
  EXPECT_EQ(ReadFile(out), "<Quorvelle_Feeds name=\"Alpha\"><Quorvelle_Categories>"
                           "<Quorvelle_Feed src=\"http://a/1\" enabled=\"true\" title=\"A\"/>"
                           "</Quorvelle_Categories></Quorvelle_Feeds>\r\n");

  // Cancel: no file dialog at all.
  WhenModal<TfrmExportDlg>([](TfrmExportDlg *dialog) { dialog->Button2->click(); });
  store->ExportToFilename();
  EXPECT_EQ(ui.fileDialogs.size(), 1U);
}

TEST_F(ExchangeDialogsTest, ImportCommandThroughTheDialogCreatesTheTypedCategory) {
  store->Save();
  const std::string file = user.Home() + "/list.opml";
  WriteFile(file, "<opml version='2.0'><head><title>Proposed</title></head><body>"
                  "<outline text='X' xmlUrl='http://x/1'/></body></opml>");
  std::string proposed;
  WhenModal<TfrmImportDlg>([&proposed](TfrmImportDlg *dialog) {
    proposed = dialog->edNewCategory->text().toStdString();
    dialog->edNewCategory->setText("  Typed ");
    dialog->Button1->click();
  });
  store->ImportFromFilename(file);
  EXPECT_EQ(proposed, "Proposed");
  EXPECT_EQ(store->GetListOfCategories(), "Alpha\r\nbeta\r\nCaf\xC3\xA9\r\nTyped\r\n");
  EXPECT_EQ(Feeds().back(), (FeedRow{"Typed", "http://x/1", "X", "true"}));

  // Into the selected category.
  WriteFile(file, "<opml version='2.0'><head><title>Proposed</title></head><body>"
                  "<outline text='Y' xmlUrl='http://y/1'/></body></opml>");
  WhenModal<TfrmImportDlg>([](TfrmImportDlg *dialog) {
    dialog->rgSelectedCategory->click();
    dialog->cbxCategory->setCurrentIndex(2); // beta
    dialog->Button1->click();
  });
  store->ImportFromFilename(file);
  EXPECT_EQ(store->GetFeedStateEnabled("http://y/1", "beta"), true);

  // Cancelled: nothing merged, nothing saved.
  const std::string saved = ReadFile(user.FeedsFile());
  WriteFile(file, "<opml><body><outline text='Z' xmlUrl='http://z/1'/></body></opml>");
  WhenModal<TfrmImportDlg>([](TfrmImportDlg *dialog) { dialog->Button2->click(); });
  store->ImportFromFilename(file);
  EXPECT_EQ(ReadFile(user.FeedsFile()), saved);
  EXPECT_FALSE(store->FindFeedWithURL(store->FXMLDoc->DocumentElement(), "http://z/1"));
}

// ----------------------------------------------------- QuorvelleApplication

class ThrowingObject : public QObject {
public:
  bool event(QEvent *e) override {
    if (e->type() == QEvent::User) throw EOleException("handler failed");
    return QObject::event(e);
  }
};

TEST_F(ExchangeDialogsTest, ExceptionEscapingAnEventHandlerIsLoggedAndDropped) {
  {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
    key->WriteBool("DebugMode", true);
  }
  std::remove(DebugM::LogFileName().c_str());
  DebugM::Initialization();

  ThrowingObject object;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QApplication::sendEvent(&object, &event));

  TfrmExportDlg dialog(*store);
#if !defined(__SANITIZE_ADDRESS__)
  // A click whose handler fails: the mouse events go through the
  // application, which catches the failure; the dialog stays usable. (Qt
  // loses the event's internal copies when a failure unwinds through its
  // delivery code, so the leak-checking build leaves the click out.)
  dialog.show();
  QObject::connect(dialog.Button2, &QPushButton::clicked, [] { throw EAbort("click failed"); });
  const QPointF centre = QRectF(dialog.Button2->rect()).center();
  const QPointF global = dialog.Button2->mapToGlobal(centre);
  QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(dialog.Button2, &press);
  QApplication::sendEvent(dialog.Button2, &release);
  dialog.rgSelectedCategory->click();
  EXPECT_TRUE(dialog.cbxCategory->isEnabled());
#endif

  DebugM::Finalization();
  const std::string log = PathExists(DebugM::LogFileName()) ? ReadFile(DebugM::LogFileName()) : "";
  std::remove(DebugM::LogFileName().c_str());
  EXPECT_NE(log.find(",Info: Application Error on QObject E: EOleException,Msg: handler failed"), std::string::npos)
      << log;
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_NE(log.find(",Info: Application Error on QPushButton E: EAbort,Msg: click failed"), std::string::npos) << log;
#endif
  EXPECT_EQ(SenderClassName(&dialog), "TfrmExportDlg");
}

} // namespace
} // namespace quorvelle::test
