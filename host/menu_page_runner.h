#pragma once
// Runs the page of a context-menu extension for a clicked address: a page
// without a view, with the web channel object "external" (AutomationBridge)
// and the channel's script already in place. The page stays on its own
// address (it cannot navigate elsewhere with the bridge) and goes away
// when it closes itself or calls external.close().

#include "host/automation_bridge.h"
#include "host/menu_extensions.h"

#include <QObject>
#include <QWebEngineProfile>

namespace quorvelle::host {

class MenuPageRunner : public QObject {
  Q_OBJECT

public:
  MenuPageRunner(ComLoader &loader, QWebEngineProfile *profile, QObject *parent = nullptr)
      : QObject(parent), loader_(loader), profile_(profile) {}

  // Starts the extension's page for the address; false when the extension
  // names no local page.
  bool Run(const MenuExtension &extension, const QString &clickedAddress);
  // Pages still running.
  [[nodiscard]] int Running() const { return running_; }

signals:
  void pageFinished();

private:
  ComLoader &loader_;
  QWebEngineProfile *profile_;
  int running_ = 0;
};

} // namespace quorvelle::host
