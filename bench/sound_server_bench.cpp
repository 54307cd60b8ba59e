// Both outputs on the sound servers a Linux desktop runs, each started here on its own (a plain
// PulseAudio server and a PipeWire graph, each with a null sink at 48000 Hz, and a JACK server on the
// dummy driver at 48000 Hz), measured where the server plays: the PulseAudio servers' sink monitor,
// read with the time each frame was played, or a JACK client connected to the program's port.
//
// For each server and mode: which output opened; runs of silence while a held sine plays for a
// minute (QUEMBREL_BENCH_SECONDS sets another length); key-to-sound latency of ten notes, from the
// note-on call to the first sound at the sink; switching to the other mode and back, as the silence
// each switch makes, how much later the sound plays after each, and how much later the riff plays
// after both (neither skipping nor repeating, later by the silences); and a server killed under the
// program: the program's CPU time while the server is gone, and how long after the server is
// started again the sound is back, the server's own start included. Each benchmark's time is the
// mean latency; the program ends with the table README quotes.
//
// On JACK both modes play through the same port, so the capture hears a switch as it happens.
// Key-to-sound on JACK is measured to the frame by latency_bench, and not here.
#include <benchmark/benchmark.h>
#include <pulse/simple.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "harness/fresh_modules.h"
#include "harness/jack_harness.h"
#include "harness/note_onsets.h"
#include "harness/pulse_server.h"
#include "harness/wait_for.h"
#include "platform/sound/output_switch.h"
#include "sequencer/riff_params.h"
#include "sequencer/riff_player.h"
#include "sequencer/voice_note_target.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

enum ServerKind { kPulseAudio = 0, kPipeWire = 1, kJack = 2 };
constexpr int kRate = 48000;
constexpr int kJackPeriod = 256;
const char* const kServerNames[] = {"PulseAudio 16", "PipeWire 0.3", "JACK (dummy)"};

