// Tests of the audio stream over the scripted sound layer: the start sequence and each early
// return, the refill arithmetic and its two-region callbacks, the lock retry, the stop handshake
// (while the thread sleeps, after a failed start, with a thread that could not be created, with a
// buffer that never comes back), and starting again.
#include "platform/sound/audio_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "platform/sound/sound_fake_layer.h"
#include "harness/wait_for.h"

namespace {

using namespace std::chrono_literals;

struct Region {
  std::uint32_t offset;
  std::uint32_t bytes;
  bool operator==(const Region&) const = default;
};

const std::uint8_t* g_loopBase = nullptr;
std::vector<Region> g_regions;
std::atomic<int> g_callbackCount{0};

void RecordRegion(std::int16_t* block, std::int32_t byteCount) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(block);
  g_regions.push_back(
      {static_cast<std::uint32_t>(bytes - g_loopBase), static_cast<std::uint32_t>(byteCount)});
  std::memset(block, 0x5A, static_cast<std::size_t>(byteCount));
  g_callbackCount.fetch_add(1);
}

std::vector<FakeSoundOp> OpsOf(const std::vector<FakeSoundEvent>& events) {
  std::vector<FakeSoundOp> ops;
  for (const auto& event : events) ops.push_back(event.op);
  return ops;
}

class AudioStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stream.SetSoundLayer(&fake);
    g_regions.clear();
    g_callbackCount.store(0);
    g_loopBase = nullptr;
  }
  void TearDown() override {
    stream.Stop();
  }

  // Starts with no audio thread: the test runs the passes itself.
  void StartManual(BlockCallback callback) {
    fake.SetThreadMode(FakeThreadMode::kManual);
    ASSERT_TRUE(stream.Start(callback));
    g_loopBase = fake.GetLoopBytes();
  }
  void Pass(std::uint32_t position) {
    fake.SetPositionMode(FakePositionMode::kFixed);
    fake.SetPosition(position);
    ASSERT_TRUE(stream.FillBuffer());
  }
  // Stops a manually driven stream, this thread standing in for the audio thread.
  void StopManual() {
    std::thread stopper([this] { stream.Stop(); });
    while (stream.FillBuffer()) {
    }
    stopper.join();
  }
  // The offset of the last lock: where the last pass started writing.
  std::uint32_t LastLockOffset() {
    std::uint32_t offset = ~0u;
    for (const auto& event : fake.Events()) {
      if (event.op == FakeSoundOp::kLock) offset = event.a;
    }
    return offset;
  }

  CFakeSoundLayer fake;
  CAudioStream stream;
};

TEST_F(AudioStreamTest, StartOpensClearsPlaysAndStartsTheThreadInOrder) {
  int windowObject = 0;
  fake.SetLoopFill(0xAB);
  stream.SetWindow(&windowObject);
  StartManual(&RecordRegion);

  const auto events = fake.Events();
  const std::vector<FakeSoundOp> expected = {
      FakeSoundOp::kOpenDevice,  FakeSoundOp::kClaimExclusive, FakeSoundOp::kCreatePrimary,
      FakeSoundOp::kApplyFormat, FakeSoundOp::kCreateLoop,     FakeSoundOp::kLock,
      FakeSoundOp::kCommit,      FakeSoundOp::kPlay,           FakeSoundOp::kStartThread};
  EXPECT_EQ(OpsOf(events), expected);
  EXPECT_EQ(fake.GetClaimedWindow(), &windowObject);
  EXPECT_EQ(fake.GetAppliedFormat(), (SoundFormat{1, 1, 44100, 88200, 2, 16}));
  EXPECT_EQ(fake.GetLoopFormat(), (SoundFormat{1, 1, 44100, 88200, 2, 16}));
  EXPECT_EQ(events[4].a, 8192u);
  EXPECT_EQ(events[5].a, 0u);
  EXPECT_EQ(events[5].b, 8192u);
  EXPECT_EQ(events[6].a, 8192u);
  EXPECT_EQ(events[6].b, 0u);
  for (std::uint32_t i = 0; i < 8192; ++i) ASSERT_EQ(fake.GetLoopBytes()[i], 0) << i;
  EXPECT_EQ(g_callbackCount.load(), 0);
  StopManual();
}

