// The transport follower: reading the JACK transport, anchoring the host clock, and rendering a
// block cut at the steps it places.
#include "platform/sound/transport_follower.h"

#include <jack/jack.h>
#include <jack/transport.h>

#include <cmath>

#include "output/block_renderer.h"
#include "output/rate_converter.h"
#include "platform/sound/audio_stream.h"

namespace {

// The classic stream's follower; its callback is a plain function.
std::atomic<CTransportFollower*> g_classicFollower{nullptr};

void IgnoreJackMessage(const char*) {}

// A position a master fills in with everything a tempo and a place in the song need.
bool HasTempo(const jack_position_t& pos) {
  return (pos.valid & JackPositionBBT) != 0 && pos.frame_rate > 0 && std::isfinite(pos.beats_per_minute) &&
         pos.beats_per_minute > 0.0 && std::isfinite(pos.beat_type) && pos.beat_type > 0.0f &&
         std::isfinite(pos.beats_per_bar) && pos.beats_per_bar > 0.0f && std::isfinite(pos.ticks_per_beat) &&
         pos.ticks_per_beat > 0.0 && pos.bar >= 1 && pos.beat >= 1 && pos.tick >= 0;
}

}  // namespace

CTransportFollower::~CTransportFollower() {
  ServeClassicStream(nullptr);
  CloseClient();
}

void CTransportFollower::OpenClient() {
  if (client.load(std::memory_order_relaxed) != nullptr) return;
  jack_set_error_function(&IgnoreJackMessage);
  jack_set_info_function(&IgnoreJackMessage);
  jack_status_t status{};
  client.store(jack_client_open(kClientName, JackNoStartServer, &status), std::memory_order_release);
}

void CTransportFollower::CloseClient() {
  jack_client_t* open = client.exchange(nullptr, std::memory_order_acq_rel);
  if (open != nullptr) jack_client_close(open);
}

// There is one classic stream (g_audioStream), so the follower that starts it last serves it.
void CTransportFollower::ServeClassicStream(BlockCallback render) {
  if (render == nullptr) {
    CTransportFollower* self = this;
    g_classicFollower.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    return;
  }
  classicRender = render;
  g_classicFollower.store(this, std::memory_order_release);
}

void CTransportFollower::RenderClassicBlock(std::int16_t* block, std::int32_t byteCount) {
  CTransportFollower* self = g_classicFollower.load(std::memory_order_acquire);
  if (self == nullptr || block == nullptr || byteCount < 2) return;
  const int frames = byteCount / 2;
  jack_client_t* jack = self->client.load(std::memory_order_acquire);
  double ahead = 0.0;
  if (jack != nullptr) {
    // The newest frame of a pass is heard once the loop has gone round, after the period the
    // server is playing now. Taken as the end of its pass, a block is placed too late by the rest
    // of the pass after it (the loop's start, when a pass wraps round), and by a period when the
    // server moved on while the pass began: the earliest recent guess is the one kept.
    const double period = jack_get_buffer_size(jack);
    const double rate = jack_get_sample_rate(jack);
    const double loopFrames = CAudioStream::kLoopBytes / 2;
    ahead = period + (loopFrames - frames) * rate / CRateConverter::kEngineRate;
  }
  self->BeginBlock(jack, ahead, true);
  self->Render(self->classicRender, block, 0, frames);
  self->EndBlock(frames);
}

