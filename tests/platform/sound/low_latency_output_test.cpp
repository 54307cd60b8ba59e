// The low-latency output against real JACK servers the test starts itself on the dummy driver,
// where time measured in frames is exact. A client of the test sends note-ons into the "Quembrel"
// MIDI port at known frames and another captures the output port: every note must sound within one
// period (plus the voice's 8-frame control block and the rate converter's delay), wherever in the
// period it was sent, with no spread beyond that control block. At 48000 Hz the port exists and note
// 69 is 440 Hz. At 44100 Hz the captured output is the recording made meanwhile, sample for sample.
// These run the server in freewheel mode, which runs every client in every cycle, so they hold
// however loaded the machine is. The classic stream, which refills its loop by the wall clock, is
// played in real time through the MIDI input's port: a note sent there is heard. How long either
// takes is measured by bench/latency_bench.
#include "platform/sound/low_latency_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "engine/synth_voice.h"
#include "platform/sound/audio_stream.h"
#include "output/block_renderer.h"
#include "output/wav_recorder.h"
#include "platform/sound/midi_input.h"
#include "sequencer/riff_player.h"
#include "sequencer/voice_note_target.h"
#include "harness/fresh_modules.h"
#include "harness/jack_harness.h"
#include "harness/note_onsets.h"
#include "tests/output/wav_file_reader.h"
#include "harness/wait_for.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kMidiPort = "Quembrel:Quembrel";
constexpr const char* kAudioPort = "Quembrel:outport 0";

// Plays the notes with the server freewheeling and finds where each is heard: in frames from the
// frame it was sent at, or -1 when it was not heard within `spacing`. A cycle the server reports as
// missed (a loaded machine, even freewheeling) resets its frame clock, which can leap past the whole
// schedule: such a run is not timed, and the notes are played again, up to three times.
std::vector<long> Measure(MidiSender& keys, AudioCapture& capture, int period, long spacing, long hold, int count) {
  const std::vector<MidiSender::Message> schedule = NoteSchedule(period, spacing, hold, count);
  const std::size_t end = ScheduleEnd(schedule, spacing);
  std::vector<long> latencies;
  const auto xruns = [&] { return keys.Xruns() + capture.Xruns(); };
  Freewheel freewheel(keys);
  if (!freewheel.On()) {
    ADD_FAILURE() << "the server does not freewheel";
    return latencies;
  }
  for (int attempt = 1;; ++attempt) {
    const int xrunsBefore = xruns();
    keys.Arm(schedule);
    // Not a timing: freewheeling, the server runs through the notes as fast as the machine lets it;
    // the limit, within CTest's, only ends a hang.
    const bool done = WaitFor(
        [&] { return (keys.AllSent() && capture.Count() > end) || xruns() != xrunsBefore; }, 150s);
    if (done && xruns() != xrunsBefore && attempt < 3) continue;
    if (!done || capture.Count() <= end) {
      ADD_FAILURE() << "the server did not run through the notes: sent all " << keys.AllSent()
                    << ", captured " << capture.Count() << " of " << end << "; sender " << keys.Cycles()
                    << " cycles, last at " << keys.LastCycleStart() << ", base " << keys.Base() << "; capture "
                    << capture.Cycles() << " cycles, last at " << capture.LastCycleStart() << ", first frame "
                    << capture.FirstFrame() << ", missed cycles " << xruns() - xrunsBefore << " in attempt "
                    << attempt;
      return latencies;
    }
    break;
  }
  const std::vector<NoteOnset> onsets = FindOnsets(keys, capture, schedule, spacing);
  for (std::size_t k = 0; k < onsets.size(); ++k) {
    EXPECT_EQ(onsets[k].sentLate, 0) << "note " << k;
    EXPECT_FALSE(onsets[k].fromSound) << "note " << k << ": the one before it had not ended";
    latencies.push_back(onsets[k].heard);
  }
  return latencies;
}

// One server, the test's two clients connected to Quembrel's ports once they exist; the capture
// starts where the keys' schedule does.
struct Rig {
  Rig(int rate, int period)
      : server(rate, period), why(server.Start()), keys(server),
        capture(server, static_cast<std::size_t>(rate) * 10, &keys) {}

