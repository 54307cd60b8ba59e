// The voice: parameter handling, the hand-over of calls to the rendering thread, and rendering in
// control blocks of up to 8 frames. All arithmetic is in double and stored in 32-bit floats at the
// points where the sound depends on it.
#include "engine/synth_voice.h"

#include <algorithm>
#include <cmath>

CSynthVoice* g_voice = nullptr;

static_assert(CSynthVoice::kParamCount == kVoiceParamCount);

namespace {

// The single-precision constants the parameter conversions multiply by.
constexpr double kPercent = static_cast<double>(0.01f);
constexpr double kHalfPercent = static_cast<double>(0.005f);
constexpr double kOneTwelfth = static_cast<double>(0.083333336f);
constexpr double kCutoffScale = static_cast<double>(0.003921569f);

float Scaled(ParamValue v, double factor) { return static_cast<float>(static_cast<double>(v) * factor); }

}  // namespace

void CSynthVoice::Init() {
  calls.Init(kVoiceParams, 440.0f);
  active.store(false, std::memory_order_relaxed);
  for (int i = 0; i < kParamCount; ++i) applied[i] = 0;
  masterVolume = oscAPulse = cutoffLevel = envAmount = 0.0f;
  lfo1Targets = lfo2Targets = 0;
  lfo1Amount = lfo2Amount = 0.0f;
  weightA = weightB = subLevel = 0.0f;
  oscBRatio = 1.0;
  lfo1Powers.Init();
  lfo2Powers.Init();
  lfo1Entry = lfo2Entry = 0;

  EnsureTablesBuilt();
  oscA.Init();
  oscB.Init();
  sub.Init();
  sub.SetPulse(0.5f);
  lfo1.Init();
  lfo2.Init();
  filter.Init();
  ampEnv.Init();
  fltEnv.Init();
  controlCountdown = 0;
  lfo1Value = lfo2Value = 0.0f;
  baseFrequency = 0.0f;
  ApplyPitch(440.0f);
  for (int i = 0; i < kParamCount; ++i) ApplyParam(i, kVoiceParams[i].defaultValue);
}

bool CSynthVoice::IsActive() {
  // A queued NoteOn counts: the caller sees the state its own calls have made.
  return calls.HasPendingStart() || active.load(std::memory_order_acquire);
}

int CSynthVoice::GetParamCount() { return kParamCount; }

ParamValue CSynthVoice::GetParam(int index) { return calls.GetParam(index); }

void CSynthVoice::SetParam(int index, ParamValue value) { calls.SetParam(index, value); }

void CSynthVoice::NoteOn() { calls.Start(); }

void CSynthVoice::NoteOff() { calls.Stop(); }

void CSynthVoice::SetFrequency(float hz) { calls.SetPitch(hz); }

void CSynthVoice::ApplyStart() {
  ampEnv.GateOn();
  fltEnv.GateOn();
  lfo1.ResetPhase();
  lfo2.ResetPhase();
  active.store(true, std::memory_order_release);
}

void CSynthVoice::ApplyStop() {
  ampEnv.GateOff();
  fltEnv.GateOff();
}

void CSynthVoice::ApplyPitch(float hz) {
  baseFrequency = hz;
  UpdateFrequencies();
}