double Seconds(Clock::time_point t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// What the server played from the moment Start is called, with the time each frame was played.
class Listener {
 public:
  virtual ~Listener() = default;
  virtual bool Start(std::size_t capacity) = 0;
  virtual void Stop() = 0;
  // After Stop: the frames heard.
  virtual std::vector<float> Frames() const = 0;
  // How many frames have been heard so far; any thread.
  virtual std::size_t Heard() const = 0;
};

// The sink's monitor over libpulse: each read notes the time its newest frame was played, the read's
// time less the stream's latency; the median over all reads places every frame. Its fragments are
// long (43 ms) so that it never sets the pace: a PipeWire graph runs at the shortest period any
// of its streams asks for, and a listener reading every 10 ms drove every stream there at 256
// frames, where the graph drops a period now and then whoever plays (pacat alone had 8 gaps in
// 40 s); measured that way the classic output had 20 gaps a minute, and 0 or 1 in 30 s otherwise.
class PulseListener : public Listener {
 public:
  ~PulseListener() override { Stop(); }
  bool Start(std::size_t capacity) override {
    const pa_sample_spec format{PA_SAMPLE_S16LE, kRate, 1};
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = 2048 * 2;
    int error = 0;
    stream = pa_simple_new(nullptr, "quembrel-bench", PA_STREAM_RECORD, "quembrel_test.monitor", "monitor", &format,
                           nullptr, &attr, &error);
    if (stream == nullptr) return false;
    samples.assign(capacity, 0);
    count = 0;
    offsets.clear();
    quit = false;
    reader = std::thread([this] { Read(); });
    return true;
  }
  void Stop() override {
    if (stream == nullptr) return;
    quit = true;
    reader.join();
    pa_simple_free(stream);
    stream = nullptr;
    std::sort(offsets.begin(), offsets.end());
  }
  std::vector<float> Frames() const override {
    std::vector<float> frames(count);
    for (std::size_t i = 0; i < count; ++i) frames[i] = samples[i] / 32768.0f;
    return frames;
  }
  std::size_t Heard() const override { return count.load(); }
  // After Stop: when frame i was played, on the steady clock.
  double TimeOf(std::size_t i) const {
    return offsets.empty() ? 0.0 : offsets[offsets.size() / 2] + static_cast<double>(i) / kRate;
  }

 private:
  void Read() {
    constexpr std::size_t kChunk = 128;
    while (!quit && count + kChunk <= samples.size()) {
      int error = 0;
      if (pa_simple_read(stream, samples.data() + count, kChunk * 2, &error) < 0) break;
      const double now = Seconds(Clock::now());
      const pa_usec_t latency = pa_simple_get_latency(stream, &error);
      count += kChunk;
      offsets.push_back(now - static_cast<double>(latency) / 1e6 - static_cast<double>(count - 1) / kRate);
    }
  }

  pa_simple* stream = nullptr;
  std::vector<std::int16_t> samples;
  std::atomic<std::size_t> count{0};
  std::vector<double> offsets;
  std::atomic<bool> quit{false};
  std::thread reader;
};

// A JACK client connected to the program's output port.
class JackListener : public Listener {
 public:
  explicit JackListener(const CTestJackServer& server) : server(server) {}
  bool Start(std::size_t capacity) override {
    capture = std::make_unique<AudioCapture>(server, capacity);
    if (!capture->Activate() || !capture->Connect("Quembrel:outport 0", capture->PortName())) return false;
    return WaitFor([&] { return capture->Started(); }, 5s);
  }
  void Stop() override { capture->Close(); }
  std::size_t Heard() const override { return capture->Count(); }
  std::vector<float> Frames() const override {
    return std::vector<float>(capture->Samples().begin(), capture->Samples().begin() + capture->Count());
  }

 private:
  const CTestJackServer& server;
  std::unique_ptr<AudioCapture> capture;
};

// One server of either kind, started and killed the same way.
class Server {
 public:
  explicit Server(ServerKind kind) : kind(kind) {
    if (kind == kJack) {
      jack = std::make_unique<CTestJackServer>(kRate, kJackPeriod);
    } else {
      pulse = std::make_unique<CTestPulseServer>(kind == kPipeWire ? CTestPulseServer::Kind::kPipeWire
                                                                   : CTestPulseServer::Kind::kPulseAudio);
    }
  }
  std::string Start() { return jack ? jack->Start() : pulse->Start(); }
  void Kill() { jack ? jack->Kill() : pulse->Kill(); }
  std::unique_ptr<Listener> MakeListener() const {
    if (jack) return std::make_unique<JackListener>(*jack);
    return std::make_unique<PulseListener>();
  }
  const ServerKind kind;

 private:
  std::unique_ptr<CTestJackServer> jack;
  std::unique_ptr<CTestPulseServer> pulse;
};

struct Figures {
  std::string status;
  int gaps = -1;
  double gapSeconds = 0.0;
  std::size_t longestGap = 0;
  double latencyLow = -1.0;
  double latencyHigh = -1.0;
  double latencyMean = 0.0;
  int notesTimed = 0;
  std::vector<double> switchSilence;  // ms, per switch
  // Per switch, ms the sound comes later than all the silence heard around the switch, the server's
  // own gaps included: more (+) for sound repeated or put in, less (-) for sound dropped.
  std::vector<double> beyondSilence;
  double riffShift = 0.0;             // ms the riff is later after both, as its notes show it
  double cpuGone = -1.0;              // % of one core while the server is gone
  double reconnect = -1.0;            // s from the server's start to sound
};
std::map<std::pair<int, int>, Figures> g_figures;

// Runs of exact silence of 16 frames or more between the first sound and the last.
void CountGaps(const std::vector<float>& s, Figures& f) {
  const auto first = std::find_if(s.begin(), s.end(), [](float v) { return v != 0.0f; });
  const auto last = std::find_if(s.rbegin(), s.rend(), [](float v) { return v != 0.0f; }).base();
  f.gaps = 0;
  for (const std::size_t run : SilentRuns(s)) {
    if (run >= 16) ++f.gaps;
    f.longestGap = std::max(f.longestGap, run);
  }
  f.gapSeconds = first < last ? static_cast<double>(last - first) / kRate : 0.0;
}

// Where sound starts after at least `quiet` frames of near-silence.
std::vector<std::size_t> Onsets(const std::vector<float>& s, std::size_t quiet) {
  std::vector<std::size_t> onsets;
  std::size_t run = quiet;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (std::fabs(s[i]) > kOnsetLevel) {
      if (run >= quiet) onsets.push_back(i);
      run = 0;
    } else {
      ++run;
    }
  }
  return onsets;
}

