// The program's MIDI input: at start-up it opens one virtual input port named "Quembrel" on every
// MIDI system that is there (the ALSA sequencer on a desktop, JACK MIDI while a JACK server runs),
// so a keyboard or a sequencer can be connected to it with the usual tools. Each port plays the
// note target it is given (the program wires it to the voice) through its own note handler on the
// MIDI system's thread. Where no system is available the
// program simply goes on without MIDI, and nothing is printed either way.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>

class CMidiNoteHandler;
class CNoteTarget;
class RtMidiIn;

class CMidiInput {
 public:
  CMidiInput();
  CMidiInput(const CMidiInput&) = delete;
  CMidiInput& operator=(const CMidiInput&) = delete;
  ~CMidiInput();

  // Returns whether at least one port is open; opening again closes the earlier ports first.
  bool Open(CNoteTarget& target);
  // After Close no MIDI thread touches the target any more.
  void Close();
  // Closes the JACK port while another client holds the program's JACK MIDI port, and opens it
  // again afterwards; nothing happens while the input is closed.
  void SetJackPortOpen(bool open);
  int GetOpenPortCount() const;

 private:
  struct Port {
    std::unique_ptr<CMidiNoteHandler> notes;
    std::unique_ptr<RtMidiIn> in;
    std::atomic<bool> failed{false};
  };

  bool OpenPort(std::size_t index);
  void CloseLocked();

  std::array<Port, 2> ports;
  CNoteTarget* target = nullptr;
  // The control calls may come from two threads (the UI's, and the output's watch thread handing
  // over the JACK port); the MIDI threads never take it.
  mutable std::mutex control;
};
