// The riff following the JACK transport, on servers the test starts itself on the dummy driver. A
// client of the test is the timebase master at 120 and at 93 BPM, another captures the program's
// output, and the riff sounds every other step with a short note. In the low-latency output, run
// in freewheel mode so that it holds on a loaded machine, each step must start on the master's
// sixteenth exactly: its first sound is at most the voice's control block later; once the
// transport stops, the riff is silent though its own Play was pressed. The classic
// output renders a loop ahead, in real time; its offsets are printed and must stay within a period
// of the server either way.
#include "platform/sound/transport_follower.h"

#include <gtest/gtest.h>
#include <jack/transport.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "output/block_renderer.h"
#include "platform/sound/output_switch.h"
#include "sequencer/riff_params.h"
#include "sequencer/riff_player.h"
#include "harness/jack_harness.h"
#include "harness/note_onsets.h"
#include "harness/wait_for.h"

namespace {

using namespace std::chrono_literals;

constexpr int kRate = 44100;
constexpr int kPeriod = 256;
constexpr int kTicksPerBeat = 1920;
constexpr int kSixteenths = 32;

// The timebase master: four quarter-note beats to the bar at a fixed tempo, the position in whole
// ticks as masters give it. It notes the absolute frame at which the transport's frame 0 rolled.
class TimebaseMaster : public JackTestClient {
 public:
  TimebaseMaster(const CTestJackServer& server, double bpm) : JackTestClient(server, "quembrel-test-master"), bpm(bpm) {
    if (client != nullptr) {
      port = jack_port_register(client, "idle", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    }
  }
  ~TimebaseMaster() override { Close(); }

  bool Roll() {
    return jack_set_timebase_callback(client, 0, &TimebaseMaster::Timebase, this) == 0 &&
           jack_transport_locate(client, 0) == 0 && (jack_transport_start(client), true);
  }
  void Halt() { jack_transport_stop(client); }
  bool Rolled() const { return rolled.load(std::memory_order_acquire); }
  jack_nframes_t RollFrame() const { return rollFrame.load(std::memory_order_acquire); }
  bool Halted() const { return halted.load(std::memory_order_acquire); }
  jack_nframes_t HaltFrame() const { return haltFrame.load(std::memory_order_acquire); }

 protected:
  void Cycle(jack_nframes_t start, jack_nframes_t frames) override {
    std::fill_n(static_cast<float*>(jack_port_get_buffer(port, frames)), frames, 0.0f);
    jack_position_t pos{};
    const bool rolling = jack_transport_query(client, &pos) == JackTransportRolling;
    if (!rolled.load(std::memory_order_relaxed) && rolling) {
      rollFrame.store(start - pos.frame, std::memory_order_release);
      rolled.store(true, std::memory_order_release);
    }
    if (rolled.load(std::memory_order_relaxed) && !rolling && !halted.load(std::memory_order_relaxed)) {
      haltFrame.store(start, std::memory_order_release);
      halted.store(true, std::memory_order_release);
    }
  }

 private:
  static void Timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* pos, int, void* arg) {
    const double bpm = static_cast<TimebaseMaster*>(arg)->bpm;
    const double beats = pos->frame * bpm / (60.0 * pos->frame_rate);
    const double wholeBeats = std::floor(beats);
    const int bar = static_cast<int>(wholeBeats / 4);
    pos->valid = JackPositionBBT;
    pos->bar = bar + 1;
    pos->beat = static_cast<int>(wholeBeats) - 4 * bar + 1;
    pos->tick = static_cast<int>((beats - wholeBeats) * kTicksPerBeat);
    pos->bar_start_tick = 4.0 * bar * kTicksPerBeat;
    pos->beats_per_bar = 4.0f;
    pos->beat_type = 4.0f;
    pos->ticks_per_beat = kTicksPerBeat;
    pos->beats_per_minute = bpm;
  }

