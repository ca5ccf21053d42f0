#include "dialogs/exchange_dialog_support.h"

#include "feeds/feed_store.h"

#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>

namespace quorvelle::exchange_dialog {

void SetUpWindow(QDialog &dialog, const QString &caption, int clientWidth, int clientHeight) {
  dialog.setWindowTitle(caption);
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                        Qt::MSWindowsFixedSizeDialogHint);
  dialog.setFont(QFont(QStringLiteral("Tahoma"), 8));
  dialog.setFixedSize(clientWidth, clientHeight);
  dialog.setSizeGripEnabled(false);
}

void FillCategories(QComboBox &combo, TRSSFeedOptions &store) {
  combo.clear();
  combo.addItem(QString::fromUtf8(kGeneralLabel));
  const std::string list = store.GetListOfCategories();
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find("\r\n", start);
    if (end == std::string::npos) end = list.size();
    combo.addItem(QString::fromStdString(list.substr(start, end - start)));
    start = end + 2;
  }
  combo.setCurrentIndex(0);
}

std::string CurrentCategory(const QComboBox &combo) {
  if (combo.currentIndex() <= 0) return {};
  return combo.currentText().toStdString();
}

void CentreOnScreen(QDialog &dialog) {
  QScreen *screen = dialog.screen() != nullptr ? dialog.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  dialog.move(area.center() - QPoint(dialog.frameGeometry().width() / 2, dialog.frameGeometry().height() / 2));
}

} // namespace quorvelle::exchange_dialog
