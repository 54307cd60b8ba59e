// CMidiLearn: binds MIDI controllers to the panels' controls. "Learn MIDI controller" in a control's
// right-click menu binds the next control change that arrives, on any channel, to that control;
// "Forget MIDI controller" unbinds it. A bound control follows its controller over the whole range,
// as if turned by hand (CControllerPanel::ApplyController). One controller moves one control and a
// control follows one controller: binding either again replaces the earlier binding. Bindings are
// kept in the settings file, group [midiLearn], one key a controller: cc74=synth/Cutoff. A control
// change bound to nothing is ignored.
//
// It is the note target the MIDI input plays: notes go on to the voice's target, control changes
// into a lock-free queue, from whatever MIDI thread delivers them (several at once, the low-latency
// output's audio thread among them). While a control is being learnt or one is bound, the
// user-interface thread drains the queue every few milliseconds and moves the controls; everything
// else here is the user-interface thread's.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/event_queue.h"
#include "platform/window/repeating_timer.h"
#include "sequencer/note_target.h"
#include "ui/controller_panel.h"

class CPopupMenu;

class CMidiLearn final : public CNoteTarget {
 public:
  static constexpr int kControllers = 120;
  static constexpr int kNoController = -1;
  static constexpr int kPollIntervalMs = 10;
  static constexpr int kLearnCommand = 0x300;
  static constexpr int kForgetCommand = 0x301;
  static constexpr const char* kSettingsGroup = "midiLearn";

  // `notes` must outlive the MIDI input's use of this target.
  explicit CMidiLearn(CNoteTarget& notes);

  // The panels bindings may name, then the bindings kept in the settings (those naming a control
  // no panel has are dropped), and the queue drained from now on.
  void Start(CControllerPanel& synth, CControllerPanel& riff);
  // The entries a control's right-click menu offers, and what choosing one does.
  void FillMenu(CPopupMenu& menu, const CControllerPanel& panel, int controlId) const;
  void OnMenuCommand(CControllerPanel& panel, int controlId, int command);
  // The next control change binds to this control.
  void Learn(CControllerPanel& panel, int controlId);
  void Forget(const CControllerPanel& panel, int controlId);
  // The controller bound to the control, or kNoController.
  int ControllerOf(const CControllerPanel& panel, int controlId) const;
  // Binds or moves controls for every control change received so far.
  void Poll();

  // Any MIDI thread.
  void SetFrequency(float hz) override { notes.SetFrequency(hz); }
  void NoteOn() override { notes.NoteOn(); }
  void NoteOff() override { notes.NoteOff(); }
  void ControlChange(int controller, int value) override;

 private:
  struct Binding {
    CControllerPanel* panel = nullptr;
    int controlId = 0;
  };
  struct Change {
    std::uint8_t controller = 0;
    std::uint8_t value = 0;
  };

  void UpdatePolling();
  void Bind(int controller, CControllerPanel& panel, int controlId);
  void Unbind(int controller);
  CControllerPanel* PanelNamed(const std::string& name) const;

  CNoteTarget& notes;
  std::array<CControllerPanel*, 2> panels{};
  std::array<Binding, kControllers> bindings{};
  Binding learning;
  // Enough for a fast sweep of several controllers between two polls.
  CEventQueue<Change, 1024> changes;
  CRepeatingTimer pollTimer;
};
