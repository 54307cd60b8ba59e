// Plays the voice from the computer keyboard, laid out as on a piano the way music programs do:
// A W S E D F T G Y H U J K are one octave from C, starting at middle C (note 60); Z and X move that
// octave down and up, within the MIDI range. Key repeat is ignored. The notes go through a MIDI
// note handler of their own, so they get the same last-note priority and legato as a MIDI keyboard.
//
// Watch installs an application-wide filter that takes these keys (without Ctrl, Alt or Meta)
// whenever one of the watched windows is active, whichever of its controls has the focus, so a
// focused knob keeps its own keys and the letters still play. Whenever the keys stop reaching the
// watched windows every held key is released, since its release would go elsewhere and the note
// would hang: when a watched window loses the focus, is hidden or minimised, and when any popup
// menu or dialog opens. Everything runs on the UI thread.
#pragma once

#include <QObject>
#include <array>
#include <vector>

#include "sequencer/midi_note_handler.h"

class CNoteTarget;
class QWidget;

class CComputerKeyboard : public QObject {
 public:
  static constexpr int kFirstNote = 60;
  static constexpr int kHighestFirstNote = 120;
  // The keys of one octave and the note above it.
  static constexpr int kKeyCount = 13;

  explicit CComputerKeyboard(CNoteTarget& target);
  ~CComputerKeyboard() override;
  CComputerKeyboard(const CComputerKeyboard&) = delete;
  CComputerKeyboard& operator=(const CComputerKeyboard&) = delete;

  // Plays when `window` (a top-level widget) is the active window; called for each panel.
  void Watch(QWidget* window);

  // A key (a Qt key code) went down or up; true when it is one of this keyboard's keys.
  bool KeyDown(int key, bool autoRepeat);
  bool KeyUp(int key, bool autoRepeat);
  // Lets go of every held key.
  void ReleaseAll();
  // The note the A key plays.
  int GetFirstNote() const { return firstNote; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Send(int status, int note);
  bool IsWatched(QObject* object) const;
  bool IsWatchedWindow(QObject* object) const;
  // Whether `object` is a window other than the watched ones that gets the keys once shown.
  bool TakesTheKeys(QObject* object) const;

  CMidiNoteHandler notes;
  int firstNote;
  // The note each key started, so that it ends the same note after an octave change; -1 when up.
  std::array<int, kKeyCount> sounding;
  std::vector<QWidget*> windows;
  bool filtering;
};
