// Turns a stream of MIDI bytes into playing for the one monophonic voice, with last-note priority:
// the most recently pressed key that is still held sounds. Releasing it glides legato to the next
// held key (a new pitch without a new attack); releasing the last key ends the note. Notes arrive
// on any channel; the pitch wheel bends by up to two semitones either way; all-notes-off and
// all-sound-off silence the voice and forget every key; other control changes go to the target.
//
// The input is parsed as a wire stream: running status carries across calls, real-time bytes may
// sit anywhere, and bytes that do not form a channel message are dropped. One handler serves one
// MIDI stream on one thread; the voice behind the target does the hand-over to the audio thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sequencer/note_target.h"

class CMidiNoteHandler {
 public:
  explicit CMidiNoteHandler(CNoteTarget& target);
  CMidiNoteHandler(const CMidiNoteHandler&) = delete;
  CMidiNoteHandler& operator=(const CMidiNoteHandler&) = delete;

  void Receive(const std::uint8_t* bytes, std::size_t count);

  // 440 Hz at note 69, twelve notes per octave, bend 0 .. 16383 spanning -2 .. just under +2
  // semitones around the centre 8192.
  static float MidiNoteFrequency(int note, int bend);

 private:
  void Dispatch();
  void KeyDown(std::uint8_t note);
  void KeyUp(std::uint8_t note);
  void Bend(int value);
  void Silence();
  void Forget(std::uint8_t note);

  CNoteTarget& target;
  std::uint8_t runningStatus = 0;
  std::array<std::uint8_t, 2> data{};
  int dataCount = 0;
  int bend = 8192;
  // Held keys in the order they were pressed; the last one sounds. Each key appears at most once.
  std::array<std::uint8_t, 128> held{};
  int heldCount = 0;
};
