#pragma once
// TRSSFeedOptions: the one object per process that owns the user's feed list
// (the Feeds.xml document) and the settings kept in the registry.
//
// The class is shared by several folders: the lifecycle and persistence
// (feed_store.cpp), categories (categories.cpp) and feed entries
// (feed_entries.cpp) live here; report generation, templates, titles and the
// home page are implemented in report/, list conversion and the import and
// export commands in exchange/.

#include "platform/xml/xml_document.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvelle {

using platform::XmlNode;

// Settings key under HKEY_CURRENT_USER.
inline constexpr const char *kSettingsKey = "Software\\Tolvane\\Quorvelle";
// The document used when there is no file or the file holds only white space.
inline constexpr const char *kEmptyFeedsDocument =
    "<?xml version=\"1.0\" "
    "encoding=\"UTF-8\"?><Quorvelle_Feeds><Quorvelle_Categories></Quorvelle_Categories></Quorvelle_Feeds>";

enum MoveDirection : int { mdDown = 0, mdUp = 1, mdTop = 2, mdBottom = 3 };

class TRSSFeedOptions {
public:
  // Create
  TRSSFeedOptions();
  // Destroy: releases the document; does not save.
  ~TRSSFeedOptions();
  TRSSFeedOptions(const TRSSFeedOptions &) = delete;
  TRSSFeedOptions &operator=(const TRSSFeedOptions &) = delete;

  // ---- feed store and settings
  std::string GetFileName();
  // The lock file beside Feeds.xml (platform::FileLock) that every
  // load-change-save of the list, and every report build, holds, so no two
  // programs interleave theirs. The folder is the one the settings name now
  // (created when missing), read without loading the list.
  std::string ListLockFileName();
  // One change of the list by a command: under the list's lock the list is
  // read again, edit changes it, and when it changed it is saved and the
  // report rebuilt (rebuildReport) before the lock goes. A dialog is answered
  // before, never inside. True when the list changed. (With the report, in
  // report/.)
  bool EditList(const std::function<void()> &edit, bool rebuildReport = true);
  void Load();
  void Save();
  // Saves, as SaveChangeSince does, when the document differs from what the
  // last Load or Save left on disk; the module end uses it.
  void SaveIfModified();
  // Saves this process's change of the list, made on the document while the
  // list's lock was not held (a dialog was open), under the lock. base is the
  // document's text the change started from. The list is read again; when it
  // is still base the document is saved as it is; when another program
  // changed it meanwhile, the feeds and categories it added that neither base
  // nor the document has are added to the document (each where that program
  // put it, its category made again when needed) and the result is saved.
  // When the document is base itself nothing is written and the document is
  // the list as read. True when the list was saved.
  bool SaveChangeSince(const std::string &base);
  [[nodiscard]] bool Modified() const;
  // The one-time notice that the list on disk could not be read and was kept
  // aside ("" when there is nothing to tell, or it was told already).
  std::string TakeUnreadableNotice();
  void StoreCurrentXML();
  void ReStoreCurrentXML();
  void ClearStoredCurrentXML();

  // ---- categories
  XmlNode FindCategory(XmlNode start, std::string_view name);
  std::string GetListOfCategories(XmlNode root = {});
  XmlNode AddCategory(std::string_view name);
  void RenameCategory(std::string_view oldName, std::string_view newName);
  void DeleteCategory(std::string_view name);

  // ---- feed entries
  bool AddNewRSSFeed(std::string_view url, std::string_view title, std::string_view category);
  bool GetFeedsURLSForCategory(std::string_view category, std::vector<std::string> &urls,
                               std::vector<std::string> &titles);
  bool GetFeedStateEnabled(std::string_view url, std::string_view category);
  bool SetFeedStateEnabled(std::string_view url, std::string_view category, bool enabled);
  XmlNode FindFeedWithURL(XmlNode start, std::string_view url);
  void DeleteFeed(std::string_view url, std::string_view category);
  void MoveFeed(std::string_view url, std::string_view category, int direction);
  // False (with the store's message) when newUrl is another feed's address.
  bool ChangeFeedPropertiesFeed(std::string_view category, std::string_view oldUrl, std::string_view newUrl,
                                std::string_view newTitle);
  void MoveFeedToCategory(std::string_view url, std::string_view sourceCategory, std::string_view targetCategory);

