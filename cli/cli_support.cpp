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
#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
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

// ---- signals

namespace {

volatile std::sig_atomic_t gHeldSignal = 0;
std::atomic<bool> gHolding{false};
std::atomic<bool> gProgressShown{false};
int gUndoneBy = 0;
// Written before the handler may read it, never while it runs.
char gRemoveOnSignal[PATH_MAX] = {};

void OnSignal(int signal) {
  if (gHolding.load()) {
    if (gHeldSignal == 0) gHeldSignal = signal;
    return;
  }
  // Only calls that are safe in a signal handler.
  if (gProgressShown.load()) {
    static const char kEndLine[] = "\r\033[K";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, kEndLine, sizeof kEndLine - 1);
  }
  if (gRemoveOnSignal[0] != '\0') ::unlink(gRemoveOnSignal);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

} // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM}) {
    // A signal the caller has us ignore (nohup, a background job) stays ignored.
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

void HoldSignals() { gHolding.store(true); }

int HeldSignal() { return gHeldSignal; }

int InterruptedStatus() { return gUndoneBy == 0 ? 0 : 128 + gUndoneBy; }

void RemoveOnSignal(const std::string &path) {
  gRemoveOnSignal[0] = '\0';
  if (path.size() < sizeof gRemoveOnSignal) std::memcpy(gRemoveOnSignal, path.c_str(), path.size() + 1);
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
  try {
    if (!lock_) lock_.emplace(store_.ListLockFileName());
  } catch (const std::exception &error) {
    PrintError("Cannot lock the feed list: " + OneLine(error.what()));
    return false;
  }
  before_.reset();
  if (platform::FileExists(fileName)) before_ = platform::ReadFileBytes(fileName);
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

void FeedList::Release() { lock_.reset(); }

bool FeedList::Save() {
  const std::string fileName = store_.GetFileName();
  HoldSignals();
  try {
    store_.FXMLDoc->Save(fileName);
    saved_ = true;
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

std::string FeedList::WriteReport(const std::string &what, bool &stopped) {
  HoldSignals();
  stopped = false;
  std::string page;
  {
    Progress progress(what);
    store_.FReportProgress = [&](std::size_t done, std::size_t total) {
      progress.Count(done, total);
      if (HeldSignal() == 0) return true;
      stopped = true;
      return false;
    };
    page = store_.GenerateXML();
    store_.FReportProgress = nullptr;
  }
  return page;
}

bool FeedList::RefreshReport() {
  bool stopped = false;
  bool rebuilt = false;
  if (platform::FileExists(StartPage())) rebuilt = !WriteReport("Writing the headlines report", stopped).empty();
  // A signal that came before the new report was in place undoes the save:
  // the list and the report stay as they were before the command.
  if (saved_ && HeldSignal() != 0 && (stopped || !rebuilt)) {
    Undo();
    gUndoneBy = HeldSignal();
    PrintError(std::string("Interrupted (") + strsignal(HeldSignal()) + "): the feed list was put back as it was");
    return false;
  }
  return true;
}

void NoteReportStopped() {
  gUndoneBy = HeldSignal();
  PrintError(std::string("Interrupted (") + strsignal(HeldSignal()) + "): the previous report is kept");
}

void FeedList::Undo() {
  const std::string fileName = store_.GetFileName();
  try {
    if (before_) {
      platform::WriteFileAtomically(fileName, *before_);
    } else {
      std::filesystem::remove(fileName);
    }
    saved_ = false;
  } catch (const std::exception &error) {
    LogException("quorvelle.Undo");
    PrintError("Cannot put the feed list back: " + OneLine(error.what()));
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
  gProgressShown.store(true);
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
  gProgressShown.store(false);
}

void Progress::Set(std::string text) {
  if (!active_) return;
  const std::lock_guard lock(mutex_);
  text_ = std::move(text);
  Draw();
}

void Progress::Count(std::size_t done, std::size_t total) {
  if (!active_) return;
  const std::lock_guard lock(mutex_);
  done_ = done;
  total_ = total;
}

void Progress::Draw() {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_).count();
  std::string count;
  if (total_ > 0) count = ": " + std::to_string(done_) + " of " + std::to_string(total_) + " files";
  std::fprintf(stderr, "\r\033[K%s%s... %llds", text_.c_str(), count.c_str(), static_cast<long long>(seconds));
  std::fflush(stderr);
}

void Progress::Tick() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stopping_; })) {
    Draw();
  }
}

} // namespace quorvelle::cli