TEST_F(AudioStreamTest, RefillCoversEverythingPlayedSinceTheLastPass) {
  constexpr std::uint32_t kUnreadable = ~0u;
  struct Case {
    const char* name;
    std::vector<std::uint32_t> before;
    std::uint32_t play;
    std::vector<Region> regions;
    std::uint32_t writePos;
  };
  const Case cases[] = {
      {"equal at 0", {}, 0, {{0, 8192}}, 0},
      {"steady", {1000}, 2764, {{1000, 1764}}, 2764},
      {"wraps", {6000}, 2000, {{6000, 2192}, {0, 2000}}, 2000},
      {"unmoved since the last pass: nothing was played", {4096}, 4096, {}, 4096},
      {"unreadable", {3000}, kUnreadable, {{3000, 5192}}, 0},
      {"beyond the loop counts as unreadable", {1000}, 9000, {{1000, 7192}}, 0},
      {"odd is taken down to its sample", {1000}, 2765, {{1000, 1764}}, 2764},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeSoundLayer caseLayer;
    caseLayer.SetThreadMode(FakeThreadMode::kManual);
    CAudioStream caseStream;
    caseStream.SetSoundLayer(&caseLayer);
    ASSERT_TRUE(caseStream.Start(&RecordRegion));
    g_loopBase = caseLayer.GetLoopBytes();
    caseLayer.SetPositionMode(FakePositionMode::kFixed);
    for (std::uint32_t position : c.before) {
      caseLayer.SetPosition(position);
      ASSERT_TRUE(caseStream.FillBuffer());
    }
    g_regions.clear();
    const std::size_t eventsBefore = caseLayer.Events().size();
    if (c.play == kUnreadable) {
      caseLayer.SetPositionMode(FakePositionMode::kUnreadable);
    } else {
      caseLayer.SetPosition(c.play);
    }
    ASSERT_TRUE(caseStream.FillBuffer());
    EXPECT_EQ(g_regions, c.regions);
    std::uint32_t committed = 0;
    for (const Region& region : c.regions) committed += region.bytes;
    const auto events = caseLayer.Events();
    if (committed == 0) {
      for (std::size_t i = eventsBefore; i < events.size(); ++i) EXPECT_NE(events[i].op, FakeSoundOp::kLock);
    } else {
      ASSERT_EQ(events.back().op, FakeSoundOp::kCommit);
      EXPECT_EQ(events.back().a + events.back().b, committed);
    }

    caseLayer.SetPositionMode(FakePositionMode::kFixed);
    caseLayer.SetPosition((c.writePos + 2) % CAudioStream::kLoopBytes);
    ASSERT_TRUE(caseStream.FillBuffer());
    std::uint32_t nextOffset = ~0u;
    for (const auto& event : caseLayer.Events()) {
      if (event.op == FakeSoundOp::kLock) nextOffset = event.a;
    }
    EXPECT_EQ(nextOffset, c.writePos);

    std::thread stopper([&] { caseStream.Stop(); });
    while (caseStream.FillBuffer()) {
    }
    stopper.join();
  }
}

// Following another output the loop starts full of sound not yet heard: a pass before the device
// has played any of it must leave it be, or the riff skips a loop.
TEST_F(AudioStreamTest, AStartThatRendersAheadRefillsOnlyWhatIsPlayed) {
  fake.SetThreadMode(FakeThreadMode::kManual);
  ASSERT_TRUE(stream.Start(&RecordRegion, true));
  g_loopBase = fake.GetLoopBytes();
  ASSERT_EQ(g_callbackCount.load(), 1);
  g_regions.clear();
  Pass(0);
  EXPECT_TRUE(g_regions.empty());
  Pass(1764);
  EXPECT_EQ(g_regions, (std::vector<Region>{{0, 1764}}));
  StopManual();
}

