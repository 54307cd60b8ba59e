// The 16-step sequencer that plays the voice: tempo, transposition, and a note and a gate per step.
//
// Threads: SetParam, Play, Stop and LoadParams may be called from any thread while another
// renders. They store what the caller reads back at once (GetParam, IsActive) and queue the
// change (engine/call_queue.h); Render replays the queue in call order before it plays anything,
// so a host that makes its calls and then renders on one thread gets exactly the immediate result,
// and the step counters are only ever touched by the rendering thread: it always sees a step
// length of at least 1 and a step within 0 to 15. The voice's calls made from Render go through
// the voice's own queue and take effect at the start of the voice Render that follows them.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/call_queue.h"
#include "engine/sound_module.h"
#include "sequencer/riff_params.h"
#include "sequencer/step_timeline.h"

class CSynthVoice;

class CRiffPlayer : public CSoundModule {
 public:
  static constexpr int kParamCount = 36;

  void Init() override;
  bool IsActive() override;
  StereoFrame* Render(StereoFrame* frames, int count) override;
  int GetParamCount() override;
  ParamValue GetParam(int index) override;
  void SetParam(int index, ParamValue value) override;

  void Play();
  void Stop();
  void Attach(CSynthVoice* voice);
  // Rendering thread only, for a host whose own clock places the steps: replays the queued calls,
  // then plays step `at` (taken modulo 16) as the player's own clock would, so the note starts at
  // the first frame of the next Render. The player's own clock stays as it is.
  void PlayStepNow(int at);
  // Rendering thread only, for a host whose own clock takes the riff over for a while: while on,
  // the player's own clock places no steps, only PlayStepNow does; Play and Stop are still taken
  // and rule again once it is off, the own clock going on from where it was held. Each call ends
  // the step the timeline shows, so a clock that stops leaves no step lit.
  void HoldOwnClock(bool held);

  // The rendering side's state, for tests and single-threaded hosts: read it only from the thread
  // that renders. Render (frames, 0) brings it up to date with every call made before.
  bool IsPlaying() const { return playing; }
  std::uint32_t GetSamplesLeft() const { return samplesLeft; }
  std::uint32_t GetSamplesPerStep() const { return samplesPerStep; }
  int GetStep() const { return step; }

  // Which step sounded at which frame this player rendered; any thread may read it.
  const CStepTimeline& Timeline() const { return timeline; }

  // The pitch of a note number, clamped to 1 .. 96; note 36 is 440 Hz.
  static float RiffNoteFrequency(int note);

 private:
  static constexpr std::uint32_t kQueueCapacity = 1024;
  using CallQueue = CCallQueue<kParamCount, kQueueCapacity>;
  friend CallQueue;

  void ApplyParam(int index, ParamValue value);
  void ApplyStart();
  void ApplyStop();
  void TriggerStep(CSynthVoice* target, std::uint32_t offset);

  CallQueue calls;
  bool playing = false;
  std::uint32_t samplesLeft = 0;
  std::uint32_t samplesPerStep = 1;
  std::int32_t step = 0;
  bool ownClockHeld = false;
  // The step the timeline was last told of, kNoStep when stopped.
  int markedStep = CStepTimeline::kNoStep;
  CStepTimeline timeline;
  std::atomic<CSynthVoice*> voice{nullptr};

  // The parameter values as the rendering side has applied them so far.
  ParamValue applied[kParamCount] = {};
};

// Created by the synth panel's start-up (or a host such as the offline renderer); never deleted.
extern CRiffPlayer* g_riffPlayer;
