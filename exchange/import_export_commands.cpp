// The export and import commands: a choice of categories and a save dialog,
// an open dialog and a choice of target category, and the import of an OPML
// list from a web address.

#include "exchange/exchange_dialogs.h"
#include "feeds/feed_store.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"
#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/files/file_lock.h"
#include "platform/files/temporary_file.h"
#include "platform/registry/registry.h"
#include "platform/shell/known_folders.h"
#include "platform/ui/user_interface.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <cstdio>

namespace quorvelle {
namespace {

constexpr const char *kFileFilter = "OPML file (*.opml)|*.opml|Quorvelle file (*.xml)|*.xml";

// The folder stored under valueName, or the user's documents folder, which is
// then stored; with a trailing delimiter.
std::string StoredFolder(const char *valueName) {
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
  if (!key) throw ERegistryException("Failed to create key " + std::string(kSettingsKey));
  std::string folder;
  if (key->ValueExists(valueName)) {
    folder = key->ReadString(valueName);
  } else {
    folder = platform::DocumentsFolder();
    key->WriteString(valueName, folder);
  }
  return platform::IncludeTrailingPathDelimiter(folder);
}

void StoreFolder(const char *valueName, const std::string &folder) {
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
  if (!key) throw ERegistryException("Failed to create key " + std::string(kSettingsKey));
  key->WriteString(valueName, folder);
}

// The extension from the last full stop of the file name part ("" when it
// has none), as typed.
std::string ExtractFileExt(const std::string &path) {
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return {};
  return path.substr(dot);
}

platform::ui::FileDialogRequest FileDialog(bool save, const std::string &folder, const std::string &fileName) {
  platform::ui::FileDialogRequest request;
  request.save = save;
  request.title = save ? "Export Feeds as..." : "Import OPML/XML Feeds...";
  request.filter = kFileFilter;
  request.filterIndex = 0;
  request.initialDir = folder;
  request.fileName = fileName;
  request.overwritePrompt = true;
  request.pathMustExist = true;
  request.fileMustExist = false;
  return request;
}

} // namespace

void TRSSFeedOptions::ExportToFilename() {
  Guard("TRSSFeedOptions.ExportToFilename", [&] {
    std::optional<ExportChoice> choice = CurrentExchangeDialogs().ShowExportDialog(*this);
    if (!choice) return;

    const std::string folder = StoredFolder("ExportDirectory");
    std::optional<platform::ui::FileDialogResult> chosen =
        platform::ui::Ui().ShowFileDialog(FileDialog(true, folder, folder + "Feeds"));
    if (!chosen || chosen->fileName.empty()) return;

    std::string fileName = chosen->fileName;
    if (ExtractFileExt(fileName).empty()) fileName += chosen->filterIndex == 1 ? ".xml" : ".opml";
    StoreFolder("ExportDirectory", platform::ExtractFilePath(fileName));

    const std::string extension = platform::LowerCase(ExtractFileExt(fileName));
    std::string text;
    if (extension == ".xml") {
      GetFeedsAsXML(choice->FAllCategories, choice->category, text);
    } else if (extension == ".opml") {
      GetFeedsAsOPML(choice->FAllCategories, choice->category, text);
    }
    platform::WriteFileAtomically(fileName, platform::JoinLinesCrLf(text));
  });
}

void TRSSFeedOptions::ImportFromFilename(const std::string &filePath) {
  Guard("TRSSFeedOptions.ImportFromFilename", [&] {
    // The dialogs are answered on a fresh copy of the list; the list is read
    // again under its lock for the merge, so a change another program made
    // while they were open is kept.
    Load();
    std::string fileName = filePath;
    if (fileName.empty()) {
      const std::string folder = StoredFolder("ImportDirectory");
      std::optional<platform::ui::FileDialogResult> chosen =
          platform::ui::Ui().ShowFileDialog(FileDialog(false, folder, ""));
      if (!chosen || chosen->fileName.empty()) return;
      fileName = chosen->fileName;
      StoreFolder("ImportDirectory", platform::ExtractFilePath(fileName));
    }

    const std::string extension = platform::LowerCase(ExtractFileExt(fileName));
    std::optional<ImportChoice> choice;
    if (extension == ".opml") {
      std::string title;
      GetTitleFromOPMLFeedsFile(fileName, title);
      choice = CurrentExchangeDialogs().ShowImportDialog(*this, title);
      if (!choice) return;
    }

    const platform::FileLock lock(ListLockFileName());
    Load();
    if (choice) {
      std::string target = choice->category;
      if (choice->FCreateNewCategory) {
        const std::string &newName = choice->newCategoryName;
        if (FindCategory(FXMLDoc->DocumentElement(), newName)) {
          target = newName;
        } else {
          XmlNode created = AddCategory(newName);
          // Refused because the cleaned name is taken ("News & Politics" is
          // kept as "News and Politics"): merge into that category, not into
          // General, where its addresses would be duplicated. A name that
          // cleans to nothing is refused: its feeds go into General.
          const std::string cleaned = MakeValidFileName(newName);
          if (!created && !cleaned.empty()) created = FindCategory(FXMLDoc->DocumentElement(), cleaned);
          // The stored name is in the stored text form; the lookups take the
          // name as text.
          target = created ? platform::DecodeStoredText(created.GetAttribute("name")) : std::string();
        }
      }
      GetFeedsAsOPML(target, fileName);
    } else if (extension == ".xml") {
      ImportXML(fileName);
    }

    // Nothing merged: the file on disk stays as it is.
    if (Modified()) Save();
    GenerateXML();
  });
}

void TRSSFeedOptions::ImportOPMLFromURL(const std::string &url) {
  Guard("TRSSFeedOptions.ImportOPMLFromURL", [&] {
    const std::string text = GetInetFileToString(url);
    if (text.empty()) return;
    // A file of its own in the user's private temporary folder, removed again
    // also when the import fails.
    const platform::TemporaryFile temporary("temp-", ".opml", platform::JoinLinesCrLf(text));
    ImportFromFilename(temporary.Path());
  });
}

} // namespace quorvelle