TEST_F(AudioStreamTest, RegionsHoldWhatTheCallbackWrote) {
  StartManual(&RecordRegion);
  Pass(6000);
  Pass(2000);
  const std::uint8_t* loop = fake.GetLoopBytes();
  for (std::uint32_t i = 0; i < 8192; ++i) ASSERT_EQ(loop[i], 0x5A) << i;
  StopManual();
}

TEST_F(AudioStreamTest, WithoutCallbackPassesStillLockCommitAndAdvance) {
  StartManual(nullptr);
  Pass(1000);
  Pass(2764);
  EXPECT_EQ(LastLockOffset(), 1000u);
  const auto events = fake.Events();
  EXPECT_EQ(events.back().op, FakeSoundOp::kCommit);
  EXPECT_EQ(events.back().a, 1764u);
  Pass(0);
  EXPECT_EQ(LastLockOffset(), 2764u);
  StopManual();
}

TEST_F(AudioStreamTest, FailedLockRecoversReplaysAndLocksAgain) {
  struct Case {
    const char* name;
    int failures;
    bool lose;
    std::uint32_t attempts;
  };
  const Case cases[] = {
      {"lost buffer", 0, true, 2},
      {"three transient failures", 3, false, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeSoundLayer caseLayer;
    caseLayer.SetThreadMode(FakeThreadMode::kManual);
    CAudioStream caseStream;
    caseStream.SetSoundLayer(&caseLayer);
    ASSERT_TRUE(caseStream.Start(&RecordRegion));
    g_loopBase = caseLayer.GetLoopBytes();
    g_regions.clear();
    const std::size_t startEvents = caseLayer.Events().size();
    if (c.lose) caseLayer.LoseBuffer();
    caseLayer.FailLocks(c.failures);
    caseLayer.SetPosition(1000);
    ASSERT_TRUE(caseStream.FillBuffer());

    const auto all = caseLayer.Events();
    std::vector<FakeSoundEvent> pass(all.begin() + static_cast<std::ptrdiff_t>(startEvents),
                                     all.end());
    std::vector<FakeSoundOp> expected = {FakeSoundOp::kReadPosition, FakeSoundOp::kLock};
    for (std::uint32_t i = 1; i < c.attempts; ++i) {
      expected.insert(expected.end(), {FakeSoundOp::kPause, FakeSoundOp::kRecover,
                                       FakeSoundOp::kPlay, FakeSoundOp::kLock});
    }
    expected.push_back(FakeSoundOp::kCommit);
    EXPECT_EQ(OpsOf(pass), expected);
    for (const auto& event : pass) {
      if (event.op == FakeSoundOp::kLock) {
        EXPECT_EQ(event.a, 0u);
        EXPECT_EQ(event.b, 1000u);
      }
      if (event.op == FakeSoundOp::kPause) {
        EXPECT_EQ(event.a, CAudioStream::kLockRetryPauseMs);
      }
    }
    EXPECT_EQ(g_regions, (std::vector<Region>{{0, 1000}}));

    std::thread stopper([&] { caseStream.Stop(); });
    while (caseStream.FillBuffer()) {
    }
    stopper.join();
  }
}

TEST_F(AudioStreamTest, FailedInitialLockStartsWithoutClearing) {
  fake.SetLoopFill(0xAB);
  fake.FailLocks(1);
  StartManual(&RecordRegion);
  const auto ops = OpsOf(fake.Events());
  const std::vector<FakeSoundOp> expected = {
      FakeSoundOp::kOpenDevice,  FakeSoundOp::kClaimExclusive, FakeSoundOp::kCreatePrimary,
      FakeSoundOp::kApplyFormat, FakeSoundOp::kCreateLoop,     FakeSoundOp::kLock,
      FakeSoundOp::kPlay,        FakeSoundOp::kStartThread};
  EXPECT_EQ(ops, expected);
  EXPECT_EQ(fake.GetLoopBytes()[0], 0xAB);
  EXPECT_EQ(fake.GetLoopBytes()[8191], 0xAB);
  StopManual();
}

TEST_F(AudioStreamTest, FailedStartReturnsAtOnceAndStopReleasesWhatWasCreated) {
  using Op = FakeSoundOp;
  struct Case {
    FakeSoundStep step;
    Op lastStartOp;
    std::vector<Op> releases;
  };
  const Case cases[] = {
      {FakeSoundStep::kOpenDevice, Op::kOpenDevice, {}},
      {FakeSoundStep::kClaimExclusive, Op::kClaimExclusive, {Op::kReleaseDevice}},
      {FakeSoundStep::kCreatePrimary, Op::kCreatePrimary, {Op::kReleaseDevice}},
      {FakeSoundStep::kApplyFormat, Op::kApplyFormat, {Op::kReleasePrimary, Op::kReleaseDevice}},
      {FakeSoundStep::kCreateLoop, Op::kCreateLoop, {Op::kReleasePrimary, Op::kReleaseDevice}},
      {FakeSoundStep::kPlay,
       Op::kPlay,
       {Op::kReleaseLoop, Op::kReleasePrimary, Op::kReleaseDevice}},
      {FakeSoundStep::kStartThread,
       Op::kStartThread,
       {Op::kReleaseLoop, Op::kReleasePrimary, Op::kReleaseDevice}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.step));
    CFakeSoundLayer caseLayer;
    caseLayer.FailAt(c.step);
    CAudioStream caseStream;
    caseStream.SetSoundLayer(&caseLayer);
    EXPECT_FALSE(caseStream.Start(&RecordRegion));
    const std::size_t startEvents = caseLayer.Events().size();
    EXPECT_EQ(caseLayer.Events().back().op, c.lastStartOp);

    const auto before = std::chrono::steady_clock::now();
    caseStream.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    const auto all = caseLayer.Events();
    std::vector<FakeSoundEvent> stop(all.begin() + static_cast<std::ptrdiff_t>(startEvents),
                                     all.end());
    EXPECT_EQ(OpsOf(stop), c.releases);
    EXPECT_EQ(caseLayer.Count(Op::kLock), c.step >= FakeSoundStep::kPlay ? 1u : 0u);

    // Stopped again: the next start goes through from the beginning.
    caseLayer.FailAt(FakeSoundStep::kNone);
    ASSERT_TRUE(caseStream.Start(&RecordRegion));
    caseStream.Stop();
    EXPECT_EQ(caseLayer.Events().back().op, Op::kReleaseDevice);
  }
}

