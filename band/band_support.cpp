#include "band/band_support.h"

#include "feeds/feed_store.h"
#include "platform/errors.h"

#include <QApplication>

namespace quorvelle {

TRSSFeedOptions &Store() {
  if (!FeedOptions) throw EAbort("The feed store is not available");
  return *FeedOptions;
}

void RequireApplication() {
  if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) {
    throw EAbort("No application object for windows in this process");
  }
}

} // namespace quorvelle
