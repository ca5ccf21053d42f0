#include "cli/commands.h"

#include "band/core/feed_discovery.h"
#include "cli/cli_support.h"
#include "cli/moved_feeds.h"
#include "exchange/list_conversion.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"
#include "platform/files/file_io.h"
#include "platform/files/temporary_file.h"
#include "platform/inet/inet_client.h"
#include "platform/shell/known_folders.h"
#include "platform/xml/xml_document.h"
#include "platform/xml/xml_escape.h"
#include "report/feed_titles.h"
#include "support/debug_log.h"
#include "support/rss_feed_utils.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <iostream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <spawn.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace quorvelle::cli {
namespace {

using nlohmann::json;

// Version of the --json shapes; raised only when a field changes meaning or
// goes away (new fields may be added without raising it).
constexpr int kJsonVersion = 1;

void PrintJson(const json &value) { std::cout << value.dump(2, ' ', false, json::error_handler_t::replace) << '\n'; }

void PrintLine(std::string_view text) { std::cout << text << '\n'; }

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// ---- reading the list

struct FeedRow {
  std::string url;
  std::string title;
  bool enabled = false;
};

FeedRow ReadFeed(const XmlNode &feed) {
  FeedRow row;
  row.url = feed.FindAttribute("src").value_or("");
  row.title = platform::DecodeStoredText(feed.FindAttribute("title").value_or(""));
  row.enabled = platform::LowerCase(feed.FindAttribute("enabled").value_or("")) == "true";
  return row;
}

// General first, then the categories in the order of the list.
std::vector<XmlNode> CategoriesInListOrder(TRSSFeedOptions &store) {
  XmlNode container = store.CategoriesContainer();
  std::vector<XmlNode> result{container};
  for (const XmlNode &category : container.ChildElements("Quorvelle_Category"))
    result.push_back(category);
  return result;
}

json CategoryJson(const XmlNode &category) {
  return {{"name", CategoryName(category)}, {"general", category.NodeName() != "Quorvelle_Category"}};
}

// Every Quorvelle_Feed below node, at any depth.
void CollectFeeds(const XmlNode &node, std::vector<XmlNode> &feeds) {
  for (XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
    if (!child.IsElement()) continue;
    if (child.NodeName() == "Quorvelle_Feed") {
      feeds.push_back(child);
    } else {
      CollectFeeds(child, feeds);
    }
  }
}

std::size_t CountFeeds(TRSSFeedOptions &store) {
  std::vector<XmlNode> feeds;
  CollectFeeds(store.FXMLDoc->DocumentElement(), feeds);
  return feeds.size();
}

std::string NotInList(const std::string &url) { return "Feed with URL: " + url + " is not in the list"; }

std::string NoSuchCategory(const std::string &name) { return "Category " + Quoted(name) + " does not exist"; }

// The extension from the last full stop of the file name part, lower-cased.
std::string LowerExtension(const std::string &path) {
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return {};
  return platform::LowerCase(path.substr(dot));
}

// The first of the candidates that is an executable file; "" when none is.
std::string FindExecutable(const std::vector<std::string> &candidates) {
  for (const std::string &candidate : candidates) {
    if (!candidate.empty() && access(candidate.c_str(), X_OK) == 0 && platform::FileExists(candidate)) return candidate;
  }
  return {};
}

std::vector<std::string> OnPath(const std::string &name) {
  std::vector<std::string> result;
  const char *path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    if (!folder.empty()) result.push_back(std::string(folder) + "/" + name);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
  }
  return result;
}

// Starts the program on its own, detached from this one, with its output
// dropped; false when it could not be started.
bool StartDetached(const std::string &program, const std::vector<std::string> &args) {
  std::vector<char *> argv;
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  argv.reserve(all.size() + 1);
  for (std::string &arg : all)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  const int status = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return status == 0;
}

