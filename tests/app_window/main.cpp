// The window tests need a QApplication before the first test runs.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // Run by hand without ctest's environment: no screen is needed either way.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // Tests close windows without an event loop to end.
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