TEST_F(AudioStreamTest, StopWhileTheThreadSleepsWaitsForOneLastPass) {
  fake.SetPositionMode(FakePositionMode::kRealTime);
  ASSERT_TRUE(stream.Start(&RecordRegion));
  ASSERT_TRUE(WaitFor([&] { return fake.Count(FakeSoundOp::kPause) >= 2; }));
  const auto before = std::chrono::steady_clock::now();
  stream.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);

  const auto events = fake.Events();
  std::size_t lastPause = 0;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].op == FakeSoundOp::kPause) {
      lastPause = i;
      EXPECT_EQ(events[i].a, CAudioStream::kPollMs);
    }
  }
  const std::vector<FakeSoundEvent> tail(
      events.begin() + static_cast<std::ptrdiff_t>(lastPause) + 1, events.end());
  const std::vector<FakeSoundOp> expected = {
      FakeSoundOp::kReadPosition, FakeSoundOp::kLock,        FakeSoundOp::kCommit,
      FakeSoundOp::kCloseThread,  FakeSoundOp::kReleaseLoop, FakeSoundOp::kReleasePrimary,
      FakeSoundOp::kReleaseDevice};
  EXPECT_EQ(OpsOf(tail), expected);
  // Every pass, the last one included, rendered: one callback per lock after the clearing one.
  EXPECT_EQ(static_cast<std::uint32_t>(g_callbackCount.load()), fake.Count(FakeSoundOp::kLock) - 1);
}

