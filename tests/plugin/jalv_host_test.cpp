// The plugin in a real host: jalv runs it on a JACK server the test starts on the dummy driver, and
// the test, a JACK client of its own, sends notes to the plugin's MIDI port and captures its audio
// port: each note comes out at its pitch. The server freewheels while the notes play, so every
// client runs in every cycle however loaded the machine is. Skips only when the server cannot be
// started.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugin/plugin_ports.h"
#include "harness/jack_server.h"

namespace {

using namespace std::chrono_literals;

// A JACK client that plays two notes into one port and keeps what arrives at another.
class CNoteProbe {
 public:
  static constexpr std::uint32_t kCapacity = 44100;
  // Frames after the start of capture at which each note begins, and the notes.
  static constexpr std::uint32_t kFirstAt = 44100 / 4;
  static constexpr std::uint32_t kSecondAt = 44100 * 3 / 4;
  static constexpr std::uint8_t kFirstNote = 69;
  static constexpr std::uint8_t kSecondNote = 81;

  explicit CNoteProbe(const std::string& server) : samples(new float[kCapacity]) {
    jack_status_t status{};
    client = jack_client_open("quembrel-note-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                              &status, server.c_str());
    if (client == nullptr) return;
    midiOut = jack_port_register(client, "midi", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    audioIn = jack_port_register(client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, &CNoteProbe::Process, this);
    if (midiOut == nullptr || audioIn == nullptr || jack_activate(client) != 0) Close();
  }
  ~CNoteProbe() { Close(); }

  bool IsOpen() const { return client != nullptr; }
  bool Connect(const std::string& pluginClient) {
    return jack_connect(client, jack_port_name(midiOut), (pluginClient + ":control").c_str()) == 0 &&
           jack_connect(client, (pluginClient + ":out").c_str(), jack_port_name(audioIn)) == 0;
  }
  void StartCapture() { capturing.store(true, std::memory_order_release); }
  bool Freewheel(bool on) { return client != nullptr && jack_set_freewheel(client, on ? 1 : 0) == 0; }
  std::uint32_t Captured() const { return count.load(std::memory_order_acquire); }
  std::vector<float> Samples() const { return std::vector<float>(samples.get(), samples.get() + Captured()); }

  void Close() {
    if (client == nullptr) return;
    jack_deactivate(client);
    jack_client_close(client);
    client = nullptr;
  }

 private:
  static int Process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<CNoteProbe*>(arg);
    void* midi = jack_port_get_buffer(self->midiOut, frames);
    jack_midi_clear_buffer(midi);
    const auto* in = static_cast<const float*>(jack_port_get_buffer(self->audioIn, frames));
    if (!self->capturing.load(std::memory_order_acquire)) return 0;
    const std::uint32_t done = self->count.load(std::memory_order_relaxed);
    for (std::uint32_t at : {kFirstAt, kSecondAt}) {
      if (at >= done && at < done + frames) {
        const std::uint8_t note = at == kFirstAt ? kFirstNote : kSecondNote;
        const std::uint8_t on[3] = {0x90, note, 100};
        jack_midi_event_write(midi, at - done, on, 3);
      }
    }
    const std::uint32_t n = std::min<std::uint32_t>(frames, kCapacity - done);
    std::copy(in, in + n, self->samples.get() + done);
    self->count.store(done + n, std::memory_order_release);
    return 0;
  }

  jack_client_t* client = nullptr;
  jack_port_t* midiOut = nullptr;
  jack_port_t* audioIn = nullptr;
  std::unique_ptr<float[]> samples;
  std::atomic<bool> capturing{false};
  std::atomic<std::uint32_t> count{0};
};

// jalv as a child process, on the test's server, ended however the test ends.
class CJalv {
 public:
  CJalv(const std::string& server, const std::string& clientName) {
    int input[2];
    if (pipe(input) != 0) return;
    pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(input[0], STDIN_FILENO);
      close(input[1]);
      setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
      setenv("LV2_PATH", QUEMBREL_LV2_PATH, 1);
      execlp("jalv", "jalv", "-x", "-n", clientName.c_str(), "-c", "FollowHost=0", kPluginUri,
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(input[0]);
    // Held open so that jalv's console never reads the end of its input.
    stdinWrite = input[1];
  }
  ~CJalv() {
    EndChildProcess(pid);
    if (stdinWrite >= 0) close(stdinWrite);
  }
  CJalv(const CJalv&) = delete;
  CJalv& operator=(const CJalv&) = delete;

 private:
  pid_t pid = -1;
  int stdinWrite = -1;
};

// The pitch from the median distance between upward zero crossings.
double PitchOf(const std::vector<float>& out, std::size_t from, std::size_t count) {
  std::vector<double> gaps;
  double last = -1.0;
  for (std::size_t i = from + 1; i < from + count && i < out.size(); ++i) {
    if (out[i - 1] < 0.0f && out[i] >= 0.0f) {
      const double at = static_cast<double>(i - 1) + out[i - 1] / (out[i - 1] - out[i]);
      if (last >= 0.0) gaps.push_back(at - last);
      last = at;
    }
  }
  if (gaps.empty()) return 0.0;
  std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
  return 44100.0 / gaps[gaps.size() / 2];
}

TEST(JalvHostTest, NotesSentToTheMidiPortSoundAtTheirPitch) {
  CTestJackServer server(44100, 256);
  const std::string why = server.Start();
  if (!why.empty()) GTEST_SKIP() << "no JACK server: " << why;
  const std::string clientName = "quembrel-jalv-" + std::to_string(getpid());
  CJalv jalv(server.name, clientName);
  CNoteProbe probe(server.name);
  ASSERT_TRUE(probe.IsOpen());
  bool connected = false;
  for (auto end = std::chrono::steady_clock::now() + 20s; !connected && std::chrono::steady_clock::now() < end;) {
    connected = probe.Connect(clientName);
    if (!connected) std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(connected) << "jalv's ports never appeared";
  ASSERT_TRUE(probe.Freewheel(true));
  probe.StartCapture();
  // The limit, within CTest's, only ends a hang: freewheeling, the server runs through the capture
  // as fast as the machine lets it.
  for (auto end = std::chrono::steady_clock::now() + 100s;
       probe.Captured() < CNoteProbe::kCapacity && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(10ms);
  }
  probe.Freewheel(false);
  const std::vector<float> out = probe.Samples();
  ASSERT_EQ(out.size(), CNoteProbe::kCapacity);
  for (std::uint32_t i = 0; i < CNoteProbe::kFirstAt; ++i) ASSERT_EQ(out[i], 0.0f) << "sound before any note, " << i;
  EXPECT_NEAR(PitchOf(out, CNoteProbe::kFirstAt + 2000, 8820), 440.0, 4.4);
  EXPECT_NEAR(PitchOf(out, CNoteProbe::kSecondAt + 2000, 8820), 880.0, 8.8);
}

}  // namespace