// ": STYLESHEET is missing ..." when the installation lacks it, else "".
std::string MissingStylesheet(TRSSFeedOptions &store, const char *name) {
  const std::string path = platform::IncludeTrailingPathDelimiter(store.AppPath) + name;
  if (platform::FileExists(path)) return {};
  return ": " + Quoted(path) + " is missing (is Quorvelle installed? scripts/install.sh)";
}

// The lower-cased addresses of every feed of the list.
std::set<std::string> FeedAddresses(TRSSFeedOptions &store) {
  std::vector<XmlNode> feeds;
  CollectFeeds(store.FXMLDoc->DocumentElement(), feeds);
  std::set<std::string> addresses;
  for (const XmlNode &feed : feeds)
    addresses.insert(platform::LowerCase(feed.FindAttribute("src").value_or("")));
  return addresses;
}

// The feeds an import brought in without a title get the title the add
// dialog reads from the feed, or their address when none can be read, so
// the list holds nothing `check` flags as an empty title.
void FillMissingTitles(TRSSFeedOptions &store, const std::set<std::string> &before, Progress &progress) {
  std::vector<XmlNode> feeds;
  CollectFeeds(store.FXMLDoc->DocumentElement(), feeds);
  for (XmlNode &feed : feeds) {
    const std::string url = feed.FindAttribute("src").value_or("");
    if (before.contains(platform::LowerCase(url))) continue;
    if (!platform::Trim(platform::DecodeStoredText(feed.FindAttribute("title").value_or(""))).empty()) continue;
    progress.Set("Reading the title of " + url);
    std::string title;
    store.GetFeedTitleFromURL(url, title);
    title = OneLineTitle(title);
    feed.SetAttribute("title", platform::EncodeStoredText(title.empty() ? url : title));
  }
}

// Whether a window can be shown: an X or Wayland display is named.
bool HasDisplay() {
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char *value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

} // namespace

// ---- list, categories

int ListFeeds(const std::optional<std::string> &category, bool json) {
  FeedList list;
  if (!list.Open()) return kFailed;
  std::vector<XmlNode> categories;
  if (category) {
    XmlNode found = list.Category(*category);
    if (!found) {
      PrintError(NoSuchCategory(*category));
      return kFailed;
    }
    categories.push_back(found);
  } else {
    categories = CategoriesInListOrder(list.Store());
  }
  if (json) {
    nlohmann::json out = {{"version", kJsonVersion}, {"categories", nlohmann::json::array()}};
    for (const XmlNode &node : categories) {
      nlohmann::json entry = CategoryJson(node);
      entry["feeds"] = nlohmann::json::array();
      for (const XmlNode &feed : node.ChildElements("Quorvelle_Feed")) {
        const FeedRow row = ReadFeed(feed);
        entry["feeds"].push_back({{"url", row.url}, {"title", row.title}, {"enabled", row.enabled}});
      }
      out["categories"].push_back(std::move(entry));
    }
    PrintJson(out);
    return kDone;
  }
  std::string text;
  for (const XmlNode &node : categories) {
    text += DisplayName(node) + '\n';
    for (const XmlNode &feed : node.ChildElements("Quorvelle_Feed")) {
      const FeedRow row = ReadFeed(feed);
      text += (row.enabled ? "  [x] " : "  [ ] ") + row.url;
      if (!row.title.empty()) text += "  " + row.title;
      text += '\n';
    }
  }
  std::cout << text;
  return kDone;
}

int ListCategories(bool json) {
  FeedList list;
  if (!list.Open()) return kFailed;
  const std::vector<XmlNode> categories = CategoriesInListOrder(list.Store());
  if (json) {
    nlohmann::json out = {{"version", kJsonVersion}, {"categories", nlohmann::json::array()}};
    for (const XmlNode &node : categories) {
      nlohmann::json entry = CategoryJson(node);
      entry["feeds"] = node.ChildElements("Quorvelle_Feed").size();
      out["categories"].push_back(std::move(entry));
    }
    PrintJson(out);
    return kDone;
  }
  for (const XmlNode &node : categories)
    PrintLine(DisplayName(node));
  return kDone;
}

// ---- feeds

