#include "band/band_support.h"

#include "feeds/feed_store.h"
#include "platform/errors.h"
#include "platform/ui/user_interface.h"
#include "support/debug_log.h"

#include <QApplication>
#include <vector>

namespace quorvelle {

TRSSFeedOptions &Store() {
  if (!FeedOptions) throw EAbort("The feed store is not available");
  return *FeedOptions;
}

void RequireApplication() {
  if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) {
    throw EAbort("No application object for windows in this process");
  }
}

namespace {
int commandDepth = 0;
std::vector<std::function<void()>> heldBack;
} // namespace

UserCommand::UserCommand() {
  if (commandDepth++ > 0) return;
  Guard("UserCommand.TellAboutUnreadableList", [] {
    if (!FeedOptions) return;
    const std::string notice = FeedOptions->TakeUnreadableNotice();
    if (!notice.empty()) platform::ui::ShowInformation(notice);
  });
}

UserCommand::~UserCommand() {
  if (--commandDepth > 0) return;
  std::vector<std::function<void()>> work;
  work.swap(heldBack);
  for (const std::function<void()> &item : work) {
    SilentGuard(item);
  }
}

void RunOutsideUserCommands(std::function<void()> work) {
  if (commandDepth > 0) {
    heldBack.push_back(std::move(work));
  } else {
    work();
  }
}

} // namespace quorvelle
