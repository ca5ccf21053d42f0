// The dialogs' tests need the application object before any widget exists;
// it is the one the product uses, so the Qt message boxes, file dialogs and
// exchange dialogs are installed as they are there.

#include "dialogs/quorvelle_application.h"

#include <gtest/gtest.h>

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  quorvelle::QuorvelleApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
