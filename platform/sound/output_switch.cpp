// The output switch: which output runs, the hand-over between them, the MIDI port hand-over, the
// watch thread that brings a lost output back, and the latency and status it reports.
#include "platform/sound/output_switch.h"

#include <cstdio>
#include <vector>

#include "platform/sound/audio_stream.h"

COutputSwitch::COutputSwitch()
    : mode(OutputMode::kClassic),
      chosen(OutputMode::kClassic),
      render(nullptr),
      midiTarget(nullptr),
      lowLatency(&jack),
      latencyFrames(0),
      playing(false) {
  lowLatency.SetTransportFollower(&transport);
}

COutputSwitch::~COutputSwitch() {
  {
    std::lock_guard<std::mutex> guard(lock);
    quit = true;
  }
  wake.notify_all();
  if (watcher.joinable()) watcher.join();
  Stop();
}

void COutputSwitch::SetFollowTransport(bool on) {
  std::lock_guard<std::mutex> guard(lock);
  transport.SetEnabled(on);
  // The classic stream reads the transport through a client of the follower's; the low-latency
  // output reads it through its own.
  if (on && mode.load(std::memory_order_relaxed) == OutputMode::kClassic && render != nullptr) {
    transport.OpenClient();
  }
}

bool COutputSwitch::Start(OutputMode newMode, BlockCallback renderBlock, CNoteTarget* target) {
  std::unique_lock<std::mutex> guard(lock);
  StopLocked();
  // Handed over here rather than at construction, and taken back only when it was: a switch may be
  // made before the stream is, and outlive it.
  g_audioStream.SetJackClient(&jack);
  jackHanded = true;
  render = renderBlock;
  midiTarget = target;
  chosen = newMode;
  active = true;
  if (!watcher.joinable()) watcher = std::thread(&COutputSwitch::Watch, this);
  const bool started = StartLocked(newMode, false);
  Announce();
  return started;
}

bool COutputSwitch::Switch(OutputMode newMode) {
  std::unique_lock<std::mutex> guard(lock);
  if (!active) return false;
  chosen = newMode;
  if (playing.load(std::memory_order_relaxed) && newMode == mode.load(std::memory_order_relaxed)) return true;
  const bool started = StartLocked(newMode, true);
  Announce();
  return started;
}

void COutputSwitch::Stop() {
  std::lock_guard<std::mutex> guard(lock);
  active = false;
  StopLocked();
  if (jackHanded) g_audioStream.SetJackClient(nullptr);
  jackHanded = false;
}

std::string COutputSwitch::GetStatus() const {
  std::lock_guard<std::mutex> guard(lock);
  return status;
}

void COutputSwitch::StopLocked(std::optional<OutputMode> prepared) {
  if (prepared != OutputMode::kLowLatency) lowLatency.Stop();
  if (prepared != OutputMode::kClassic) g_audioStream.Stop();
  transport.ServeClassicStream(nullptr);
  transport.CloseClient();
  latencyFrames.store(0, std::memory_order_relaxed);
  playing.store(false, std::memory_order_release);
  mode.store(OutputMode::kClassic, std::memory_order_relaxed);
}

// With `handOver`, what the running output has rendered and not yet played goes to the next one:
// the classic loop's unheard samples open the low-latency stream; the classic loop starts full of
// fresh sound rather than silence, following straight on from what the low-latency output played.
//
// Opening a stream on a sound server takes tens of milliseconds, far more on a busy machine, so
// the next output is opened first, while the running one plays on, and only its start falls
// between the last sound of one and the first of the other. On JACK the next output joins the
// client the running one plays through, and its start is its turn at the next cycle.
bool COutputSwitch::StartLocked(OutputMode newMode, bool handOver) {
  const bool wasPlaying = playing.load(std::memory_order_relaxed);
  const bool wasClassic = wasPlaying && mode.load(std::memory_order_relaxed) == OutputMode::kClassic;
  std::optional<OutputMode> prepared;
  if (handOver && wasPlaying) {
    const bool opened = newMode == OutputMode::kLowLatency ? lowLatency.Open(render, midiTarget) : g_audioStream.Open();
    if (opened) prepared = newMode;
  }
  if (handOver && wasClassic && newMode == OutputMode::kLowLatency) {
    std::vector<std::int16_t> unheard(CAudioStream::kLoopBytes / 2);
    const std::uint32_t count = g_audioStream.StopKeepingUnheard(unheard.data(), static_cast<std::uint32_t>(unheard.size()));
    lowLatency.SetLeadIn(unheard.data(), count);
  } else if (handOver && prepared != OutputMode::kLowLatency) {
    lowLatency.Stop(true);
  }
  StopLocked(prepared);
  bool started = newMode == OutputMode::kLowLatency && StartLowLatency(prepared.has_value());
  if (!started) started = StartClassic(handOver);
  playing.store(started, std::memory_order_release);
  lossAnnounced = false;
  nextTry = std::chrono::steady_clock::now() + kRetryInterval;
  return started;
}

