#pragma once
// The report rebuild's progress on the screen: while the application object
// lives, a report build that runs longer than a moment shows a small window
// telling how many of the report's files are written ("Writing the
// headlines report..."), which goes when the build ends. The pauses before
// each file stay; the window only keeps the user informed (and the screen
// drawn) while they add up.

#include "feeds/feed_store.h"

#include <chrono>
#include <cstddef>
#include <memory>

class QProgressDialog;

namespace quorvelle {

// Installed for its lifetime (the one it replaced comes back after).
class ReportProgressWindow {
public:
  ReportProgressWindow();
  ~ReportProgressWindow();
  ReportProgressWindow(const ReportProgressWindow &) = delete;
  ReportProgressWindow &operator=(const ReportProgressWindow &) = delete;

  // What a build tells: before each file, and done == total at its end.
  bool Tell(std::size_t done, std::size_t total);

  // The window while a build shows one (for tests and screenshots).
  [[nodiscard]] QProgressDialog *Window() const { return window_.get(); }

private:
  ReportProgressHook previous_;
  std::unique_ptr<QProgressDialog> window_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point drawn_;
};

} // namespace quorvelle
