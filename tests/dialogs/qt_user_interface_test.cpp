#include "dialogs/qt_user_interface.h"
#include "tests/dialogs/modal_driver.h"
#include "tests/helpers/test_environment.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace quorvelle::test {
namespace {

using namespace platform::ui;

TEST(QtUserInterface, FilterListsBecomeQtNameFiltersWithTheirExtension) {
  const QStringList filters = QtNameFilters("OPML file (*.opml)|*.opml|Quorvelle file (*.xml)|*.xml");
  EXPECT_EQ(filters, QStringList({"OPML file (*.opml)", "Quorvelle file (*.xml)"}));
  EXPECT_EQ(QtNameFilters("Pictures|*.png;*.jpg|All|*.*"), QStringList({"Pictures (*.png *.jpg)", "All (*.*)"}));
  EXPECT_EQ(DefaultSuffixOf(filters[0]), "opml");
  EXPECT_EQ(DefaultSuffixOf(filters[1]), "xml");
  EXPECT_EQ(DefaultSuffixOf("Pictures (*.png *.jpg)"), "");
  EXPECT_EQ(DefaultSuffixOf("All (*.*)"), "");
}

TEST(QtUserInterface, MessageBoxHasCaptionIconButtonsAndDefault) {
  QtUserInterface ui;
  MessageRequest request{"Remove the category?", "Confirmation", MsgDlgType::Confirmation, mbYes | mbNo | mbCancel,
                         ModalResult::No};
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  WhenModal<QMessageBox>([&](QMessageBox *box) {
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->standardButtons();
    defaultButton = box->standardButton(box->defaultButton());
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(ui.ShowMessage(request), ModalResult::Yes);
  EXPECT_EQ(title, "Confirmation");
  EXPECT_EQ(text, "Remove the category?");
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(defaultButton, QMessageBox::No);

  WhenModal<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Cancel)->click(); });
  EXPECT_EQ(ui.ShowMessage(request), ModalResult::Cancel);

  WhenModal<QMessageBox>([&](QMessageBox *box) {
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(ui.ShowMessage({"Done", "Information", MsgDlgType::Information, mbOK, ModalResult::Ok}), ModalResult::Ok);
  EXPECT_EQ(icon, QMessageBox::Information);
}

TEST(QtUserInterface, InputQueryProposesTheValueAndReturnsTheEntry) {
  QtUserInterface ui;
  QString proposed;
  WhenModal<QInputDialog>([&](QInputDialog *dialog) {
    proposed = dialog->textValue();
    dialog->setTextValue("Typed name");
    dialog->accept();
  });
  std::string value = "Proposed";
  EXPECT_TRUE(ui.InputQuery("New category", "Category name:", value));
  EXPECT_EQ(proposed, "Proposed");
  EXPECT_EQ(value, "Typed name");

  WhenModal<QInputDialog>([](QInputDialog *dialog) { dialog->reject(); });
  EXPECT_FALSE(ui.InputQuery("New category", "Category name:", value));
  EXPECT_EQ(value, "Typed name");
}

TEST(QtUserInterface, SaveDialogAddsTheSelectedFiltersExtensionAndAsksBeforeReplacing) {
  TempDir dir;
  WriteFile(dir / "taken.opml", "old");
  QtUserInterface ui;
  FileDialogRequest request;
  request.save = true;
  request.title = "Export Feeds as...";
  request.filter = "OPML file (*.opml)|*.opml|Quorvelle file (*.xml)|*.xml";
  request.initialDir = dir.Path() + "/";
  request.fileName = dir.Path() + "/Feeds";
  request.overwritePrompt = true;

  QString title;
  QStringList filters;
  QString selectedFilter;
  WhenModal<QFileDialog>([&](QFileDialog *dialog) {
    title = dialog->windowTitle();
    filters = dialog->nameFilters();
    selectedFilter = dialog->selectedNameFilter();
    // Pick the second file type as a person would, then type a bare name.
    auto *types = dialog->findChild<QComboBox *>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    types->setCurrentIndex(1);
    // What a click on the entry emits.
    QMetaObject::invokeMethod(types, "activated", Q_ARG(int, 1));
    QMetaObject::invokeMethod(types, "textActivated", Q_ARG(QString, types->itemText(1)));
    dialog->findChild<QLineEdit *>("fileNameEdit")->setText("list");
    static_cast<QDialog *>(dialog)->accept();
  });
  std::optional<FileDialogResult> result = ui.ShowFileDialog(request);
  EXPECT_EQ(title, "Export Feeds as...");
  EXPECT_EQ(filters, QStringList({"OPML file (*.opml)", "Quorvelle file (*.xml)"}));
  EXPECT_EQ(selectedFilter, "OPML file (*.opml)");
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->fileName, dir.Path() + "/list.xml");
  EXPECT_EQ(result->filterIndex, 1);

  // An existing file: the question comes first; "No" keeps the dialog open.
  QString question;
  WhenModal<QFileDialog>([&](QFileDialog *dialog) {
    WhenModal<QMessageBox>([&question, dialog](QMessageBox *box) {
      question = box->text();
      box->button(QMessageBox::No)->click();
      WhenModal<QFileDialog>([](QFileDialog *again) { again->reject(); });
    });
    dialog->findChild<QLineEdit *>("fileNameEdit")->setText("taken");
    static_cast<QDialog *>(dialog)->accept();
  });
  EXPECT_FALSE(ui.ShowFileDialog(request).has_value());
  EXPECT_TRUE(question.contains("taken.opml")) << question.toStdString();
  EXPECT_EQ(ReadFile(dir / "taken.opml"), "old");
}

} // namespace
} // namespace quorvelle::test
