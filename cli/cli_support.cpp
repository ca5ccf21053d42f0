#include "cli/cli_support.h"

#include "exchange/list_conversion.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"
#include "platform/files/file_io.h"
#include "platform/inet/inet_client.h"
#include "platform/registry/registry.h"
#include "platform/xml/xml_document.h"
#include "platform/xml/xml_escape.h"
#include "support/debug_log.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <unistd.h>

namespace quorvelle::cli {

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  bool pendingBreak = false;
  for (const char c : text) {
    if (c == '\r' || c == '\n') {
      while (!line.empty() && line.back() == ' ')
        line.pop_back();
      pendingBreak = true;
      continue;
    }
    if (pendingBreak) {
      if (c == ' ') continue;
      if (!line.empty()) line += ' ';
      pendingBreak = false;
    }
    line += c;
  }
  return platform::Trim(line);
}

std::string OneLineTitle(std::string_view title) {
  std::string text(title);
  for (char &c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return platform::Trim(text);
}

std::string AddressProblem(std::string_view url) {
  const std::string address(url);
  const std::size_t scheme = address.find("://");
  const bool hasHost = scheme != std::string::npos && scheme + 3 < address.size() &&
                       std::string_view("/?#").find(address[scheme + 3]) == std::string_view::npos;
  if (platform::HasSupportedScheme(address) && hasHost) return {};
  return "Not an http, https or ftp address: " + address;
}

std::string NearestName(std::string_view word, const std::vector<std::string> &names) {
  const std::string lowered = platform::LowerCase(std::string(word));
  if (lowered.empty()) return {};
  for (const std::string &name : names) {
    if (name.size() > lowered.size() && platform::LowerCase(name).starts_with(lowered)) return name;
  }
  // Optimal string alignment distance over three rows.
  const auto distance = [](const std::string &a, const std::string &b) {
    std::vector<std::size_t> before(b.size() + 1);
    std::vector<std::size_t> previous(b.size() + 1);
    std::vector<std::size_t> current(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
      previous[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      current[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
        current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
        if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
          current[j] = std::min(current[j], before[j - 2] + 1);
      }
      std::swap(before, previous);
      std::swap(previous, current);
    }
    return previous[b.size()];
  };
  std::string best;
  std::size_t bestDistance = 3;
  for (const std::string &name : names) {
    const std::size_t d = distance(lowered, platform::LowerCase(name));
    if (d < bestDistance && d < lowered.size()) {
      best = name;
      bestDistance = d;
    }
  }
  return best;
}

void PrintError(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

// ---- CommandLineUi

CommandLineUi::CommandLineUi() : previous_(platform::ui::InstallUi(this)) {}

CommandLineUi::~CommandLineUi() { platform::ui::InstallUi(previous_); }

platform::ui::ModalResult CommandLineUi::ShowMessage(const platform::ui::MessageRequest &request) {
  using platform::ui::ModalResult;
  PrintError(OneLine(request.text));
  ++messages_;
  if (request.buttons == platform::ui::mbOK) return ModalResult::Ok;
  if ((request.buttons & platform::ui::mbNo) != 0) return ModalResult::No;
  return ModalResult::Cancel;
}

bool CommandLineUi::InputQuery(const std::string & /*caption*/, const std::string & /*prompt*/,
                               std::string & /*value*/) {
  return false;
}

std::optional<platform::ui::FileDialogResult>
CommandLineUi::ShowFileDialog(const platform::ui::FileDialogRequest & /*request*/) {
  return std::nullopt;
}

// ---- names

bool IsGeneral(std::string_view name) { return name.empty() || name == kGeneralLabel; }

std::string StoreCategoryName(std::string_view name) { return IsGeneral(name) ? std::string() : std::string(name); }

std::string CategoryName(const XmlNode &category) {
  if (category.NodeName() != "Quorvelle_Category") return {};
  return platform::DecodeStoredText(category.FindAttribute("name").value_or(""));
}

std::string DisplayName(const XmlNode &category) {
  if (category.NodeName() != "Quorvelle_Category") return std::string(kGeneralLabel);
  return CategoryName(category);
}

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical("/proc/self/exe", error);
  if (error) return DebugM::ModuleFolder();
  return real.parent_path().string() + "/";
}

// ---- FeedList

namespace {

// The data folder the settings name, without creating any setting.
std::string DataFolderSetting(const TRSSFeedOptions &defaults) {
  std::string folder = defaults.FolderToStore;
  try {
    auto key = platform::RegistryKey::Open(platform::HKEY_CURRENT_USER, kSettingsKey, false);
    if (key && key->ValueExists("FolderToStore")) folder = key->ReadString("FolderToStore");
  } catch (const std::exception &) {
    // No settings store yet: the default folder.
  }
  return folder;
}

} // namespace

std::string FeedListFileName() {
  TRSSFeedOptions defaults;
  return platform::IncludeTrailingPathDelimiter(DataFolderSetting(defaults)) + "Feeds.xml";
}

bool FeedList::Open() {
  // A list that does not parse would be set aside by the store's Load and an
  // empty one saved in its place: here the command stops instead.
  const std::string fileName = FeedListFileName();
  if (platform::FileExists(fileName)) {
    const std::optional<std::string> text = platform::ReadFileAsCrLfLines(fileName);
    if (!text) {
      PrintError("Cannot read the feed list \"" + fileName + "\"");
      return false;
    }
    if (!platform::Trim(*text).empty()) {
      platform::XmlDocument probe;
      // A list that holds characters XML cannot hold is one the store repairs
      // on loading (keeping the original aside); anything else is refused.
      if (!probe.LoadXML(*text) && !probe.LoadXML(platform::XmlSafeText(*text))) {
        PrintError("The feed list \"" + fileName + "\" is not well-formed (" + OneLine(probe.ParseError()) +
                   "); nothing was changed");
        return false;
      }
    }
  }
  store_.Load();
  if (!store_.FXMLDoc || !store_.FXMLDoc->HasRoot() || store_.GetFileName() != fileName) {
    PrintError("Cannot read the feed list \"" + fileName + "\"");
    return false;
  }
  // A user who never ran the installation step has settings that name no
  // installation folder; the program's own folder then serves (for this
  // command only) when it holds the stylesheets and templates.
  const std::string own = ProgramFolder();
  if (!platform::FileExists(platform::IncludeTrailingPathDelimiter(store_.AppPath) + exchange::kExportStylesheet) &&
      platform::FileExists(own + exchange::kExportStylesheet)) {
    store_.AppPath = own;
  }
  return true;
}

bool FeedList::Save() {
  const std::string fileName = store_.GetFileName();
  try {
    store_.FXMLDoc->Save(fileName);
    return true;
  } catch (const std::exception &error) {
    LogException("quorvelle.Save");
    PrintError("Cannot save the feed list \"" + fileName + "\": " + OneLine(error.what()));
    return false;
  }
}

std::string FeedList::StartPage() {
  return platform::IncludeTrailingPathDelimiter(store_.AppPath) + "headlines/index.html";
}

void FeedList::RefreshReport() {
  if (platform::FileExists(StartPage())) {
    Progress progress("Writing the headlines report");
    store_.GenerateXML();
  }
}

XmlNode FeedList::Category(std::string_view name) {
  XmlNode root = store_.FXMLDoc->DocumentElement();
  if (root.IsNull()) return {};
  return store_.FindCategory(root, StoreCategoryName(name));
}

// ---- Progress

Progress::Progress(std::string text)
    : active_(isatty(STDERR_FILENO) == 1), text_(std::move(text)), started_(std::chrono::steady_clock::now()) {
  if (!active_) return;
  Draw();
  ticker_ = std::thread([this] { Tick(); });
}

Progress::~Progress() {
  if (!active_) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  ticker_.join();
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
}

void Progress::Set(std::string text) {
  if (!active_) return;
  const std::lock_guard lock(mutex_);
  text_ = std::move(text);
  Draw();
}

void Progress::Draw() {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_).count();
  std::fprintf(stderr, "\r\033[K%s... %llds", text_.c_str(), static_cast<long long>(seconds));
  std::fflush(stderr);
}

void Progress::Tick() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stopping_; })) {
    Draw();
  }
}

} // namespace quorvelle::cli
