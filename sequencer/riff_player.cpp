// The riff player: tempo, step triggering, and rendering the voice in stretches cut at step
// boundaries, so that a step's note starts on its exact frame, also in the middle of a block.
#include "sequencer/riff_player.h"

#include <cmath>

#include "engine/sample_rate.h"
#include "engine/synth_voice.h"

CRiffPlayer* g_riffPlayer = nullptr;

static_assert(CRiffPlayer::kParamCount == kRiffParamCount);

void CRiffPlayer::Init() {
  calls.Init(kRiffParams, 0.0f);
  voice.store(nullptr, std::memory_order_relaxed);
  playing = false;
  samplesLeft = 0;
  samplesPerStep = 1;
  step = 0;
  ownClockHeld = false;
  markedStep = CStepTimeline::kNoStep;
  timeline.Init();
  for (int i = 0; i < kParamCount; ++i) ApplyParam(i, kRiffParams[i].defaultValue);
  ApplyStop();
}

bool CRiffPlayer::IsActive() { return calls.IsStarted(); }

int CRiffPlayer::GetParamCount() { return kParamCount; }

ParamValue CRiffPlayer::GetParam(int index) { return calls.GetParam(index); }

void CRiffPlayer::SetParam(int index, ParamValue value) { calls.SetParam(index, value); }

void CRiffPlayer::Play() { calls.Start(); }

void CRiffPlayer::Stop() { calls.Stop(); }

void CRiffPlayer::Attach(CSynthVoice* target) { voice.store(target, std::memory_order_release); }

void CRiffPlayer::ApplyParam(int index, ParamValue value) {
  applied[index] = value;
  if (index != kBpm) return;
  // A tempo of 0 or below can only come from a file; it plays as the slowest tempo, 1.
  const int bpm = value < 1 ? 1 : value;
  // A minute's frames over four steps a beat: one step is a sixteenth note.
  samplesPerStep = static_cast<std::uint32_t>(kSampleRate * 60 / (bpm * 4));
  if (samplesLeft >= samplesPerStep) samplesLeft = 0;
}

void CRiffPlayer::ApplyStart() { playing = true; }

void CRiffPlayer::ApplyStop() {
  playing = false;
  step = 0;
  samplesLeft = 0;
}

float CRiffPlayer::RiffNoteFrequency(int note) {
  const int n = note < 1 ? 1 : (note > 96 ? 96 : note);
  // 1/12 rounded to single precision.
  return static_cast<float>(440.0 * std::pow(2.0, (n - 36) * static_cast<double>(0.083333336f)));
}

void CRiffPlayer::TriggerStep(CSynthVoice* target, std::uint32_t offset) {
  timeline.Mark(offset, step);
  markedStep = step;
  if (target != nullptr && applied[kStepGate0 + step] != 0) {
    target->SetFrequency(RiffNoteFrequency(applied[kStepNote0 + step] + applied[kTranspose]));
    target->NoteOn();
  }
  step = step + 1 == kRiffSteps ? 0 : step + 1;
  samplesLeft = samplesPerStep;
}

void CRiffPlayer::PlayStepNow(int at) {
  calls.Replay(*this);
  step = (at % kRiffSteps + kRiffSteps) % kRiffSteps;
  TriggerStep(voice.load(std::memory_order_acquire), 0);
}

void CRiffPlayer::HoldOwnClock(bool held) {
  ownClockHeld = held;
  if (markedStep != CStepTimeline::kNoStep) {
    timeline.Mark(0, CStepTimeline::kNoStep);
    markedStep = CStepTimeline::kNoStep;
  }
}

StereoFrame* CRiffPlayer::Render(StereoFrame* frames, int count) {
  calls.Replay(*this);
  CSynthVoice* target = voice.load(std::memory_order_acquire);
  if (!playing || ownClockHeld) {
    // Steps placed by an outside clock stay marked until that clock lets go or stops.
    if (markedStep != CStepTimeline::kNoStep && !ownClockHeld) {
      timeline.Mark(0, CStepTimeline::kNoStep);
      markedStep = CStepTimeline::kNoStep;
    }
    if (target != nullptr) target->Render(frames, count);
    if (count <= 0) return frames;
    timeline.Advance(static_cast<std::uint32_t>(count));
    return frames + count;
  }
  const std::uint32_t total = count > 0 ? static_cast<std::uint32_t>(count) : 0;
  while (count > 0) {
    if (samplesLeft == 0) TriggerStep(target, total - static_cast<std::uint32_t>(count));
    std::uint32_t len;
    if (samplesLeft < static_cast<std::uint32_t>(count)) {
      len = samplesLeft;
      samplesLeft = 0;
    } else {
      len = static_cast<std::uint32_t>(count);
      samplesLeft -= len;
    }
    if (target != nullptr) target->Render(frames, static_cast<int>(len));
    count -= static_cast<int>(len);
    frames += len;
  }
  if (total > 0) timeline.Advance(total);
  return frames;
}
