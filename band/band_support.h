#pragma once
// Small helpers shared by the band's form and the context-menu object.

#include <functional>

namespace quorvelle {

class TRSSFeedOptions;

// The process-wide feed store; raises EAbort when the module has none (its
// start failed).
TRSSFeedOptions &Store();

// Raises EAbort unless the process runs a QApplication: without one no
// dialog or widget can be made (a host that loaded the library only to
// register it, for instance).
void RequireApplication();

// One command the user runs from the band (a toolbar command or a capture
// from the context menu), for its whole length, modal dialogs included. The
// outermost one tells once that the list on disk could not be read; work
// held back while one runs is done when the outermost ends.
class UserCommand {
public:
  UserCommand();
  ~UserCommand();
  UserCommand(const UserCommand &) = delete;
  UserCommand &operator=(const UserCommand &) = delete;
};

// Runs the work now, or, while a user command runs (a capture arriving while
// the manage dialog is open would reload and save under it), when the
// outermost command has ended.
void RunOutsideUserCommands(std::function<void()> work);

} // namespace quorvelle