void MeasureGaps(Listener& listener, Figures& f, double seconds) {
  HeldSine sine;
  std::this_thread::sleep_for(500ms);
  if (!listener.Start(static_cast<std::size_t>((seconds + 5) * kRate))) return;
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  listener.Stop();
  sine.target->NoteOff();
  CountGaps(listener.Frames(), f);
}

// Ten notes from the control thread at times unrelated to the server's periods, each timed from the
// call to the first sound the sink played after it.
void MeasureLatency(PulseListener& listener, Figures& f) {
  PlainVoice(kSquareWave);
  CVoiceNoteTarget target(*g_voice);
  target.SetFrequency(440.0f);
  std::this_thread::sleep_for(200ms);
  if (!listener.Start(static_cast<std::size_t>(8 * kRate))) return;
  std::this_thread::sleep_for(300ms);
  std::vector<double> sent;
  for (int k = 0; k < 10; ++k) {
    std::this_thread::sleep_for(std::chrono::milliseconds(230 + 17 * k));
    sent.push_back(Seconds(Clock::now()));
    target.NoteOn();
    std::this_thread::sleep_for(150ms);
    target.NoteOff();
  }
  std::this_thread::sleep_for(500ms);
  listener.Stop();
  const std::vector<float> s = listener.Frames();
  double sum = 0.0;
  for (const double at : sent) {
    std::size_t i = 0;
    while (i < s.size() && listener.TimeOf(i) < at - 0.02) ++i;
    // Sound already there at the call (an earlier note still ringing) cannot be timed.
    if (i >= s.size() || std::fabs(s[i]) > kOnsetLevel) continue;
    while (i < s.size() && std::fabs(s[i]) <= kOnsetLevel) ++i;
    if (i >= s.size()) continue;
    const double ms = (listener.TimeOf(i) - at) * 1000.0;
    f.latencyLow = f.notesTimed == 0 ? ms : std::min(f.latencyLow, ms);
    f.latencyHigh = f.notesTimed == 0 ? ms : std::max(f.latencyHigh, ms);
    sum += ms;
    ++f.notesTimed;
  }
  if (f.notesTimed > 0) f.latencyMean = sum / f.notesTimed;
}

constexpr double kPi = 3.14159265358979323846;
constexpr int kSlowSineHz = 4;

// The phase φ of the slow sine over frames [from, to), a whole number of its periods, taking the
// sound as A sin(ωn + φ): a least-squares fit against sin and cos at its known frequency.
double PhaseOver(const std::vector<float>& s, std::size_t from, std::size_t to) {
  double onSin = 0.0;
  double onCos = 0.0;
  for (std::size_t i = from; i < to; ++i) {
    const double w = 2.0 * kPi * kSlowSineHz * static_cast<double>(i) / kRate;
    onSin += s[i] * std::sin(w);
    onCos += s[i] * std::cos(w);
  }
  return std::atan2(onCos, onSin);
}

// Switches to the other mode and back while the listener hears, 2 s apart; returns how many frames
// it had heard at each switch.
std::array<std::size_t, 2> SwitchTwice(COutputSwitch& output, OutputMode mode, const Listener& listener) {
  const OutputMode other = mode == OutputMode::kClassic ? OutputMode::kLowLatency : OutputMode::kClassic;
  std::array<std::size_t, 2> marks{};
  for (int k = 0; k < 2; ++k) {
    std::this_thread::sleep_for(2000ms + std::chrono::milliseconds(std::rand() % 125));
    marks[k] = listener.Heard();
    output.Switch(k == 0 ? other : mode);
  }
  std::this_thread::sleep_for(2000ms);
  return marks;
}

