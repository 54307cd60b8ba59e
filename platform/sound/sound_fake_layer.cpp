// The scriptable sound layer for tests.
#include "platform/sound/sound_fake_layer.h"

#include <time.h>

#include "engine/sample_rate.h"
#include "platform/sound/sound_fake_device.h"

namespace {

constexpr SoundThreadHandle kRealThread = 1;
constexpr SoundThreadHandle kManualThread = 2;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

CFakeSoundLayer::CFakeSoundLayer()
    : failStep(FakeSoundStep::kNone),
      threadMode(FakeThreadMode::kRun),
      positionMode(FakePositionMode::kFixed),
      position(0),
      lockFailures(0),
      lost(false),
      recoverAllowed(true),
      playStartNs(-1),
      threadCpuNs(0),
      loopFill(0),
      claimedWindow(nullptr),
      appliedFormat{},
      loopFormat{},
      loopByteCount(0),
      threadOpen(false),
      eventCount(0),
      events(new FakeSoundEvent[kMaxEvents]) {
  for (auto& count : counts) count.store(0, std::memory_order_relaxed);
}

CFakeSoundLayer::~CFakeSoundLayer() {
  if (thread.joinable()) thread.join();
}

void CFakeSoundLayer::FailAt(FakeSoundStep step) { failStep.store(step); }

void CFakeSoundLayer::SetThreadMode(FakeThreadMode mode) { threadMode.store(mode); }

void CFakeSoundLayer::SetPositionMode(FakePositionMode mode) { positionMode.store(mode); }

void CFakeSoundLayer::SetPosition(std::uint32_t bytes) { position.store(bytes); }

void CFakeSoundLayer::FailLocks(int count) { lockFailures.store(count); }

void CFakeSoundLayer::LoseBuffer() { lost.store(true); }

void CFakeSoundLayer::AllowRecover(bool allowed) { recoverAllowed.store(allowed); }

void CFakeSoundLayer::SetLoopFill(std::uint8_t byte) { loopFill = byte; }

std::uint32_t CFakeSoundLayer::Count(FakeSoundOp op) const {
  return counts[static_cast<int>(op)].load();
}

std::vector<FakeSoundEvent> CFakeSoundLayer::Events() const {
  const std::uint32_t count = eventCount.load();
  return std::vector<FakeSoundEvent>(events.get(),
                                     events.get() + (count < kMaxEvents ? count : kMaxEvents));
}

SoundWindow CFakeSoundLayer::GetClaimedWindow() const { return claimedWindow; }

SoundFormat CFakeSoundLayer::GetAppliedFormat() const { return appliedFormat; }

SoundFormat CFakeSoundLayer::GetLoopFormat() const { return loopFormat; }

const std::uint8_t* CFakeSoundLayer::GetLoopBytes() const { return loopBytes.get(); }

std::chrono::nanoseconds CFakeSoundLayer::GetThreadCpuTime() const {
  return std::chrono::nanoseconds(threadCpuNs.load());
}

std::unique_ptr<CSoundDevice> CFakeSoundLayer::OpenDevice() {
  Record(FakeSoundOp::kOpenDevice);
  if (Fails(FakeSoundStep::kOpenDevice)) return nullptr;
  return std::make_unique<CFakeSoundDevice>(this);
}

SoundThreadHandle CFakeSoundLayer::StartThread(SoundThreadProc proc, void* param) {
  Record(FakeSoundOp::kStartThread);
  if (Fails(FakeSoundStep::kStartThread) || !proc || threadOpen) return kNoSoundThread;
  threadOpen = true;
  if (threadMode.load() == FakeThreadMode::kManual) return kManualThread;
  thread = std::thread([this, proc, param] {
    proc(param);
    threadCpuNs.store(ThreadCpuNs());
  });
  return kRealThread;
}

void CFakeSoundLayer::Pause(std::uint32_t milliseconds) {
  Record(FakeSoundOp::kPause, milliseconds);
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void CFakeSoundLayer::CloseThread(SoundThreadHandle handle) {
  Record(FakeSoundOp::kCloseThread);
  if (handle == kRealThread && thread.joinable()) thread.join();
  threadOpen = false;
}

void CFakeSoundLayer::Record(FakeSoundOp op, std::uint32_t a, std::uint32_t b) {
  counts[static_cast<int>(op)].fetch_add(1);
  const std::uint32_t index = eventCount.fetch_add(1);
  if (index < kMaxEvents) events[index] = {op, a, b};
}

bool CFakeSoundLayer::Fails(FakeSoundStep step) const { return failStep.load() == step; }

bool CFakeSoundLayer::TakeLock() {
  if (lost.load()) return false;
  int failures = lockFailures.load();
  while (failures != 0) {
    if (failures < 0) return false;
    if (lockFailures.compare_exchange_weak(failures, failures - 1)) return false;
  }
  return true;
}

bool CFakeSoundLayer::TakeRecover() {
  if (!recoverAllowed.load()) return false;
  lost.store(false);
  return true;
}

bool CFakeSoundLayer::ReadPosition(std::uint32_t* bytes) {
  switch (positionMode.load()) {
    case FakePositionMode::kFixed:
      *bytes = position.load();
      return true;
    case FakePositionMode::kUnreadable:
      return false;
    case FakePositionMode::kRealTime: {
      const std::int64_t start = playStartNs.load();
      if (start < 0 || loopByteCount < 2) {
        *bytes = 0;
        return true;
      }
      const auto frames = static_cast<std::uint64_t>(NowNs() - start) * kSampleRate / 1000000000u;
      *bytes = static_cast<std::uint32_t>((frames * 2) % (loopByteCount & ~1u));
      return true;
    }
  }
  return false;
}

void CFakeSoundLayer::StartPlaying() {
  std::int64_t expected = -1;
  playStartNs.compare_exchange_strong(expected, NowNs());
}