void CSynthVoice::ApplyParam(int index, ParamValue v) {
  applied[index] = v;
  switch (index) {
    case kMasterVolume:
      masterVolume = Scaled(v, kPercent);
      break;
    case kOscAPulse:
      oscAPulse = Scaled(v, kPercent);
      oscA.SetPulse(oscAPulse);
      break;
    case kOscAWave:
      oscA.SetWaveform(v);
      break;
    case kOscBPulse:
      oscB.SetPulse(Scaled(v, kPercent));
      break;
    case kOscBWave:
      oscB.SetWaveform(v);
      break;
    case kOscBTune:
    case kOscBFine:
      UpdateOscBRatio();
      UpdateFrequencies();
      break;
    case kOscMix:
      weightB = static_cast<float>((v + 100) * kHalfPercent);
      weightA = static_cast<float>(1.0 - static_cast<double>(weightB));
      break;
    case kSubWave:
      sub.SetWaveform(v);
      break;
    case kSubLevel:
      subLevel = Scaled(v, kPercent);
      break;
    case kAmpAttack:
      ampEnv.SetAttack(v);
      break;
    case kAmpDecay:
      ampEnv.SetDecay(v);
      break;
    case kAmpSustain:
      ampEnv.SetSustain(v);
      break;
    case kAmpLevel:
      ampEnv.SetLevel(Scaled(v, kPercent));
      break;
    case kAmpRelease:
      ampEnv.SetRelease(v);
      break;
    case kFltAttack:
      fltEnv.SetAttack(v);
      break;
    case kFltDecay:
      fltEnv.SetDecay(v);
      break;
    case kFltSustain:
      fltEnv.SetSustain(v);
      break;
    case kFltLevel:
      fltEnv.SetLevel(Scaled(v, kPercent));
      break;
    case kFltRelease:
      fltEnv.SetRelease(v);
      break;
    case kFltEnvAmount:
      envAmount = Scaled(v, 0.0078125);
      break;
    case kFilterType:
      filter.mode = v;
      break;
    case kCutoff:
      cutoffLevel = Scaled(v, kCutoffScale);
      break;
    case kLfo1Pulse:
      lfo1.SetPulse(Scaled(v, kPercent));
      break;
    case kLfo1Wave:
      lfo1.SetWaveform(v);
      break;
    case kLfo1Targets:
      lfo1Targets = v;
      oscA.SetPulse(oscAPulse);
      UpdateFrequencies();
      break;
    case kLfo1Rate:
      lfo1.SetFrequency(g_lfoRateTable[std::clamp<int>(v, 0, kLfoRateCount - 1)]);
      break;
    case kLfo1Amount:
      lfo1Amount = Scaled(v, kPercent);
      break;
    case kLfo2Pulse:
      lfo2.SetPulse(Scaled(v, kPercent));
      break;
    case kLfo2Wave:
      lfo2.SetWaveform(v);
      break;
    case kLfo2Targets:
      lfo2Targets = v;
      oscA.SetPulse(oscAPulse);
      UpdateFrequencies();
      break;
    case kLfo2Rate:
      lfo2.SetFrequency(g_lfoRateTable[std::clamp<int>(v, 0, kLfoRateCount - 1)]);
      break;
    case kLfo2Amount:
      lfo2Amount = Scaled(v, kPercent);
      break;
    default:
      // kOscSync is read at every control block; the effect settings are the panel's business.
      break;
  }
}

void CSynthVoice::UpdateOscBRatio() {
  // The cents are rounded to single precision before they join the semitones.
  const float cents = Scaled(applied[kOscBFine], kPercent);
  const double semitones = static_cast<double>(applied[kOscBTune]) + static_cast<double>(cents);
  oscBRatio = std::pow(2.0, semitones * kOneTwelfth);
}

void CSynthVoice::UpdateFrequencies() {
  UpdateModulatedFrequency();
  // Oscillator B follows the played pitch only: no LFO bends it.
  oscB.SetFrequency(static_cast<float>(static_cast<double>(baseFrequency) * oscBRatio));
  sub.SetFrequency(static_cast<float>(static_cast<double>(baseFrequency) * 0.5));
}

void CSynthVoice::UpdateModulatedFrequency() {
  float f = baseFrequency;
  if (lfo1Targets & kTargetDetune) {
    const double exponent = static_cast<double>(lfo1Value) * static_cast<double>(lfo1Amount);
    f = static_cast<float>(static_cast<double>(f) * lfo1Powers.PowerOfTwo(exponent, lfo1Entry));
  }
  if (lfo2Targets & kTargetDetune) {
    const double exponent = static_cast<double>(lfo2Value) * static_cast<double>(lfo2Amount);
    f = static_cast<float>(static_cast<double>(f) * lfo2Powers.PowerOfTwo(exponent, lfo2Entry));
  }
  oscA.SetFrequency(f);
}

