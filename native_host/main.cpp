// quorvelle-native-host: started by Chromium or Firefox for the Quorvelle
// extension, one process per open port. Reads requests from standard input
// and answers each on standard output until the browser closes the port.

#include "feeds/feed_store.h"
#include "native_host/host_commands.h"
#include "native_host/qt_host_dialogs.h"
#include "native_host/report_pages.h"
#include "native_host/report_stream.h"
#include "native_host/request_loop.h"
#include "setup/user_installation.h"
#include "support/debug_log.h"

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

int main() {
  using namespace quorvelle;
  using namespace quorvelle::native_host;
  // Standard output is the browser's channel: anything a library prints
  // goes to standard error instead.
  const int channel = ::dup(STDOUT_FILENO);
  if (channel < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 1;
  std::signal(SIGPIPE, SIG_IGN);

  QuorvelleModule module;
  // Started from a system package: the user's own installation folder (where
  // the report is written) is set up first, as the other programs do.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
  if (!error && !setup::PrepareInstallationFolder(self.parent_path().string() + "/").empty() && FeedOptions)
    FeedOptions->Load();
  if (!FeedOptions) {
    // The store could not start: every request is told so.
    for (Frame frame = ReadFrame(STDIN_FILENO); frame.status != FrameStatus::End; frame = ReadFrame(STDIN_FILENO))
      if (!WriteFrame(channel, CommandHandler::Refusal({"failed", "The feed list could not be opened."}))) break;
    return 1;
  }
  ReportPages report(*FeedOptions);
  QtHostDialogs dialogs;
  CommandHandler handler(*FeedOptions, report, &dialogs);
  {
    AnswerChannel answers(channel);
    ReportStreams reports(answers);
    RunRequestLoop(STDIN_FILENO, answers, handler, reports);
  }
  ::close(channel);
  return 0;
}