// The add dialog's message, then one line saying why.
void PrintTitleFailure(const std::string &url, const FeedTitle &fetched) {
  PrintError(OneLine("Unable to recieve title of channel title from\r\n\"" + url + "\""));
  // A title of blanks only reads as none.
  PrintError(fetched.problem == TitleProblem::None ? "The feed has no title." : TitleProblemText(fetched));
}

int AddFeed(const AddOptions &options) {
  const std::string url = platform::Trim(options.url);
  if (url.empty()) {
    PrintError("The feed's address is empty");
    return kUsage;
  }
  // What `check` would flag is not stored: a foreign address, a blank title.
  if (const std::string problem = AddressProblem(url); !problem.empty()) {
    PrintError(problem);
    return kFailed;
  }
  if (options.title && OneLineTitle(*options.title).empty()) {
    PrintError("Empty title: give the feed a title, or leave out --title to read it from the feed");
    return kFailed;
  }
  const std::string category = StoreCategoryName(options.category);
  FeedList list;
  if (!list.Open()) return kFailed;
  // A feed that is in the list already is refused before anything is
  // downloaded, with the store's own message.
  if (list.Store().FindFeedWithURL(list.Store().FXMLDoc->DocumentElement(), url)) {
    list.Store().AddNewRSSFeed(url, "", category);
    return kFailed;
  }
  // A title is one line, as the dialog's edit box holds it.
  // Without a title and without the download, the address serves as one.
  std::string title = options.title ? OneLineTitle(*options.title) : options.noFetch ? url : std::string();
  if (!options.title && !options.noFetch) {
    // Other programs may change the list while the feed is downloaded.
    list.Release();
    FeedTitle fetched;
    {
      Progress progress("Reading the feed's title");
      fetched = FetchFeedTitle(url);
    }
    title = OneLineTitle(fetched.title);
    if (title.empty()) {
      PrintTitleFailure(url, fetched);
      return kFailed;
    }
  }
  // The download took its time: the list is read again right before the edit.
  if (!list.Open()) return kFailed;
  if (!list.Store().AddNewRSSFeed(url, title, category)) return kFailed;
  if (!list.Save()) return kFailed;
  list.RefreshReport();
  return kDone;
}

int RemoveFeed(const std::string &url) {
  FeedList list;
  if (!list.Open()) return kFailed;
  TRSSFeedOptions &store = list.Store();
  if (!store.FindFeedWithURL(store.FXMLDoc->DocumentElement(), url)) {
    PrintError(NotInList(url));
    return kFailed;
  }
  store.DeleteFeed(url, "");
  if (!list.Save()) return kFailed;
  list.RefreshReport();
  return kDone;
}

int EnableFeed(const std::string &url, bool enabled) {
  FeedList list;
  if (!list.Open()) return kFailed;
  TRSSFeedOptions &store = list.Store();
  XmlNode feed = store.FindFeedWithURL(store.FXMLDoc->DocumentElement(), url);
  if (!feed) {
    PrintError(NotInList(url));
    return kFailed;
  }
  if (!store.SetFeedStateEnabled(url, CategoryName(feed.ParentNode()), enabled)) {
    PrintError("The feed " + url + " cannot be " + (enabled ? "enabled" : "disabled"));
    return kFailed;
  }
  if (!list.Save()) return kFailed;
  list.RefreshReport();
  return kDone;
}

int MoveFeed(const std::string &url, const std::string &target) {
  FeedList list;
  if (!list.Open()) return kFailed;
  TRSSFeedOptions &store = list.Store();
  XmlNode feed = store.FindFeedWithURL(store.FXMLDoc->DocumentElement(), url);
  if (!feed) {
    PrintError(NotInList(url));
    return kFailed;
  }
  XmlNode targetNode = list.Category(target);
  if (!targetNode) {
    PrintError(NoSuchCategory(target));
    return kFailed;
  }
  store.MoveFeedToCategory(url, CategoryName(feed.ParentNode()), StoreCategoryName(target));
  XmlNode moved = store.FindFeedWithURL(store.FXMLDoc->DocumentElement(), url);
  if (!moved || !(moved.ParentNode() == targetNode)) {
    PrintError("The feed " + url + " cannot be moved to " + Quoted(target));
    return kFailed;
  }
  if (!list.Save()) return kFailed;
  list.RefreshReport();
  return kDone;
}