TEST_F(AudioStreamTest, BufferThatNeverComesBackNeitherHangsStopNorSpins) {
  fake.SetPositionMode(FakePositionMode::kRealTime);
  ASSERT_TRUE(stream.Start(&RecordRegion));
  ASSERT_TRUE(WaitFor([&] { return fake.Count(FakeSoundOp::kPause) >= 1; }));
  fake.AllowRecover(false);
  fake.LoseBuffer();
  const auto stuckSince = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitFor([&] { return fake.Count(FakeSoundOp::kRecover) >= 20; }));
  const int callbacks = g_callbackCount.load();

  const auto before = std::chrono::steady_clock::now();
  stream.Stop();
  const auto now = std::chrono::steady_clock::now();
  EXPECT_LT(now - before, 1s);
  EXPECT_EQ(g_callbackCount.load(), callbacks);
  EXPECT_EQ(fake.Count(FakeSoundOp::kReleaseDevice), 1u);
  // At most one attempt per pause: 20 attempts take at least 100 ms of sleep, little CPU.
  EXPECT_GE(now - stuckSince,
            20 * std::chrono::milliseconds(CAudioStream::kLockRetryPauseMs) - 5ms);
  EXPECT_LT(fake.GetThreadCpuTime(), (now - stuckSince) / 2 + 20ms);
}

TEST_F(AudioStreamTest, StartingAgainStopsTheRunningStreamFirst) {
  ASSERT_TRUE(stream.Start(&RecordRegion));
  ASSERT_TRUE(WaitFor([&] { return fake.Count(FakeSoundOp::kPause) >= 1; }));
  ASSERT_TRUE(stream.Start(&RecordRegion));
  EXPECT_EQ(fake.Count(FakeSoundOp::kOpenDevice), 2u);
  EXPECT_EQ(fake.Count(FakeSoundOp::kCloseThread), 1u);
  EXPECT_EQ(fake.Count(FakeSoundOp::kReleaseDevice), 1u);
  const auto events = fake.Events();
  std::size_t secondOpen = 0;
  std::size_t firstRelease = 0;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].op == FakeSoundOp::kOpenDevice) secondOpen = i;
    if (events[i].op == FakeSoundOp::kReleaseDevice && firstRelease == 0) firstRelease = i;
  }
  EXPECT_LT(firstRelease, secondOpen);

  stream.Reset();
  EXPECT_EQ(fake.Count(FakeSoundOp::kCloseThread), 2u);
  EXPECT_EQ(fake.Count(FakeSoundOp::kReleaseDevice), 2u);
}

TEST_F(AudioStreamTest, DestroyingARunningStreamEndsItsThread) {
  {
    CAudioStream local;
    local.SetSoundLayer(&fake);
    ASSERT_TRUE(local.Start(&RecordRegion));
    ASSERT_TRUE(WaitFor([&] { return fake.Count(FakeSoundOp::kPause) >= 1; }));
  }
  EXPECT_EQ(fake.Count(FakeSoundOp::kCloseThread), 1u);
  EXPECT_EQ(fake.Count(FakeSoundOp::kReleaseDevice), 1u);
}

TEST_F(AudioStreamTest, ThreadProcWithoutStreamReturnsAtOnce) {
  EXPECT_EQ(CAudioStream::AudioThreadProc(nullptr), 0u);
}

TEST_F(AudioStreamTest, StopOnANeverStartedStreamDoesNothing) {
  stream.Stop();
  EXPECT_TRUE(fake.Events().empty());
  EXPECT_FALSE(stream.FillBuffer());
}

}  // namespace
