#include "band/context_menu_add.h"

#include "band/band_support.h"
#include "dialogs/add_feed_dlg.h"
#include "feeds/feed_store.h"
#include "platform/codepage/text_case.h"
#include "support/debug_log.h"

#include <QDialog>
#include <QLineEdit>

#include <memory>

namespace quorvelle {

std::string ExtractFileExt(const std::string &address) {
  const std::size_t delimiter = address.find_last_of(".\\:");
  if (delimiter == std::string::npos || address[delimiter] != '.') return {};
  return address.substr(delimiter);
}

com::HRESULT TContextMenuAdd::GetIDsOfNames(const com::WideString &name, com::DISPID &id) {
  if (platform::CompareTextIgnoringCase(com::WideToUtf8(name), "Capture") == 0) {
    id = DISPID_Capture;
    return com::S_OK;
  }
  if (platform::CompareTextIgnoringCase(com::WideToUtf8(name), "ImportFile") == 0) {
    id = DISPID_ImportFile;
    return com::S_OK;
  }
  id = com::DISPID_UNKNOWN;
  return com::DISP_E_UNKNOWNNAME;
}

com::HRESULT TContextMenuAdd::Invoke(com::DISPID id, const std::vector<com::Variant> &args, com::Variant *result) {
  if (result != nullptr) *result = std::monostate{};
  if (id == DISPID_ImportFile) {
    if (args.size() != 1) return com::DISP_E_BADPARAMCOUNT;
    const std::optional<std::string> fileName = com::VariantText(args[0]);
    if (!fileName) return com::DISP_E_TYPEMISMATCH;
    return ImportFile(com::Utf8ToWide(*fileName));
  }
  if (id != DISPID_Capture) return com::DISP_E_MEMBERNOTFOUND;
  if (args.size() != 2) return com::DISP_E_BADPARAMCOUNT;
  const std::optional<std::string> url = com::VariantText(args[0]);
  const std::optional<std::string> title = com::VariantText(args[1]);
  if (!url || !title) return com::DISP_E_TYPEMISMATCH;
  return Capture(com::Utf8ToWide(*url), com::Utf8ToWide(*title));
}

namespace {

// The capture itself: reloads the list, imports an OPML list or asks about
// the feed, and saves.
void CaptureAddress(const std::string &address) {
  Guard("TContextMenuAdd.Capture", [&] {
    const UserCommand command;
    TRSSFeedOptions &store = Store();
    store.Load();
    if (platform::LowerCase(ExtractFileExt(address)) == ".opml") {
      store.ImportOPMLFromURL(address);
      return;
    }
    RequireApplication();
    const auto dialog = std::make_unique<TfrmAddFeedDlg>(nullptr);
    dialog->SetDownloadXMLBeforeDialogShow(true);
    dialog->SetCurrentCategory(store.CurrentCategory);
    dialog->edURL->setText(QString::fromStdString(address));
    // The list is changed only after the dialog, under its lock; a cancelled
    // dialog writes nothing.
    if (dialog->exec() != QDialog::Accepted) return;
    const std::string feedUrl = dialog->edURL->text().toStdString();
    const std::string feedTitle = dialog->edTitle->text().toStdString();
    const std::string category = dialog->GetCurrentCategory();
    store.EditList([&] {
      store.AddNewRSSFeed(feedUrl, feedTitle, category);
      store.CurrentCategory = category;
    });
  });
}

} // namespace

com::HRESULT TContextMenuAdd::Capture(const com::WideString & /*URL*/, const com::WideString &Title) {
  // Inside another command (the manage dialog open) the capture would reload
  // and save under that command's unsaved changes: it waits for its end.
  std::string address = com::WideToUtf8(Title);
  RunOutsideUserCommands([address = std::move(address)] { CaptureAddress(address); });
  return com::S_OK;
}

com::HRESULT TContextMenuAdd::ImportFile(const com::WideString &FileName) {
  // Like a capture, an import waits for the end of a command that is open.
  std::string fileName = com::WideToUtf8(FileName);
  RunOutsideUserCommands([fileName = std::move(fileName)] {
    Guard("TContextMenuAdd.ImportFile", [&] {
      const UserCommand command;
      RequireApplication();
      Store().ImportFromFilename(fileName);
    });
  });
  return com::S_OK;
}

} // namespace quorvelle
