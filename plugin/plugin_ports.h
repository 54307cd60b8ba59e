// The plugin's ports, worked out from the voice's and the riff player's parameter tables: the one
// list that both the plugin and the generator of its Turtle description read, so a parameter is
// described in exactly one place. Port order: the event input, the audio output, the latency
// report, Play, Follow host, then every voice parameter in index order (each LFO target mask as
// four toggles, one per bit), every riff parameter the riff panel edits (all but the two
// reserved values), and last the step being heard, for the plugin window's step light; a port
// added later goes after them all, so that saved sessions find every port where they left it.
#pragma once

#include <array>

#include "engine/param_info.h"
#include "engine/voice_params.h"
#include "sequencer/riff_params.h"

enum class PortKind { kEvents, kAudioOut, kLatency, kPlay, kFollowHost, kVoiceParam, kTargetBit, kRiffParam, kStep };

// How a parameter port is shown: a plain integer, a choice among named values, or a switch.
enum class PortStyle { kInteger, kEnumeration, kToggle };

struct PluginPort {
  PortKind kind;
  // The voice or riff parameter the port sets (for the target bits, the mask).
  int param;
  // For target bits: the bit of the mask.
  int bit;
  const char* symbol;
};

struct TargetBitPort {
  int mask;
  int bit;
  const char* symbol;
  const char* label;
};

// The LFO targets, in the order of the synth panel's check boxes.
inline constexpr TargetBitPort kTargetBitPorts[] = {
    {kLfo1Targets, kTargetDetune, "Lfo1ToDetune", "LFO 1 to detune"},
    {kLfo1Targets, kTargetPulse, "Lfo1ToPulse", "LFO 1 to pulse"},
    {kLfo1Targets, kTargetVolume, "Lfo1ToVolume", "LFO 1 to volume"},
    {kLfo1Targets, kTargetCutoff, "Lfo1ToCutoff", "LFO 1 to cutoff"},
    {kLfo2Targets, kTargetDetune, "Lfo2ToDetune", "LFO 2 to detune"},
    {kLfo2Targets, kTargetPulse, "Lfo2ToPulse", "LFO 2 to pulse"},
    {kLfo2Targets, kTargetVolume, "Lfo2ToVolume", "LFO 2 to volume"},
    {kLfo2Targets, kTargetCutoff, "Lfo2ToCutoff", "LFO 2 to cutoff"},
};

inline constexpr const char* kWaveformLabels[] = {"Saw", "Square", "Sine", "Noise"};
inline constexpr const char* kFilterLabels[] = {"Low-pass", "Band-pass", "High-pass", "Off"};

// The synth panel's radio-button groups become enumerations; parameters whose range is 0 to 1 (the
// sync and step-gate check boxes) become toggles.
constexpr PortStyle StyleOfVoiceParam(int param) {
  switch (param) {
    case kOscAWave:
    case kOscBWave:
    case kSubWave:
    case kLfo1Wave:
    case kLfo2Wave:
    case kFilterType:
      return PortStyle::kEnumeration;
    default:
      return kVoiceParams[param].minimum == 0 && kVoiceParams[param].maximum == 1 ? PortStyle::kToggle
                                                                                 : PortStyle::kInteger;
  }
}

constexpr PortStyle StyleOfRiffParam(int param) {
  return kRiffParams[param].minimum == 0 && kRiffParams[param].maximum == 1 ? PortStyle::kToggle
                                                                           : PortStyle::kInteger;
}

constexpr bool IsRiffPortParam(int param) { return param != kRiffReserved0 && param != kRiffReserved3; }

constexpr int CountPluginPorts() {
  int count = 5 + kVoiceParamCount - 2 + static_cast<int>(std::size(kTargetBitPorts));
  for (int p = 0; p < kRiffParamCount; ++p) count += IsRiffPortParam(p) ? 1 : 0;
  return count + 1;
}

inline constexpr int kPluginPortCount = CountPluginPorts();
inline constexpr int kEventsPort = 0;
inline constexpr int kAudioOutPort = 1;
inline constexpr int kLatencyPort = 2;
inline constexpr int kPlayPort = 3;
inline constexpr int kFollowHostPort = 4;
inline constexpr int kStepPort = kPluginPortCount - 1;

constexpr std::array<PluginPort, kPluginPortCount> MakePluginPorts() {
  std::array<PluginPort, kPluginPortCount> ports{};
  int n = 0;
  ports[n++] = {PortKind::kEvents, -1, 0, "control"};
  ports[n++] = {PortKind::kAudioOut, -1, 0, "out"};
  ports[n++] = {PortKind::kLatency, -1, 0, "latency"};
  ports[n++] = {PortKind::kPlay, -1, 0, "Play"};
  ports[n++] = {PortKind::kFollowHost, -1, 0, "FollowHost"};
  for (int p = 0; p < kVoiceParamCount; ++p) {
    if (p == kLfo1Targets || p == kLfo2Targets) {
      for (const TargetBitPort& t : kTargetBitPorts) {
        if (t.mask == p) ports[n++] = {PortKind::kTargetBit, p, t.bit, t.symbol};
      }
    } else {
      ports[n++] = {PortKind::kVoiceParam, p, 0, kVoiceParams[p].name};
    }
  }
  for (int p = 0; p < kRiffParamCount; ++p) {
    if (IsRiffPortParam(p)) ports[n++] = {PortKind::kRiffParam, p, 0, kRiffParams[p].name};
  }
  ports[n++] = {PortKind::kStep, -1, 0, "Step"};
  return ports;
}

inline constexpr std::array<PluginPort, kPluginPortCount> kPluginPorts = MakePluginPorts();

inline constexpr const char* kPluginUri = "https://quembrel.org/lv2/quembrel";
// The plugin window (ui/lv2/), a shared object of its own beside the plugin's.
inline constexpr const char* kPluginUiUri = "https://quembrel.org/lv2/quembrel#ui";
