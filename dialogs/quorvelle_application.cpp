#include "dialogs/quorvelle_application.h"

#include "support/debug_log.h"

#include <QMetaObject>

namespace quorvelle {

QuorvelleApplication::QuorvelleApplication(int &argc, char **argv)
    : QApplication(argc, argv), previousUi_(platform::ui::InstallUi(&ui_)),
      previousExchangeDialogs_(InstallExchangeDialogs(&exchangeDialogs_)) {}

QuorvelleApplication::~QuorvelleApplication() {
  InstallExchangeDialogs(previousExchangeDialogs_);
  platform::ui::InstallUi(previousUi_);
}

bool QuorvelleApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ApplicationExceptionHandler(SenderClassName(receiver));
    return false;
  }
}

std::string SenderClassName(const QObject *object) {
  if (object == nullptr) return {};
  std::string name = object->metaObject()->className();
  const std::size_t colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

} // namespace quorvelle
