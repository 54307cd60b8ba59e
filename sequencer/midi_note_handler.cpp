// Last-note-priority key handling and the byte parser that feeds it.
#include "sequencer/midi_note_handler.h"

#include <cmath>

namespace {

constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kProgramChange = 0xC0;
constexpr std::uint8_t kChannelPressure = 0xD0;
constexpr std::uint8_t kPitchBend = 0xE0;

// Controllers from here up are channel mode messages.
constexpr std::uint8_t kFirstChannelMode = 120;
constexpr std::uint8_t kAllSoundOff = 120;
constexpr std::uint8_t kResetAllControllers = 121;
// 123 is all-notes-off; 124 .. 127 switch omni and mono/poly modes, which also end every note.
constexpr std::uint8_t kAllNotesOff = 123;

constexpr int kBendCentre = 8192;

int DataLength(std::uint8_t status) {
  const std::uint8_t kind = status & 0xF0;
  return kind == kProgramChange || kind == kChannelPressure ? 1 : 2;
}

}  // namespace

CMidiNoteHandler::CMidiNoteHandler(CNoteTarget& target) : target(target) {}

float CMidiNoteHandler::MidiNoteFrequency(int note, int bend) {
  const double semitones = (note - 69) + (bend - kBendCentre) / 4096.0;
  return static_cast<float>(440.0 * std::pow(2.0, semitones / 12.0));
}

void CMidiNoteHandler::Receive(const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t byte = bytes[i];
    if (byte >= 0xF8) {
      continue;  // Real-time bytes (clock, start, stop...) may interrupt any message.
    }
    if (byte >= 0xF0) {
      // System exclusive and system common end running status; their data bytes are dropped below.
      runningStatus = 0;
      dataCount = 0;
    } else if (byte >= 0x80) {
      runningStatus = byte;
      dataCount = 0;
    } else if (runningStatus != 0) {
      data[dataCount++] = byte;
      if (dataCount == DataLength(runningStatus)) {
        Dispatch();
        dataCount = 0;
      }
    }
  }
}

void CMidiNoteHandler::Dispatch() {
  switch (runningStatus & 0xF0) {
    case kNoteOn:
      if (data[1] != 0) {
        KeyDown(data[0]);
      } else {
        KeyUp(data[0]);
      }
      break;
    case kNoteOff:
      KeyUp(data[0]);
      break;
    case kControlChange:
      if (data[0] == kAllSoundOff || data[0] >= kAllNotesOff) {
        Silence();
      } else if (data[0] == kResetAllControllers) {
        Bend(kBendCentre);
      } else if (data[0] < kFirstChannelMode) {
        target.ControlChange(data[0], data[1]);
      }
      break;
    case kPitchBend:
      Bend(data[0] | data[1] << 7);
      break;
    default:
      break;
  }
}

void CMidiNoteHandler::KeyDown(std::uint8_t note) {
  Forget(note);
  held[heldCount++] = note;
  target.SetFrequency(MidiNoteFrequency(note, bend));
  target.NoteOn();
}

void CMidiNoteHandler::KeyUp(std::uint8_t note) {
  if (heldCount == 0 || held[heldCount - 1] != note) {
    Forget(note);
    return;
  }
  --heldCount;
  if (heldCount > 0) {
    target.SetFrequency(MidiNoteFrequency(held[heldCount - 1], bend));
  } else {
    target.NoteOff();
  }
}

void CMidiNoteHandler::Bend(int value) {
  bend = value;
  // With no key held the voice may belong to the riff player or the panel; leave its pitch alone.
  if (heldCount > 0) {
    target.SetFrequency(MidiNoteFrequency(held[heldCount - 1], bend));
  }
}

void CMidiNoteHandler::Silence() {
  heldCount = 0;
  target.NoteOff();
}

void CMidiNoteHandler::Forget(std::uint8_t note) {
  for (int i = 0; i < heldCount; ++i) {
    if (held[i] == note) {
      for (int j = i + 1; j < heldCount; ++j) {
        held[j - 1] = held[j];
      }
      --heldCount;
      return;
    }
  }
}
