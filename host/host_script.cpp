#include "host/host_script.h"

#include "host/browser_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTextStream>
#include <QToolButton>
#include <cstdio>

namespace quorvelle::host {
namespace {

QString WithoutMnemonic(QString text) { return text.remove(QLatin1Char('&')); }

// Every action reachable from widget: its own, its menus' and its children's.
QList<QAction *> ActionsBelow(QWidget *widget) {
  QList<QAction *> actions = widget->actions();
  for (QWidget *child : widget->findChildren<QWidget *>())
    actions += child->actions();
  for (QToolButton *button : widget->findChildren<QToolButton *>()) {
    if (button->menu() != nullptr) actions += button->menu()->actions();
  }
  QList<QAction *> withMenus = actions;
  for (QAction *action : actions) {
    if (action->menu() != nullptr) withMenus += action->menu()->actions();
  }
  return withMenus;
}

QWidget *ModalWidget() {
  if (QWidget *modal = QApplication::activeModalWidget()) return modal;
  for (QWidget *top : QApplication::topLevelWidgets()) {
    if (top->isVisible() && top->isModal()) return top;
  }
  return nullptr;
}

QPixmap GrabWithPopup(QWidget *window) {
  QPixmap shot = window->grab();
  if (QWidget *popup = QApplication::activePopupWidget()) {
    QPainter painter(&shot);
    painter.drawPixmap(window->mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
  }
  return shot;
}

} // namespace

std::vector<ScriptStep> ParseHostScript(const QString &text) {
  std::vector<ScriptStep> steps;
  const QStringList lines = text.split(QLatin1Char('\n'));
  for (int n = 0; n < lines.size(); ++n) {
    const QString line = lines[n].trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    ScriptStep step{n + 1, blank < 0 ? line : line.left(blank), blank < 0 ? QString() : line.mid(blank + 1).trimmed()};
    steps.push_back(std::move(step));
  }
  return steps;
}

HostScript::HostScript(BrowserWindow &window, std::vector<ScriptStep> steps, QObject *parent)
    : QObject(parent), window_(window), steps_(std::move(steps)) {
  poll_.setInterval(50);
  connect(&poll_, &QTimer::timeout, this, &HostScript::Poll);
  connect(window_.View(), &QWebEngineView::loadFinished, this, [this](bool) { loadFinished_ = true; });
}

void HostScript::Start(qint64 startedMs) {
  startedMs_ = startedMs;
  poll_.start();
}

void HostScript::Print(const QString &text) {
  std::fprintf(stdout, "[host] %s\n", text.toUtf8().constData());
  std::fflush(stdout);
}

void HostScript::Fail(const QString &why) {
  poll_.stop();
  const ScriptStep &step = steps_[next_];
  Print(QStringLiteral("FAILED line %1 (%2 %3): %4").arg(step.line).arg(step.command, step.argument, why));
  QCoreApplication::exit(1);
}

void HostScript::Poll() {
  // A step may open a modal dialog; the poll goes on inside its event loop.
  if (next_ >= steps_.size()) {
    poll_.stop();
    Print(QStringLiteral("script done"));
    QCoreApplication::exit(0);
    return;
  }
  const ScriptStep &step = steps_[next_];
  if (!stepStarted_) {
    stepStarted_ = true;
    stepClock_.start();
    scriptPending_ = false;
    scriptAnswer_.reset();
  }
  State state = State::Failed;
  try {
    state = Run(step);
  } catch (const std::exception &e) {
    Fail(QString::fromUtf8(e.what()));
    return;
  }
  if (state == State::Failed) return;
  if (state == State::Waiting) {
    if (stepClock_.elapsed() > timeoutMs_) Fail(QStringLiteral("timed out after %1 ms").arg(timeoutMs_));
    return;
  }
  Print(QStringLiteral("ok line %1: %2 %3").arg(step.line).arg(step.command, step.argument));
  ++next_;
  stepStarted_ = false;
}

HostScript::State HostScript::RunJavaScriptCheck(const QString &expression, bool print) {
  if (scriptAnswer_) {
    const QVariant answer = *scriptAnswer_;
    scriptAnswer_.reset();
    scriptPending_ = false;
    if (print) {
      Print(QStringLiteral("js: ") + answer.toString());
      return State::Done;
    }
    if (answer.toBool()) return State::Done;
  }
  if (!scriptPending_) {
    scriptPending_ = true;
    QPointer<HostScript> self(this);
    window_.View()->page()->runJavaScript(
        QStringLiteral("(function(){try{return (%1);}catch(e){return false;}})()").arg(expression),
        [self](const QVariant &value) {
          if (self) self->scriptAnswer_ = value;
        });
  }
  return State::Waiting;
}

HostScript::State HostScript::Run(const ScriptStep &step) {
  const QString &command = step.command;
  const QString &arg = step.argument;
  if (command == QLatin1String("timeout")) {
    timeoutMs_ = arg.toInt();
    return State::Done;
  }
  if (command == QLatin1String("mark")) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    Print(QStringLiteral("mark %1 %2 ms epoch %3").arg(arg).arg(now - startedMs_).arg(now));
    return State::Done;
  }
  if (command == QLatin1String("sleep")) {
    return stepClock_.elapsed() >= arg.toInt() ? State::Done : State::Waiting;
  }
  if (command == QLatin1String("wait-band")) {
    for (QWidget *band : window_.BandWindows()) {
      if (band->isVisible() && !band->findChildren<QWidget *>().isEmpty()) return State::Done;
    }
    return State::Waiting;
  }
  if (command == QLatin1String("open")) {
    loadFinished_ = false;
    window_.Navigate(QUrl::fromUserInput(arg));
    return State::Done;
  }
  if (command == QLatin1String("wait-loaded")) {
    return loadFinished_ ? State::Done : State::Waiting;
  }
  if (command == QLatin1String("band")) {
    for (QWidget *band : window_.BandWindows()) {
      for (QAction *action : ActionsBelow(band)) {
        if (WithoutMnemonic(action->text()) == arg) {
          loadFinished_ = false;
          // Queued: a command that opens a modal dialog must not stop the script.
          QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
          return State::Done;
        }
      }
    }
    Fail(QStringLiteral("no band command with that caption"));
    return State::Failed;
  }
  if (command == QLatin1String("open-band-menu")) {
    for (QWidget *band : window_.BandWindows()) {
      for (QToolButton *button : band->findChildren<QToolButton *>()) {
        if (WithoutMnemonic(button->text()) == arg && button->menu() != nullptr) {
          QMetaObject::invokeMethod(button, &QToolButton::showMenu, Qt::QueuedConnection);
          return State::Done;
        }
      }
    }
    Fail(QStringLiteral("no band menu with that caption"));
    return State::Failed;
  }
  if (command == QLatin1String("close-popup")) {
    if (QWidget *popup = QApplication::activePopupWidget()) popup->close();
    return State::Done;
  }
  if (command == QLatin1String("modal-button")) {
    QWidget *modal = ModalWidget();
    if (modal == nullptr || stepClock_.elapsed() < 300) return State::Waiting;
    for (QAbstractButton *button : modal->findChildren<QAbstractButton *>()) {
      if (button->isVisible() && button->isEnabled() && WithoutMnemonic(button->text()) == arg) {
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        return State::Done;
      }
    }
    return State::Waiting;
  }
  if (command == QLatin1String("modal-field")) {
    // "<objectName> <text>": fills a line edit of the modal dialog.
    QWidget *modal = ModalWidget();
    if (modal == nullptr) return State::Waiting;
    const qsizetype blank = arg.indexOf(QLatin1Char(' '));
    const QString name = blank < 0 ? arg : arg.left(blank);
    auto *field = modal->findChild<QLineEdit *>(name);
    if (field == nullptr) return State::Waiting;
    field->setText(blank < 0 ? QString() : arg.mid(blank + 1));
    return State::Done;
  }
  if (command == QLatin1String("print-modal-field")) {
    QWidget *modal = ModalWidget();
    if (modal == nullptr) return State::Waiting;
    auto *field = modal->findChild<QLineEdit *>(arg);
    if (field == nullptr) return State::Waiting;
    Print(QStringLiteral("field %1: %2").arg(arg, field->text()));
    return State::Done;
  }
  if (command == QLatin1String("wait-no-modal")) {
    return ModalWidget() == nullptr ? State::Done : State::Waiting;
  }
  if (command == QLatin1String("wait-js")) return RunJavaScriptCheck(arg, false);
  if (command == QLatin1String("print-js")) return RunJavaScriptCheck(arg, true);
  if (command == QLatin1String("menu-ext")) {
    // "<menu text>\t<address>"
    const QStringList parts = arg.split(QLatin1Char('\t'));
    if (parts.size() != 2 || !window_.RunMenuExtension(parts[0].trimmed(), parts[1].trimmed())) {
      Fail(QStringLiteral("no such context-menu entry with a local page"));
      return State::Failed;
    }
    return State::Done;
  }
  if (command == QLatin1String("wait-menu-pages")) {
    return window_.MenuPages().Running() == 0 ? State::Done : State::Waiting;
  }
  if (command == QLatin1String("screenshot")) {
    QWidget *target = ModalWidget() != nullptr && ModalWidget() != &window_ ? ModalWidget() : &window_;
    if (!GrabWithPopup(target).save(arg)) {
      Fail(QStringLiteral("cannot write the picture"));
      return State::Failed;
    }
    Print(QStringLiteral("screenshot ") + arg);
    return State::Done;
  }
  if (command == QLatin1String("screenshot-window")) {
    if (!GrabWithPopup(&window_).save(arg)) {
      Fail(QStringLiteral("cannot write the picture"));
      return State::Failed;
    }
    Print(QStringLiteral("screenshot ") + arg);
    return State::Done;
  }
  if (command == QLatin1String("quit")) {
    poll_.stop();
    Print(QStringLiteral("script done"));
    window_.close();
    QCoreApplication::exit(arg.isEmpty() ? 0 : arg.toInt());
    return State::Failed; // nothing runs after it
  }
  Fail(QStringLiteral("unknown step"));
  return State::Failed;
}

} // namespace quorvelle::host