// The two switches while a 4 Hz sine is held: each switch's silence, and the sine's phase after a
// switch against its phase before, which tells how much later the sound plays to a fraction of a
// millisecond and unambiguously within a period (±125 ms). Neither skipping nor repeating, it is
// later by exactly the silence heard meanwhile: the switch's, and any gap of the server's own.
void MeasureSwitchOnSine(COutputSwitch& output, OutputMode mode, Listener& listener, Figures& f) {
  std::array<std::size_t, 2> marks{};
  {
    HeldSine sine;
    sine.target->SetFrequency(static_cast<float>(kSlowSineHz));
    std::this_thread::sleep_for(500ms);
    if (!listener.Start(static_cast<std::size_t>(10 * kRate))) return;
    marks = SwitchTwice(output, mode, listener);
    listener.Stop();
    sine.target->NoteOff();
  }
  const std::vector<float> heard = listener.Frames();
  std::vector<std::pair<std::size_t, std::size_t>> runs;  // length, first frame
  for (std::size_t i = 0, run = 0; i < heard.size(); ++i) {
    run = heard[i] == 0.0f ? run + 1 : 0;
    if (run >= 16 && (i + 1 == heard.size() || heard[i + 1] != 0.0f)) runs.push_back({run, i + 1 - run});
  }
  // A switch is heard from a little before the frame heard when it was asked for (a server's
  // monitor reads late) to the end of the new stream's start, which on a sound server includes
  // both outputs' queues: its silence is every run of silence within that span, however many.
  std::size_t from[2];
  std::size_t to[2];
  double switchMs[2] = {0.0, 0.0};
  for (int k = 0; k < 2; ++k) {
    from[k] = marks[k] > kRate / 20 ? marks[k] - kRate / 20 : 0;
    to[k] = marks[k] + kRate * 4 / 10;
    for (const auto& [length, start] : runs) {
      if (start + length <= from[k] || start >= to[k]) continue;
      switchMs[k] += length * 1000.0 / kRate;
    }
  }
  // Four whole periods before each switch, and after the second one; all the silence between two
  // windows is set against the shift between them.
  constexpr std::size_t kWindow = 4 * kRate / kSlowSineHz;
  const std::size_t ends[] = {from[0], from[1], to[1] + kWindow};
  if (ends[0] < kWindow || ends[1] < to[0] + kWindow || ends[2] > heard.size()) return;
  const double periodMs = 1000.0 / kSlowSineHz;
  for (int k = 0; k < 2; ++k) {
    f.switchSilence.push_back(switchMs[k]);
    const double shift = (PhaseOver(heard, ends[k] - kWindow, ends[k]) -
                          PhaseOver(heard, ends[k + 1] - kWindow, ends[k + 1])) / (2.0 * kPi) * periodMs;
    double silence = 0.0;
    for (const auto& [length, start] : runs) {
      if (start >= ends[k] && start < ends[k + 1] - kWindow) silence += length * 1000.0 / kRate;
    }
    f.beyondSilence.push_back(shift - std::round(shift / periodMs) * periodMs - silence);
  }
}

// The two switches while the riff plays 40 ms notes on every step at 40 BPM: they move the notes
// off the beat they kept before, later (+) for silence put in, earlier (-) for sound dropped; a
// step of 375 ms tells apart shifts of up to 187 ms either way.
void MeasureSwitchOnRiff(COutputSwitch& output, OutputMode mode, Listener& listener, Figures& f) {
  PlainVoice(kSquareWave);
  g_voice->SetParam(kAmpSustain, 40);
  g_riffPlayer->SetParam(kBpm, 40);
  g_riffPlayer->Play();
  std::this_thread::sleep_for(500ms);
  if (!listener.Start(static_cast<std::size_t>(10 * kRate))) return;
  SwitchTwice(output, mode, listener);
  listener.Stop();
  g_riffPlayer->Stop();
  const std::vector<float> s = listener.Frames();
  const std::vector<std::size_t> onsets = Onsets(s, 1000);
  if (onsets.size() < 10) return;
  const double step = g_riffPlayer->GetSamplesPerStep() * static_cast<double>(kRate) / CRateConverter::kEngineRate;
  // Each onset's distance from the beat the first one sets, in ms, taken the short way round the
  // step; the median over the first 1.4 s and over the last gives the riff's place before the two
  // switches and after them. Neither skipping nor repeating, it is later by the silences they made.
  const double stepMs = step * 1000.0 / kRate;
  const auto placeOver = [&](std::size_t from, std::size_t to) {
    std::vector<double> offsets;
    for (const std::size_t onset : onsets) {
      if (onset < from || onset >= to) continue;
      const double ms = static_cast<double>(onset - onsets[0]) * 1000.0 / kRate;
      offsets.push_back(ms - std::round(ms / stepMs) * stepMs);
    }
    std::nth_element(offsets.begin(), offsets.begin() + offsets.size() / 2, offsets.end());
    return offsets.empty() ? 0.0 : offsets[offsets.size() / 2];
  };
  const std::size_t window = kRate * 14 / 10;
  const double shift = placeOver(s.size() - window, s.size()) - placeOver(0, window);
  f.riffShift = shift - std::round(shift / stepMs) * stepMs;
}

