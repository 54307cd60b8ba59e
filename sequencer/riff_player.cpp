// The riff player: tempo, step triggering, and rendering the voice in stretches cut at step
// boundaries, so that a step's note starts on its exact frame, also in the middle of a block.
#include "sequencer/riff_player.h"

#include <cmath>

#include "engine/sample_rate.h"
#include "engine/synth_voice.h"

CRiffPlayer* g_riffPlayer = nullptr;

static_assert(CRiffPlayer::kParamCount == kRiffParamCount);

CRiffPlayer::CRiffPlayer() {
  for (auto& p : params) p.store(0, std::memory_order_relaxed);
}

void CRiffPlayer::Init() {
  events.Init();
  overflowed.store(false, std::memory_order_relaxed);
  lostStop.store(false, std::memory_order_relaxed);
  voice.store(nullptr, std::memory_order_relaxed);
  playing = false;
  samplesLeft = 0;
  samplesPerStep = 1;
  step = 0;
  markedStep = CStepTimeline::kNoStep;
  timeline.Init();
  for (int i = 0; i < kParamCount; ++i) {
    params[i].store(kRiffParams[i].defaultValue, std::memory_order_relaxed);
    ApplyParam(i, kRiffParams[i].defaultValue);
  }
  playRequested.store(false, std::memory_order_relaxed);
  ApplyStop();
}

bool CRiffPlayer::IsActive() { return playRequested.load(std::memory_order_relaxed); }

int CRiffPlayer::GetParamCount() { return kParamCount; }

ParamValue CRiffPlayer::GetParam(int index) {
  if (index < 0 || index >= kParamCount) return 0;
  return params[index].load(std::memory_order_relaxed);
}

void CRiffPlayer::SetParam(int index, ParamValue value) {
  if (index < 0 || index >= kParamCount) return;
  params[index].store(value, std::memory_order_relaxed);
  Post({kSetParamEvent, static_cast<std::uint8_t>(index), value});
}

void CRiffPlayer::Play() {
  playRequested.store(true, std::memory_order_relaxed);
  Post({kPlayEvent, 0, 0});
}

void CRiffPlayer::Stop() {
  playRequested.store(false, std::memory_order_relaxed);
  Post({kStopEvent, 0, 0});
}

void CRiffPlayer::Attach(CSynthVoice* target) { voice.store(target, std::memory_order_release); }

void CRiffPlayer::Post(const Event& event) {
  if (events.Push(event)) return;
  if (event.kind == kStopEvent) lostStop.store(true, std::memory_order_relaxed);
  overflowed.store(true, std::memory_order_release);
}

void CRiffPlayer::ApplyPending() {
  // Calls lost to a full queue are made up from the stored values, but only once every call
  // queued before the loss has been replayed: replayed after the catch-up, they would undo it.
  const bool lostCalls =
      overflowed.load(std::memory_order_relaxed) && overflowed.exchange(false, std::memory_order_acquire);
  // Bounded: a thread that keeps posting cannot hold the rendering thread here.
  Event event;
  for (std::uint32_t i = 0; i < kQueueCapacity && events.Pop(event); ++i) {
    switch (event.kind) {
      case kSetParamEvent:
        ApplyParam(event.index, event.value);
        break;
      case kPlayEvent:
        playing = true;
        break;
      case kStopEvent:
        ApplyStop();
        break;
    }
  }
  if (!lostCalls) return;
  if (!events.IsDrained()) {
    overflowed.store(true, std::memory_order_relaxed);
    return;
  }
  for (int i = 0; i < kParamCount; ++i) ApplyParam(i, params[i].load(std::memory_order_relaxed));
  if (lostStop.exchange(false, std::memory_order_relaxed)) ApplyStop();
  playing = playRequested.load(std::memory_order_relaxed);
}

void CRiffPlayer::ApplyParam(int index, ParamValue value) {
  applied[index] = value;
  if (index != kBpm) return;
  // A tempo of 0 or below can only come from a file; it plays as the slowest tempo, 1.
  const int bpm = value < 1 ? 1 : value;
  // A minute's frames over four steps a beat: one step is a sixteenth note.
  samplesPerStep = static_cast<std::uint32_t>(kSampleRate * 60 / (bpm * 4));
  if (samplesLeft >= samplesPerStep) samplesLeft = 0;
}

void CRiffPlayer::ApplyStop() {
  playing = false;
  step = 0;
  samplesLeft = 0;
}

float CRiffPlayer::NoteFrequency(int note) {
  const int n = note < 1 ? 1 : (note > 96 ? 96 : note);
  // 1/12 rounded to single precision.
  return static_cast<float>(440.0 * std::pow(2.0, (n - 36) * static_cast<double>(0.083333336f)));
}

void CRiffPlayer::TriggerStep(CSynthVoice* target, std::uint32_t offset) {
  timeline.Mark(offset, step);
  markedStep = step;
  if (target != nullptr && applied[kStepGate0 + step] != 0) {
    target->SetFrequency(NoteFrequency(applied[kStepNote0 + step] + applied[kTranspose]));
    target->NoteOn();
  }
  step = step + 1 == kRiffSteps ? 0 : step + 1;
  samplesLeft = samplesPerStep;
}

void CRiffPlayer::PlayStepNow(int at) {
  ApplyPending();
  step = (at % kRiffSteps + kRiffSteps) % kRiffSteps;
  TriggerStep(voice.load(std::memory_order_acquire), 0);
}

StereoFrame* CRiffPlayer::Render(StereoFrame* frames, int count) {
  ApplyPending();
  CSynthVoice* target = voice.load(std::memory_order_acquire);
  if (!playing) {
    if (markedStep != CStepTimeline::kNoStep) {
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
