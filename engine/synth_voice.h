// The one monophonic subtractive voice: oscillators A and B, a sub-oscillator an octave down, two
// LFOs, an amplitude and a filter envelope with timed sustain, and the multimode filter.
//
// Threads: SetParam, NoteOn, NoteOff, SetFrequency and LoadParams may be called from any thread
// while another renders. They store what the caller can read back at once (GetParam, IsActive)
// and queue the change (engine/call_queue.h); Render replays the queue in call order at its start
// and before every control block, so a change sounds from the next control block on, and a host
// that makes its calls and then renders on one thread hears exactly the immediate result of each
// call. Render never waits: the queue is lock-free and nothing in it allocates. Only the rendering
// thread touches the oscillators, envelopes and filter.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/call_queue.h"
#include "engine/envelope.h"
#include "engine/multi_filter.h"
#include "engine/oscillator.h"
#include "engine/power_cache.h"
#include "engine/sound_module.h"
#include "engine/voice_params.h"

class CSynthVoice : public CSoundModule {
 public:
  static constexpr int kParamCount = 37;
  // Frames per control block: envelopes, LFOs, cutoff and modulation are updated this often.
  static constexpr int kControlBlock = 8;

  void Init() override;
  bool IsActive() override;
  StereoFrame* Render(StereoFrame* frames, int count) override;
  int GetParamCount() override;
  ParamValue GetParam(int index) override;
  void SetParam(int index, ParamValue value) override;

  void NoteOn();
  void NoteOff();
  void SetFrequency(float hz);

  // The rendering side's state, for tests and single-threaded hosts: read it only from the thread
  // that renders. Render (frames, 0) brings it up to date with every call made before.
  const COscillator& GetOscA() const { return oscA; }
  const COscillator& GetOscB() const { return oscB; }
  const COscillator& GetSub() const { return sub; }
  const COscillator& GetLfo1() const { return lfo1; }
  const COscillator& GetLfo2() const { return lfo2; }
  const CEnvelope& GetAmpEnv() const { return ampEnv; }
  const CEnvelope& GetFltEnv() const { return fltEnv; }
  const CMultiFilter& GetFilter() const { return filter; }
  float GetMasterVolume() const { return masterVolume; }
  float GetWeightA() const { return weightA; }
  float GetWeightB() const { return weightB; }
  float GetLfo1Value() const { return lfo1Value; }
  float GetLfo2Value() const { return lfo2Value; }
  float GetBaseFrequency() const { return baseFrequency; }
  int GetControlCountdown() const { return controlCountdown; }

 private:
  // Far more calls than a user or a preset load makes between two device blocks.
  static constexpr std::uint32_t kQueueCapacity = 4096;
  using CallQueue = CCallQueue<kParamCount, kQueueCapacity>;
  friend CallQueue;

  void ApplyParam(int index, ParamValue value);
  void ApplyPitch(float hz);
  void ApplyStart();
  void ApplyStop();
  void UpdateOscBRatio();
  void UpdateFrequencies();
  void UpdateModulatedFrequency();
  // Mixes one control block of the three oscillators and runs it through the filter.
  void MixOscillators(StereoFrame* frames, int n);
  void UpdateControls(int len);

  CallQueue calls;
  float masterVolume = 0.0f;
  COscillator oscA;
  COscillator oscB;
  COscillator sub;
  COscillator lfo1;
  COscillator lfo2;
  CEnvelope ampEnv;
  CEnvelope fltEnv;
  CMultiFilter filter;
  float oscAPulse = 0.0f;
  float cutoffLevel = 0.0f;
  float envAmount = 0.0f;
  std::int32_t lfo1Targets = 0;
  float lfo1Amount = 0.0f;
  float lfo1Value = 0.0f;
  std::int32_t lfo2Targets = 0;
  float lfo2Amount = 0.0f;
  float lfo2Value = 0.0f;
  float baseFrequency = 0.0f;
  float weightA = 0.0f;
  float weightB = 0.0f;
  float subLevel = 0.0f;
  std::int32_t controlCountdown = 0;

  // The parameter values as the rendering side has applied them so far.
  ParamValue applied[kParamCount] = {};
  // 2^((tune + fine) / 12), worked out when the tuning changes rather than at every block.
  double oscBRatio = 1.0;
  CPowerCache lfo1Powers;
  CPowerCache lfo2Powers;
  // The table entry each LFO value was read from: it picks the cache slot.
  std::uint32_t lfo1Entry = 0;
  std::uint32_t lfo2Entry = 0;
  std::atomic<bool> active{false};
};

// Created by the synth panel's start-up (or a host such as the offline renderer); never deleted.
extern CSynthVoice* g_voice;