  bool Connect(const std::string& midiPort, const std::string& audioPort) {
    return keys.Activate() && capture.Activate() && keys.Connect(keys.PortName(), midiPort) &&
           capture.Connect(audioPort, capture.PortName());
  }

  CTestJackServer server;
  std::string why;
  MidiSender keys;
  AudioCapture capture;
};

struct PeriodCase {
  int rate;
  int period;
};
constexpr PeriodCase kPeriodCases[] = {{44100, 128}, {44100, 256}, {48000, 128}, {48000, 256}};

TEST(LowLatencyOutputTest, NotesSoundWithinOnePeriodWithoutJitter) {
  for (const PeriodCase c : kPeriodCases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.period << " frames");
    Rig rig(c.rate, c.period);
    if (!rig.why.empty()) GTEST_SKIP() << "no JACK server: " << rig.why;
    PlainVoice(kSquareWave);
    CVoiceNoteTarget target(*g_voice);
    CLowLatencyOutput output;
    ASSERT_TRUE(output.Start(&RenderBlock, &target));
    ASSERT_EQ(output.GetBackend(), CLowLatencyOutput::Backend::kJack);
    EXPECT_EQ(output.GetDeviceRate(), c.rate);
    ASSERT_TRUE(rig.Connect(kMidiPort, kAudioPort));
    const std::vector<long> latencies = Measure(rig.keys, rig.capture, c.period, 4L * c.period, 2L * c.period, 10);
    output.Stop();
    ASSERT_EQ(latencies.size(), 10u);
    const long converterFrames = c.rate == 44100 ? 0 : 64;
    const long bound = c.period + 16 + converterFrames;
    for (std::size_t k = 0; k < latencies.size(); ++k) {
      EXPECT_GE(latencies[k], 0) << "note " << k << " was not heard";
      EXPECT_LE(latencies[k], bound) << "note " << k;
    }
    // Wherever in the period a note is sent, it is heard as soon after: the only spread left is the
    // voice's own control block, which a note waits for to start its envelope.
    const auto [low, high] = std::minmax_element(latencies.begin(), latencies.end());
    EXPECT_LE(*high - *low, CSynthVoice::kControlBlock + (c.rate == 44100 ? 0 : 1));
  }
}

TEST(LowLatencyOutputTest, At48000HzThePortPlaysNote69At440Hz) {
  Rig rig(48000, 256);
  if (!rig.why.empty()) GTEST_SKIP() << "no JACK server: " << rig.why;
  PlainVoice(kSineWave);
  CVoiceNoteTarget target(*g_voice);
  CLowLatencyOutput output;
  ASSERT_TRUE(output.Start(&RenderBlock, &target));
  ASSERT_TRUE(rig.Connect(kMidiPort, kAudioPort));
  const char** ports = jack_get_ports(rig.keys.Client(), "^Quembrel:", nullptr, 0);
  ASSERT_NE(ports, nullptr);
  std::vector<std::string> names;
  for (const char** p = ports; *p != nullptr; ++p) names.emplace_back(*p);
  jack_free(ports);
  EXPECT_EQ(names, (std::vector<std::string>{kAudioPort, kMidiPort}));

  // A tenth of a second after the note, one second of it.
  const std::size_t from = 4800;
  const std::size_t to = from + 48000;
  {
    Freewheel freewheel(rig.keys);
    ASSERT_TRUE(freewheel.On());
    rig.keys.Arm({{0, {0x90, 69, 100}}});
    // The limit only ends a hang: freewheeling, the server runs as fast as the machine lets it.
    ASSERT_TRUE(WaitFor([&] { return rig.capture.Count() > to; }, 150s));
  }
  output.Stop();
  const std::vector<float>& s = rig.capture.Samples();
  std::vector<double> periods;
  double previous = -1.0;
  for (std::size_t i = from + 1; i < to; ++i) {
    if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
      const double at = static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
      if (previous >= 0.0) periods.push_back(at - previous);
      previous = at;
    }
  }
  ASSERT_GT(periods.size(), 100u);
  std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
  EXPECT_NEAR(48000.0 / periods[periods.size() / 2], 440.0, 0.44);
}