  // ---- headlines report (report/)
  std::string GenerateXML();
  bool GenerateXMLForFeeds(XmlNode first, const std::string &folder, const std::string &categoryName,
                           const std::string &categoryDescription);
  void LoadTemplateAndReplaceVars(const std::string &templateFileName, const std::string &title,
                                  const std::string &xmlFileName, const std::string &outputPath, std::string &page);
  void GetFeedTitleFromURL(const std::string &url, std::string &title);
  void SetHomePageToHeaders();
  void RestoreHomePage();

  // ---- list conversion and the import/export commands (exchange/)
  void GetFeedsAsXML(bool allCategories, std::string_view categoryName, std::string &text);
  void GetFeedsAsOPML(bool allCategories, std::string_view categoryName, std::string &text);
  bool GetFeedsAsOPML(std::string_view categoryName, const std::string &opmlFilePath);
  void ImportXML(const std::string &filePath);
  void GetTitleFromOPMLFeedsFile(const std::string &filePath, std::string &title);
  int CopyUniqueFeeds(XmlNode source, XmlNode target);
  void ExportToFilename();
  void ImportFromFilename(const std::string &filePath);
  void ImportOPMLFromURL(const std::string &url);

  // ---- fields
  std::unique_ptr<platform::XmlDocument> FXMLDoc;
  std::string FStoredXML;
  std::string FolderToStore;
  std::string AppPath;
  std::string CurrentCategory;
  std::string FReportCategories;
  // Told before each XML file of the report is written, with the files
  // written so far and those the build will write, and once more at the end
  // (done == total), however the build ended; answering false stops the
  // build, and the previous report stays as it was. Empty: the process's
  // own (InstallReportProgress), if any, is told.
  std::function<bool(std::size_t done, std::size_t total)> FReportProgress;

  // The category for the feed operations: found by name from the document
  // element (the empty name gives the General container) or, when missing,
  // created empty with the name uncleaned at the end of Quorvelle_Categories.
  XmlNode ResolveCategory(std::string_view name);
  // The Quorvelle_Categories container (first child of the document element).
  XmlNode CategoriesContainer();

private:
  // The report build's own state: files announced, files in all, and whether
  // it was stopped or a file could not be written (the new tree is then
  // dropped).
  bool ReportFileAhead();
  std::size_t FReportDone = 0;
  std::size_t FReportTotal = 0;
  bool FReportStopped = false;
  bool FReportFailed = false;
  // Adds to the document what another program added below theirs (a node
  // of the list it saved) that the list before (the document element of the
  // list the change started from) lacks, under into, the document's node in
  // the same place.
  void KeepAdditions(XmlNode theirs, XmlNode into, XmlNode before);
  // During a build: hands the writing of one file to the build's writer,
  // false once a file that spoils the build failed. Empty: files are written
  // at once.
  std::function<bool(std::function<void()> write, bool spoilsBuild)> FReportWrite;
  void KeepUnreadableFileAside(const std::string &fileName, const std::string &reason);
  bool LoadWithCharactersReplaced(const std::string &fileName, const std::string &text);
  // The document as the last Load or Save left it on disk.
  std::string FDiskXML;
  // The file an unreadable list was kept as, until the user is told.
  std::string FKeptAside;
};

// The progress every report build of this process tells when its store names
// none: the programs with windows show it. Returns the one it replaces.
using ReportProgressHook = std::function<bool(std::size_t done, std::size_t total)>;
ReportProgressHook InstallReportProgress(ReportProgressHook hook);

// The process-wide store, created when the module is loaded.
extern std::unique_ptr<TRSSFeedOptions> FeedOptions;

namespace RSSFeedOptions {
// Module load: creates FeedOptions and loads it.
void Initialization() noexcept;
// Module unload: saves what this process changed and destroys FeedOptions.
void Finalization() noexcept;
} // namespace RSSFeedOptions

// Runs the module's start steps (diagnostic log, then the feed store) on
// construction and the end steps in reverse on destruction.
class QuorvelleModule {
public:
  QuorvelleModule();
  ~QuorvelleModule();
  QuorvelleModule(const QuorvelleModule &) = delete;
  QuorvelleModule &operator=(const QuorvelleModule &) = delete;
};

} // namespace quorvelle
