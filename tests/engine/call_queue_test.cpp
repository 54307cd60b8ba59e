// The hand-over of calls to the rendering thread: calls replayed in the order made, lap after lap
// of the ring; values refused by a nearly full queue and made up in their place while starts and
// stops keep theirs; starts and stops beyond the queue folded into their net effect; a note lost
// to a full queue and released while the rendering thread drains it ends silent, also in the real
// voice; and two producers against the rendering thread (run under ThreadSanitizer too).
#include "engine/call_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/synth_voice.h"

namespace {

constexpr int kParams = 2;
constexpr std::uint32_t kCapacity = 16;
// Value calls are refused once three quarters of the queue are taken.
constexpr int kValueRoom = 12;
using TestQueue = CCallQueue<kParams, kCapacity>;

// A module that writes down what reaches it, and the values in place at each start and stop.
struct Recorder {
  void ApplyParam(int index, ParamValue value) {
    values[index] = value;
    trace.push_back("p" + std::to_string(index) + "=" + std::to_string(value));
    if (onParam) std::exchange(onParam, nullptr)();
  }
  void ApplyPitch(float hz) { trace.push_back("hz=" + std::to_string(static_cast<int>(hz))); }
  void ApplyStart() { Gate("start"); }
  void ApplyStop() { Gate("stop"); }
  void Gate(const char* kind) {
    trace.push_back(kind);
    gates.push_back(kind);
    valuesAtGates.push_back(values[0]);
  }

