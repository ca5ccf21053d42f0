// The browser's tests run a real web engine: the feed scheme is registered
// and the engine's flags set before the application object exists.

#include "dialogs/quorvelle_application.h"
#include "host/feed_proxy.h"

#include <gtest/gtest.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (::geteuid() == 0 && !flags.contains("--no-sandbox")) flags += " --no-sandbox";
  if (!flags.contains("--disable-gpu")) flags += " --disable-gpu";
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
  ::testing::InitGoogleTest(&argc, argv);
  quorvelle::host::RegisterFeedProxyScheme();
  quorvelle::QuorvelleApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