void CSynthVoice::MixOscillators(StereoFrame* frames, int n) {
  double vol = masterVolume;
  if (lfo1Targets & kTargetVolume) vol = vol + static_cast<double>(lfo1Value) * static_cast<double>(lfo1Amount);
  if (lfo2Targets & kTargetVolume) vol = vol + static_cast<double>(lfo2Value) * static_cast<double>(lfo2Amount);
  // A negative sum sounds as loud as its magnitude.
  double a = std::fabs(static_cast<double>(static_cast<float>(vol)));
  if (a > 1.0) a = 1.0;
  const double g = static_cast<double>(ampEnv.GetValue()) * a;
  const double gA = static_cast<float>(g * static_cast<double>(weightA));
  const double gB = static_cast<float>(g * static_cast<double>(weightB));
  const double gS = static_cast<float>(g * static_cast<double>(subLevel));
  // Each frame's mix is rounded to float, as if stored in the frame, and filtered at once.
  if (applied[kOscSync] != 0) {
    filter.ProcessFrom(frames, n, [&](int) {
      const std::uint32_t before = oscA.GetPhase();
      const double sA = oscA.Tick();
      // Hard sync: B restarts on the frame in which A's phase wraps.
      if (oscA.GetPhase() < before) oscB.ResetPhase();
      const double sB = oscB.Tick();
      const double sS = sub.Tick();
      return static_cast<float>(sA * gA + sB * gB + sS * gS);
    });
  } else {
    filter.ProcessFrom(frames, n, [&](int) {
      const double sA = oscA.Tick();
      const double sB = oscB.Tick();
      const double sS = sub.Tick();
      return static_cast<float>(sA * gA + sB * gB + sS * gS);
    });
  }
}

void CSynthVoice::UpdateControls(int len) {
  ampEnv.Advance(static_cast<std::uint32_t>(len));
  fltEnv.Advance(static_cast<std::uint32_t>(len));
  float x = static_cast<float>(std::fabs(static_cast<double>(fltEnv.GetValue()) * static_cast<double>(envAmount) +
                                         static_cast<double>(cutoffLevel)));
  if (x > 1.0f) x = 1.0f;
  filter.cutoff = static_cast<float>(static_cast<double>(x) * 8000.0 + 20.0);
  lfo1Entry = lfo1.GetPhase() >> 22;
  lfo1Value = lfo1.TickBlock(len);
  lfo2Entry = lfo2.GetPhase() >> 22;
  lfo2Value = lfo2.TickBlock(len);
  const std::int32_t targets = lfo1Targets | lfo2Targets;
  // Oscillator B and the sub only follow the played pitch, which no control block changes.
  if (targets & kTargetDetune) UpdateModulatedFrequency();
  if (targets & kTargetPulse) {
    double m = 1.0;
    if (lfo1Targets & kTargetPulse) m = static_cast<double>(lfo1Amount) * static_cast<double>(lfo1Value);
    if (lfo2Targets & kTargetPulse) m = m * (static_cast<double>(lfo2Amount) * static_cast<double>(lfo2Value));
    // With both LFOs on the pulse the two modulations multiply.
    oscA.SetPulse(static_cast<float>((m + 1.0) * 0.5));
  }
}

StereoFrame* CSynthVoice::Render(StereoFrame* frames, int count) {
  calls.Replay(*this);
  if (ampEnv.GetStage() == CEnvelope::kIdle) {
    oscA.ResetPhase();
    oscB.ResetPhase();
    active.store(false, std::memory_order_release);
    return count > 0 ? frames + count : frames;
  }
  if (count < 1) return frames;
  StereoFrame* block = frames;
  int remaining = count;
  while (remaining > 0) {
    if (block != frames) calls.Replay(*this);
    if (controlCountdown == 0) controlCountdown = kControlBlock;
    const int len = controlCountdown < remaining ? controlCountdown : remaining;
    MixOscillators(block, len);
    UpdateControls(len);
    controlCountdown -= len;
    block += len;
    remaining -= len;
  }
  active.store(ampEnv.GetStage() != CEnvelope::kIdle, std::memory_order_release);
  return frames + count;
}
