#include "feeds/feed_store.h"

#include "feeds/feed_lists.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"
#include "platform/errors.h"
#include "platform/files/file_io.h"
#include "platform/files/file_lock.h"
#include "platform/registry/registry.h"
#include "platform/shell/known_folders.h"
#include "platform/xml/xml_escape.h"
#include "support/debug_log.h"

#include <cstdio>
#include <ctime>

namespace quorvelle {

std::unique_ptr<TRSSFeedOptions> FeedOptions;

namespace {

platform::RegistryKey OpenSettingsKey() {
  auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, true);
  if (!key) {
    throw ERegistryException("Failed to create key " + std::string(kSettingsKey));
  }
  return *std::move(key);
}

// Reads the value into field, or writes the field's current value when the
// value is missing.
void ReadOrWriteDefault(platform::RegistryKey &key, const char *name, std::string &field) {
  if (key.ValueExists(name)) {
    field = key.ReadString(name);
  } else {
    key.WriteString(name, field);
  }
}

std::string DefaultFolderToStore() { return platform::ApplicationDataFolder() + "Quorvelle/"; }
std::string DefaultAppPath() { return platform::ProgramFilesFolder() + "Quorvelle/"; }

// An empty or relative folder would put the files into whatever folder the
// process happens to run in: such a value counts as unset.
void RequireAbsoluteFolder(platform::RegistryKey &key, const char *name, std::string &field,
                           const std::string &fallback) {
  if (!field.empty() && field.front() == '/') {
    return;
  }
  LogMessage(std::string("TRSSFeedOptions.Load: ") + name + " \"" + field + "\" is not an absolute folder; using \"" +
                 fallback + "\"",
             0);
  field = fallback;
  key.WriteString(name, field);
}

} // namespace

TRSSFeedOptions::TRSSFeedOptions() {
  Guard("TRSSFeedOptions.Create", [&] {
    FStoredXML.clear();
    FReportCategories.clear();
    CurrentCategory.clear();
    FolderToStore = DefaultFolderToStore();
    AppPath = DefaultAppPath();
    FXMLDoc = std::make_unique<platform::XmlDocument>();
  });
}

TRSSFeedOptions::~TRSSFeedOptions() {
  Guard("TRSSFeedOptions.Destroy", [&] { FXMLDoc.reset(); });
}

std::string TRSSFeedOptions::GetFileName() {
  std::string result;
  Guard("TRSSFeedOptions.GetFileName",
        [&] { result = platform::IncludeTrailingPathDelimiter(FolderToStore) + "Feeds.xml"; });
  return result;
}

std::string TRSSFeedOptions::ListLockFileName() {
  std::string folder = FolderToStore;
  try {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, false);
    if (key && key->ValueExists("FolderToStore")) folder = key->ReadString("FolderToStore");
  } catch (const std::exception &) {
    // No settings yet: the folder the store holds.
  }
  if (folder.empty() || folder.front() != '/') folder = DefaultFolderToStore();
  if (!platform::DirectoryExists(folder)) platform::ForceDirectories(folder);
  return platform::IncludeTrailingPathDelimiter(folder) + "Feeds.xml.lock";
}

void TRSSFeedOptions::KeepUnreadableFileAside(const std::string &fileName, const std::string &reason) {
  const std::string aside = platform::AsideFileName(fileName, "unreadable");
  if (std::rename(fileName.c_str(), aside.c_str()) != 0) {
    throw EInOutError("Feeds.xml does not parse and cannot be kept aside as \"" + aside + "\"");
  }
  LogMessage(
      "TRSSFeedOptions.Load: \"" + fileName + "\" does not parse (" + reason + "); kept aside as \"" + aside + "\"", 0);
  FKeptAside = aside;
}

