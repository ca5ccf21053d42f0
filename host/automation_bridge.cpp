#include "host/automation_bridge.h"

#include "support/debug_log.h"

namespace quorvelle::host {

com::Variant ToDispatchArgument(const QVariant &value) {
  if (!value.isValid() || value.isNull()) return std::monostate{};
  switch (value.metaType().id()) {
  case QMetaType::Bool: return static_cast<std::int32_t>(value.toBool() ? -1 : 0);
  case QMetaType::Int:
  case QMetaType::LongLong:
  case QMetaType::Double: {
    bool ok = false;
    const qlonglong whole = value.toLongLong(&ok);
    if (ok && whole >= INT32_MIN && whole <= INT32_MAX && static_cast<double>(whole) == value.toDouble()) {
      return static_cast<std::int32_t>(whole);
    }
    break;
  }
  default: break;
  }
  const QString text = value.toString();
  return com::WideString(reinterpret_cast<const char16_t *>(text.utf16()), static_cast<std::size_t>(text.size()));
}

namespace {

QVariant FromDispatchResult(const com::Variant &value) {
  if (const auto *number = std::get_if<std::int32_t>(&value)) return *number;
  if (const auto text = com::VariantText(value)) return QString::fromStdString(*text);
  return {};
}

} // namespace

QVariantMap AutomationBridge::invoke(const QString &progID, int dispid, const QVariantList &args) {
  com::HRESULT hr = com::REGDB_E_CLASSNOTREG;
  com::Variant result;
  Guard("TAutomationBridge.invoke", [&] {
    com::ComPtr<com::IDispatch> object;
    loader_.CreateObject(progID.toStdString(), com::IDispatch::iid).As(object);
    if (!object) return;
    std::vector<com::Variant> arguments;
    arguments.reserve(static_cast<std::size_t>(args.size()));
    for (const QVariant &arg : args)
      arguments.push_back(ToDispatchArgument(arg));
    hr = object->Invoke(dispid, arguments, &result);
  });
  return {{QStringLiteral("hr"), static_cast<qint64>(hr)}, {QStringLiteral("value"), FromDispatchResult(result)}};
}

void AutomationBridge::close() { emit closeRequested(); }

} // namespace quorvelle::host
