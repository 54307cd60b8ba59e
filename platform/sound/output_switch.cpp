// The output switch: which output runs, the MIDI port hand-over, and the latency it reports.
#include "platform/sound/output_switch.h"

#include "platform/sound/audio_stream.h"
#include "platform/sound/midi_input.h"

COutputSwitch g_outputSwitch;

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
  g_midiInput.SetJackPortOpen(true);
  if (!g_audioStream.Start(render)) return false;
  latencyFrames.store(kClassicLatencyFrames, std::memory_order_relaxed);
  return true;
}

bool COutputSwitch::StartLowLatency() {
  if (!lowLatency.Start(render, midiTarget)) return false;
  mode = OutputMode::kLowLatency;
  if (lowLatency.HasMidiPort()) g_midiInput.SetJackPortOpen(false);
  const long long frames = static_cast<long long>(lowLatency.GetLatencyFrames()) *
                           CRateConverter::kEngineRate / lowLatency.GetDeviceRate();
  latencyFrames.store(static_cast<int>(frames), std::memory_order_relaxed);
  return true;
}
