// Switching between the classic and the low-latency output on a JACK server the test starts
// itself, while the riff plays and a recording runs: each switch plays on through the same port,
// whose connections hold, and the finished recording is exactly what the chain renders offline from
// the same start, so no block was lost or rendered twice across the switches. Either output reaches both playback
// ports, or none when the environment asks for no automatic connection.
#include "platform/sound/output_switch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "output/block_renderer.h"
#include "output/wav_recorder.h"
#include "sequencer/riff_player.h"
#include "sequencer/voice_note_target.h"
#include "harness/fresh_modules.h"
#include "harness/jack_harness.h"
#include "harness/wait_for.h"
#include "tests/output/wav_file_reader.h"

namespace {

using namespace std::chrono_literals;

constexpr int kSplitBlockTolerance = 256;

// A client of the test's own on the server, to look at ports and connect them as a patchbay would;
// the caller closes it.
jack_client_t* OpenLookingClient(const CTestJackServer& server) {
  jack_status_t status{};
  return jack_client_open("quembrel-test-look", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                          &status, server.name.c_str());
}

bool HasPort(const CTestJackServer& server, const char* name) {
  jack_client_t* client = OpenLookingClient(server);
  if (client == nullptr) return false;
  const bool found = jack_port_by_name(client, name) != nullptr;
  jack_client_close(client);
  return found;
}

bool ConnectPorts(const CTestJackServer& server, const char* from, const char* to) {
  jack_client_t* client = OpenLookingClient(server);
  if (client == nullptr) return false;
  const bool connected = jack_connect(client, from, to) == 0;
  jack_client_close(client);
  return connected;
}

// The ports the output port is connected to, in the server's order.
std::vector<std::string> Connections(const CTestJackServer& server, const char* port) {
  std::vector<std::string> names;
  jack_client_t* client = OpenLookingClient(server);
  if (client == nullptr) return names;
  if (jack_port_t* own = jack_port_by_name(client, port); own != nullptr) {
    if (const char** connected = jack_port_get_all_connections(client, own); connected != nullptr) {
      for (const char** p = connected; *p != nullptr; ++p) names.emplace_back(*p);
      jack_free(connected);
    }
  }
  jack_client_close(client);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OutputSwitchTest, BothModesPlayInBothEarsUnlessAskedNotTo) {
  CTestJackServer server(44100, 256);
  const std::string why = server.Start();
  if (!why.empty()) GTEST_SKIP() << "no JACK server: " << why;
  CreateFreshModules();
  const std::vector<std::string> bothEars = {"system:playback_1", "system:playback_2"};
  for (const bool autoConnect : {true, false}) {
    if (autoConnect) {
      unsetenv("QUEMBREL_NO_AUTOCONNECT");
    } else {
      setenv("QUEMBREL_NO_AUTOCONNECT", "1", 1);
    }
    for (const OutputMode mode : {OutputMode::kClassic, OutputMode::kLowLatency}) {
      SCOPED_TRACE(testing::Message() << (mode == OutputMode::kClassic ? "classic" : "low latency")
                                      << (autoConnect ? "" : ", no automatic connection"));
      COutputSwitch output;
      ASSERT_TRUE(output.Start(mode, &RenderBlock, nullptr));
      ASSERT_EQ(output.GetMode(), mode);
      ASSERT_TRUE(HasPort(server, "Quembrel:outport 0"));
      EXPECT_EQ(Connections(server, "Quembrel:outport 0"), autoConnect ? bothEars : std::vector<std::string>{});
      output.Stop();
    }
  }
  unsetenv("QUEMBREL_NO_AUTOCONNECT");
}

// A patchbay's connection to the output port is the user's: a switch must not drop it.
TEST(OutputSwitchTest, ConnectionsMadeByHandHoldAcrossSwitches) {
  CTestJackServer server(48000, 256);
  const std::string why = server.Start();
  if (!why.empty()) GTEST_SKIP() << "no JACK server: " << why;
  CreateFreshModules();
  setenv("QUEMBREL_NO_AUTOCONNECT", "1", 1);
  COutputSwitch output;
  ASSERT_TRUE(output.Start(OutputMode::kClassic, &RenderBlock, nullptr));
  ASSERT_TRUE(ConnectPorts(server, "Quembrel:outport 0", "system:playback_2"));
  for (const OutputMode next : {OutputMode::kLowLatency, OutputMode::kClassic}) {
    ASSERT_TRUE(output.Switch(next));
    EXPECT_EQ(Connections(server, "Quembrel:outport 0"), std::vector<std::string>{"system:playback_2"});
  }
  output.Stop();
  unsetenv("QUEMBREL_NO_AUTOCONNECT");
}

TEST(OutputSwitchTest, SwitchingKeepsTheRecordingWholeAndInOrder) {
  for (const int rate : {44100, 48000}) {
    SCOPED_TRACE(rate);
    CTestJackServer server(rate, 256);
    const std::string why = server.Start();
    if (!why.empty()) GTEST_SKIP() << "no JACK server: " << why;
    CreateFreshModules();
    g_riffPlayer->Play();
    CVoiceNoteTarget target(*g_voice);
    COutputSwitch output;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("quembrel_switch_" + std::to_string(getpid()) + ".wav")).string();
    ASSERT_TRUE(g_wavRecorder.Start(path.c_str()));
    ASSERT_TRUE(output.Start(OutputMode::kClassic, &RenderBlock, &target));
    for (int i = 0; i < 6; ++i) {
      const OutputMode next = i % 2 == 0 ? OutputMode::kLowLatency : OutputMode::kClassic;
      std::this_thread::sleep_for(150ms);
      g_wavRecorder.Drain();
      ASSERT_TRUE(output.Switch(next));
      EXPECT_EQ(output.GetMode(), next);
      EXPECT_GT(output.GetLatencyFrames(), 0);
      if (next == OutputMode::kLowLatency) {
        EXPECT_TRUE(HasPort(server, "Quembrel:Quembrel"));
        EXPECT_LE(output.GetLatencyFrames(), 256 + 64);
      } else {
        EXPECT_GE(output.GetLatencyFrames(), 4096);
      }
      EXPECT_TRUE(HasPort(server, "Quembrel:outport 0"));
    }
    std::this_thread::sleep_for(150ms);
    output.Stop();
    ASSERT_TRUE(g_wavRecorder.Finish());
    EXPECT_EQ(output.GetLatencyFrames(), 0);

    const std::vector<std::int16_t> recorded = ReadWavFile(path).samples;
    std::filesystem::remove(path);
    ASSERT_GT(recorded.size(), 44100u / 2);
    // The same chain from the same start, rendered offline.
    CreateFreshModules();
    g_riffPlayer->Play();
    std::vector<std::int16_t> expected(recorded.size());
    for (std::size_t done = 0; done < expected.size(); done += 1000) {
      const std::size_t n = std::min<std::size_t>(1000, expected.size() - done);
      RenderBlock(expected.data() + done, static_cast<std::int32_t>(n * 2));
    }
    // At 44100 Hz every output renders whole control blocks, as the offline render does, so the
    // recording is the offline render to the sample. At 48000 Hz the low-latency output renders the
    // engine frames each period needs, which splits the voice's control blocks elsewhere and moves
    // an envelope step by a few frames; a lost or repeated block would still show as a jump of the
    // whole waveform.
    int worst = 0;
    std::size_t worstAt = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const int difference = std::abs(expected[i] - recorded[i]);
      if (difference > worst) {
        worst = difference;
        worstAt = i;
      }
    }
    EXPECT_LE(worst, rate == 44100 ? 0 : kSplitBlockTolerance) << "at sample " << worstAt << " of " << expected.size();
  }
}

