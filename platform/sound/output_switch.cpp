// The output switch: which output runs, the MIDI port hand-over, and the latency it reports.
#include "platform/sound/output_switch.h"

#include "platform/sound/audio_stream.h"

COutputSwitch::COutputSwitch()
    : mode(OutputMode::kClassic), render(nullptr), midiTarget(nullptr), latencyFrames(0) {
  lowLatency.SetTransportFollower(&transport);
}

void COutputSwitch::SetFollowTransport(bool on) {
  transport.SetEnabled(on);
  // The classic stream reads the transport through a client of the follower's; the low-latency
  // output reads it through its own.
  if (on && mode == OutputMode::kClassic && render != nullptr) transport.OpenClient();
}

bool COutputSwitch::Start(OutputMode newMode, BlockCallback renderBlock, CNoteTarget* target) {
  Stop();
  render = renderBlock;
  midiTarget = target;
  if (newMode == OutputMode::kLowLatency && StartLowLatency()) return true;
  return StartClassic();
}

bool COutputSwitch::Switch(OutputMode newMode) {
  if (newMode == mode && (mode == OutputMode::kClassic || lowLatency.IsRunning())) return true;
  return Start(newMode, render, midiTarget);
}

void COutputSwitch::Stop() {
  lowLatency.Stop();
  g_audioStream.Stop();
  transport.ServeClassicStream(nullptr);
  transport.CloseClient();
  latencyFrames.store(0, std::memory_order_relaxed);
  mode = OutputMode::kClassic;
}

bool COutputSwitch::StartClassic() {
  mode = OutputMode::kClassic;
  midi.SetJackPortOpen(true);
  if (transport.IsEnabled()) transport.OpenClient();
  transport.ServeClassicStream(render);
  if (!g_audioStream.Start(&CTransportFollower::RenderClassicBlock)) return false;
  latencyFrames.store(static_cast<int>(g_audioStream.LatencyFrames()), std::memory_order_relaxed);
  return true;
}

bool COutputSwitch::StartLowLatency() {
  if (!lowLatency.Start(render, midiTarget)) return false;
  mode = OutputMode::kLowLatency;
  if (lowLatency.HasMidiPort()) midi.SetJackPortOpen(false);
  const long long frames = static_cast<long long>(lowLatency.GetLatencyFrames()) *
                           CRateConverter::kEngineRate / lowLatency.GetDeviceRate();
  latencyFrames.store(static_cast<int>(frames), std::memory_order_relaxed);
  return true;
}
