// CApplication: display check, the window system's application object, and the hand-over.
#include "platform/window/application.h"

#include <QApplication>
#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/window/signal_watcher.h"

namespace {

std::string g_programName = "quembrel";
QtMessageHandler g_previousHandler = nullptr;

struct HeldMessage {
  QtMsgType type;
  QString text;
};
std::vector<HeldMessage>* g_heldMessages = nullptr;

std::string DisplayName() {
  const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
  const QByteArray x11 = qgetenv("DISPLAY");
  return (!x11.isEmpty() ? x11 : wayland).toStdString();
}

// While the window system connects, its complaints are held back: if it cannot connect, it ends
// the process with a fatal message, which becomes our one line and a plain exit instead of an
// abort; if it connects, the held messages go out as usual.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "%s: cannot open the display '%s'\n", g_programName.c_str(),
                 DisplayName().c_str());
    std::fflush(stderr);
    std::_Exit(1);
  }
  if (g_heldMessages != nullptr) {
    g_heldMessages->push_back(HeldMessage{type, text});
  } else if (g_previousHandler != nullptr) {
    g_previousHandler(type, context, text);
  }
}

}  // namespace

bool CApplication::HasDisplay() {
  return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int CApplication::Run(int argc, char** argv) {
  if (argc > 0 && argv[0] != nullptr) {
    g_programName = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName().toStdString();
  }
  if (!HasDisplay()) {
    std::fprintf(stderr, "%s: no display found; it needs a desktop session (DISPLAY or WAYLAND_DISPLAY)\n",
                 g_programName.c_str());
    return 1;
  }
  std::vector<HeldMessage> held;
  g_heldMessages = &held;
  g_previousHandler = qInstallMessageHandler(StartupMessageHandler);
  QApplication application(argc, argv);
  qInstallMessageHandler(g_previousHandler);
  g_heldMessages = nullptr;
  if (g_previousHandler != nullptr) {
    for (const HeldMessage& message : held) {
      g_previousHandler(message.type, QMessageLogContext(), message.text);
    }
  }
  QGuiApplication::setDesktopFileName(QString::fromStdString(g_programName));

  CSignalWatcher quitSignals;
  quitSignals.Watch([this](int) { OnQuitSignal(); });
  InitInstance();
  OnExit();
  return 0;
}

void CApplication::OnQuitSignal() { QCoreApplication::exit(0); }
