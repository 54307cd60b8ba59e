// The one application object a test program of the window layer needs, made on first use on the
// offscreen platform (unless the environment names another) and kept until the process ends.
#pragma once

#include <QApplication>

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "quembrel-test";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}
