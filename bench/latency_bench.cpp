// Key-to-sound latency of both outputs, on JACK servers it starts itself on the dummy driver and
// runs in real time: a client sends note-ons into Quembrel's MIDI port at known frames, spread over
// the period, and another captures the output port; the figure is the distance in frames from the
// frame a note was sent for to its first sound. The classic stream is measured through the MIDI
// input's own port. Each benchmark's time is the mean figure, with the lowest and highest as
// counters, and the program ends with README's latency table. A loaded machine makes the
// non-real-time server miss cycles; the notes of a run that did are not timed, and the table says
// how many were ("timed" and "notes" counters), since such a figure would not be the program's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "platform/sound/audio_stream.h"
#include "platform/sound/low_latency_output.h"
#include "platform/sound/midi_input.h"
#include "sequencer/voice_note_target.h"
#include "harness/jack_harness.h"
#include "harness/note_onsets.h"
#include "harness/wait_for.h"

namespace {

using namespace std::chrono_literals;

enum Mode { kLowLatency = 0, kClassic = 1 };

struct Figure {
  long low = -1;
  long high = -1;
  int timed = 0;  // notes whose figure counts
  int notes = 0;  // notes sent
};
// By rate and period, one figure per mode.
std::map<std::pair<int, int>, Figure[2]> g_figures;

// Starts and stops the output under measurement around the servers' clients.
class Output {
 public:
  Output(Mode mode, CNoteTarget& target) : mode(mode) {
    if (mode == kLowLatency) {
      started = lowLatency.Start(&RenderBlock, &target);
    } else {
      started = midi.Open(target) && g_audioStream.Start(&RenderBlock);
    }
  }
  ~Output() {
    if (mode == kLowLatency) {
      lowLatency.Stop();
    } else {
      g_audioStream.Stop();
      midi.Close();
    }
  }
  bool Started() const { return started; }
  const char* MidiPort() const { return mode == kLowLatency ? "Quembrel:Quembrel" : "Quembrel MIDI:Quembrel"; }

 private:
  const Mode mode;
  CLowLatencyOutput lowLatency;
  CMidiInput midi;
  bool started = false;
};

void BM_KeyToSound(benchmark::State& state) {
  const auto mode = static_cast<Mode>(state.range(0));
  const int rate = static_cast<int>(state.range(1));
  const int period = static_cast<int>(state.range(2));
  state.SetLabel(std::string(mode == kLowLatency ? "low latency" : "classic") + ", " + std::to_string(rate) +
                 " Hz, " + std::to_string(period) + "-frame period");
  CTestJackServer server(rate, period);
  const std::string why = server.Start();
  if (!why.empty()) {
    state.SkipWithError(("no JACK server: " + why).c_str());
    return;
  }
  MidiSender keys(server);
  AudioCapture capture(server, static_cast<std::size_t>(rate) * 10, &keys);
  PlainVoice(kSquareWave);
  CVoiceNoteTarget target(*g_voice);
  Output output(mode, target);
  if (!output.Started() || !keys.Activate() || !capture.Activate() ||
      !keys.Connect(keys.PortName(), output.MidiPort()) || !capture.Connect("Quembrel:outport 0", capture.PortName())) {
    state.SkipWithError("the output did not start or its ports did not connect");
    return;
  }
  // The low-latency output is heard within the period; the classic stream within its loop.
  const long spacing = mode == kLowLatency ? 4L * period : rate / 4;
  const int count = mode == kLowLatency ? 10 : 8;
  Figure& figure = g_figures[{rate, period}][mode];
  for (auto _ : state) {
    const std::vector<MidiSender::Message> schedule = NoteSchedule(period, spacing, spacing / 2, count);
    const int xruns = capture.Xruns() + keys.Xruns();
    keys.Arm(schedule);
    const std::size_t end = ScheduleEnd(schedule, spacing);
    if (!WaitFor([&] { return keys.AllSent() && capture.Count() > end; }, 60s)) {
      state.SkipWithError("the server did not run through the notes");
      return;
    }
    figure.notes += count;
    // A run in which the server missed a cycle times nothing: a note may have met old sound.
    if (capture.Xruns() + keys.Xruns() != xruns) {
      state.SetIterationTime(0.0);
      continue;
    }
    double sum = 0.0;
    int heard = 0;
    for (const NoteOnset& onset : FindOnsets(keys, capture, schedule, spacing)) {
      if (onset.sentLate != 0 || onset.fromSound || onset.heard < 0) continue;
      figure.low = figure.low < 0 ? onset.heard : std::min(figure.low, onset.heard);
      figure.high = std::max(figure.high, onset.heard);
      sum += static_cast<double>(onset.heard);
      ++heard;
    }
    figure.timed += heard;
    state.SetIterationTime(heard > 0 ? sum / heard / rate : 0.0);
  }
  state.counters["low_frames"] = static_cast<double>(figure.low);
  state.counters["high_frames"] = static_cast<double>(figure.high);
  state.counters["timed"] = static_cast<double>(figure.timed);
  state.counters["notes"] = static_cast<double>(figure.notes);
}
BENCHMARK(BM_KeyToSound)
    ->ArgNames({"mode", "rate", "period"})
    ->ArgsProduct({{kLowLatency, kClassic}, {44100, 48000}, {128, 256}})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

std::string Cell(const Figure& figure, int rate) {
  if (figure.low < 0) return "not measured: the server missed cycles in every run";
  char text[128];
  std::snprintf(text, sizeof text, "%ld to %ld frames (%.2f to %.2f ms)", figure.low, figure.high,
                figure.low * 1000.0 / rate, figure.high * 1000.0 / rate);
  std::string cell = text;
  if (figure.timed < figure.notes) {
    cell += ", " + std::to_string(figure.timed) + " of " + std::to_string(figure.notes) + " notes timed";
  }
  return cell;
}

void PrintTable() {
  std::printf("\n| Server | Low latency | Classic |\n|---|---|---|\n");
  for (const auto& [server, figures] : g_figures) {
    std::printf("| %d Hz, %d-frame period | %s | %s |\n", server.first, server.second,
                Cell(figures[kLowLatency], server.first).c_str(), Cell(figures[kClassic], server.first).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintTable();
  return 0;
}
