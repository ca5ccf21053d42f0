#pragma once
// The host's dialogs: the band's own Qt dialogs, shown by the host process
// on the user's display. The application object is made when the first
// dialog is asked for; without a display there is none and the commands
// that need a dialog are refused.

#include "native_host/host_commands.h"

#include <memory>

class QApplication;
class QTimer;

namespace quorvelle::native_host {

class QtHostDialogs final : public HostDialogs {
public:
  QtHostDialogs();
  ~QtHostDialogs() override;
  QtHostDialogs(const QtHostDialogs &) = delete;
  QtHostDialogs &operator=(const QtHostDialogs &) = delete;

  // Whether dialogs can be shown (a display, or a Qt platform chosen).
  [[nodiscard]] static bool Available();

  bool AddFeed(TRSSFeedOptions &store, const std::string &url, const std::string &title) override;
  bool Manage(TRSSFeedOptions &store) override;
  bool Import(TRSSFeedOptions &store, const std::string &filePath) override;
  bool Export(TRSSFeedOptions &store) override;

private:
  void Start();
  std::unique_ptr<QApplication> application_;
  // In the test build of the program (testbin/quorvelle-native-host) with
  // QUORVELLE_NATIVE_HOST_ACCEPT_DIALOGS=1, every modal dialog is closed with
  // its default button as soon as it shows; the program users run has no
  // such switch.
  std::unique_ptr<QTimer> acceptor_;
};

} // namespace quorvelle::native_host
