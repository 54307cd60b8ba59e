// The output switch: which output runs, the MIDI port hand-over, and the latency it reports.
#include "platform/sound/output_switch.h"

#include "platform/sound/audio_stream.h"

COutputSwitch::COutputSwitch()
    : mode(OutputMode::kClassic), render(nullptr), midiTarget(nullptr), latencyFrames(0) {}

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
  latencyFrames.store(0, std::memory_order_relaxed);
  mode = OutputMode::kClassic;
}

bool COutputSwitch::StartClassic() {
  mode = OutputMode::kClassic;
  midi.SetJackPortOpen(true);
  if (!g_audioStream.Start(render)) return false;
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
