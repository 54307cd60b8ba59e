// What a note source plays: the three operations through which the riff player and the MIDI input
// drive the monophonic voice, and the control changes MIDI brings beside them. The real voice sits behind CVoiceNoteTarget; tests put a recorder here
// to see exactly which calls a stream of MIDI bytes produces.
#pragma once

class CNoteTarget {
 public:
  CNoteTarget() = default;
  CNoteTarget(const CNoteTarget&) = delete;
  CNoteTarget& operator=(const CNoteTarget&) = delete;
  virtual ~CNoteTarget() = default;

  virtual void SetFrequency(float hz) = 0;
  virtual void NoteOn() = 0;
  virtual void NoteOff() = 0;
  // A control change the note handling has no use for (controllers 0 to 119, any channel), for a
  // target that maps controllers onto controls; ignored unless a target takes it.
  virtual void ControlChange(int /*controller*/, int /*value*/) {}
};