// ---- categories

int AddCategory(const std::string &name) {
  if (IsGeneral(name)) {
    PrintError("The category name is empty");
    return kUsage;
  }
  auto &ui = dynamic_cast<CommandLineUi &>(platform::ui::Ui());
  const int messages = ui.MessageCount();
  FeedList list;
  if (!list.Open()) return kFailed;
  XmlNode created = list.Store().AddCategory(name);
  if (!created) {
    // The store shows its duplicate message; a name that is empty once made
    // safe for a folder name gets none.
    if (ui.MessageCount() == messages) PrintError("The category name " + Quoted(name) + " is empty once cleaned");
    return kFailed;
  }
  if (!list.Save()) return kFailed;
  if (!list.RefreshReport()) return kFailed;
  // The name as the store keeps it (characters a folder name cannot hold are
  // replaced).
  PrintLine(CategoryName(created));
  return kDone;
}

int RenameCategory(const std::string &oldName, const std::string &newName) {
  if (IsGeneral(oldName)) {
    PrintError("General category can not be renamed.");
    return kFailed;
  }
  FeedList list;
  if (!list.Open()) return kFailed;
  XmlNode category = list.Category(oldName);
  if (!category) {
    PrintError(NoSuchCategory(oldName));
    return kFailed;
  }
  const std::string cleaned = MakeValidFileName(newName);
  if (cleaned.empty()) {
    PrintError("The category name " + Quoted(newName) + " is empty once cleaned");
    return kFailed;
  }
  XmlNode other = list.Category(cleaned);
  if (other && !(other == category)) {
    PrintError("Category " + Quoted(cleaned) + " is already exists");
    return kFailed;
  }
  list.Store().RenameCategory(CategoryName(category), newName);
  if (CategoryName(category) != cleaned) {
    PrintError("Category " + Quoted(oldName) + " cannot be renamed");
    return kFailed;
  }
  if (!list.Save()) return kFailed;
  if (!list.RefreshReport()) return kFailed;
  PrintLine(cleaned);
  return kDone;
}

int RemoveCategory(const std::string &name) {
  if (IsGeneral(name)) {
    PrintError("General category can not be removed.");
    return kFailed;
  }
  FeedList list;
  if (!list.Open()) return kFailed;
  XmlNode category = list.Category(name);
  if (!category) {
    PrintError(NoSuchCategory(name));
    return kFailed;
  }
  list.Store().DeleteCategory(CategoryName(category));
  if (!list.Save()) return kFailed;
  list.RefreshReport();
  return kDone;
}

// ---- import, export

