// The MIDI input against real MIDI systems: quiet when there is none, and played from another JACK
// client through a private JACK server that the test starts on the dummy driver.
#include "platform/sound/midi_input.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sequencer/note_target.h"
#include "harness/jack_server.h"
#include "harness/wait_for.h"

namespace {

using namespace std::chrono_literals;

// The last state the MIDI thread left the voice in, readable from the test thread.
class CVoiceWatch final : public CNoteTarget {
 public:
  void SetFrequency(float hz) override {
    frequency = hz;
    ++pitchChanges;
  }
  void NoteOn() override {
    gate = true;
    ++noteOns;
  }
  void NoteOff() override {
    gate = false;
    ++noteOffs;
  }

  std::atomic<float> frequency{0.0f};
  std::atomic<bool> gate{false};
  std::atomic<int> pitchChanges{0};
  std::atomic<int> noteOns{0};
  std::atomic<int> noteOffs{0};
};

class MidiInputJackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string failure = server.Start();
    if (!failure.empty()) {
      GTEST_SKIP() << "no JACK server: " << failure;
    }
    ASSERT_TRUE(input.Open(watch));
    keyboard = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "QuembrelTestKeyboard");
    for (unsigned i = 0; i < keyboard->getPortCount(); ++i) {
      if (keyboard->getPortName(i).find("Quembrel MIDI:Quembrel") != std::string::npos) {
        keyboard->openPort(i, "keys");
        break;
      }
    }
    ASSERT_TRUE(keyboard->isPortOpen()) << "no JACK port named Quembrel MIDI:Quembrel";
    // A new connection carries messages only from a later process cycle on: knock until it does.
    ASSERT_TRUE(WaitFor([&] {
      Send({0xB0, 123, 0});
      std::this_thread::sleep_for(20ms);
      return watch.noteOffs > 0;
    })) << "the connection to Quembrel never carried a message";
    do {
      baseOffs = watch.noteOffs;
      std::this_thread::sleep_for(100ms);
    } while (watch.noteOffs != baseOffs);
  }

  void TearDown() override {
    keyboard.reset();
    input.Close();
    server.Kill();
  }

  void Send(std::vector<unsigned char> message) { keyboard->sendMessage(&message); }

  // Messages on one port arrive in order, so a note played after a message proves it was handled.
  void SendThenMark(std::vector<unsigned char> message) {
    const int ons = watch.noteOns;
    Send(std::move(message));
    Send({0x90, 40, 100});
    ASSERT_TRUE(WaitFor([&] { return watch.noteOns == ons + 1; }));
    Send({0x80, 40, 0});
    ASSERT_TRUE(WaitFor([&] { return !watch.gate; }));
  }

  CTestJackServer server{44100, 1024};
  CVoiceWatch watch;
  CMidiInput input;
  std::unique_ptr<RtMidiOut> keyboard;
  int baseOffs = 0;
};

TEST_F(MidiInputJackTest, KeysPlayTheVoice) {
  struct Step {
    const char* what;
    std::vector<unsigned char> message;
    float hz;
    bool gate;
    int noteOns;
    int noteOffs;  // besides those of the knocks in SetUp
  };
  const Step steps[] = {
      {"note 69", {0x90, 69, 100}, 440.0f, true, 1, 0},
      {"its release", {0x80, 69, 0}, 440.0f, false, 1, 1},
      {"note 60", {0x91, 60, 100}, 261.62558f, true, 2, 1},
      {"note 127 over it", {0x90, 127, 100}, 12543.8535f, true, 3, 1},
      {"127 released: legato back to 60", {0x80, 127, 0}, 261.62558f, true, 3, 1},
      {"60 released by velocity 0", {0x90, 60, 0}, 261.62558f, false, 3, 2},
      {"note 69 again", {0x90, 69, 100}, 440.0f, true, 4, 2},
      {"wheel fully down", {0xE0, 0x00, 0x00}, 391.995422f, true, 4, 2},
      {"wheel fully up", {0xE0, 0x7F, 0x7F}, 493.876343f, true, 4, 2},
      {"wheel centred", {0xE0, 0x00, 0x40}, 440.0f, true, 4, 2},
      {"note 60 over 69", {0x90, 60, 100}, 261.62558f, true, 5, 2},
      {"all notes off", {0xB0, 123, 0}, 261.62558f, false, 5, 3},
  };
  for (const Step& step : steps) {
    const int pitchChanges = watch.pitchChanges;
    const int events = watch.noteOns + watch.noteOffs;
    Send(step.message);
    ASSERT_TRUE(WaitFor([&] {
      return watch.pitchChanges != pitchChanges || watch.noteOns + watch.noteOffs != events;
    })) << step.what << ": nothing reached the voice";
    // A note-on is a pitch and then an attack; give the second call its moment.
    WaitFor([&] {
      return watch.noteOns == step.noteOns && watch.noteOffs == baseOffs + step.noteOffs;
    });
    EXPECT_FLOAT_EQ(watch.frequency, step.hz) << step.what;
    EXPECT_EQ(watch.gate, step.gate) << step.what;
    EXPECT_EQ(watch.noteOns, step.noteOns) << step.what;
    EXPECT_EQ(watch.noteOffs, baseOffs + step.noteOffs) << step.what;
  }

  // Keys held before all-notes-off are forgotten: releasing them must not touch the voice.
  const int offs = watch.noteOffs;
  SendThenMark({0x80, 69, 0});
  SendThenMark({0x80, 60, 0});
  EXPECT_EQ(watch.noteOffs, offs + 2) << "only the two marker notes may have ended";
}

TEST_F(MidiInputJackTest, CloseStopsTheInput) {
  input.Close();
  EXPECT_EQ(input.GetOpenPortCount(), 0);
  Send({0x90, 69, 100});
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(watch.noteOns, 0);
  EXPECT_EQ(watch.noteOffs, baseOffs);
}

TEST(MidiInputTest, WithoutAnySystemStaysQuiet) {
  if (access("/dev/snd/seq", F_OK) == 0) {
    GTEST_SKIP() << "this machine has an ALSA sequencer";
  }
  setenv("JACK_DEFAULT_SERVER", "quembrel-midi-test-no-such-server", 1);
  CVoiceWatch watch;
  CMidiInput input;
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  const bool opened = input.Open(watch);
  const bool openedAgain = input.Open(watch);
  input.Close();
  input.Close();
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(opened);
  EXPECT_FALSE(openedAgain);
  EXPECT_EQ(input.GetOpenPortCount(), 0);
  EXPECT_EQ(out + err, "");
  unsetenv("JACK_DEFAULT_SERVER");
}

}  // namespace
