// CRepeatingTimer over the window system's timers.
#include "platform/window/repeating_timer.h"

#include <QCoreApplication>
#include <QTimer>

CRepeatingTimer::CRepeatingTimer() = default;

CRepeatingTimer::~CRepeatingTimer() = default;

bool CRepeatingTimer::Start(int milliseconds, Callback callback) {
  if (QCoreApplication::instance() == nullptr || callback == nullptr) {
    return false;
  }
  timer = std::make_unique<QTimer>();
  QObject::connect(timer.get(), &QTimer::timeout, [callback = std::move(callback)] { callback(); });
  timer->start(milliseconds);
  return true;
}

void CRepeatingTimer::Stop() { timer.reset(); }

bool CRepeatingTimer::IsActive() const { return timer != nullptr && timer->isActive(); }