int Import(const std::string &source, const std::optional<std::string> &category) {
  std::optional<platform::TemporaryFile> temporary;
  std::string fileName = source;
  const std::string lowered = platform::LowerCase(source);
  if (platform::HasSupportedScheme(lowered) || source == "-") {
    std::string text;
    if (source == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
      Progress progress("Downloading " + source);
      text = GetInetFileToString(source);
      if (text.empty()) {
        PrintError("Unable to download " + Quoted(source));
        return kFailed;
      }
    }
    // A downloaded or piped list is an OPML list, as the band takes it; it
    // goes to a new file of the user's own temporary folder.
    try {
      temporary.emplace("temp-", ".opml", platform::JoinLinesCrLf(text));
    } catch (const std::exception &error) {
      PrintError("Cannot keep the list in a temporary file: " + OneLine(error.what()));
      return kFailed;
    }
    fileName = temporary->Path();
    RemoveOnSignal(fileName);
  }

  const std::string extension = LowerExtension(fileName);
  if (extension != ".opml" && extension != ".xml") {
    // A file name whose format cannot be told is a usage error, as for export.
    PrintError(Quoted(source) + " is neither an OPML list (.opml) nor a Quorvelle list (.xml)");
    return kUsage;
  }
  if (extension == ".xml" && category) {
    PrintError("--category is for OPML lists: a Quorvelle list keeps its own categories");
    return kUsage;
  }
  if (!platform::FileExists(fileName)) {
    PrintError("Cannot open " + Quoted(source));
    return kFailed;
  }
  {
    platform::XmlDocument probe;
    if (!probe.Load(fileName)) {
      PrintError("Cannot read " + Quoted(source) + ": " + OneLine(probe.ParseError()));
      return kFailed;
    }
    const char *expected = extension == ".opml" ? "opml" : "Quorvelle_Feeds";
    if (probe.DocumentElement().NodeName() != expected) {
      PrintError(Quoted(source) + (extension == ".opml" ? " is not an OPML list" : " is not a Quorvelle list"));
      return kFailed;
    }
  }

  std::optional<Progress> progress(std::in_place, "Importing " + source);
  FeedList list;
  if (!list.Open()) return kFailed;
  TRSSFeedOptions &store = list.Store();
  const std::size_t before = CountFeeds(store);
  const std::set<std::string> known = FeedAddresses(store);
  std::string into;
  if (extension == ".opml") {
    // The choices of the import dialog: "Into new category:" with the list's
    // title, or the category given.
    bool createNew = true;
    std::string newName;
    if (category && IsGeneral(*category)) {
      createNew = false;
    } else if (category) {
      newName = platform::Trim(*category);
    } else {
      store.GetTitleFromOPMLFeedsFile(fileName, newName);
      newName = platform::Trim(newName);
    }
    std::string target;
    if (createNew) {
      if (store.FindCategory(store.FXMLDoc->DocumentElement(), newName)) {
        target = newName;
      } else {
        XmlNode created = store.AddCategory(newName);
        target = created ? CategoryName(created) : std::string();
      }
    }
    if (!store.GetFeedsAsOPML(target, fileName)) {
      PrintError("Cannot import " + Quoted(source) + MissingStylesheet(store, exchange::kImportStylesheet));
      return kFailed;
    }
    into = target.empty() ? std::string(kGeneralLabel) : target;
  } else {
    store.ImportXML(fileName);
  }
  const std::size_t added = CountFeeds(store) - before;
  FillMissingTitles(store, known, *progress);
  progress->Set("Saving the feed list");
  if (!list.Save()) return kFailed;
  progress.reset();
  if (!list.RefreshReport()) return kFailed;
  std::string line = std::to_string(added) + (added == 1 ? " feed" : " feeds") + " added";
  if (!into.empty()) line += " to " + Quoted(into);
  PrintLine(line);
  return kDone;
}

int Export(const std::string &target, const std::optional<std::string> &category, const std::string &format) {
  std::string kind = format;
  if (kind.empty()) {
    const std::string extension = target == "-" ? ".opml" : LowerExtension(target);
    if (extension == ".opml") kind = "opml";
    if (extension == ".xml") kind = "xml";
  }
  if (kind != "opml" && kind != "xml") {
    PrintError("Cannot tell the format of " + Quoted(target) + ": name it .opml or .xml, or give --format");
    return kUsage;
  }
  FeedList list;
  if (!list.Open()) return kFailed;
  if (category && !list.Category(*category)) {
    PrintError(NoSuchCategory(*category));
    return kFailed;
  }
  const bool all = !category;
  const std::string name = category ? StoreCategoryName(*category) : std::string();
  std::string text;
  if (kind == "xml") {
    list.Store().GetFeedsAsXML(all, name, text);
  } else {
    list.Store().GetFeedsAsOPML(all, name, text);
  }
  if (text.empty()) {
    PrintError("Cannot convert the feed list to " + kind +
               (kind == "opml" ? MissingStylesheet(list.Store(), exchange::kExportStylesheet) : std::string()));
    return kFailed;
  }
  const std::string bytes = platform::JoinLinesCrLf(text);
  if (target == "-") {
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    if (!std::cout) {
      PrintError("Cannot write to standard output");
      return kFailed;
    }
    return kDone;
  }
  try {
    platform::WriteFileAtomically(target, bytes);
  } catch (const std::exception &error) {
    PrintError("Cannot write " + Quoted(target) + ": " + OneLine(error.what()));
    return kFailed;
  }
  return kDone;
}

