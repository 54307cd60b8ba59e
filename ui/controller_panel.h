// CControllerPanel: what MIDI learn asks of a panel. A panel names the controls a MIDI controller
// may be bound to (knobs, radio groups, check boxes), tells which one a right click is on, and moves
// one to a controller's value as the user's hand would, so that the change takes the same road as a
// turn or a click: the control shows it and the module hears it at once. A radio group is one
// control, named by its first button's id.
#pragma once

#include <string>

#include "ui/knob.h"
#include "ui/knob_param.h"

class CControllerPanel {
 public:
  // The controller's range, 0 to 127, spread over a control's whole range.
  static constexpr int kControllerMax = 127;

  CControllerPanel() = default;
  CControllerPanel(const CControllerPanel&) = delete;
  CControllerPanel& operator=(const CControllerPanel&) = delete;
  virtual ~CControllerPanel() = default;

  // The name the settings file knows the panel by.
  virtual const char* LearnPanelName() const = 0;
  // The bindable control at a point on the screen, or 0 for none.
  virtual int LearnableControlAt(int screenX, int screenY) const = 0;
  // The name the settings file knows a control by ("Cutoff", "Lfo1Targets:2"), empty for a
  // control that cannot be bound; and back, 0 for a name the panel does not have.
  virtual std::string LearnName(int controlId) const = 0;
  virtual int LearnControlNamed(const std::string& name) const = 0;
  // Moves the control to where a controller value of 0 .. 127 puts it.
  virtual void ApplyController(int controlId, int value) = 0;

  // `value` spread over minimum .. maximum, rounded to the nearest.
  static int Scale(int value, int minimum, int maximum) {
    const long long span = static_cast<long long>(maximum) - minimum;
    return static_cast<int>(minimum + (value * span + kControllerMax / 2) / kControllerMax);
  }

 protected:
  // Turns the knob of `table` (knobs[k] is row k's) with `controlId` to `value`'s place in its
  // range; false when the table has no such knob.
  static bool TurnKnob(const KnobParam* table, CKnob* knobs, int controlId, int value) {
    for (int k = 0; table[k].controlId > 0; ++k) {
      if (table[k].controlId == controlId) {
        knobs[k].TurnTo(Scale(value, knobs[k].GetMin(), knobs[k].GetMax()));
        return true;
      }
    }
    return false;
  }
};
