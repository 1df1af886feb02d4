// Runs a GoogleTest suite inside a Qt application on the offscreen platform: a widget application
// for the suites of windows and printers, a Qt Gui one for the others.
#include <gtest/gtest.h>

#ifdef FOLIVANE_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  TestApplication app(qtArgc, qtArgv);
  return RUN_ALL_TESTS();
}
