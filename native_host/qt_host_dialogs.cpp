#include "native_host/qt_host_dialogs.h"

#include "dialogs/add_feed_dlg.h"
#include "dialogs/manage_dlg.h"
#include "dialogs/quorvelle_application.h"
#include "feeds/feed_store.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>

namespace quorvelle::native_host {
namespace {

int gArgc = 1;
char gProgram[] = "quorvelle-native-host";
char *gArgv[] = {gProgram, nullptr};

bool Set(const char *name) {
  const char *value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Brings a dialog in front of the browser window that asked for it.
void Present(QDialog &dialog) {
  dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  dialog.raise();
  dialog.activateWindow();
}

[[maybe_unused]] void AcceptOpenDialog() {
  auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
  if (dialog == nullptr || !dialog->isVisible()) return;
  if (auto *box = qobject_cast<QMessageBox *>(dialog); box != nullptr && box->defaultButton() != nullptr) {
    box->defaultButton()->click();
    return;
  }
  for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
    if (button->isDefault() && button->isEnabled()) {
      button->click();
      return;
    }
  }
  dialog->accept();
}

} // namespace

QtHostDialogs::QtHostDialogs() = default;
QtHostDialogs::~QtHostDialogs() = default;

bool QtHostDialogs::Available() { return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM"); }

void QtHostDialogs::Start() {
  if (application_) return;
  if (!Available()) throw ProtocolError{"no-dialogs", "There is no display to show the dialog on."};
  application_ = std::make_unique<QuorvelleApplication>(gArgc, gArgv);
  QApplication::setQuitOnLastWindowClosed(false);
#ifdef QUORVELLE_TEST_DIALOG_SWITCH
  if (Set("QUORVELLE_NATIVE_HOST_ACCEPT_DIALOGS")) {
    acceptor_ = std::make_unique<QTimer>();
    QObject::connect(acceptor_.get(), &QTimer::timeout, [] { AcceptOpenDialog(); });
    acceptor_->start(100);
  }
#endif
}

bool QtHostDialogs::AddFeed(TRSSFeedOptions &store, const std::string &url, const std::string &title) {
  Start();
  store.Load();
  TfrmAddFeedDlg dialog(nullptr);
  dialog.edURL->setText(QString::fromStdString(url));
  dialog.edTitle->setText(QString::fromStdString(title));
  dialog.SetCurrentCategory(store.CurrentCategory);
  dialog.SetDownloadXMLBeforeDialogShow(url.empty() || title.empty());
  Present(dialog);
  // The list is changed only after the dialog, under its lock, so a change
  // another program made while it was open is kept; Cancel writes nothing.
  if (dialog.exec() != QDialog::Accepted) return false;
  const std::string feedUrl = dialog.edURL->text().toStdString();
  const std::string feedTitle = dialog.edTitle->text().toStdString();
  const std::string category = dialog.GetCurrentCategory();
  store.EditList([&] {
    store.AddNewRSSFeed(feedUrl, feedTitle, category);
    store.CurrentCategory = category;
  });
  return true;
}

bool QtHostDialogs::Manage(TRSSFeedOptions &store) {
  Start();
  TfrmManageDlg dialog(nullptr);
  Present(dialog);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  if (accepted) store.GenerateXML();
  return accepted;
}

bool QtHostDialogs::Import(TRSSFeedOptions &store, const std::string &filePath) {
  Start();
  store.ImportFromFilename(filePath);
  return true;
}

bool QtHostDialogs::Export(TRSSFeedOptions &store) {
  Start();
  store.ExportToFilename();
  return true;
}

} // namespace quorvelle::native_host
