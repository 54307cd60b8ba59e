// CProgramModules: the panels' calls on the program's own voice, effects and riff player.
#include "ui/program_modules.h"

#include <chrono>

#include "engine/sample_rate.h"
#include "engine/synth_voice.h"
#include "output/post_process_params.h"
#include "platform/sound/audio_stream.h"
#include "sequencer/riff_player.h"

namespace {

// Between two passes of the sound output the play position moves on while the newest frame
// rendered stays; the light moves on with it for at most this long, should a pass be late.
constexpr std::int64_t kLongestCatchUpNs = 2 * CAudioStream::kPollMs * 1000000;

}  // namespace

int CProgramModules::VoiceParam(int param) { return g_voice->GetParam(param); }

// The voice only stores the effect values; the program's effects hear them from here.
void CProgramModules::SetVoiceParam(int param, int value) {
  g_voice->SetParam(param, static_cast<ParamValue>(value));
  ApplyPostProcessParam(param, value);
}

bool CProgramModules::LoadPreset(const std::string& path, std::string* reason) {
  if (!g_voice->LoadParams(path.c_str(), reason)) {
    return false;
  }
  ApplyPostProcessParams(*g_voice);
  return true;
}

bool CProgramModules::SavePreset(const std::string& path, std::string* reason) {
  return g_voice->SaveParams(path.c_str(), reason);
}

void CProgramModules::NoteOn() {
  if (g_voice != nullptr) {
    g_voice->NoteOn();
  }
}

void CProgramModules::NoteOff() {
  if (g_voice != nullptr) {
    g_voice->NoteOff();
  }
}

int CProgramModules::RiffParam(int param) { return g_riffPlayer->GetParam(param); }

void CProgramModules::SetRiffParam(int param, int value) {
  g_riffPlayer->SetParam(param, static_cast<ParamValue>(value));
}

bool CProgramModules::LoadRiff(const std::string& path, std::string* reason) {
  return g_riffPlayer->LoadParams(path.c_str(), reason);
}

bool CProgramModules::SaveRiff(const std::string& path, std::string* reason) {
  return g_riffPlayer->SaveParams(path.c_str(), reason);
}

void CProgramModules::Play() { g_riffPlayer->Play(); }

void CProgramModules::Stop() { g_riffPlayer->Stop(); }

// A riff waiting for the JACK transport to roll counts as playing: its light is to follow the
// transport's steps once it does.
bool CProgramModules::IsPlaying() {
  return g_riffPlayer->IsActive() || (output != nullptr && output->GetFollowTransport());
}

int CProgramModules::HeardStep() {
  if (!g_riffPlayer->IsActive() && (output == nullptr || !output->IsFollowingTransport())) {
    return CStepTimeline::kNoStep;
  }
  const CStepTimeline& timeline = g_riffPlayer->Timeline();
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  std::int64_t sincePass = now - timeline.LastAdvanceNs();
  sincePass = sincePass < 0 ? 0 : (sincePass > kLongestCatchUpNs ? kLongestCatchUpNs : sincePass);
  const std::int64_t played = sincePass * kSampleRate / 1000000000;
  const std::int64_t latency = output->GetLatencyFrames();
  const std::int64_t back = latency - played;
  return timeline.StepAt(static_cast<std::uint64_t>(back > 0 ? back : 0));
}
