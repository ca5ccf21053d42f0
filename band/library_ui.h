#pragma once
// The message boxes and the export/import dialogs of the band library. The
// library has its own copy of the core, so it installs its own: the Qt ones
// while the process runs a QApplication (the browser), and quiet stand-ins
// otherwise (a process that loaded the library only to register it), which
// answer every question with its default and cancel every dialog.

#include "exchange/exchange_dialogs.h"
#include "platform/ui/user_interface.h"

namespace quorvelle {

class LibraryUserInterface final : public platform::ui::UserInterface {
public:
  platform::ui::ModalResult ShowMessage(const platform::ui::MessageRequest &request) override;
  bool InputQuery(const std::string &caption, const std::string &prompt, std::string &value) override;
  std::optional<platform::ui::FileDialogResult> ShowFileDialog(const platform::ui::FileDialogRequest &request) override;
};

class LibraryExchangeDialogs final : public ExchangeDialogs {
public:
  std::optional<ExportChoice> ShowExportDialog(TRSSFeedOptions &store) override;
  std::optional<ImportChoice> ShowImportDialog(TRSSFeedOptions &store, const std::string &newCategoryName) override;
};

// Installs both for as long as it lives and puts the previous ones back.
class LibraryUiInstallation {
public:
  LibraryUiInstallation();
  ~LibraryUiInstallation();
  LibraryUiInstallation(const LibraryUiInstallation &) = delete;
  LibraryUiInstallation &operator=(const LibraryUiInstallation &) = delete;

private:
  LibraryUserInterface ui_;
  LibraryExchangeDialogs dialogs_;
  platform::ui::UserInterface *previousUi_;
  ExchangeDialogs *previousDialogs_;
};

} // namespace quorvelle
