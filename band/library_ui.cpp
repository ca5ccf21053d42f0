#include "band/library_ui.h"

#include "dialogs/qt_exchange_dialogs.h"
#include "dialogs/qt_user_interface.h"
#include "support/debug_log.h"

#include <QApplication>

namespace quorvelle {
namespace {

bool HasApplication() { return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr; }

} // namespace

platform::ui::ModalResult LibraryUserInterface::ShowMessage(const platform::ui::MessageRequest &request) {
  if (HasApplication()) return QtUserInterface().ShowMessage(request);
  LogMessage("Message not shown (no application): " + request.text, 0);
  return request.defaultButton;
}

bool LibraryUserInterface::InputQuery(const std::string &caption, const std::string &prompt, std::string &value) {
  if (HasApplication()) return QtUserInterface().InputQuery(caption, prompt, value);
  return false;
}

std::optional<platform::ui::FileDialogResult>
LibraryUserInterface::ShowFileDialog(const platform::ui::FileDialogRequest &request) {
  if (HasApplication()) return QtUserInterface().ShowFileDialog(request);
  return std::nullopt;
}

std::optional<ExportChoice> LibraryExchangeDialogs::ShowExportDialog(TRSSFeedOptions &store) {
  if (HasApplication()) return QtExchangeDialogs().ShowExportDialog(store);
  return std::nullopt;
}

std::optional<ImportChoice> LibraryExchangeDialogs::ShowImportDialog(TRSSFeedOptions &store,
                                                                     const std::string &newCategoryName) {
  if (HasApplication()) return QtExchangeDialogs().ShowImportDialog(store, newCategoryName);
  return std::nullopt;
}

LibraryUiInstallation::LibraryUiInstallation()
    : previousUi_(platform::ui::InstallUi(&ui_)), previousDialogs_(InstallExchangeDialogs(&dialogs_)) {}

LibraryUiInstallation::~LibraryUiInstallation() {
  InstallExchangeDialogs(previousDialogs_);
  platform::ui::InstallUi(previousUi_);
}

} // namespace quorvelle