void CTransportFollower::BeginBlock(jack_client_t* jack, double aheadFrames, bool guessed) {
  jack_position_t pos{};
  bool master = false;
  bool nowRolling = false;
  if (jack != nullptr && enabled.load(std::memory_order_relaxed)) {
    nowRolling = jack_transport_query(jack, &pos) == JackTransportRolling;
    master = HasTempo(pos);
  }
  if (master) {
    const double sixteenthsPerBeat = 16.0 / pos.beat_type;
    const double framesPerSixteenth = 60.0 * pos.frame_rate / (pos.beats_per_minute * sixteenthsPerBeat);
    const double engineFramesPerSixteenth =
        60.0 * CRateConverter::kEngineRate / (pos.beats_per_minute * sixteenthsPerBeat);
    const double beats = (pos.bar - 1.0) * pos.beats_per_bar + (pos.beat - 1.0) + pos.tick / pos.ticks_per_beat;
    // The master's place in the song, and the transport frame it holds at.
    const double bbtFrame =
        static_cast<double>(pos.frame) - ((pos.valid & JackBBTFrameOffset) != 0 ? pos.bbt_offset : 0);
    double blockFrame = static_cast<double>(pos.frame) + aheadFrames;
    const double reported = beats * sixteenthsPerBeat;
    if (nowRolling) {
      // The master's place is compared where it holds, so a guess of when a block is heard never
      // moves the song; only a place more than a tick away from the one counted on does.
      const double tolerance = sixteenthsPerBeat / pos.ticks_per_beat + 0.5 / framesPerSixteenth;
      const bool continues =
          anchored && framesPerSixteenth == anchorFramesPerSixteenth &&
          std::fabs(anchorPosition + (bbtFrame - anchorFrame) / framesPerSixteenth - reported) <= tolerance;
      if (!continues) {
        // Guesses made before a locate say nothing of where the transport now is.
        guessCount = 0;
        anchored = true;
        anchorFrame = bbtFrame;
        anchorPosition = reported;
        anchorFramesPerSixteenth = framesPerSixteenth;
      } else {
        // A place cut down to a whole tick is at most the true one: each report that puts the
        // anchor later narrows the tick down.
        anchorPosition = std::fmax(anchorPosition, reported - (bbtFrame - anchorFrame) / framesPerSixteenth);
      }
      if (guessed) blockFrame = EarliestGuess(blockFrame, pos.frame_rate);
      // The anchor itself, at its frame before the block, so that a step's frame is worked out from
      // the place the transport started at, never from a sum of block lengths.
      const double back = (anchorFrame - blockFrame) * CRateConverter::kEngineRate / pos.frame_rate;
      master = clock.SetPosition(std::llround(back), anchorPosition, engineFramesPerSixteenth, true);
    } else {
      anchored = false;
      guessCount = 0;
      master = clock.SetPosition(0, reported, engineFramesPerSixteenth, false);
    }
  }
  if (master != following.load(std::memory_order_relaxed)) {
    Follow(master);
  } else if (master && rolling && !nowRolling) {
    // The transport stopped: the step light goes out with the sound.
    g_synthChain.RiffPlayer().HoldOwnClock(true);
  }
  rolling = master && nowRolling;
}

double CTransportFollower::EarliestGuess(double blockFrame, double rate) {
  const double rendered = static_cast<double>(renderedFrames) * rate / CRateConverter::kEngineRate;
  if (guessCount == 0) nextGuess = 0;
  guesses[nextGuess] = blockFrame - rendered;
  nextGuess = (nextGuess + 1) % kGuesses;
  if (guessCount < kGuesses) ++guessCount;
  double earliest = guesses[0];
  for (int i = 1; i < guessCount; ++i) earliest = std::fmin(earliest, guesses[i]);
  return rendered + earliest;
}

void CTransportFollower::Follow(bool master) {
  g_synthChain.RiffPlayer().HoldOwnClock(master);
  if (!master) {
    clock.Init();
    anchored = false;
  }
  following.store(master, std::memory_order_relaxed);
}

void CTransportFollower::Render(BlockCallback render, std::int16_t* block, int from, int to) {
  if (render == nullptr || block == nullptr) return;
  std::int64_t stepFrame = 0;
  int step = 0;
  // The clock places at most one step a frame, so the work stays bounded.
  while (following.load(std::memory_order_relaxed) && clock.NextStep(from, to, stepFrame, step)) {
    const int at = static_cast<int>(stepFrame);
    if (at > from) render(block + from, (at - from) * 2);
    from = at;
    g_synthChain.RiffPlayer().PlayStepNow(step);
  }
  if (to > from) render(block + from, (to - from) * 2);
}

void CTransportFollower::EndBlock(int frames) {
  clock.EndBlock(frames);
  renderedFrames += static_cast<std::uint64_t>(frames);
}