void MeasureLoss(COutputSwitch& output, Server& server, Figures& f) {
  server.Kill();
  if (!WaitFor([&] { return !output.IsPlaying(); }, 30s)) return;
  const double cpu = CpuSeconds();
  std::this_thread::sleep_for(3s);
  f.cpuGone = (CpuSeconds() - cpu) / 3.0 * 100.0;
  const auto back = Clock::now();
  if (!server.Start().empty()) return;
  if (!WaitFor([&] { return output.IsPlaying(); }, 30s)) return;
  f.reconnect = std::chrono::duration<double>(Clock::now() - back).count();
}

void BM_SoundServer(benchmark::State& state) {
  const auto kind = static_cast<ServerKind>(state.range(0));
  const auto mode = state.range(1) == 0 ? OutputMode::kClassic : OutputMode::kLowLatency;
  state.SetLabel(std::string(kServerNames[kind]) + (mode == OutputMode::kClassic ? ", classic" : ", low latency"));
  const char* lengthSetting = std::getenv("QUEMBREL_BENCH_SECONDS");
  const double seconds = lengthSetting != nullptr ? std::max(1.0, std::atof(lengthSetting)) : 60.0;
  Server server(kind);
  const std::string why = server.Start();
  if (!why.empty()) {
    state.SkipWithError(("no server: " + why).c_str());
    return;
  }
  Figures& f = g_figures[{kind, static_cast<int>(state.range(1))}];
  for (auto _ : state) {
    CreateFreshModules();
    COutputSwitch output;
    if (!output.Start(mode, &RenderBlock, nullptr)) {
      state.SkipWithError("no output started");
      return;
    }
    f.status = output.GetStatus();
    std::unique_ptr<Listener> listener = server.MakeListener();
    MeasureGaps(*listener, f, seconds);
    if (auto* pulse = dynamic_cast<PulseListener*>(listener.get())) MeasureLatency(*pulse, f);
    MeasureSwitchOnSine(output, mode, *listener, f);
    MeasureSwitchOnRiff(output, mode, *listener, f);
    MeasureLoss(output, server, f);
    output.Stop();
    state.SetIterationTime(f.latencyMean / 1000.0);
  }
  state.counters["gaps"] = f.gaps;
  state.counters["latency_low_ms"] = f.latencyLow;
  state.counters["latency_high_ms"] = f.latencyHigh;
  state.counters["cpu_gone_pct"] = f.cpuGone;
  state.counters["reconnect_s"] = f.reconnect;
}
BENCHMARK(BM_SoundServer)
    ->ArgsProduct({{kPulseAudio, kPipeWire, kJack}, {0, 1}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

std::string Range(const std::vector<double>& values) {
  if (values.empty()) return "—";
  char text[64];
  std::string line;
  for (const double v : values) {
    std::snprintf(text, sizeof text, "%s%.1f", line.empty() ? "" : ", ", v);
    line += text;
  }
  return line + " ms";
}

void PrintTable() {
  std::printf("\n| Server, mode | Output opened | Gaps while a sine plays | Key to sound | Switch and back: silences; sound later than all silence heard, each; riff later by | CPU while the server is gone | Back after the server's start |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const auto& [key, f] : g_figures) {
    char gaps[64];
    char latency[64];
    std::snprintf(gaps, sizeof gaps, "%d in %.0f s (longest %zu frames)", f.gaps, f.gapSeconds, f.longestGap);
    std::snprintf(latency, sizeof latency, "%.0f to %.0f ms (%d notes)", f.latencyLow, f.latencyHigh, f.notesTimed);
    std::printf("| %s, %s | %s | %s | %s | %s; %s; %.0f ms | %.1f %% | %.2f s |\n", kServerNames[key.first],
                key.second == 0 ? "classic" : "low latency", f.status.c_str(), gaps,
                key.first == kJack ? "see latency_bench" : latency, Range(f.switchSilence).c_str(),
                Range(f.beyondSilence).c_str(), f.riffShift,
                f.cpuGone, f.reconnect);
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
