#pragma once
// The test-automation hook: when QUORVELLE_HOST_SCRIPT names a file, the
// browser runs its steps (one per line, "#" starts a comment) against its own
// window, prints one line per step on standard output, and ends with status
// 0 after the last step or 1 at the first step that fails or times out.
// docs/host.md lists the steps.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <optional>

namespace quorvelle::host {

class BrowserWindow;

struct ScriptStep {
  int line = 0;
  QString command;
  QString argument; // the rest of the line, trimmed
};

// The steps of a script text; blank and comment lines are left out.
std::vector<ScriptStep> ParseHostScript(const QString &text);

class HostScript : public QObject {
  Q_OBJECT

public:
  HostScript(BrowserWindow &window, std::vector<ScriptStep> steps, QObject *parent = nullptr);
  // Starts the first step; the clock for "mark" started with the process.
  void Start(qint64 startedMs);

private:
  enum class State { Done, Waiting, Failed };
  void Poll();
  State Run(const ScriptStep &step);
  State RunJavaScriptCheck(const QString &expression, bool print);
  void Fail(const QString &why);
  void Print(const QString &text);

  BrowserWindow &window_;
  std::vector<ScriptStep> steps_;
  std::size_t next_ = 0;
  QTimer poll_;
  QElapsedTimer stepClock_;
  qint64 startedMs_ = 0;
  int timeoutMs_ = 20000;
  bool stepStarted_ = false;
  // Pending answer of a page script for the running step.
  bool scriptPending_ = false;
  std::optional<QVariant> scriptAnswer_;
  bool loadFinished_ = false;
};

} // namespace quorvelle::host
