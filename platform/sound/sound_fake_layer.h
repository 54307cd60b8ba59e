// A scriptable sound layer for tests: no sound system, but every step the audio stream takes can
// be made to fail, the play position is whatever the test says (fixed, unreadable, or advancing
// in real time at 44100 Hz), locks can fail a given number of times or until the buffer is
// recovered, and the audio thread can be a real thread or none at all, so that a test drives the
// passes itself. It logs every call, in order, for the test to read once the audio thread has
// ended; per-operation counts can be read at any time.
//
// Scripting calls may come from any thread. One device, one looping buffer and one thread at a
// time. The looping buffer's bytes live in the layer and outlive the buffer, for inspection.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "platform/sound/sound_layer.h"

enum class FakeSoundStep {
  kNone,
  kOpenDevice,
  kClaimExclusive,
  kCreatePrimary,
  kApplyFormat,
  kCreateLoop,
  kPlay,
  kStartThread,
};

enum class FakeThreadMode { kRun, kManual };

enum class FakePositionMode { kFixed, kUnreadable, kRealTime };

enum class FakeSoundOp {
  kOpenDevice,
  kClaimExclusive,
  kCreatePrimary,
  kApplyFormat,
  kCreateLoop,
  kLock,
  kCommit,
  kPlay,
  kReadPosition,
  kRecover,
  kReleaseLoop,
  kReleasePrimary,
  kReleaseDevice,
  kStartThread,
  kPause,
  kCloseThread,
  kCount,
};

// a and b per operation: ApplyFormat (bits, rate), CreateLoop (bytes, rate), Lock (offset,
// bytes), Commit (first bytes, second bytes), Play and Recover (1 on success), Pause (ms).
struct FakeSoundEvent {
  FakeSoundOp op;
  std::uint32_t a;
  std::uint32_t b;
};

class CFakeSoundLayer final : public CSoundLayer {
 public:
  static constexpr std::uint32_t kMaxEvents = 4096;
  static constexpr std::uint32_t kMaxLoopBytes = 1u << 16;

  CFakeSoundLayer();
  ~CFakeSoundLayer();

  void FailAt(FakeSoundStep step);
  void SetThreadMode(FakeThreadMode mode);
  void SetPositionMode(FakePositionMode mode);
  // Any value, even one no device would report.
  void SetPosition(std::uint32_t bytes);
  // The next count locks fail; -1 makes every lock fail until this is called again.
  void FailLocks(int count);
  // A lost buffer refuses every lock until a Recover succeeds; Recover succeeds when allowed.
  void LoseBuffer();
  void AllowRecover(bool allowed);
  // The byte a new looping buffer is filled with, to see whether the stream clears it.
  void SetLoopFill(std::uint8_t byte);

  std::uint32_t Count(FakeSoundOp op) const;
  // Only once the audio thread has ended; the log stops at kMaxEvents.
  std::vector<FakeSoundEvent> Events() const;
  SoundWindow GetClaimedWindow() const;
  SoundFormat GetAppliedFormat() const;
  SoundFormat GetLoopFormat() const;
  const std::uint8_t* GetLoopBytes() const;
  // CPU time the last thread run by the layer spent, measured when it returned.
  std::chrono::nanoseconds GetThreadCpuTime() const;

  std::unique_ptr<CSoundDevice> OpenDevice() override;
  SoundThreadHandle StartThread(SoundThreadProc proc, void* param) override;
  void Pause(std::uint32_t milliseconds) override;
  void CloseThread(SoundThreadHandle thread) override;

 private:
  friend class CFakeSoundDevice;
  friend class CFakeSoundBuffer;

  void Record(FakeSoundOp op, std::uint32_t a = 0, std::uint32_t b = 0);
  bool Fails(FakeSoundStep step) const;
  bool TakeLock();
  bool TakeRecover();
  bool ReadPosition(std::uint32_t* position);
  void StartPlaying();

  std::atomic<FakeSoundStep> failStep;
  std::atomic<FakeThreadMode> threadMode;
  std::atomic<FakePositionMode> positionMode;
  std::atomic<std::uint32_t> position;
  std::atomic<int> lockFailures;
  std::atomic<bool> lost;
  std::atomic<bool> recoverAllowed;
  std::atomic<std::int64_t> playStartNs;
  std::atomic<std::int64_t> threadCpuNs;
  std::uint8_t loopFill;
  SoundWindow claimedWindow;
  SoundFormat appliedFormat;
  SoundFormat loopFormat;
  std::uint32_t loopByteCount;
  std::unique_ptr<std::uint8_t[]> loopBytes;
  std::thread thread;
  bool threadOpen;
  std::atomic<std::uint32_t> counts[static_cast<int>(FakeSoundOp::kCount)];
  std::atomic<std::uint32_t> eventCount;
  std::unique_ptr<FakeSoundEvent[]> events;
};