TEST(LowLatencyOutputTest, WhatIsHeardIsWhatIsRecorded) {
  Rig rig(44100, 256);
  if (!rig.why.empty()) GTEST_SKIP() << "no JACK server: " << rig.why;
  CreateFreshModules();
  g_riffPlayer->Play();
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("quembrel_ll_rec_" + std::to_string(getpid()) + ".wav")).string();
  ASSERT_TRUE(rig.keys.Activate() && rig.capture.Activate());
  CLowLatencyOutput output;
  ASSERT_TRUE(g_wavRecorder.Start(path.c_str()));
  ASSERT_TRUE(output.Start(&RenderBlock, nullptr));
  ASSERT_TRUE(rig.capture.Connect(kAudioPort, rig.capture.PortName()));
  // One second, well within what the recorder's ring holds while the server freewheels ahead of
  // the draining.
  constexpr std::size_t kFrames = 44100;
  bool ran = false;
  {
    Freewheel freewheel(rig.keys);
    ASSERT_TRUE(freewheel.On());
    rig.keys.Arm({});
    ran = WaitFor([&] { g_wavRecorder.Drain(); return rig.capture.Count() > kFrames; }, 150s);
  }
  output.Stop();
  g_wavRecorder.Finish();
  ASSERT_TRUE(ran);

  const std::vector<std::int16_t> recorded = ReadWavFile(path).samples;
  std::filesystem::remove(path);
  std::vector<std::int16_t> captured;
  for (std::size_t i = 0; i < kFrames; ++i) {
    captured.push_back(static_cast<std::int16_t>(rig.capture.Samples()[i] * 32768.0f));
  }
  // The capture is one stretch of the recording: every frame the server passed on, in order, with
  // nothing lost, repeated or changed. A freewheeling server misses no cycle, so there is nothing
  // to allow for.
  const auto sound = [](std::int16_t v) { return v != 0; };
  ASSERT_GT(std::count_if(captured.begin(), captured.end(), sound), static_cast<long>(kFrames / 2));
  const auto at = std::search(recorded.begin(), recorded.end(), captured.begin(), captured.end());
  EXPECT_NE(at, recorded.end()) << "the captured second is not one stretch of the recording";
}

TEST(LowLatencyOutputTest, ClassicStreamPlaysNotesFromItsPort) {
  for (const PeriodCase c : kPeriodCases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.period << " frames");
    Rig rig(c.rate, c.period);
    if (!rig.why.empty()) GTEST_SKIP() << "no JACK server: " << rig.why;
    PlainVoice(kSquareWave);
    CVoiceNoteTarget target(*g_voice);
    CMidiInput midi;
    ASSERT_TRUE(midi.Open(target));
    ASSERT_TRUE(g_audioStream.Start(&RenderBlock));
    ASSERT_TRUE(rig.Connect("Quembrel MIDI:Quembrel", "Quembrel:outport 0"));
    // One note, held. The classic stream refills its loop by the wall clock, so the server runs in
    // real time and the note is heard when the refill gets to it: no bound on how soon, which a
    // loaded machine decides, only that it is heard, and not before it was sent. A loaded server
    // may take the new connection late or skip the MIDI input's cycle and its message with it, so
    // the key is struck again every tenth of a second until the note is heard.
    std::vector<MidiSender::Message> strikes;
    for (int k = 0; k < 80; ++k) {
      strikes.push_back({static_cast<jack_nframes_t>(c.rate / 4 + k * c.rate / 10), {0x90, 69, 100}});
    }
    rig.keys.Arm(strikes);
    const std::vector<float>& samples = rig.capture.Samples();
    const auto loud = [&](std::size_t i) { return std::fabs(samples[i]) > kOnsetLevel; };
    std::size_t heard = 0;
    const bool done = WaitFor([&] {
      for (std::size_t end = rig.capture.Count(); heard < end; ++heard) {
        if (loud(heard)) return true;
      }
      return rig.capture.Count() == samples.size();
    }, 150s);
    g_audioStream.Stop();
    midi.Close();
    ASSERT_TRUE(done);
    EXPECT_LT(heard, samples.size()) << "the note was not heard";
    EXPECT_GE(heard, strikes[0].frame) << "sound before the note was sent";
  }
}

}  // namespace
