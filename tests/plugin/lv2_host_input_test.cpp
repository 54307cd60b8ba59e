// Tests of the LV2 instrument against what a careless or broken host may send: transport positions
// no song reaches, events delivered in a run of no frames, and sequences whose events claim more
// bytes than the sequence holds or stand outside the block. Each run must end, read only the bytes
// it was given (the sanitizer build checks that), and sound as it does for well-formed input.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/plugin/lv2_test_host.h"

namespace {

class Lv2HostInputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(host.Plugin(), nullptr) << "the bundle is not on LV2_PATH"; }
  CLv2TestHost host;
};

constexpr int kBlock = 512;
constexpr int kBlocks = 200;

// Renders kBlocks blocks with the riff's own Play on; each block starts with `perBlock`, and the
// first with `first` before it.
std::vector<float> RenderPlaying(CLv2TestHost& host, const std::vector<TestEvent>& first,
                                 const std::vector<TestEvent>& perBlock) {
  CLv2TestInstance instance(host);
  EXPECT_NE(instance.Instance(), nullptr);
  instance.Control("Play") = 1.0f;
  std::vector<float> out(static_cast<std::size_t>(kBlock) * kBlocks);
  for (int b = 0; b < kBlocks; ++b) {
    std::vector<TestEvent> events = b == 0 ? first : std::vector<TestEvent>{};
    events.insert(events.end(), perBlock.begin(), perBlock.end());
    instance.RunBlock(out.data() + static_cast<std::size_t>(b) * kBlock, kBlock, events);
  }
  return out;
}

TEST_F(Lv2HostInputTest, PositionsBeyondAnySongAreIgnoredAndEveryRunEnds) {
  // Each of these once made a run step for ever (the test's time-out ends it) or overflow its frame
  // arithmetic. They are ignored: alone, the riff keeps its own tempo and Play; after a valid
  // position, the host's clock goes on from that one.
  const struct {
    const char* what;
    double beats, bpm, speed;
  } cases[] = {
      {"bar 1e18", 4e18, 120.0, 1.0},
      {"bar 1e300", 4e300, 120.0, 1.0},
      {"bar 2^49, past 2^52 sixteenths", std::ldexp(1.0, 51), 120.0, 1.0},
      {"tempo 1e-30", 0.0, 1e-30, 1.0},
      {"tempo 1e8", 0.0, 1e8, 1.0},
      {"tempo 1e9", 0.0, 1e9, 1.0},
      {"speed 1e-30", 0.0, 120.0, 1e-30},
      {"speed 1e6", 0.0, 120.0, 1e6},
      {"stopped at bar 1e300", 4e300, 120.0, 0.0},
  };
  const std::vector<float> own = RenderPlaying(host, {}, {});
  const TestEvent start = Position(0, 0.0, 120.0, 1.0);
  const std::vector<float> followed = RenderPlaying(host, {start}, {});
  ASSERT_NE(own, followed);
  for (const auto& c : cases) {
    const TestEvent bad = Position(0, c.beats, c.bpm, c.speed);
    EXPECT_EQ(RenderPlaying(host, {}, {bad}), own) << c.what << ", alone";
    EXPECT_EQ(RenderPlaying(host, {start}, {bad}), followed) << c.what << ", after a valid position";
  }
  // The farthest position followed, 2^52 sixteenths (a multiple of 16), plays as the song's start.
  EXPECT_EQ(RenderPlaying(host, {Position(0, std::ldexp(1.0, 50), 120.0, 1.0)}, {}), followed);
}

TEST_F(Lv2HostInputTest, NoteOffInARunOfNoFramesEndsTheNote) {
  // A held note (no timed sustain) ended by a host that flushes its events with an empty run: the
  // note ends where the stream stands, as if the NoteOff came at the next block's first frame.
  constexpr int kHeld = 20;
  const struct {
    const char* what;
    std::vector<std::uint8_t> noteOff;
    std::int64_t frame;
  } cases[] = {
      {"note off", {0x80, 57, 0}, 0},
      {"note on at velocity 0, stamped past the empty block", {0x90, 57, 0}, 300},
  };
  for (const auto& c : cases) {
    std::vector<float> flushed, stamped;
    for (bool empty : {true, false}) {
      CLv2TestInstance instance(host);
      ASSERT_NE(instance.Instance(), nullptr);
      instance.Control("FollowHost") = 0.0f;
      instance.Control("AmpSustain") = 0.0f;
      std::vector<float> out(static_cast<std::size_t>(kBlock) * kBlocks);
      for (int b = 0; b < kBlocks; ++b) {
        std::vector<TestEvent> events;
        if (b == 0) events.push_back(Midi(0, {0x90, 57, 100}));
        if (b == kHeld && empty) {
          float none = 0.0f;
          instance.RunBlock(&none, 0, {Midi(c.frame, c.noteOff)});
        }
        if (b == kHeld && !empty) events.push_back(Midi(0, c.noteOff));
        instance.RunBlock(out.data() + static_cast<std::size_t>(b) * kBlock, kBlock, events);
      }
      (empty ? flushed : stamped) = out;
    }
    EXPECT_EQ(flushed, stamped) << c.what;
    float tail = 0.0f;
    for (std::size_t i = flushed.size() - 44100 / 2; i < flushed.size(); ++i) {
      tail = std::max(tail, std::fabs(flushed[i]));
    }
    EXPECT_EQ(tail, 0.0f) << c.what << ": the note still sounds";
  }
}