  const double bpm;
  std::atomic<bool> rolled{false};
  std::atomic<jack_nframes_t> rollFrame{0};
  std::atomic<bool> halted{false};
  std::atomic<jack_nframes_t> haltFrame{0};
};

// The riff at its own tempo, far from the master's, with short notes on the even steps. Its own clock
// plays until the master rolls; at 1 BPM its first note ends long before, and the next is half a
// minute away, where at 61 BPM a note of its own now and then fell just before the first sixteenth
// and was taken for it.
void ShortNotesOnEvenSteps() {
  PlainVoice(kSquareWave);
  g_voice->SetParam(kAmpDecay, 1);
  g_voice->SetParam(kAmpSustain, 30);
  for (int s = 0; s < kRiffSteps; ++s) g_riffPlayer->SetParam(kStepGate0 + s, s % 2 == 0 ? 1 : 0);
  g_riffPlayer->SetParam(kBpm, 1);
  g_riffPlayer->Play();
}

// For each even sixteenth from `first`, the frames from the master's sixteenth to the first sound
// after it; a large number when none is heard within half a sixteenth.
std::vector<long> StepOffsets(const AudioCapture& capture, jack_nframes_t rollFrame, double framesPerSixteenth,
                              int first) {
  const std::vector<float>& samples = capture.Samples();
  std::vector<long> offsets;
  for (int k = first; k < kSixteenths; k += 2) {
    const auto due = static_cast<long>(std::ceil(k * framesPerSixteenth)) +
                     static_cast<long>(static_cast<std::int32_t>(rollFrame - capture.FirstFrame()));
    long offset = 1000000;
    for (long i = due - static_cast<long>(framesPerSixteenth / 2); i < due + framesPerSixteenth / 2; ++i) {
      if (i > 0 && static_cast<std::size_t>(i) < samples.size() && std::fabs(samples[i]) > kOnsetLevel &&
          std::fabs(samples[i - 1]) <= kOnsetLevel) {
        offset = i - due;
        break;
      }
    }
    offsets.push_back(offset);
  }
  return offsets;
}

// Plays the riff against the master in `mode`; the offsets of the even steps from `first` on.
std::vector<long> Follow(OutputMode mode, double bpm, int first, int* xruns) {
  const bool lowLatency = mode == OutputMode::kLowLatency;
  CTestJackServer server(kRate, kPeriod);
  const std::string why = server.Start();
  if (!why.empty()) {
    ADD_FAILURE() << "no JACK server: " << why;
    return {};
  }
  ShortNotesOnEvenSteps();
  COutputSwitch output;
  output.SetFollowTransport(true);
  EXPECT_TRUE(output.Start(mode, &RenderBlock, nullptr));
  EXPECT_EQ(output.GetMode(), mode);
  const double framesPerSixteenth = 60.0 * kRate / (bpm * 4);
  TimebaseMaster master(server, bpm);
  AudioCapture capture(server, static_cast<std::size_t>(kRate) * 30);
  EXPECT_TRUE(master.Activate() && capture.Activate() && capture.Connect("Quembrel:outport 0", capture.PortName()));
  std::vector<long> offsets;
  {
    // The low-latency output keeps up with a freewheeling server; the classic one refills its loop
    // by the wall clock, so it plays in real time.
    std::optional<Freewheel> freewheel;
    if (lowLatency) freewheel.emplace(master);
    if (lowLatency && !freewheel->On()) ADD_FAILURE() << "the server does not freewheel";
    EXPECT_TRUE(master.Roll());
    const bool ran = WaitFor(
        [&] {
          return master.Rolled() && capture.Count() > static_cast<std::size_t>(static_cast<std::int32_t>(
                                                         master.RollFrame() - capture.FirstFrame())) +
                                                         (kSixteenths + 1) * framesPerSixteenth;
        },
        150s);
    EXPECT_TRUE(ran) << "the transport did not run through two bars";
    EXPECT_TRUE(output.IsFollowingTransport());
    if (!ran) return {};
    if (lowLatency) {
      // Stopped, the transport stops the riff, though its own Play was pressed.
      master.Halt();
      const auto haltedAt = [&] {
        return static_cast<std::size_t>(static_cast<std::int32_t>(master.HaltFrame() - capture.FirstFrame()));
      };
      EXPECT_TRUE(WaitFor([&] { return master.Halted() && capture.Count() > haltedAt() + 12 * framesPerSixteenth; }, 150s));
      const std::vector<float>& samples = capture.Samples();
      // The note under way ends within its 31 ms.
      const auto quiet = haltedAt() + static_cast<std::size_t>(kRate / 20);
      const auto end = haltedAt() + static_cast<std::size_t>(12 * framesPerSixteenth);
      EXPECT_TRUE(std::all_of(samples.begin() + quiet, samples.begin() + end,
                              [](float v) { return std::fabs(v) <= kOnsetLevel; }))
          << "the riff played on after the transport stopped";
    }
  }
  output.Stop();
  *xruns = master.Xruns() + capture.Xruns();
  return StepOffsets(capture, master.RollFrame(), framesPerSixteenth, first);
}

std::string Listed(const std::vector<long>& offsets) {
  std::string text;
  for (long o : offsets) text += (text.empty() ? "" : " ") + std::to_string(o);
  return text;
}

TEST(TransportFollowerTest, LowLatencyStepsFallOnTheMastersSixteenths) {
  for (const double bpm : {120.0, 93.0}) {
    SCOPED_TRACE(bpm);
    int xruns = 0;
    const std::vector<long> offsets = Follow(OutputMode::kLowLatency, bpm, 0, &xruns);
    if (HasFailure()) return;
    std::printf("low latency, %.0f BPM: frames from each even sixteenth to its note: %s\n", bpm,
                Listed(offsets).c_str());
    ASSERT_EQ(offsets.size(), static_cast<std::size_t>(kSixteenths / 2));
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      EXPECT_GE(offsets[i], 0) << "sixteenth " << 2 * i;
      EXPECT_LE(offsets[i], CSynthVoice::kControlBlock) << "sixteenth " << 2 * i;
    }
  }
}

TEST(TransportFollowerTest, ClassicStepsFallWithinAPeriodOfTheMastersSixteenths) {
  int timed = 0;
  for (const double bpm : {120.0, 93.0}) {
    SCOPED_TRACE(bpm);
    int xruns = 0;
    // The loop holds what is heard in the first 93 ms after the transport starts before the
    // transport is known to roll: steps are played from the first one after that.
    const std::vector<long> offsets = Follow(OutputMode::kClassic, bpm, 2, &xruns);
    if (HasFailure()) return;
    std::printf("classic, %.0f BPM: frames from each even sixteenth to its note: %s%s\n", bpm, Listed(offsets).c_str(),
                xruns > 0 ? " (the server missed cycles: not timed)" : "");
    if (xruns > 0) continue;
    ++timed;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      EXPECT_LE(std::labs(offsets[i]), kPeriod + CSynthVoice::kControlBlock) << "sixteenth " << 2 * i + 2;
    }
  }
  if (timed == 0) GTEST_SKIP() << "the server missed cycles in every run: nothing to time";
}

}  // namespace
