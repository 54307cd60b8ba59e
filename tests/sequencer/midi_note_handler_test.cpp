// What the MIDI note handler makes the voice do for streams of bytes: pitches, last-note priority
// with legato, the pitch wheel, the panic controllers, and wire-level oddities.
#include "sequencer/midi_note_handler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

struct Call {
  char kind;  // 'F' SetFrequency, '+' NoteOn, '-' NoteOff
  float hz;
};

Call F(float hz) { return {'F', hz}; }
const Call kOn{'+', 0.0f};
const Call kOff{'-', 0.0f};

class CRecorder final : public CNoteTarget {
 public:
  void SetFrequency(float hz) override { calls.push_back(F(hz)); }
  void NoteOn() override { calls.push_back(kOn); }
  void NoteOff() override { calls.push_back(kOff); }

  std::vector<Call> calls;
};

std::string Describe(const std::vector<Call>& calls) {
  std::string text;
  for (const Call& call : calls) {
    text += call.kind == 'F' ? "F" + std::to_string(call.hz) + " " : std::string(1, call.kind) + " ";
  }
  return text;
}

bool Same(const std::vector<Call>& got, const std::vector<Call>& want) {
  if (got.size() != want.size()) {
    return false;
  }
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (got[i].kind != want[i].kind || std::fabs(got[i].hz - want[i].hz) > want[i].hz * 1e-6f) {
      return false;
    }
  }
  return true;
}

// Equal-tempered pitches, 440 Hz at note 69, rounded to float.
constexpr float kNote0 = 8.17579937f;
constexpr float kNote58 = 233.081879f;
constexpr float kNote60 = 261.62558f;
constexpr float kNote62 = 293.664764f;
constexpr float kNote64 = 329.627563f;
constexpr float kNote67 = 391.995422f;
constexpr float kNote69 = 440.0f;
constexpr float kNote70 = 466.163757f;
constexpr float kNote71 = 493.883301f;
constexpr float kNote72 = 523.25116f;
constexpr float kNote127 = 12543.8535f;

struct Case {
  const char* name;
  std::vector<std::uint8_t> bytes;
  std::vector<Call> want;
};