bool TRSSFeedOptions::LoadWithCharactersReplaced(const std::string &fileName, const std::string &text) {
  const std::string cleaned = platform::XmlSafeText(text);
  if (cleaned == text || !FXMLDoc->LoadXML(cleaned)) {
    return false;
  }
  // A list written by an earlier build with characters XML cannot hold: the
  // original is kept aside as it was and the readable list replaces it.
  const std::optional<std::string> original = platform::ReadFileBytes(fileName);
  const std::string aside = platform::AsideFileName(fileName, "unreadable");
  platform::WriteFileAtomically(aside, original.value_or(text));
  FXMLDoc->Save(fileName);
  LogMessage("TRSSFeedOptions.Load: \"" + fileName +
                 "\" held characters XML cannot hold; they became blanks, the original is kept as \"" + aside + "\"",
             0);
  return true;
}

bool TRSSFeedOptions::Modified() const { return FXMLDoc && FXMLDoc->Xml() != FDiskXML; }

std::string TRSSFeedOptions::TakeUnreadableNotice() {
  std::string notice;
  if (!FKeptAside.empty()) {
    notice =
        "Your feed list could not be read. It was kept as " + FKeptAside + "; Quorvelle starts with an empty list.";
    FKeptAside.clear();
  }
  return notice;
}

void TRSSFeedOptions::Load() {
  Guard("TRSSFeedOptions.Load", [&] {
    {
      platform::RegistryKey key = OpenSettingsKey();
      ReadOrWriteDefault(key, "FolderToStore", FolderToStore);
      ReadOrWriteDefault(key, "AppPath", AppPath);
      ReadOrWriteDefault(key, "CurrentCategory", CurrentCategory);
      RequireAbsoluteFolder(key, "FolderToStore", FolderToStore, DefaultFolderToStore());
      RequireAbsoluteFolder(key, "AppPath", AppPath, DefaultAppPath());
      if (!platform::DirectoryExists(FolderToStore)) {
        if (FolderToStore.empty()) {
          throw EInOutError("Unable to create directory");
        }
        try {
          platform::ForceDirectories(FolderToStore);
        } catch (const EInOutError &) {
          // Not reported here: the file is then not found, and a later Save
          // fails in its own guard.
        }
      }
    }
    const std::string fileName = GetFileName();
    std::string text;
    if (platform::FileExists(fileName)) {
      std::optional<std::string> lines = platform::ReadFileAsCrLfLines(fileName);
      if (!lines) {
        throw EInOutError("Cannot read \"" + fileName + "\"");
      }
      text = *std::move(lines);
    }
    const bool fromFile = !platform::Trim(text).empty();
    if (!fromFile) {
      text = kEmptyFeedsDocument;
    }
    FDiskXML.clear();
    if (!FXMLDoc->LoadXML(text) && fromFile) {
      const std::string reason = FXMLDoc->ParseError();
      if (!LoadWithCharactersReplaced(fileName, text)) {
        // Never let a later Save write over a list that could not be read.
        KeepUnreadableFileAside(fileName, reason);
      }
    }
    FDiskXML = FXMLDoc->Xml();
  });
}

void TRSSFeedOptions::Save() {
  Guard("TRSSFeedOptions.Save", [&] {
    {
      platform::RegistryKey key = OpenSettingsKey();
      key.WriteString("FolderToStore", FolderToStore);
      key.WriteString("AppPath", AppPath);
      key.WriteString("CurrentCategory", CurrentCategory);
    }
    if (FolderToStore.empty() || FolderToStore.front() != '/') {
      throw EInOutError("The folder to store \"" + FolderToStore + "\" is not an absolute folder; nothing saved");
    }
    const std::string text = FXMLDoc->Xml();
    FXMLDoc->Save(GetFileName());
    FDiskXML = text;
  });
}

void TRSSFeedOptions::SaveIfModified() {
  Guard("TRSSFeedOptions.SaveIfModified", [&] {
    if (Modified()) {
      SaveChangeSince(FDiskXML);
    }
  });
}

