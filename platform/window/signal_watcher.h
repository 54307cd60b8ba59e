// CSignalWatcher: turns the signals that ask a program to end (SIGINT from Ctrl+C, SIGTERM from
// kill or a shutdown, SIGHUP when the session ends) into a call on the event loop's thread, where
// the program can end the way its windows end it. The signal handler itself only writes the
// signal's number into a pipe, the one kind of thing safe to do there; the event loop watches the
// pipe's other end. After the first signal the default actions are back, so that a second one
// ends a program that no longer answers.
#pragma once

#include <functional>

class QSocketNotifier;

class CSignalWatcher {
 public:
  using Handler = std::function<void(int signal)>;

  CSignalWatcher() = default;
  // Stops watching and puts the default actions back.
  ~CSignalWatcher();
  CSignalWatcher(const CSignalWatcher&) = delete;
  CSignalWatcher& operator=(const CSignalWatcher&) = delete;

  // Needs the application object; one watcher at a time. False if the pipe cannot be made.
  bool Watch(Handler handler);

 private:
  void Restore();

  Handler onSignal;
  QSocketNotifier* notifier = nullptr;
};