// How a test spoils the sequence it lays out for the plugin.
enum class Spoil {
  kNone,
  // The last event's body claims 1000 bytes where the sequence holds 3.
  kClaimsPastTheEnd,
  // The sequence ends 12 bytes into its event's 16-byte header.
  kEndsInsideAHeader,
  // The event, a time position, ends 12 bytes before its last property does.
  kEndsInsideAProperty,
};

TEST_F(Lv2HostInputTest, EventsAreReadOnlyWithinTheSequenceAndTheBlock) {
  constexpr std::int64_t kFarPast = std::numeric_limits<std::int64_t>::min();
  const struct {
    const char* what;
    int block;
    Spoil spoil;
    std::vector<TestEvent> sent;
    // What the plugin is to make of it: the events a well-behaved host would have sent instead.
    std::vector<TestEvent> heard;
  } cases[] = {
      {"note on claiming 1000 bytes", 512, Spoil::kClaimsPastTheEnd, {Midi(100, {0x90, 45, 100})}, {}},
      {"header cut by the sequence's end", 512, Spoil::kEndsInsideAHeader, {Midi(100, {0x90, 45, 100})}, {}},
      {"position cut inside a property", 512, Spoil::kEndsInsideAProperty, {Position(0, 0.0, 120.0, 1.0)}, {}},
      {"note from the far past in a block's second pass", 8192, Spoil::kNone,
       {Midi(5000, {0x90, 69, 100}), Midi(kFarPast, {0x90, 57, 100})},
       {Midi(5000, {0x90, 69, 100}), Midi(5000, {0x90, 57, 100})}},
      {"note past the block's end", 512, Spoil::kNone, {Midi(1000000, {0x90, 57, 100})},
       {Midi(511, {0x90, 57, 100})}},
  };
  for (const auto& c : cases) {
    CLv2TestInstance spoilt(host), proper(host);
    ASSERT_NE(spoilt.Instance(), nullptr);
    ASSERT_NE(proper.Instance(), nullptr);
    for (CLv2TestInstance* i : {&spoilt, &proper}) i->Control("Play") = 1.0f;

    std::vector<std::uint64_t> scratch(4096);
    auto* bytes = reinterpret_cast<std::uint8_t*>(scratch.data());
    std::uint32_t size = spoilt.WriteSequence(bytes, 8 * 4096, c.sent);
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(bytes);
    auto* event = lv2_atom_sequence_begin(&sequence->body);
    switch (c.spoil) {
      case Spoil::kNone:
        break;
      case Spoil::kClaimsPastTheEnd:
        event->body.size = 1000;
        break;
      case Spoil::kEndsInsideAHeader:
        sequence->atom.size = sizeof(LV2_Atom_Sequence_Body) + 12;
        size = sizeof(LV2_Atom) + sequence->atom.size;
        break;
      case Spoil::kEndsInsideAProperty:
        event->body.size -= 12;
        sequence->atom.size -= 12;
        size -= 12;
        break;
    }
    // The plugin gets exactly the sequence's bytes, so that a read past them is a read past memory.
    const std::vector<std::uint8_t> exact(bytes, bytes + size);

    std::vector<float> a(static_cast<std::size_t>(c.block) * 20), b(a.size());
    for (int k = 0; k < 20; ++k) {
      float* out = a.data() + static_cast<std::size_t>(k) * c.block;
      if (k == 0) {
        spoilt.RunSequence(out, static_cast<std::uint32_t>(c.block), exact.data());
      } else {
        spoilt.RunBlock(out, static_cast<std::uint32_t>(c.block));
      }
      proper.RunBlock(b.data() + static_cast<std::size_t>(k) * c.block, static_cast<std::uint32_t>(c.block),
                     k == 0 ? c.heard : std::vector<TestEvent>{});
    }
    EXPECT_EQ(a, b) << c.what;
  }
}

}  // namespace
