#pragma once
// The application object of the Qt side. An exception that escapes an event
// handler is caught here, logged through the application's exception
// handler under the receiver's class name, and dropped: the user sees
// nothing and the event loop goes on.
//
// While it lives, the Qt message boxes, prompts and file dialogs and the Qt
// export and import dialogs are the ones the core uses, and report builds
// show their progress in a window.

#include "dialogs/qt_exchange_dialogs.h"
#include "dialogs/qt_user_interface.h"
#include "dialogs/report_progress.h"

#include <QApplication>
#include <string>

namespace quorvelle {

class QuorvelleApplication : public QApplication {
  Q_OBJECT

public:
  QuorvelleApplication(int &argc, char **argv);
  ~QuorvelleApplication() override;

  bool notify(QObject *receiver, QEvent *event) override;

private:
  QtUserInterface ui_;
  QtExchangeDialogs exchangeDialogs_;
  ReportProgressWindow reportProgress_;
  platform::ui::UserInterface *previousUi_ = nullptr;
  ExchangeDialogs *previousExchangeDialogs_ = nullptr;
};

// The class name of the object without its namespace ("TfrmExportDlg").
std::string SenderClassName(const QObject *object);

} // namespace quorvelle