  ParamValue values[kParams] = {};
  std::vector<std::string> trace;
  std::vector<std::string> gates;
  std::vector<ParamValue> valuesAtGates;
  // Runs once, while the queue is being replayed, as calls from another thread would.
  std::function<void()> onParam;
};

TEST(CallQueueTest, CallsAreReplayedInTheOrderMadeLapAfterLap) {
  TestQueue queue;
  Recorder module;
  std::vector<std::string> expected;
  // 60 rounds of 1 to 12 calls go round the 16-slot ring about 25 times.
  for (int round = 0; round < 60; ++round) {
    for (int k = 0; k <= round % kValueRoom; ++k) {
      const int n = round * 100 + k;
      switch (n % 4) {
        case 0:
          queue.SetParam(n % kParams, static_cast<ParamValue>(n));
          expected.push_back("p" + std::to_string(n % kParams) + "=" + std::to_string(n));
          break;
        case 1:
          queue.SetPitch(static_cast<float>(n));
          expected.push_back("hz=" + std::to_string(n));
          break;
        case 2:
          queue.Start();
          expected.push_back("start");
          break;
        default:
          queue.Stop();
          expected.push_back("stop");
          break;
      }
    }
    queue.Replay(module);
    ASSERT_EQ(module.trace, expected) << "round " << round;
  }
  EXPECT_FALSE(queue.HasPendingStart());
}

TEST(CallQueueTest, FullQueueRefusesValuesButStartsAndStopsKeepTheirPlace) {
  TestQueue queue;
  Recorder module;
  for (int v = 1; v <= 20; ++v) queue.SetParam(0, static_cast<ParamValue>(v));
  EXPECT_EQ(queue.GetParam(0), 20);
  // The kept quarter takes every start and stop.
  queue.Start();
  queue.Stop();
  queue.Start();
  queue.Stop();
  EXPECT_TRUE(queue.HasPendingStart());
  queue.Replay(module);

  const std::vector<std::string> gates = {"start", "stop", "start", "stop"};
  EXPECT_EQ(module.gates, gates);
  // The first start sounds with the value made before it, made up from the stored one.
  EXPECT_EQ(module.valuesAtGates[0], 20);
  ASSERT_GE(module.trace.size(), static_cast<std::size_t>(kValueRoom));
  for (int v = 1; v <= kValueRoom; ++v) EXPECT_EQ(module.trace[v - 1], "p0=" + std::to_string(v));
  EXPECT_EQ(module.values[0], 20);
  EXPECT_FALSE(queue.HasPendingStart());

  // Once drained, the queue takes values again.
  module.trace.clear();
  queue.SetParam(1, 5);
  queue.Replay(module);
  EXPECT_EQ(module.trace, std::vector<std::string>{"p1=5"});
}

TEST(CallQueueTest, StartsAndStopsBeyondTheQueueFoldIntoTheirNetEffect) {
  struct Case {
    std::vector<bool> beyond;  // true: Start, false: Stop
    std::vector<std::string> applied;
  };
  const Case cases[] = {
      {{true}, {"start"}},
      {{false}, {"stop"}},
      {{true, false}, {"start", "stop"}},
      {{false, true}, {"stop", "start"}},
      {{true, false, true, true}, {"stop", "start"}},
      {{false, true, false}, {"start", "stop"}},
  };
  for (const Case& c : cases) {
    TestQueue queue;
    Recorder module;
    for (std::uint32_t i = 0; i < kCapacity; ++i) queue.Stop();
    for (bool start : c.beyond) start ? queue.Start() : queue.Stop();
    // A value made after them waits for them too.
    queue.SetParam(0, 9);
    queue.Replay(module);
    ASSERT_EQ(module.gates.size(), kCapacity + c.applied.size());
    const std::vector<std::string> tail(module.gates.begin() + kCapacity, module.gates.end());
    EXPECT_EQ(tail, c.applied);
    EXPECT_EQ(module.values[0], 9);
    EXPECT_FALSE(queue.HasPendingStart());
  }
}

// A note started when the queue is full of values (it takes a kept place) or of values and starts
// (it waits beside the queue), then released while the rendering thread drains the queue: the
// release must not be replayed before the start.
TEST(CallQueueTest, ANoteReleasedWhileTheQueueDrainsEndsReleased) {
  for (std::uint32_t queuedStarts : {0u, kCapacity - kValueRoom}) {
    TestQueue queue;
    Recorder module;
    for (int v = 1; v <= kValueRoom; ++v) queue.SetParam(0, static_cast<ParamValue>(v));
    for (std::uint32_t i = 0; i < queuedStarts; ++i) queue.Start();
    queue.Start();
    module.onParam = [&queue] {
      queue.Stop();
      queue.SetParam(1, 3);
    };
    queue.Replay(module);
    queue.Replay(module);
    ASSERT_FALSE(module.gates.empty());
    EXPECT_EQ(module.gates.back(), "stop") << queuedStarts;
    EXPECT_EQ(module.gates.size(), queuedStarts + 2) << queuedStarts;
    EXPECT_EQ(module.values[1], 3);
    EXPECT_FALSE(queue.HasPendingStart());
  }
}

// The same in the voice: a held note (sustain 0) that a flood of calls kept from the queue, then
// released, falls silent.
TEST(CallQueueTest, AFloodedVoiceEndsSilentAfterItsNoteOff) {
  for (int starts : {1, 5000}) {
    for (int flood : {0, 20000}) {
      CSynthVoice voice;
      voice.Init();
      voice.SetParam(kAmpSustain, 0);
      for (int i = 0; i < flood; ++i) voice.SetParam(kMasterVolume, static_cast<ParamValue>(i % 101));
      for (int i = 0; i < starts; ++i) voice.NoteOn();
      voice.NoteOff();
      StereoFrame frames[CSynthVoice::kControlBlock];
      for (int i = 0; i < 10 * 44100 && voice.IsActive(); i += CSynthVoice::kControlBlock) {
        voice.Render(frames, CSynthVoice::kControlBlock);
      }
      EXPECT_FALSE(voice.IsActive()) << starts << " " << flood;
      EXPECT_EQ(voice.GetParam(kMasterVolume), flood == 0 ? kVoiceParams[kMasterVolume].defaultValue
                                                          : (flood - 1) % 101);
    }
  }
}

// Two threads make calls while a third replays them. Each producer's values must arrive in the
// order made (made up values are the latest ones, so they never go back), and the end must be the
// last calls made.
TEST(CallQueueStressTest, TwoProducersAndTheRenderingThread) {
  using Queue = CCallQueue<kParams, 64>;
  struct Checker {
    void ApplyParam(int index, ParamValue value) {
      if (value < last[index]) ++backwards;
      last[index] = value;
    }
    void ApplyStart() {
      started = true;
      ++starts;
    }
    void ApplyStop() { started = false; }
    ParamValue last[kParams] = {};
    bool started = false;
    int starts = 0;
    int backwards = 0;
  };
  Queue queue;
  Checker module;
  constexpr int kCalls = 30000;
  std::atomic<int> running{2};
  std::thread keys([&] {
    for (int i = 1; i <= kCalls; ++i) {
      queue.SetParam(0, static_cast<ParamValue>(i));
      if (i % 8 == 0) (i % 16 == 0) ? queue.Stop() : queue.Start();
    }
    running.fetch_sub(1);
  });
  std::thread knobs([&] {
    for (int i = 1; i <= kCalls; ++i) queue.SetParam(1, static_cast<ParamValue>(i));
    running.fetch_sub(1);
  });
  while (running.load() > 0) queue.Replay(module);
  keys.join();
  knobs.join();
  queue.Replay(module);
  EXPECT_EQ(module.backwards, 0);
  EXPECT_EQ(module.last[0], kCalls);
  EXPECT_EQ(module.last[1], kCalls);
  EXPECT_FALSE(module.started);
  EXPECT_GT(module.starts, 0);
  EXPECT_FALSE(queue.HasPendingStart());
}

}  // namespace
