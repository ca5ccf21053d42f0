#include "dialogs/qt_user_interface.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace quorvelle {
namespace {

using platform::ui::ModalResult;

QMessageBox::Icon IconOf(platform::ui::MsgDlgType type) {
  switch (type) {
  case platform::ui::MsgDlgType::Information: return QMessageBox::Information;
  case platform::ui::MsgDlgType::Confirmation:
  case platform::ui::MsgDlgType::Question: return QMessageBox::Question;
  case platform::ui::MsgDlgType::Warning: return QMessageBox::Warning;
  case platform::ui::MsgDlgType::Error: return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButton ButtonOf(ModalResult result) {
  switch (result) {
  case ModalResult::Ok: return QMessageBox::Ok;
  case ModalResult::Cancel: return QMessageBox::Cancel;
  case ModalResult::Yes: return QMessageBox::Yes;
  case ModalResult::No: return QMessageBox::No;
  case ModalResult::None: break;
  }
  return QMessageBox::NoButton;
}

ModalResult ResultOf(int button) {
  switch (button) {
  case QMessageBox::Ok: return ModalResult::Ok;
  case QMessageBox::Yes: return ModalResult::Yes;
  case QMessageBox::No: return ModalResult::No;
  default: return ModalResult::Cancel; // Cancel, Escape, or the window closed
  }
}

} // namespace

QStringList QtNameFilters(const std::string &filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QString masks = parts[i + 1];
    masks.replace(QLatin1Char(';'), QLatin1Char(' '));
    masks = masks.simplified();
    // Qt reads the masks from the parentheses; a description that already
    // shows them is used as it is.
    if (description.endsWith(QLatin1Char(')')) &&
        description.contains(QLatin1String("(") + masks + QLatin1String(")"))) {
      filters << description;
    } else {
      filters << description + QLatin1String(" (") + masks + QLatin1Char(')');
    }
  }
  return filters;
}

QString DefaultSuffixOf(const QString &nameFilter) {
  static const QRegularExpression single(QStringLiteral("\\(\\*\\.([^*?\\s()]+)\\)\\s*$"));
  const QRegularExpressionMatch match = single.match(nameFilter);
  return match.hasMatch() ? match.captured(1) : QString();
}

ModalResult QtUserInterface::ShowMessage(const platform::ui::MessageRequest &request) {
  QMessageBox box(IconOf(request.type), QString::fromStdString(request.caption), QString::fromStdString(request.text),
                  QMessageBox::NoButton, QApplication::activeWindow());
  QMessageBox::StandardButtons buttons;
  if ((request.buttons & platform::ui::mbYes) != 0) buttons |= QMessageBox::Yes;
  if ((request.buttons & platform::ui::mbNo) != 0) buttons |= QMessageBox::No;
  if ((request.buttons & platform::ui::mbOK) != 0) buttons |= QMessageBox::Ok;
  if ((request.buttons & platform::ui::mbCancel) != 0) buttons |= QMessageBox::Cancel;
  if (buttons == QMessageBox::NoButton) buttons = QMessageBox::Ok;
  box.setStandardButtons(buttons);
  const QMessageBox::StandardButton defaultButton = ButtonOf(request.defaultButton);
  if (defaultButton != QMessageBox::NoButton && (buttons & defaultButton) != 0) box.setDefaultButton(defaultButton);
  return ResultOf(box.exec());
}

bool QtUserInterface::InputQuery(const std::string &caption, const std::string &prompt, std::string &value) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(QApplication::activeWindow(), QString::fromStdString(caption),
                            QString::fromStdString(prompt), QLineEdit::Normal, QString::fromStdString(value), &ok);
  if (ok) value = text.toStdString();
  return ok;
}

std::optional<platform::ui::FileDialogResult>
QtUserInterface::ShowFileDialog(const platform::ui::FileDialogRequest &request) {
  QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title),
                     QString::fromStdString(request.initialDir));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
  const QStringList filters = QtNameFilters(request.filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = request.filterIndex >= 0 && request.filterIndex < filters.size() ? request.filterIndex : 0;
    dialog.selectNameFilter(filters[index]);
    dialog.setDefaultSuffix(DefaultSuffixOf(filters[index]));
    // The extension follows the filter the user picks.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString &filter) { dialog.setDefaultSuffix(DefaultSuffixOf(filter)); });
  }
  if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  platform::ui::FileDialogResult result;
  result.fileName = dialog.selectedFiles().constFirst().toStdString();
  result.filterIndex = static_cast<int>(std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter())));
  return result;
}

} // namespace quorvelle
