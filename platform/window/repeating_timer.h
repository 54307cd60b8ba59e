// CRepeatingTimer: calls a function on the user-interface thread at a fixed interval, for
// control-thread work that must go on while the dialogs' loops run, such as moving recorded
// samples to their file. It stops when stopped or destroyed.
#pragma once

#include <functional>
#include <memory>

class QTimer;

class CRepeatingTimer {
 public:
  using Callback = std::function<void()>;

  CRepeatingTimer();
  ~CRepeatingTimer();
  CRepeatingTimer(const CRepeatingTimer&) = delete;
  CRepeatingTimer& operator=(const CRepeatingTimer&) = delete;

  // Calls `callback` every `milliseconds` from now on, replacing any earlier schedule. False when
  // there is no application object to run it.
  bool Start(int milliseconds, Callback callback);
  void Stop();
  bool IsActive() const;

 private:
  std::unique_ptr<QTimer> timer;
};
