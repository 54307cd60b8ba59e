// A five-stage envelope of straight segments (attack, decay, sustain, release, idle) whose sustain
// has a duration: when it runs out the envelope releases by itself, and only a sustain time of 0
// holds until the gate closes. The voice advances it once per control block; the value is worked
// out from the position within the stage, never accumulated, so no rounding error builds up.
#pragma once

#include <cstdint>

class CEnvelope {
 public:
  enum Stage : int { kAttack = 0, kDecay = 1, kSustain = 2, kRelease = 3, kIdle = 4 };

  CEnvelope() = default;
  CEnvelope(const CEnvelope&) = delete;
  CEnvelope& operator=(const CEnvelope&) = delete;

  void Init();
  void SetAttack(float ms);
  void SetDecay(float ms);
  void SetSustain(float ms);
  void SetLevel(float newLevel);
  void SetRelease(float ms);
  void GateOn();
  void GateOff();
  void Advance(std::uint32_t n);

  int GetStage() const { return stage; }
  float GetValue() const { return value; }
  std::uint32_t GetPosition() const { return position; }
  std::uint32_t GetLength() const { return length; }
  float GetSlope() const { return slope; }
  std::uint32_t GetAttackSamples() const { return attackSamples; }
  std::uint32_t GetDecaySamples() const { return decaySamples; }
  std::uint32_t GetSustainSamples() const { return sustainSamples; }
  std::uint32_t GetReleaseSamples() const { return releaseSamples; }

 private:
  void EnterStage(int next);

  int stage = kIdle;
  std::uint32_t position = 0;
  std::uint32_t length = 0;
  std::uint32_t attackSamples = 0;
  std::uint32_t decaySamples = 0;
  std::uint32_t sustainSamples = 0;
  float level = 0.0f;
  std::uint32_t releaseSamples = 0;
  float attackStep = 0.0f;
  float decayStep = 0.0f;
  float releaseStep = 0.0f;
  float value = 0.0f;
  float slope = 0.0f;
  float offset = 0.0f;
};