// The output delay the step light allows for, against the delay heard on a JACK server: a render
// callback that writes silence marks the last sample of a block now and then and notes the frame at
// which the server's current cycle began; a capture client finds the mark. Counted from cycle
// starts rather than the wall clock, the figure holds however late a loaded machine runs the
// cycles; the median of several marks is taken. The low-latency output renders at a cycle's start;
// the classic stream renders whenever its thread wakes, half a period into the cycle on average,
// which is where the reported delay counts from.
jack_client_t* g_clock = nullptr;
std::atomic<bool> g_markWanted{false};
std::atomic<jack_nframes_t> g_markedAt{0};

void MarkingRender(std::int16_t* samples, std::int32_t bytes) {
  const std::int32_t count = bytes / 2;
  std::fill(samples, samples + count, std::int16_t{0});
  if (count > 0 && g_markWanted.exchange(false, std::memory_order_acq_rel)) {
    samples[count - 1] = 32767;
    g_markedAt.store(jack_last_frame_time(g_clock), std::memory_order_release);
  }
}

TEST(OutputSwitchTest, ReportedDelayIsTheDelayHeard) {
  constexpr int kPeriod = 256;
  constexpr int kMarks = 5;
  CTestJackServer server(44100, kPeriod);
  const std::string why = server.Start();
  if (!why.empty()) GTEST_SKIP() << "no JACK server: " << why;
  for (const OutputMode mode : {OutputMode::kClassic, OutputMode::kLowLatency}) {
    SCOPED_TRACE(mode == OutputMode::kClassic ? "classic" : "low latency");
    // A loaded machine can hold the classic stream's thread between rendering a mark and reading
    // the cycle's frame, which scatters the marks over several periods; such a set is taken again
    // (twice at most). A delay reported wrongly is off by the same amount in every set.
    std::vector<long> heard;
    int reported = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
      AudioCapture capture(server, 44100 * 60);
      ASSERT_TRUE(capture.Activate());
      g_clock = capture.Client();
      COutputSwitch output;
      ASSERT_TRUE(output.Start(mode, &MarkingRender, nullptr));
      ASSERT_EQ(output.GetMode(), mode);
      ASSERT_TRUE(capture.Connect("Quembrel:outport 0", capture.PortName()));
      std::this_thread::sleep_for(300ms);
      heard.clear();
      for (int mark = 0; mark < kMarks; ++mark) {
        const std::size_t from = capture.Count();
        g_markWanted.store(true, std::memory_order_release);
        ASSERT_TRUE(WaitFor([] { return !g_markWanted.load(std::memory_order_acquire); }, 2s));
        const jack_nframes_t markedAt = g_markedAt.load(std::memory_order_acquire);
        bool found = false;
        const auto end = std::chrono::steady_clock::now() + 2s;
        while (!found && std::chrono::steady_clock::now() < end) {
          std::this_thread::sleep_for(20ms);
          const std::vector<float>& samples = capture.Samples();
          for (std::size_t i = from; i < capture.Count(); ++i) {
            if (samples[i] > 0.5f) {
              heard.push_back(static_cast<long>(static_cast<std::int32_t>(capture.FirstFrame() + i - markedAt)));
              found = true;
              break;
            }
          }
        }
        ASSERT_TRUE(found) << "mark " << mark << " was never heard";
        std::this_thread::sleep_for(200ms);
      }
      reported = output.GetLatencyFrames();
      output.Stop();
      capture.Close();
      std::sort(heard.begin(), heard.end());
      if (heard.back() - heard.front() <= kPeriod) break;
    }
    const long median = heard[kMarks / 2];
    std::printf("output delay %s: reported %d frames, heard %ld (%ld to %ld)\n",
                mode == OutputMode::kClassic ? "classic" : "low latency", reported, median, heard.front(),
                heard.back());
    const long expected = reported + (mode == OutputMode::kClassic ? kPeriod / 2 : 0) - 1;
    EXPECT_NEAR(median, expected, kPeriod / 8);
  }
}

