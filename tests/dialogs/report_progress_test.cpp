// The report rebuild's window: a build of the programs with windows that runs
// longer than a moment shows how far it got, and the window goes with it.

#include "dialogs/report_progress.h"
#include "feeds/feed_store.h"
#include "platform/registry/registry.h"
#include "tests/dialogs/dialogs_test_fixture.h"

#include <QLabel>
#include <QProgressDialog>

#include <filesystem>

namespace quorvelle::test {
namespace {

QProgressDialog *ShownProgress() {
  for (QWidget *widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == "ReportProgress" && widget->isVisible()) return qobject_cast<QProgressDialog *>(widget);
  }
  return nullptr;
}

TEST(ReportProgressWindow, ALongBuildShowsHowFarItGotAndTheWindowGoesWithIt) {
  EnsureApplication();
  IsolatedUser user;
  TempDir install;
  std::filesystem::copy(std::string(QUORVELLE_SOURCE_DIR) + "/data", install.Path(),
                        std::filesystem::copy_options::recursive);
  std::string feeds;
  for (int i = 0; i < 900; ++i)
    feeds += "<Quorvelle_Feed src='http://f.example/" + std::to_string(i) + "' enabled='true' title='F'/>";
  TRSSFeedOptions store;
  store.AppPath = install.Path() + "/";
  store.FXMLDoc->LoadXML("<Quorvelle_Feeds><Quorvelle_Categories>" + feeds +
                         "</Quorvelle_Categories></Quorvelle_Feeds>");

  const ReportProgressWindow progress;
  std::string told;
  int shownValue = -1;
  QTimer::singleShot(700, [&] {
    if (QProgressDialog *window = ShownProgress()) {
      told = window->labelText().toStdString();
      shownValue = window->value();
      if (const char *shot = std::getenv("QUORVELLE_SCREENSHOT")) window->grab().save(shot);
    }
  });
  EXPECT_NE(store.GenerateXML(), "");
  EXPECT_TRUE(told.starts_with("Writing the headlines report... ")) << told;
  EXPECT_NE(told.find(" of 901 files"), std::string::npos) << told;
  EXPECT_GT(shownValue, 0);
  EXPECT_EQ(ShownProgress(), nullptr) << "the window goes when the build ends";
}

} // namespace
} // namespace quorvelle::test
