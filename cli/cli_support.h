#pragma once
// What every command of the command line shares: the non-interactive user
// interface that prints the system's messages to standard error, the feed
// list opened for a command and saved only when the command succeeds, and
// the progress line shown on a terminal.

#include "feeds/feed_store.h"
#include "platform/files/file_lock.h"
#include "platform/ui/user_interface.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvelle::cli {

// Exit statuses.
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

// The label under which the dialogs list the General category; accepted
// beside the empty name wherever a category is named.
inline constexpr std::string_view kGeneralLabel = "<< GENERAL >>";

// A message box text as one line: every line break (CR LF, CR or LF) with
// the blanks around it becomes a single blank; the ends are trimmed.
std::string OneLine(std::string_view text);

// A feed title as the add feed dialog keeps it: every control character
// becomes a blank, the ends are trimmed.
std::string OneLineTitle(std::string_view title);

// The rule for an address the list may hold, the one `check` applies: ""
// for an http, https or ftp address with a host, else the reason, one line.
std::string AddressProblem(std::string_view url);

// Of the names, the one nearest to word (letter case ignored): a name that
// begins with word, else the first at the smallest edit distance (a
// transposition counts as one edit) when that is at most 2 and smaller than
// word; "" when none is near.
std::string NearestName(std::string_view word, const std::vector<std::string> &names);

// Prints one line to standard error.
void PrintError(std::string_view text);

// The system's message boxes without a person to answer them: each message is
// printed to standard error as one line; a box with only OK answers OK, any
// other question is answered No, or Cancel when it has no No. Prompts and file
// dialogs are cancelled. Installed for its lifetime.
class CommandLineUi final : public platform::ui::UserInterface {
public:
  CommandLineUi();
  ~CommandLineUi() override;
  CommandLineUi(const CommandLineUi &) = delete;
  CommandLineUi &operator=(const CommandLineUi &) = delete;

  platform::ui::ModalResult ShowMessage(const platform::ui::MessageRequest &request) override;
  bool InputQuery(const std::string &caption, const std::string &prompt, std::string &value) override;
  std::optional<platform::ui::FileDialogResult> ShowFileDialog(const platform::ui::FileDialogRequest &request) override;

  // How many messages were printed so far.
  [[nodiscard]] int MessageCount() const { return messages_; }

private:
  platform::ui::UserInterface *previous_;
  int messages_ = 0;
};

// Ctrl-C (SIGINT) and SIGTERM. Before a command commits anything the program
// ends at once, as the signal ends it (the progress line is ended and a
// downloaded list removed first): nothing was changed. From the save of the
// list on, the signal is held: the command finishes, or, while the report is
// still being rebuilt, stops the rebuild and puts the list back as it was,
// and then ends with InterruptedStatus().
void InstallInterruptHandlers();
// From now on a signal is held instead of ending the program.
void HoldSignals();
// The signal held so far, 0 when none came.
int HeldSignal();
// 128 + the signal when a command was stopped and undone by one, else 0.
int InterruptedStatus();
// Tells that a held signal stopped a report build (the previous report
// stays) and makes InterruptedStatus() say so.
void NoteReportStopped();
// A file the signal handler removes when it ends the program ("" for none).
void RemoveOnSignal(const std::string &path);

// The store of the user's list for one command. Open reads the settings and
// Feeds.xml as the band does, but refuses a Feeds.xml that does not parse
// instead of setting it aside, so a failing command changes no file.
// From Open on the list's lock is held (until Release or the end of the
// command), so no other program's change comes between the read and the
// save.
class FeedList {
public:
  // False, with a message printed, when the list cannot be locked or read.
  bool Open();
  // Lets other programs change the list while this command waits for the
  // network; the next Open reads it again.
  void Release();
  // Writes Feeds.xml atomically; false, with a message printed, when it
  // cannot be written (the file on disk then stays as it was). From here a
  // signal is held.
  bool Save();
  // Rebuilds the headlines report when one has been written before, so the
  // band does not show a report of the old list. False when a held signal
  // stopped the command: the list was put back as it was before the save and
  // the previous report kept.
  bool RefreshReport();
  // Builds the report, the progress line telling how far it got; "" when it
  // failed or a held signal stopped it (stopped says which).
  std::string WriteReport(const std::string &what, bool &stopped);

  TRSSFeedOptions &Store() { return store_; }
  // The report's start page (it may not exist).
  std::string StartPage();

  // The category element of that name (the empty name and the General label
  // give the General container); null when there is none. Never creates one.
  XmlNode Category(std::string_view name);

private:
  // Puts back the list as Open read it.
  void Undo();

  TRSSFeedOptions store_;
  std::optional<platform::FileLock> lock_;
  // Feeds.xml as Open read it (nullopt: there was none).
  std::optional<std::string> before_;
  bool saved_ = false;
};

// The feed list file of the current user without reading it: the data
// folder from the settings (or its default) + "Feeds.xml".
std::string FeedListFileName();

// The folder of the program's own file, links resolved (/usr/bin/quorvelle
// of a package is a link into /usr/lib/quorvelle/), with a trailing '/'.
std::string ProgramFolder();

// True for the empty name and the dialogs' General label.
bool IsGeneral(std::string_view name);
// The name the store goes by: "" for General, else the name.
std::string StoreCategoryName(std::string_view name);
// The name shown for a category: the General label, or the decoded name.
std::string DisplayName(const XmlNode &category);
// The decoded name of a category element; "" for the General container.
std::string CategoryName(const XmlNode &category);

// A line on standard error that tells what a long command is doing, with the
// seconds elapsed; only when standard error is a terminal. Cleared when the
// object goes.
class Progress {
public:
  explicit Progress(std::string text);
  ~Progress();
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;
  void Set(std::string text);
  // "done of total" after the text; drawn with the next tick.
  void Count(std::size_t done, std::size_t total);

private:
  void Draw();
  void Tick();

  bool active_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::string text_;
  std::size_t done_ = 0;
  std::size_t total_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::thread ticker_;
};

} // namespace quorvelle::cli
