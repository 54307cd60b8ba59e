// The hand-over of a sound module's calls from any thread to the one thread that renders it, shared
// by the voice and the riff player. A module has indexed parameters, perhaps a pitch, and two note
// events: start and stop (the voice's NoteOn and NoteOff, the riff player's Play and Stop). Each
// call stores what the caller reads back at once and queues the change; the rendering thread
// replays the queue in call order (Replay), handing each call to the module's ApplyParam,
// ApplyPitch, ApplyStart or ApplyStop.
//
// Nothing waits and nothing allocates. Parameter and pitch calls can be made up from the stored
// values, so they are the ones refused when the queue is nearly full: a quarter of it is kept for
// starts and stops, which are never dropped and never overtaken. A refused value is made up before
// the next start or stop queued after it, or once every call queued before it has been replayed,
// whichever comes first; until then later values wait with it, so that none overtakes another
// (those made while that start or stop waited in the queue are then in place as it is replayed,
// not just after: nothing is rendered in between, only a start's envelope times are read then).
// Only if starts and stops alone fill the kept quarter too, with nothing rendering meanwhile, do
// later ones wait beside the queue, folded into their net effect (the last of them, preceded by the
// other kind if it was among them), which is applied once everything queued before has been.
//
// Every parameter call is stamped in call order, and the stored value keeps the stamp of the call
// that set it. A value made up from the store can be newer than a call another thread queues while
// the store is read, so the rendering thread passes over any queued call older than what it has
// applied to that parameter: no parameter ever goes back to an earlier value.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/event_queue.h"
#include "engine/param_info.h"
#include "engine/sound_module.h"

template <int kParamCount, std::uint32_t kCapacity>
class CCallQueue {
 public:
  CCallQueue() { Init(nullptr, 0.0f); }
  CCallQueue(const CCallQueue&) = delete;
  CCallQueue& operator=(const CCallQueue&) = delete;

  // Empties the queue and stores the table's defaults (zeros without a table) and the pitch. Only
  // while no other thread uses it; the module applies the same values itself.
  void Init(const ParamInfo* table, float hz) {
    queue.Init();
    for (int i = 0; i < kParamCount; ++i) {
      params[i].store(Pack(0, table != nullptr ? table[i].defaultValue : 0), std::memory_order_relaxed);
      appliedStamp[i] = 0;
    }
    nextStamp.store(0, std::memory_order_relaxed);
    pitch.store(hz, std::memory_order_relaxed);
    pendingStarts.store(0, std::memory_order_relaxed);
    started.store(false, std::memory_order_relaxed);
    valuesLost.store(false, std::memory_order_relaxed);
    folded.store(0, std::memory_order_relaxed);
    skipQueuedValues = false;
  }

  ParamValue GetParam(int index) const {
    if (index < 0 || index >= kParamCount) return 0;
    return ValueOf(params[index].load(std::memory_order_relaxed));
  }

  void SetParam(int index, ParamValue value) {
    if (index < 0 || index >= kParamCount) return;
    const std::uint64_t stamp = nextStamp.fetch_add(1, std::memory_order_relaxed) + 1;
    // Two threads setting one parameter at once: the later call's value is the one stored.
    std::uint64_t stored = params[index].load(std::memory_order_relaxed);
    while (StampOf(stored) < stamp &&
           !params[index].compare_exchange_weak(stored, Pack(stamp, value), std::memory_order_seq_cst,
                                                std::memory_order_relaxed)) {
    }
    PostValue({kParamCall, false, static_cast<std::uint8_t>(index), value, 0.0f, stamp});
  }

  void SetPitch(float hz) {
    pitch.store(hz, std::memory_order_seq_cst);
    PostValue({kPitchCall, false, 0, 0, hz, 0});
  }

  void Start() {
    pendingStarts.fetch_add(1, std::memory_order_acq_rel);
    started.store(true, std::memory_order_relaxed);
    PostGate(kStartCall);
  }

