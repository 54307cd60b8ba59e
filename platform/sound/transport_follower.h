// Lets the program's riff follow the JACK transport. While following is on and a timebase master
// gives the transport a tempo, the riff plays at that tempo with its steps on the master's
// sixteenth notes (step = sixteenths since the song's start, modulo 16: the rule, and the clock,
// the plugin follows its host with), starts when the transport starts and stops when it stops.
// Without a master, or with following off, the riff's own tempo, Play and Stop rule.
//
// The transport is read where the sound is rendered, without a lock. The low-latency output reads
// it in its own process cycle, whose first frame is the transport's frame of that cycle: its steps
// fall exactly on the master's. The classic stream renders about a loop ahead of what is heard; it
// reads the transport through a client of the follower's own and places what it renders at the
// transport frame it will be heard at, as near as the loop's position tells it.
//
// A master gives its position in whole ticks. So that rounding to a tick never moves a step, the
// follower keeps counting frames from the position it last took, and takes the master's again
// only when the two differ by more than a tick and what the output cannot know (a locate, a new
// tempo). The classic stream's guess of when a block is heard is never early, so the earliest of
// its recent guesses is the one it goes by.
//
// Threads: SetEnabled, OpenClient, CloseClient and ServeClassicStream belong to the control (UI)
// thread; IsFollowing may be read anywhere; BeginBlock, Render and EndBlock run on the thread that
// renders, and RenderClassicBlock is the classic stream's block callback.
#pragma once

#include <atomic>
#include <cstdint>

#include "output/block_callback.h"
#include "sequencer/host_clock.h"

struct _jack_client;

class CTransportFollower {
 public:
  static constexpr const char* kClientName = "Quembrel transport";

  CTransportFollower() = default;
  ~CTransportFollower();
  CTransportFollower(const CTransportFollower&) = delete;
  CTransportFollower& operator=(const CTransportFollower&) = delete;

  void SetEnabled(bool on) { enabled.store(on, std::memory_order_relaxed); }
  bool IsEnabled() const { return enabled.load(std::memory_order_relaxed); }
  // True while a master's tempo places the riff's steps.
  bool IsFollowing() const { return following.load(std::memory_order_relaxed); }

  // The client the classic stream reads the transport through, when a JACK server runs. Close it
  // only while the classic stream is stopped.
  void OpenClient();
  void CloseClient();
  // The classic stream's callback renders through `render` for this follower from now on (null:
  // for none, once the stream has stopped).
  void ServeClassicStream(BlockCallback render);
  static void RenderClassicBlock(std::int16_t* block, std::int32_t byteCount);

  // Reads the transport through `client` (none: no master) for a block whose first frame is heard
  // `aheadFrames` frames of the server after the transport's frame of its current cycle: exactly,
  // or, when `guessed`, never earlier. The riff it places is the program's (g_synthChain's).
  void BeginBlock(_jack_client* client, double aheadFrames, bool guessed);
  // Renders frames [from, to) of the block at `block` through `render`, cut where steps fall.
  void Render(BlockCallback render, std::int16_t* block, int from, int to);
  // The block of `frames` engine frames is rendered.
  void EndBlock(int frames);

 private:
  // How many of the latest guesses the earliest is taken from: a few hundred milliseconds of the
  // classic stream's passes, so that a cycle the server skipped is caught up with soon.
  static constexpr int kGuesses = 16;

  void Follow(bool master);
  // The earliest of the recent guesses of when a block is heard, each counted back to the first
  // frame rendered, while the transport rolls on from where it was; a stop or a locate forgets
  // them.
  double EarliestGuess(double blockFrame, double rate);

  std::atomic<bool> enabled{false};
  std::atomic<bool> following{false};
  std::atomic<_jack_client*> client{nullptr};
  BlockCallback classicRender = nullptr;
  // Rendering thread only.
  CHostClock clock;
  bool rolling = false;
  bool anchored = false;
  double anchorFrame = 0.0;
  double anchorPosition = 0.0;
  double anchorFramesPerSixteenth = 0.0;
  std::uint64_t renderedFrames = 0;
  double guesses[kGuesses] = {};
  int guessCount = 0;
  int nextGuess = 0;
};
