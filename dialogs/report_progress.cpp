#include "dialogs/report_progress.h"

#include <QApplication>
#include <QProgressDialog>

#include <algorithm>

namespace quorvelle {
namespace {

// A build shorter than this shows nothing.
constexpr std::chrono::milliseconds kShowAfter(400);
// The window is drawn again at most this often.
constexpr std::chrono::milliseconds kDrawEvery(50);

int Clamp(std::size_t value) { return static_cast<int>(std::min<std::size_t>(value, 1'000'000'000)); }

} // namespace

ReportProgressWindow::ReportProgressWindow()
    : previous_(InstallReportProgress([this](std::size_t done, std::size_t total) { return Tell(done, total); })) {}

ReportProgressWindow::~ReportProgressWindow() { InstallReportProgress(std::move(previous_)); }

bool ReportProgressWindow::Tell(std::size_t done, std::size_t total) {
  const auto now = std::chrono::steady_clock::now();
  if (done >= total) {
    window_.reset();
    return true;
  }
  if (done == 0) {
    window_.reset();
    started_ = now;
    drawn_ = {};
    return true;
  }
  if (!window_) {
    if (now - started_ < kShowAfter) return true;
    window_ = std::make_unique<QProgressDialog>();
    window_->setObjectName("ReportProgress");
    window_->setWindowTitle(QStringLiteral("Quorvelle"));
    window_->setLabelText(QStringLiteral("Writing the headlines report..."));
    // The build cannot be left half way: the list is saved already.
    window_->setCancelButton(nullptr);
    window_->setWindowModality(Qt::ApplicationModal);
    window_->setMinimumDuration(0);
    window_->setAutoReset(false);
    window_->setAutoClose(false);
    window_->setMinimumWidth(320);
  }
  if (now - drawn_ < kDrawEvery) return true;
  drawn_ = now;
  window_->setMaximum(Clamp(total));
  window_->setValue(Clamp(done));
  window_->setLabelText(QStringLiteral("Writing the headlines report... %1 of %2 files").arg(done).arg(total));
  window_->show();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return true;
}

} // namespace quorvelle
