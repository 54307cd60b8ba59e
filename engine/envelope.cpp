// Envelope stage arithmetic. Times become sample counts that wrap as unsigned 32-bit numbers, so a
// negative time from a file lasts 2^32 minus its magnitude in samples instead of misbehaving.
#include "engine/envelope.h"

#include "engine/sample_rate.h"
#include "engine/truncate.h"

namespace {

std::uint32_t MsToSamples(float ms) { return TruncateToLow32(MsToFrames(ms)); }

float StepFor(std::uint32_t samples) {
  return samples == 0 ? 0.0f : static_cast<float>(1.0 / static_cast<double>(samples));
}

}  // namespace

void CEnvelope::Init() {
  stage = kIdle;
  position = 0;
  length = 0;
  attackSamples = 0;
  decaySamples = 0;
  sustainSamples = 0xFFFFFFFFu;
  level = 0.0f;
  releaseSamples = 0;
  attackStep = 0.0f;
  decayStep = 0.0f;
  releaseStep = 0.0f;
  value = 0.0f;
  slope = 0.0f;
  offset = 0.0f;
}

void CEnvelope::SetAttack(float ms) {
  attackSamples = MsToSamples(ms);
  attackStep = StepFor(attackSamples);
}

void CEnvelope::SetDecay(float ms) {
  decaySamples = MsToSamples(ms);
  decayStep = StepFor(decaySamples);
}

void CEnvelope::SetSustain(float ms) {
  sustainSamples = MsToSamples(ms);
  // A sustain time of 0 holds the level for about 27 hours, that is, until the gate closes.
  if (sustainSamples == 0) sustainSamples = 0xFFFFFFFFu;
}

void CEnvelope::SetLevel(float newLevel) { level = newLevel; }

void CEnvelope::SetRelease(float ms) {
  releaseSamples = MsToSamples(ms);
  releaseStep = StepFor(releaseSamples);
}

void CEnvelope::GateOn() {
  stage = kAttack;
  position = 0;
  length = attackSamples;
  offset = value;
  slope = static_cast<float>((1.0 - static_cast<double>(value)) * static_cast<double>(attackStep));
}

void CEnvelope::GateOff() {
  if (stage == kIdle) return;
  stage = kRelease;
  position = 0;
  length = releaseSamples;
  offset = value;
  slope = static_cast<float>(-(static_cast<double>(value) * static_cast<double>(releaseStep)));
}

void CEnvelope::Advance(std::uint32_t n) {
  if (stage == kIdle) return;
  position += n;
  while (position >= length && stage != kIdle) {
    position -= length;
    EnterStage(stage + 1);
  }
  value = static_cast<float>(static_cast<double>(position) * static_cast<double>(slope) +
                             static_cast<double>(offset));
}

void CEnvelope::EnterStage(int next) {
  stage = next;
  switch (next) {
    case kDecay:
      length = decaySamples;
      offset = 1.0f;
      slope = static_cast<float>(-((1.0 - static_cast<double>(level)) * static_cast<double>(decayStep)));
      break;
    case kSustain:
      length = sustainSamples;
      offset = level;
      slope = 0.0f;
      break;
    case kRelease:
      length = releaseSamples;
      offset = level;
      slope = static_cast<float>(-(static_cast<double>(releaseStep) * static_cast<double>(level)));
      break;
    default:
      offset = 0.0f;
      slope = 0.0f;
      break;
  }
}