bool TRSSFeedOptions::SaveChangeSince(const std::string &base) {
  bool saved = false;
  Guard("TRSSFeedOptions.SaveChangeSince", [&] {
    const platform::FileLock lock(ListLockFileName());
    const std::string mine = FXMLDoc->Xml();
    const std::string start = base; // base may be FDiskXML, which Load replaces
    Load();
    if (mine == start) return;
    auto onDisk = std::make_unique<platform::XmlDocument>();
    if (!onDisk->LoadXML(mine)) return;
    std::swap(FXMLDoc, onDisk); // FXMLDoc: this process's list again; onDisk: the list just read
    if (onDisk->Xml() != start && onDisk->HasRoot()) {
      platform::XmlDocument before;
      before.LoadXML(start);
      const XmlNode theirs = onDisk->DocumentElement().FirstChild();
      if (theirs) KeepAdditions(theirs, CategoriesContainer(), before.DocumentElement());
    }
    if (!Modified()) return;
    Save();
    saved = !Modified();
  });
  return saved;
}

void TRSSFeedOptions::KeepAdditions(XmlNode theirs, XmlNode into, XmlNode before) {
  const XmlNode root = FXMLDoc->DocumentElement();
  const auto inBefore = [&](auto walk, const std::string &key) { return before && walk(before, key); };
  for (XmlNode child = theirs.FirstChild(); child; child = child.NextSibling()) {
    if (feedlist::IsElementNamed(child.Raw(), kFeedElement)) {
      const std::optional<std::string> src = child.FindAttribute("src");
      if (!src) continue;
      const std::string key = feedlist::LowerCaseKey(*src);
      if (!inBefore(feedlist::WalkForFeed, key) && !feedlist::WalkForFeed(root, key)) into.AppendChild(child);
    } else if (feedlist::IsElementNamed(child.Raw(), kCategoryElement)) {
      const std::optional<std::string> name = child.FindAttribute("name");
      if (!name) continue;
      const std::string key = feedlist::LowerCaseKey(platform::DecodeStoredText(*name));
      XmlNode target = feedlist::WalkForCategory(root, key);
      const bool made = !target;
      // A category this process removed or renamed comes back only to hold a
      // feed the other program added to it.
      if (made) target = into.AppendChild(child.CloneNode(false));
      KeepAdditions(child, target, before);
      if (made && inBefore(feedlist::WalkForCategory, key) && !target.HasChildNodes()) into.RemoveChild(target);
    }
  }
}

void TRSSFeedOptions::StoreCurrentXML() {
  Guard("TRSSFeedOptions.StoreCurrentXML", [&] { FStoredXML = FXMLDoc->Xml(); });
}

void TRSSFeedOptions::ReStoreCurrentXML() {
  Guard("TRSSFeedOptions.ReStoreCurrentXML", [&] {
    // Without a snapshot there is nothing to go back to: the document stays.
    if (FStoredXML.empty()) {
      return;
    }
    FXMLDoc->LoadXML(FStoredXML);
  });
}

void TRSSFeedOptions::ClearStoredCurrentXML() {
  Guard("TRSSFeedOptions.ClearStoredCurrentXML", [&] { FStoredXML.clear(); });
}

XmlNode TRSSFeedOptions::CategoriesContainer() {
  XmlNode root = FXMLDoc->DocumentElement();
  if (root.IsNull()) {
    throw EOleException("The feed list has no document element");
  }
  XmlNode container = root.FirstChild();
  if (container.IsNull()) {
    throw EOleException("The feed list has no Quorvelle_Categories element");
  }
  return container;
}

namespace RSSFeedOptions {

void Initialization() noexcept {
  Guard("RSSFeedOptions.Initialization", [] {
    FeedOptions = std::make_unique<TRSSFeedOptions>();
    FeedOptions->Load();
  });
}

void Finalization() noexcept {
  Guard("RSSFeedOptions.Finalization", [] {
    // Only this process's own unsaved changes are written: an idle window
    // must not put back a list another window has changed since.
    if (FeedOptions) {
      FeedOptions->SaveIfModified();
    }
    FeedOptions.reset();
  });
}

} // namespace RSSFeedOptions

QuorvelleModule::QuorvelleModule() {
  DebugM::Initialization();
  RSSFeedOptions::Initialization();
}

QuorvelleModule::~QuorvelleModule() {
  RSSFeedOptions::Finalization();
  DebugM::Finalization();
}

} // namespace quorvelle