// ---- report

int Report(bool open) {
  FeedList list;
  if (!list.Open()) return kFailed;
  TRSSFeedOptions &store = list.Store();
  std::vector<XmlNode> feeds;
  CollectFeeds(store.FXMLDoc->DocumentElement(), feeds);
  bool stopped = false;
  const std::string page =
      list.WriteReport("Writing the headlines report of " + std::to_string(feeds.size()) + " feeds", stopped);
  if (stopped) {
    NoteReportStopped();
    return kFailed;
  }
  if (page.empty()) {
    PrintError(feeds.empty() ? "The list has no feeds: no report was written"
                             : "The headlines report could not be written below " + Quoted(store.AppPath));
    return kFailed;
  }
  PrintLine(page);
  if (!open) return kDone;
  // Without a display the browser would run on hidden until killed.
  if (!HasDisplay()) {
    PrintError("No display (neither DISPLAY nor WAYLAND_DISPLAY is set): quorvelle-browser was not started");
    return kFailed;
  }
  const std::string browser =
      FindExecutable({platform::IncludeTrailingPathDelimiter(store.AppPath) + "quorvelle-browser",
                      ProgramFolder() + "quorvelle-browser"});
  const std::string program = !browser.empty() ? browser : FindExecutable(OnPath("quorvelle-browser"));
  if (program.empty()) {
    PrintError("quorvelle-browser is not installed: open the report yourself");
    return kFailed;
  }
  if (!StartDetached(program, {page})) {
    PrintError("Cannot start " + Quoted(program));
    return kFailed;
  }
  return kDone;
}

// ---- discovery, titles

int Discover(const std::string &url, bool json) {
  std::string page;
  {
    Progress progress("Downloading " + url);
    page = GetInetFileToString(url);
  }
  if (page.empty()) {
    PrintError("Unable to download " + Quoted(url));
    return kFailed;
  }
  // Every feed the page announces, its addresses resolved against the page's.
  const std::vector<DiscoveredFeed> found = DiscoverFeeds(page, url);
  if (json) {
    nlohmann::json out = {{"version", kJsonVersion}, {"page", url}, {"feeds", nlohmann::json::array()}};
    for (const DiscoveredFeed &feed : found)
      out["feeds"].push_back({{"url", feed.url}, {"title", feed.title}});
    PrintJson(out);
  } else {
    for (const DiscoveredFeed &feed : found)
      PrintLine(feed.title.empty() ? feed.url : feed.url + "\t" + feed.title);
  }
  if (found.empty()) {
    PrintError("No feed is announced on " + url);
    return kFailed;
  }
  return kDone;
}

int Title(const std::string &url) {
  FeedTitle fetched;
  {
    Progress progress("Reading the feed's title");
    fetched = FetchFeedTitle(platform::Trim(url));
  }
  const std::string title = OneLineTitle(fetched.title);
  if (title.empty()) {
    PrintTitleFailure(url, fetched);
    return kFailed;
  }
  PrintLine(title);
  return kDone;
}

// ---- check

