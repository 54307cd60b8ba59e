// Two MIDI threads (one per MIDI system) play keys into the voice while the audio thread renders it
// through a playing riff and a panel thread turns every knob and presses the panel's buttons. Run
// under ThreadSanitizer; afterwards the keys must still play the voice exactly.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "engine/synth_voice.h"
#include "engine/voice_params.h"
#include "sequencer/midi_note_handler.h"
#include "sequencer/riff_params.h"
#include "sequencer/riff_player.h"
#include "sequencer/voice_note_target.h"

namespace {

constexpr int kBlockFrames = 512;
constexpr auto kRunTime = std::chrono::milliseconds(1500);

void PlayRandomKeys(CSynthVoice& voice, unsigned seed, const std::atomic<bool>& done,
                    int& messages) {
  CVoiceNoteTarget target(voice);
  CMidiNoteHandler keys(target);
  std::mt19937 random(seed);
  while (!done.load(std::memory_order_relaxed)) {
    std::uint8_t message[3];
    const std::uint8_t channel = random() % 16;
    std::size_t length = 3;
    switch (random() % 8) {
      case 0:
      case 1:
      case 2:
        message[0] = 0x90 | channel;
        message[1] = 36 + random() % 48;
        message[2] = random() % 4 == 0 ? 0 : 1 + random() % 127;
        break;
      case 3:
      case 4:
        message[0] = 0x80 | channel;
        message[1] = 36 + random() % 48;
        message[2] = 0;
        break;
      case 5:
        message[0] = 0xE0 | channel;
        message[1] = random() % 128;
        message[2] = random() % 128;
        break;
      case 6:
        message[0] = 0xB0 | channel;
        message[1] = random() % 2 == 0 ? 123 : 120;
        message[2] = 0;
        break;
      default:
        for (std::uint8_t& byte : message) {
          byte = random() % 256;
        }
        length = 1 + random() % 3;
        break;
    }
    keys.Receive(message, length);
    ++messages;
    // Bursts as dense as a sequencer's, then room for the audio thread.
    if (random() % 32 == 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
}

void TurnKnobs(CSynthVoice& voice, CRiffPlayer& riff, const std::atomic<bool>& done) {
  std::mt19937 random(7);
  while (!done.load(std::memory_order_relaxed)) {
    const int v = random() % kVoiceParamCount;
    const ParamInfo& vp = kVoiceParams[v];
    voice.SetParam(v, static_cast<ParamValue>(vp.minimum + random() % (vp.maximum - vp.minimum + 1)));
    const int r = kBpm + random() % (kRiffParamCount - kBpm);
    const ParamInfo& rp = kRiffParams[r];
    riff.SetParam(r, static_cast<ParamValue>(rp.minimum + random() % (rp.maximum - rp.minimum + 1)));
    switch (random() % 64) {
      case 0:
        riff.Stop();
        break;
      case 1:
        riff.Play();
        break;
      case 2:
        voice.NoteOn();
        break;
      case 3:
        voice.NoteOff();
        break;
      default:
        break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

TEST(MidiKeysStressTest, KeysRiffAndKnobsTogether) {
  CSynthVoice voice;
  voice.Init();
  CRiffPlayer riff;
  riff.Init();
  riff.Attach(&voice);
  riff.SetParam(kBpm, 200);
  riff.Play();

  std::atomic<bool> done{false};
  int badFrames = 0;
  int blocks = 0;
  std::thread audio([&] {
    std::vector<StereoFrame> frames(kBlockFrames);
    const auto end = std::chrono::steady_clock::now() + kRunTime;
    for (; std::chrono::steady_clock::now() < end; ++blocks) {
      std::fill(frames.begin(), frames.end(), StereoFrame{0.0f, 0.0f});
      riff.Render(frames.data(), kBlockFrames);
      for (const StereoFrame& frame : frames) {
        badFrames += !std::isfinite(frame.left) || !std::isfinite(frame.right);
      }
      // A device asks for a block now and then; the other threads get the gaps.
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    done = true;
  });
  int alsaMessages = 0;
  int jackMessages = 0;
  std::thread alsa(PlayRandomKeys, std::ref(voice), 1u, std::cref(done), std::ref(alsaMessages));
  std::thread jack(PlayRandomKeys, std::ref(voice), 2u, std::cref(done), std::ref(jackMessages));
  std::thread panel(TurnKnobs, std::ref(voice), std::ref(riff), std::cref(done));
  audio.join();
  alsa.join();
  jack.join();
  panel.join();
  RecordProperty("blocks", blocks);
  RecordProperty("midi_messages", alsaMessages + jackMessages);
  EXPECT_EQ(badFrames, 0);
  EXPECT_GT(blocks, 100);
  EXPECT_GT(alsaMessages, 1000);
  EXPECT_GT(jackMessages, 1000);

  // The storm is over: a key must sound at its pitch, and its release must end the note.
  riff.Stop();
  CVoiceNoteTarget target(voice);
  CMidiNoteHandler keys(target);
  const std::uint8_t press[] = {0xB0, 123, 0, 0xE0, 0x00, 0x40, 0x90, 60, 100};
  keys.Receive(press, sizeof press);
  std::vector<StereoFrame> frames(kBlockFrames);
  riff.Render(frames.data(), 0);
  EXPECT_EQ(voice.GetBaseFrequency(), CMidiNoteHandler::MidiNoteFrequency(60, 8192));
  EXPECT_TRUE(voice.IsActive());

  const std::uint8_t release[] = {0x80, 60, 0};
  keys.Receive(release, sizeof release);
  // The longest release the panel allows is one second.
  for (int rendered = 0; rendered < 44100 + kBlockFrames && voice.IsActive();
       rendered += kBlockFrames) {
    riff.Render(frames.data(), kBlockFrames);
  }
  EXPECT_FALSE(voice.IsActive());
}

}  // namespace
