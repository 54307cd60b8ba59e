// CHostedQt: finding or making the application object, and serving its events.
#include "ui/lv2/hosted_qt.h"

#include <dlfcn.h>

#include <QApplication>

namespace {

// Made by the first window when the host has none; never deleted, see the header.
QApplication* g_ownApplication = nullptr;

bool HostHoldsQt5() {
  void* qt5 = dlopen("libQt5Core.so.5", RTLD_NOW | RTLD_NOLOAD);
  if (qt5 == nullptr) return false;
  dlclose(qt5);
  return true;
}

}  // namespace

bool CHostedQt::Ready() {
  if (QCoreApplication::instance() != nullptr) {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
  }
  if (HostHoldsQt5()) return false;
  // Qt keeps references to these for the application's whole life.
  static int argc = 1;
  static char name[] = "quembrel";
  static char* argv[] = {name, nullptr};
  g_ownApplication = new QApplication(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return true;
}

void CHostedQt::Idle() {
  if (g_ownApplication != nullptr) {
    QApplication::sendPostedEvents();
    QApplication::processEvents();
  }
}
