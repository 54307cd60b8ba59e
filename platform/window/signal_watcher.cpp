// CSignalWatcher: the self-pipe, the handler that writes to it and the notifier that reads it.
#include "platform/window/signal_watcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace {

constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP};

int g_signalPipe[2] = {-1, -1};

void OnSignal(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  // A full pipe already holds a signal to act on; this one may go.
  (void)!write(g_signalPipe[1], &number, 1);
  errno = saved;
}

}  // namespace

CSignalWatcher::~CSignalWatcher() { Restore(); }

bool CSignalWatcher::Watch(Handler handler) {
  Restore();
  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_signalPipe[0] = g_signalPipe[1] = -1;
    return false;
  }
  onSignal = std::move(handler);
  notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier, &QSocketNotifier::activated, [this] {
    unsigned char number = 0;
    if (read(g_signalPipe[0], &number, 1) != 1) {
      return;
    }
    for (int signal : kWatched) {
      std::signal(signal, SIG_DFL);
    }
    notifier->setEnabled(false);
    if (onSignal) {
      onSignal(number);
    }
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kWatched) {
    sigaction(signal, &action, nullptr);
  }
  return true;
}

void CSignalWatcher::Restore() {
  if (notifier == nullptr) {
    return;
  }
  for (int signal : kWatched) {
    std::signal(signal, SIG_DFL);
  }
  delete notifier;
  notifier = nullptr;
  close(g_signalPipe[0]);
  close(g_signalPipe[1]);
  g_signalPipe[0] = g_signalPipe[1] = -1;
  onSignal = nullptr;
}
