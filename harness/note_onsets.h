// Key-to-sound timing against a JACK server, shared by the low-latency output's test and the
// latency benchmark: the voice made a plain instrument, a schedule of notes spread over the
// period, and where each note is first heard in a capture that starts at the schedule's base.
// Also what the PulseAudio tests and the server benchmark listen for: a held sine, and the runs of
// silence in what was heard of it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine/voice_params.h"
#include "output/block_renderer.h"
#include "harness/fresh_modules.h"
#include "harness/jack_harness.h"
#include "sequencer/voice_note_target.h"

// Anything louder than this is the note; silence and the resampler's ringing are far below it.
constexpr float kOnsetLevel = 0.002f;
constexpr int kSquareWave = 1;
constexpr int kSineWave = 2;

// The voice as a plain instrument: one waveform on both oscillators, no filter, no modulation, a
// 1 ms attack and no release, so each note starts sharply and ends at once. A square wave is never
// near zero, so a note's first frame is seen wherever its oscillators happen to be.
inline void PlainVoice(int wave) {
  struct Setting {
    int param;
    int value;
  };
  const Setting kSettings[] = {{kOscAWave, wave},  {kOscBWave, wave},  {kSubLevel, 0},
                               {kFilterType, 3},   {kAmpAttack, 1},    {kAmpRelease, 0},
                               {kLfo1Targets, 0},  {kLfo2Targets, 0},  {kAmpSustain, 1000}};
  CreateFreshModules();
  for (const Setting& s : kSettings) g_voice->SetParam(s.param, static_cast<ParamValue>(s.value));
}

// A held A at 440 Hz of a plain sine, which never rests on zero for more than a sample, so that any
// run of exact silence heard while it plays is a gap.
struct HeldSine {
  HeldSine() {
    PlainVoice(kSineWave);
    g_voice->SetParam(kAmpSustain, 0);
    target = std::make_unique<CVoiceNoteTarget>(*g_voice);
    target->SetFrequency(440.0f);
    target->NoteOn();
  }
  std::unique_ptr<CVoiceNoteTarget> target;
};

// The lengths of the runs of exact silence between the first sound heard and the last, in order.
template <typename Sample>
std::vector<std::size_t> SilentRuns(const std::vector<Sample>& s) {
  const auto first = std::find_if(s.begin(), s.end(), [](Sample v) { return v != 0; });
  const auto last = std::find_if(s.rbegin(), s.rend(), [](Sample v) { return v != 0; }).base();
  std::vector<std::size_t> runs;
  std::size_t run = 0;
  for (auto it = first; it < last; ++it) {
    if (*it == 0) {
      ++run;
    } else if (run > 0) {
      runs.push_back(run);
      run = 0;
    }
  }
  return runs;
}

// `count` notes of note 69, `spacing` frames apart plus a per-note offset that moves them all over
// the period, each held for `hold` frames, after a stretch of silence as long as the spacing.
inline std::vector<MidiSender::Message> NoteSchedule(int period, long spacing, long hold, int count) {
  std::vector<MidiSender::Message> schedule;
  for (int k = 0; k < count; ++k) {
    const auto on = static_cast<jack_nframes_t>((k + 1) * spacing + (k * 37) % period);
    schedule.push_back({on, {0x90, 69, 100}});
    schedule.push_back({on + static_cast<jack_nframes_t>(hold), {0x80, 69, 0}});
  }
  return schedule;
}

// The frames the capture must hold before the last note of the schedule can be timed.
inline std::size_t ScheduleEnd(const std::vector<MidiSender::Message>& schedule, long spacing) {
  return schedule[schedule.size() - 2].frame + static_cast<std::size_t>(spacing);
}

struct NoteOnset {
  long sentLate;   // frames the note left after its scheduled frame (a cycle the sender missed)
  bool fromSound;  // sound was already there when it was sent, so it cannot be timed
  long heard;      // frames from sending to the first sound, or -1 when not heard within the spacing
};

// Valid once the sender has sent everything and the capture holds ScheduleEnd frames.
inline std::vector<NoteOnset> FindOnsets(const MidiSender& keys, const AudioCapture& capture,
                                         const std::vector<MidiSender::Message>& schedule, long spacing) {
  const std::vector<float>& samples = capture.Samples();
  std::vector<NoteOnset> onsets;
  for (std::size_t k = 0; k < schedule.size(); k += 2) {
    const std::size_t from = keys.SentAt(k) - capture.FirstFrame();
    NoteOnset onset{static_cast<long>(from) - static_cast<long>(schedule[k].frame),
                    std::fabs(samples[from - 1]) > kOnsetLevel, -1};
    for (std::size_t i = from; i < from + static_cast<std::size_t>(spacing) && i < samples.size(); ++i) {
      if (std::fabs(samples[i]) > kOnsetLevel) {
        onset.heard = static_cast<long>(i - from);
        break;
      }
    }
    onsets.push_back(onset);
  }
  return onsets;
}