// The JACK server killed under the running output, in either mode, and started again: the output
// notices, renders nothing meanwhile, and comes back on the new server in the same mode, with its
// port and the MIDI input's. A classic output that still ran on RtAudio's JACK backend would have
// the stream closed from the library's shutdown thread while its owner closed it too.
std::atomic<long> g_rendered{0};

void CountingRender(std::int16_t* samples, std::int32_t bytes) {
  std::fill(samples, samples + bytes / 2, std::int16_t{0});
  g_rendered.fetch_add(bytes / 2, std::memory_order_relaxed);
}

TEST(OutputSwitchTest, ComesBackAfterTheJackServerIsKilled) {
  CTestJackServer server(48000, 256);
  const std::string why = server.Start();
  if (!why.empty()) GTEST_SKIP() << "no JACK server: " << why;
  for (const OutputMode mode : {OutputMode::kClassic, OutputMode::kLowLatency}) {
    SCOPED_TRACE(mode == OutputMode::kClassic ? "classic" : "low latency");
    COutputSwitch output;
    ASSERT_TRUE(output.Start(mode, &CountingRender, nullptr));
    ASSERT_EQ(output.GetMode(), mode);
    ASSERT_TRUE(WaitFor([] { return g_rendered.load() > 48000; }, 60s));
    server.Kill();
    ASSERT_TRUE(WaitFor([&] { return !output.IsPlaying(); }, 30s)) << "the loss went unnoticed";
    const long renderedThen = g_rendered.load();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(g_rendered.load(), renderedThen) << "rendered for nobody";
    ASSERT_EQ(server.Start(), "");
    ASSERT_TRUE(WaitFor([&] { return output.IsPlaying(); }, 30s)) << "did not come back";
    EXPECT_EQ(output.GetMode(), mode);
    EXPECT_TRUE(HasPort(server, "Quembrel:outport 0"));
    const long back = g_rendered.load();
    EXPECT_TRUE(WaitFor([&] { return g_rendered.load() > back + 48000; }, 60s)) << "silent after coming back";
    output.Stop();
  }
}

}  // namespace