int Check(bool json) {
  struct Problem {
    std::string kind;
    std::string url;
    std::string category;
    std::string message;
  };
  std::vector<Problem> problems;
  const std::string fileName = FeedListFileName();
  std::size_t feedCount = 0;
  std::size_t categoryCount = 0;
  const bool exists = platform::FileExists(fileName);
  if (exists) {
    const std::optional<std::string> text = platform::ReadFileAsCrLfLines(fileName);
    platform::XmlDocument document;
    if (!text) {
      problems.push_back({"unreadable", "", "", "Cannot read the file"});
    } else if (!platform::Trim(*text).empty() && !document.LoadXML(*text)) {
      std::string message = "Not well-formed: " + OneLine(document.ParseError());
      platform::XmlDocument repaired;
      if (repaired.LoadXML(platform::XmlSafeText(*text))) {
        message += " (only characters XML cannot hold: the next change blanks them and keeps the original aside)";
      }
      problems.push_back({"not-well-formed", "", "", message});
    } else if (document.HasRoot()) {
      XmlNode root = document.DocumentElement();
      XmlNode container = root.FirstChild();
      while (container && !container.IsElement())
        container = container.NextSibling();
      if (root.NodeName() != "Quorvelle_Feeds" || !container || container.NodeName() != "Quorvelle_Categories") {
        problems.push_back(
            {"structure", "", "", "The list is not a Quorvelle_Feeds element holding Quorvelle_Categories"});
      }
      std::vector<XmlNode> feeds;
      CollectFeeds(root, feeds);
      feedCount = feeds.size();
      std::map<std::string, std::string> seen; // lower-cased address -> first category
      for (const XmlNode &feed : feeds) {
        const std::string where = DisplayName(feed.ParentNode());
        const std::optional<std::string> src = feed.FindAttribute("src");
        if (!src || src->empty()) {
          problems.push_back({"missing-address", "", where, "A feed in " + Quoted(where) + " has no address"});
          continue;
        }
        const auto [first, inserted] = seen.emplace(platform::LowerCase(*src), where);
        if (!inserted) {
          problems.push_back(
              {"duplicate", *src, where,
               "Duplicate address " + *src + " in " + Quoted(where) + " (first in " + Quoted(first->second) + ")"});
        }
        if (const std::string problem = AddressProblem(*src); !problem.empty()) {
          problems.push_back({"scheme", *src, where, problem + " in " + Quoted(where)});
        }
        if (platform::Trim(platform::DecodeStoredText(feed.FindAttribute("title").value_or(""))).empty()) {
          problems.push_back({"empty-title", *src, where, "Empty title: " + *src + " in " + Quoted(where)});
        }
        if (!feed.FindAttribute("enabled")) {
          problems.push_back({"missing-enabled", *src, where, "No enabled flag: " + *src + " in " + Quoted(where)});
        }
        if (const auto to = MovedAddress(*src)) {
          problems.push_back(
              {"moved", *src, where, "Moved permanently: " + *src + " to " + *to + " in " + Quoted(where)});
        }
      }
      if (container) {
        std::map<std::string, int> names;
        for (const XmlNode &category : container.ChildElements("Quorvelle_Category")) {
          ++categoryCount;
          const std::optional<std::string> name = category.FindAttribute("name");
          if (!name) {
            problems.push_back({"category-without-name", "", "", "A category has no name"});
            continue;
          }
          const std::string decoded = platform::DecodeStoredText(*name);
          if (++names[platform::LowerCase(decoded)] == 2) {
            problems.push_back({"duplicate-category", "", decoded, "Two categories are named " + Quoted(decoded)});
          }
        }
      }
    }
  }
  if (json) {
    nlohmann::json out = {{"version", kJsonVersion},
                          {"file", fileName},
                          {"exists", exists},
                          {"ok", problems.empty()},
                          {"feeds", feedCount},
                          {"categories", categoryCount},
                          {"problems", nlohmann::json::array()}};
    for (const Problem &problem : problems) {
      out["problems"].push_back(
          {{"kind", problem.kind}, {"url", problem.url}, {"category", problem.category}, {"message", problem.message}});
    }
    PrintJson(out);
  } else if (!exists) {
    PrintLine(fileName + ": no feed list yet");
  } else {
    for (const Problem &problem : problems)
      PrintLine(fileName + ": " + problem.message);
    if (problems.empty()) {
      PrintLine(fileName + ": no problems (" + std::to_string(feedCount) + " feeds, " + std::to_string(categoryCount) +
                " categories)");
    }
  }
  return problems.empty() ? kDone : kFailed;
}

} // namespace quorvelle::cli