bool COutputSwitch::StartClassic(bool renderAhead) {
  mode.store(OutputMode::kClassic, std::memory_order_relaxed);
  if (transport.IsEnabled()) transport.OpenClient();
  transport.ServeClassicStream(render);
  // The MIDI input's port opens after the sound starts: opening a JACK client takes a while.
  const bool started = g_audioStream.Start(&CTransportFollower::RenderClassicBlock, renderAhead);
  midi.SetJackPortOpen(true);
  if (!started) {
    g_audioStream.Stop();
    return false;
  }
  latencyFrames.store(static_cast<int>(g_audioStream.LatencyFrames()), std::memory_order_relaxed);
  return true;
}

bool COutputSwitch::StartLowLatency(bool opened) {
  if (!(opened ? lowLatency.Play() : lowLatency.Start(render, midiTarget))) return false;
  mode.store(OutputMode::kLowLatency, std::memory_order_relaxed);
  if (lowLatency.HasMidiPort()) midi.SetJackPortOpen(false);
  const long long frames = static_cast<long long>(lowLatency.GetLatencyFrames()) *
                           CRateConverter::kEngineRate / lowLatency.GetDeviceRate();
  latencyFrames.store(static_cast<int>(frames), std::memory_order_relaxed);
  return true;
}

bool COutputSwitch::IsLostLocked() const {
  if (!playing.load(std::memory_order_relaxed)) return true;
  return mode.load(std::memory_order_relaxed) == OutputMode::kClassic ? g_audioStream.IsLost() : lowLatency.IsLost();
}

void COutputSwitch::Announce() {
  if (playing.load(std::memory_order_relaxed)) {
    const bool low = mode.load(std::memory_order_relaxed) == OutputMode::kLowLatency;
    status = "Sound: " + (low ? lowLatency.Describe() : g_audioStream.Describe()) + (low ? " · low latency" : " · classic");
  } else {
    status = "Sound: none (no JACK server, no PulseAudio server and no ALSA device would play); trying again";
  }
  std::fprintf(stderr, "%s\n", status.c_str());
}

void COutputSwitch::Watch() {
  std::unique_lock<std::mutex> guard(lock);
  while (!quit) {
    wake.wait_for(guard, kWatchInterval);
    if (quit || !active || !IsLostLocked()) continue;
    if (!lossAnnounced) {
      lossAnnounced = true;
      if (playing.load(std::memory_order_relaxed)) {
        status = "Sound: stopped, the sound system went away; it comes back by itself";
        std::fprintf(stderr, "quembrel: the sound stopped: the sound system went away. It comes back by itself "
                             "as soon as one is there again.\n");
      }
      playing.store(false, std::memory_order_release);
      latencyFrames.store(0, std::memory_order_relaxed);
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < nextTry) continue;
    nextTry = now + kRetryInterval;
    // The classic loop stays, with its play position and what it has not yet played, and only the
    // stream under it is opened again; the low-latency output starts anew.
    bool back = false;
    if (chosen == OutputMode::kClassic && mode.load(std::memory_order_relaxed) == OutputMode::kClassic &&
        g_audioStream.HasLoop()) {
      back = g_audioStream.Reconnect();
      if (back) latencyFrames.store(static_cast<int>(g_audioStream.LatencyFrames()), std::memory_order_relaxed);
    } else {
      StopLocked();
      back = StartLocked(chosen, false);
    }
    if (!back) continue;
    playing.store(true, std::memory_order_release);
    lossAnnounced = false;
    // The MIDI input's JACK port opens anew on the server that is there now.
    midi.SetJackPortOpen(false);
    midi.SetJackPortOpen(mode.load(std::memory_order_relaxed) == OutputMode::kClassic || !lowLatency.HasMidiPort());
    Announce();
  }
}
