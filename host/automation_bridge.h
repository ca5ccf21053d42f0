#pragma once
// What a context-menu page's script is offered, as the web channel object
// "external": the address the user right-clicked (menuArguments) and one way
// to reach automation objects: create one by its ProgID and call a method
// by dispatch id. Nothing else of the browser or the system.

#include "host/com_loader.h"
#include "platform/com/dispatch.h"

#include <QObject>
#include <QString>
#include <QVariant>

namespace quorvelle::host {

class AutomationBridge : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString menuArguments READ menuArguments CONSTANT)

public:
  AutomationBridge(ComLoader &loader, QString menuArguments, QObject *parent = nullptr)
      : QObject(parent), loader_(loader), menuArguments_(std::move(menuArguments)) {}

  [[nodiscard]] QString menuArguments() const { return menuArguments_; }

  // Creates the object of progID (IDispatch), calls member dispid with args
  // (texts, whole numbers, null) and releases it. The answer is
  // {hr: <HRESULT as a number>, value: <result>}; a failure to create the
  // object answers hr = REGDB_E_CLASSNOTREG.
  Q_INVOKABLE QVariantMap invoke(const QString &progID, int dispid, const QVariantList &args);
  // The page is done; the browser closes it.
  Q_INVOKABLE void close();

signals:
  void closeRequested();

private:
  ComLoader &loader_;
  QString menuArguments_;
};

// A QVariant as a dispatch argument: text, a 32-bit whole number, or nothing.
com::Variant ToDispatchArgument(const QVariant &value);

} // namespace quorvelle::host