const std::vector<Case> kCases = {
    {"note 69 is 440 Hz", {0x90, 69, 100}, {F(kNote69), kOn}},
    {"note 60", {0x90, 60, 100}, {F(kNote60), kOn}},
    {"note 127", {0x90, 127, 1}, {F(kNote127), kOn}},
    {"note 0 on channel 16", {0x9F, 0, 64}, {F(kNote0), kOn}},
    {"note off of the only key", {0x90, 69, 64, 0x80, 69, 64}, {F(kNote69), kOn, kOff}},
    {"velocity 0 is a note off", {0x90, 69, 64, 0x90, 69, 0}, {F(kNote69), kOn, kOff}},
    {"note off on another channel releases the key", {0x90, 69, 64, 0x85, 69, 0},
     {F(kNote69), kOn, kOff}},
    {"release of the sounding key glides to the held one without a new attack",
     {0x90, 60, 64, 0x90, 69, 64, 0x80, 69, 0, 0x80, 60, 0},
     {F(kNote60), kOn, F(kNote69), kOn, F(kNote60), kOff}},
    {"legato goes to the most recently pressed key still held",
     {0x90, 60, 64, 0x90, 64, 64, 0x90, 67, 64, 0x80, 67, 0, 0x80, 64, 0, 0x80, 60, 0},
     {F(kNote60), kOn, F(kNote64), kOn, F(kNote67), kOn, F(kNote64), F(kNote60), kOff}},
    {"release of a held key that is not sounding only forgets it",
     {0x90, 60, 64, 0x90, 64, 64, 0x90, 67, 64, 0x80, 64, 0, 0x80, 67, 0, 0x80, 60, 0},
     {F(kNote60), kOn, F(kNote64), kOn, F(kNote67), kOn, F(kNote60), kOff}},
    {"forgotten key is not returned to on the last release",
     {0x90, 60, 64, 0x90, 64, 64, 0x80, 60, 0, 0x80, 64, 0},
     {F(kNote60), kOn, F(kNote64), kOn, kOff}},
    {"release of a key that was never pressed does nothing", {0x80, 69, 64, 0x90, 60, 0}, {}},
    {"pressing a held key again makes it sound and keeps it only once",
     {0x90, 60, 64, 0x90, 64, 64, 0x90, 60, 64, 0x80, 60, 0, 0x80, 64, 0},
     {F(kNote60), kOn, F(kNote64), kOn, F(kNote60), kOn, F(kNote64), kOff}},
    {"bend 0 is two semitones down", {0x90, 69, 64, 0xE0, 0x00, 0x00},
     {F(kNote69), kOn, F(kNote67)}},
    {"bend 16383 is just under two semitones up", {0x90, 69, 64, 0xE0, 0x7F, 0x7F},
     {F(kNote69), kOn, F(493.876343f)}},
    {"bend centre is the key's own pitch", {0x90, 69, 64, 0xE3, 0x7F, 0x7F, 0xE3, 0x00, 0x40},
     {F(kNote69), kOn, F(493.876343f), F(kNote69)}},
    {"bend with no key held leaves the voice alone but bends the next key",
     {0xE0, 0x00, 0x00, 0x90, 72, 64}, {F(kNote70), kOn}},
    {"a legato glide keeps the bend", {0xE0, 0x00, 0x00, 0x90, 60, 64, 0x90, 64, 64, 0x80, 64, 0},
     {F(kNote58), kOn, F(kNote62), kOn, F(kNote58)}},
    {"reset all controllers recentres the wheel", {0xE0, 0x00, 0x00, 0x90, 69, 64, 0xB0, 121, 0},
     {F(kNote67), kOn, F(kNote69)}},
    {"all notes off ends the note and forgets every key",
     {0x90, 60, 64, 0x90, 64, 64, 0xB0, 123, 0, 0x80, 64, 0, 0x80, 60, 0},
     {F(kNote60), kOn, F(kNote64), kOn, kOff}},
    {"all sound off on any channel", {0x90, 60, 64, 0xBA, 120, 0, 0x80, 60, 0},
     {F(kNote60), kOn, kOff}},
    {"all notes off with no key held still silences the voice", {0xB0, 123, 0}, {kOff}},
    {"mode changes end every note like all notes off", {0x90, 60, 64, 0xB0, 126, 1, 0x80, 60, 0},
     {F(kNote60), kOn, kOff}},
    {"other controllers, aftertouch and programs are ignored",
     {0xB0, 1, 64, 0xB0, 64, 127, 0xA0, 69, 64, 0xC0, 5, 0xD0, 64}, {}},
    {"running status plays several notes",
     {0x90, 60, 64, 64, 64, 69, 64}, {F(kNote60), kOn, F(kNote64), kOn, F(kNote69), kOn}},
    {"running status with velocity 0 releases", {0x90, 60, 64, 60, 0}, {F(kNote60), kOn, kOff}},
    {"real-time bytes inside a message are skipped", {0x90, 0xF8, 69, 0xFE, 64, 0xFA, 0xFF},
     {F(kNote69), kOn}},
    {"data bytes before any status are dropped", {69, 64, 60, 0x90, 60, 64}, {F(kNote60), kOn}},
    {"a message cut short by a new status is dropped", {0x90, 69, 0x90, 60, 64},
     {F(kNote60), kOn}},
    {"a pitch bend cut short changes nothing", {0x90, 69, 64, 0xE0, 0x00, 0x80, 69, 0},
     {F(kNote69), kOn, kOff}},
    {"system exclusive contents are not read as notes", {0xF0, 0x7E, 69, 64, 0xF7, 60, 64}, {}},
    {"system exclusive ends running status", {0x90, 60, 64, 0xF0, 69, 64, 0xF7, 64, 64},
     {F(kNote60), kOn}},
    {"system common ends running status", {0x90, 60, 64, 0xF2, 0, 0, 0xF3, 1, 69, 64},
     {F(kNote60), kOn}},
    {"tune request and undefined status bytes end running status",
     {0x90, 60, 64, 0xF6, 69, 64, 0x90, 64, 64, 0xF4, 69, 64, 0xF5, 69, 64},
     {F(kNote60), kOn, F(kNote64), kOn}},
};

