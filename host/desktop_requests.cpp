#include "host/desktop_requests.h"

#include "band/com_identities.h"
#include "platform/com/dispatch.h"
#include "support/debug_log.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>

namespace quorvelle::host {

QString LocalFilePath(const QString &fileOrAddress) {
  const QUrl url(fileOrAddress);
  const QString path = url.isLocalFile() ? url.toLocalFile() : fileOrAddress;
  return QFileInfo(QDir::current(), path).absoluteFilePath();
}

bool HandDesktopRequestToBand(ComLoader &loader, const std::optional<QString> &addFeed,
                              const std::optional<QString> &importFile) {
  bool handed = false;
  Guard("HandDesktopRequestToBand", [&] {
    com::ComPtr<com::IDispatch> object;
    loader.CreateObject(kContextMenuProgID, com::IDispatch::iid).As(object);
    if (!object) {
      std::fprintf(stderr, "quorvelle-browser: the Quorvelle band is not registered (run scripts/install.sh)\n");
      return;
    }
    com::Variant result;
    com::HRESULT hr = com::S_OK;
    if (addFeed) {
      // Capture reads the address from its second argument.
      hr = object->Invoke(DISPID_Capture, {std::string(), addFeed->toStdString()}, &result);
    }
    if (importFile && hr == com::S_OK) {
      hr = object->Invoke(DISPID_ImportFile, {LocalFilePath(*importFile).toStdString()}, &result);
    }
    handed = hr == com::S_OK;
    if (!handed) std::fprintf(stderr, "quorvelle-browser: the band refused the request (0x%08x)\n", hr);
  });
  return handed;
}

} // namespace quorvelle::host