  void Stop() {
    started.store(false, std::memory_order_relaxed);
    PostGate(kStopCall);
  }

  // Whether a start has been called that the rendering thread has not replayed yet.
  bool HasPendingStart() const { return pendingStarts.load(std::memory_order_acquire) > 0; }
  // Whether the latest of Start and Stop was Start.
  bool IsStarted() const { return started.load(std::memory_order_relaxed); }

  // Rendering thread only: applies the calls made since the last replay, in the order made.
  template <typename Module>
  void Replay(Module& module) {
    Call call;
    // Bounded: a thread that keeps posting cannot hold the rendering thread here.
    for (std::uint32_t i = 0; i < kCapacity && queue.Pop(call); ++i) {
      switch (call.kind) {
        case kParamCall:
          if (!skipQueuedValues && call.stamp > appliedStamp[call.index]) {
            module.ApplyParam(call.index, call.value);
            appliedStamp[call.index] = call.stamp;
          }
          break;
        case kPitchCall:
          if constexpr (requires { module.ApplyPitch(0.0f); }) {
            if (!skipQueuedValues) module.ApplyPitch(call.hz);
          }
          break;
        case kStartCall:
          CatchUpBeforeGate(module, call);
          module.ApplyStart();
          pendingStarts.fetch_sub(1, std::memory_order_release);
          break;
        case kStopCall:
          CatchUpBeforeGate(module, call);
          module.ApplyStop();
          break;
      }
    }
    if (!valuesLost.load(std::memory_order_relaxed) && folded.load(std::memory_order_relaxed) == 0) return;
    // Folded starts and stops are due once every call queued before the first of them has been
    // replayed. The queue need not be empty: a call another thread queues meanwhile was made after
    // them, and waiting for an empty queue could let yet later calls queue up and be applied first.
    const std::uint64_t word = folded.load(std::memory_order_acquire);
    const bool foldsDue = word != 0 && queue.HasPoppedBefore(MarkOf(word));
    // Values are made up only once every call queued before has been replayed: replayed after the
    // catch-up, they would undo it.
    const bool drained = queue.IsDrained();
    if (!foldsDue && !drained) return;
    if (drained) skipQueuedValues = false;
    if (valuesLost.exchange(false, std::memory_order_seq_cst)) ApplyStoredValues(module);
    if (foldsDue) ApplyFolded(module, folded.exchange(0, std::memory_order_acq_rel));
  }

 private:
  enum CallKind : std::uint8_t { kParamCall, kPitchCall, kStartCall, kStopCall };
  struct Call {
    CallKind kind;
    bool afterLostValues;
    std::uint8_t index;
    ParamValue value;
    float hz;
    std::uint64_t stamp;  // parameter calls: their place in call order, from 1
  };
  static constexpr std::uint32_t kGateReserve = kCapacity / 4;
  // The folded starts and stops in one word: which kinds were among them, which came last, how
  // many starts (from kFoldedStartsShift) for HasPendingStart, and in the upper half the queue's
  // claim position when the first of them was folded, which the calls queued before lie below.
  static constexpr std::uint64_t kFoldedStart = 1;
  static constexpr std::uint64_t kFoldedStop = 2;
  static constexpr std::uint64_t kLastFoldedIsStart = 4;
  static constexpr int kFoldedStartsShift = 8;
  static constexpr std::uint64_t kFoldedStartsMask = 0xFFFFFF00;
  static constexpr int kFoldedMarkShift = 32;

  void PostValue(const Call& call) {
    // The seq_cst store of the value before this load, and the rendering thread's seq_cst exchange
    // before it reads the values, make sure that a value refused here is read by the catch-up.
    if (!valuesLost.load(std::memory_order_seq_cst) && folded.load(std::memory_order_acquire) == 0 &&
        queue.Push(call, kGateReserve)) {
      return;
    }
    valuesLost.store(true, std::memory_order_seq_cst);
  }