TEST(MidiNoteHandlerTest, StreamsPlayTheVoice) {
  for (const Case& c : kCases) {
    CRecorder whole;
    CMidiNoteHandler handler(whole);
    handler.Receive(c.bytes.data(), c.bytes.size());
    EXPECT_TRUE(Same(whole.calls, c.want)) << c.name << "\n  got:  " << Describe(whole.calls)
                                           << "\n  want: " << Describe(c.want);

    // A stream parser must not care how the bytes were cut into calls.
    CRecorder split;
    CMidiNoteHandler byteByByte(split);
    for (std::uint8_t byte : c.bytes) {
      byteByByte.Receive(&byte, 1);
    }
    EXPECT_TRUE(Same(split.calls, c.want)) << c.name << " (one byte at a time)\n  got:  "
                                           << Describe(split.calls);
  }
}

TEST(MidiNoteHandlerTest, NoteFrequencies) {
  struct Pitch {
    int note;
    int bend;
    float hz;
  };
  const Pitch pitches[] = {
      {69, 8192, 440.0f},  {60, 8192, kNote60}, {127, 8192, kNote127}, {0, 8192, kNote0},
      {72, 8192, kNote72}, {69, 0, kNote67},    {60, 0, kNote58},      {127, 16383, 14079.8018f},
  };
  for (const Pitch& p : pitches) {
    EXPECT_FLOAT_EQ(CMidiNoteHandler::MidiNoteFrequency(p.note, p.bend), p.hz)
        << "note " << p.note << " bend " << p.bend;
  }
  EXPECT_EQ(CMidiNoteHandler::MidiNoteFrequency(69, 0), CMidiNoteHandler::MidiNoteFrequency(67, 8192));
  const float top = CMidiNoteHandler::MidiNoteFrequency(69, 16383);
  EXPECT_LT(top, kNote71);
  EXPECT_GT(top, CMidiNoteHandler::MidiNoteFrequency(69, 16382));
}

TEST(MidiNoteHandlerTest, EmptyInputDoesNothing) {
  CRecorder recorder;
  CMidiNoteHandler handler(recorder);
  handler.Receive(nullptr, 0);
  EXPECT_TRUE(recorder.calls.empty());
}

// Random bytes, heavy on status bytes, must only ever produce well-formed playing: a pitch inside
// the keyboard's bent range before every attack, and silence after an all-notes-off.
TEST(MidiNoteHandlerTest, RandomBytesKeepTheVoiceSane) {
  std::mt19937 random(20261208);
  const float lowest = CMidiNoteHandler::MidiNoteFrequency(0, 0);
  const float highest = CMidiNoteHandler::MidiNoteFrequency(127, 16383);
  for (int round = 0; round < 200; ++round) {
    CRecorder recorder;
    CMidiNoteHandler handler(recorder);
    std::vector<std::uint8_t> bytes(2000);
    for (std::uint8_t& byte : bytes) {
      const unsigned value = random();
      byte = (value & 0x300) == 0 ? static_cast<std::uint8_t>(0x80 | (value & 0x7F))
                                  : static_cast<std::uint8_t>(value & 0x7F);
    }
    std::size_t at = 0;
    while (at < bytes.size()) {
      const std::size_t length = std::min<std::size_t>(random() % 7, bytes.size() - at);
      handler.Receive(bytes.data() + at, length);
      at += length;
    }
    const std::uint8_t panic[] = {0xB0, 123, 0};
    handler.Receive(panic, sizeof panic);

    for (std::size_t i = 0; i < recorder.calls.size(); ++i) {
      const Call& call = recorder.calls[i];
      if (call.kind == 'F') {
        ASSERT_TRUE(std::isfinite(call.hz));
        ASSERT_GE(call.hz, lowest);
        ASSERT_LE(call.hz, highest);
      } else if (call.kind == '+') {
        ASSERT_GT(i, 0u);
        ASSERT_EQ(recorder.calls[i - 1].kind, 'F') << "an attack without its pitch, round " << round;
      }
    }
    ASSERT_EQ(recorder.calls.back().kind, '-');
    const std::uint8_t afterPanic[] = {0x80, 60, 0, 0xE0, 0, 0};
    const std::size_t before = recorder.calls.size();
    handler.Receive(afterPanic, sizeof afterPanic);
    EXPECT_EQ(recorder.calls.size(), before) << "a key survived all-notes-off, round " << round;
  }
}

}  // namespace