  void PostGate(CallKind kind) {
    // Once one is folded, later ones fold too, so that none overtakes it through the queue.
    if (folded.load(std::memory_order_acquire) == 0) {
      const Call call{kind, valuesLost.load(std::memory_order_seq_cst), 0, 0, 0.0f, 0};
      if (queue.Push(call)) return;
    }
    std::uint64_t word = folded.load(std::memory_order_relaxed);
    std::uint64_t next;
    do {
      const std::uint64_t base =
          word != 0 ? word : static_cast<std::uint64_t>(queue.ClaimPosition()) << kFoldedMarkShift;
      next = kind == kStartCall ? (base | kFoldedStart | kLastFoldedIsStart) + (1u << kFoldedStartsShift)
                                : (base | kFoldedStop) & ~kLastFoldedIsStart;
    } while (!folded.compare_exchange_weak(word, next, std::memory_order_acq_rel, std::memory_order_relaxed));
  }

  // Values refused before a start or stop are due before it. Every value call still in the queue
  // then was made before the refusal that is being made up, so the stored values are newer:
  // those calls are passed over until the queue drains, where everything stored is applied again.
  template <typename Module>
  void CatchUpBeforeGate(Module& module, const Call& call) {
    if (!call.afterLostValues || !valuesLost.load(std::memory_order_seq_cst)) return;
    ApplyStoredValues(module);
    skipQueuedValues = true;
  }

  template <typename Module>
  void ApplyStoredValues(Module& module) {
    for (int i = 0; i < kParamCount; ++i) {
      const std::uint64_t stored = params[i].load(std::memory_order_seq_cst);
      module.ApplyParam(i, ValueOf(stored));
      appliedStamp[i] = StampOf(stored);
    }
    if constexpr (requires { module.ApplyPitch(0.0f); }) {
      module.ApplyPitch(pitch.load(std::memory_order_seq_cst));
    }
  }

  // Nothing was rendered between the folded calls, so the last one decides, after the other kind
  // if it came before: a stop still rewinds what a later start plays, a start still restarts what
  // a later stop releases.
  template <typename Module>
  void ApplyFolded(Module& module, std::uint64_t word) {
    if (word == 0) return;
    if (word & kLastFoldedIsStart) {
      if (word & kFoldedStop) module.ApplyStop();
      module.ApplyStart();
    } else {
      if (word & kFoldedStart) module.ApplyStart();
      module.ApplyStop();
    }
    pendingStarts.fetch_sub(static_cast<int>((word & kFoldedStartsMask) >> kFoldedStartsShift),
                            std::memory_order_release);
  }

  // A stored parameter: the stamp of the call that set it above its 16-bit value. 48 bits of
  // stamps last for ever at any rate of calls.
  static constexpr std::uint64_t Pack(std::uint64_t stamp, ParamValue value) {
    return stamp << 16 | static_cast<std::uint16_t>(value);
  }
  static constexpr std::uint32_t MarkOf(std::uint64_t word) {
    return static_cast<std::uint32_t>(word >> kFoldedMarkShift);
  }
  static constexpr std::uint64_t StampOf(std::uint64_t stored) { return stored >> 16; }
  static constexpr ParamValue ValueOf(std::uint64_t stored) {
    return static_cast<ParamValue>(static_cast<std::uint16_t>(stored & 0xFFFF));
  }

  std::atomic<std::uint64_t> params[kParamCount];
  std::atomic<std::uint64_t> nextStamp{0};
  std::atomic<float> pitch{0.0f};
  CEventQueue<Call, kCapacity> queue;
  std::atomic<int> pendingStarts{0};
  std::atomic<bool> started{false};
  // Some value calls were refused: the stored values are to be applied.
  std::atomic<bool> valuesLost{false};
  std::atomic<std::uint64_t> folded{0};
  // Rendering thread only: set by a catch-up before a start or stop, until the queue drains.
  bool skipQueuedValues = false;
  // Rendering thread only: the stamp of the value last applied to each parameter.
  std::uint64_t appliedStamp[kParamCount] = {};
};
