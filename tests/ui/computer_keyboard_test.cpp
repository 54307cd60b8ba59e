// The computer keyboard as a player sends it keys: Qt key events on a watched window produce the
// voice calls a MIDI keyboard would (pitch from the key map and octave, last-note priority and
// legato through the note handler), key repeat and Ctrl shortcuts do nothing, a focused child keeps
// the keys that are not the keyboard's, and losing the focus releases every held key.
#include "ui/computer_keyboard.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <string>
#include <vector>

#include "sequencer/midi_note_handler.h"
#include "sequencer/note_target.h"
#include "tests/platform/window/test_app.h"

namespace {

// Writes each call as "f<note>", "on" or "off", the note found back from the frequency.
class RecordingTarget final : public CNoteTarget {
 public:
  void SetFrequency(float hz) override {
    for (int note = 0; note < 128; ++note) {
      if (CMidiNoteHandler::MidiNoteFrequency(note, 8192) == hz) calls.push_back("f" + std::to_string(note));
    }
  }
  void NoteOn() override { calls.push_back("on"); }
  void NoteOff() override { calls.push_back("off"); }
  std::vector<std::string> calls;
};

// A window with a focusable child that, like a knob, takes the arrow keys itself.
class KnobLike final : public QWidget {
 public:
  explicit KnobLike(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }
  int arrows = 0;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
      ++arrows;
      event->accept();
    } else {
      QWidget::keyPressEvent(event);
    }
  }
};

enum class Act { kDown, kUp, kRepeat, kCtrlDown, kLoseFocus };
struct Step {
  Act act;
  Qt::Key key;
};

void Send(QWidget* to, const Step& step) {
  if (step.act == Act::kLoseFocus) {
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(to->window(), &deactivate);
    return;
  }
  const QEvent::Type type = step.act == Act::kUp ? QEvent::KeyRelease : QEvent::KeyPress;
  const Qt::KeyboardModifiers modifiers = step.act == Act::kCtrlDown ? Qt::ControlModifier : Qt::NoModifier;
  QKeyEvent event(type, step.key, modifiers, QString(), step.act == Act::kRepeat);
  QApplication::sendEvent(to, &event);
}

TEST(ComputerKeyboardTest, KeysPlayLikeAMidiKeyboard) {
  TestApp();
  struct Case {
    const char* what;
    std::vector<Step> steps;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"one key, repeat ignored",
       {{Act::kDown, Qt::Key_A}, {Act::kRepeat, Qt::Key_A}, {Act::kUp, Qt::Key_A}},
       {"f60", "on", "off"}},
      {"the octave's keys",
       {{Act::kDown, Qt::Key_W}, {Act::kUp, Qt::Key_W}, {Act::kDown, Qt::Key_J}, {Act::kUp, Qt::Key_J},
        {Act::kDown, Qt::Key_K}, {Act::kUp, Qt::Key_K}},
       {"f61", "on", "off", "f71", "on", "off", "f72", "on", "off"}},
      {"last note priority, legato back to the held key",
       {{Act::kDown, Qt::Key_A}, {Act::kDown, Qt::Key_D}, {Act::kUp, Qt::Key_D}, {Act::kUp, Qt::Key_A}},
       {"f60", "on", "f64", "on", "f60", "off"}},
      {"octave up and down",
       {{Act::kDown, Qt::Key_X}, {Act::kDown, Qt::Key_A}, {Act::kUp, Qt::Key_A}, {Act::kDown, Qt::Key_Z},
        {Act::kDown, Qt::Key_Z}, {Act::kDown, Qt::Key_A}, {Act::kUp, Qt::Key_A}},
       {"f72", "on", "off", "f48", "on", "off"}},
      {"a key ends the note it started, after an octave change",
       {{Act::kDown, Qt::Key_A}, {Act::kDown, Qt::Key_X}, {Act::kUp, Qt::Key_A}},
       {"f60", "on", "off"}},
      {"losing the focus releases every held key",
       {{Act::kDown, Qt::Key_A}, {Act::kDown, Qt::Key_D}, {Act::kLoseFocus, Qt::Key_unknown},
        {Act::kUp, Qt::Key_D}, {Act::kUp, Qt::Key_A}},
       {"f60", "on", "f64", "on", "off"}},
      {"shortcuts and other keys are not notes",
       {{Act::kCtrlDown, Qt::Key_A}, {Act::kDown, Qt::Key_Q}, {Act::kDown, Qt::Key_Left}},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingTarget target;
    QWidget window;
    KnobLike knob(&window);
    CComputerKeyboard keyboard(target);
    keyboard.Watch(&window);
    for (const Step& step : c.steps) Send(&knob, step);
    EXPECT_EQ(target.calls, c.calls);
  }
}

TEST(ComputerKeyboardTest, OctavesStayInTheMidiRangeAndAFocusedKnobKeepsItsKeys) {
  TestApp();
  RecordingTarget target;
  QWidget window;
  KnobLike knob(&window);
  CComputerKeyboard keyboard(target);
  keyboard.Watch(&window);
  for (int i = 0; i < 8; ++i) Send(&knob, {Act::kDown, Qt::Key_X});
  EXPECT_EQ(keyboard.GetFirstNote(), CComputerKeyboard::kHighestFirstNote);
  // Notes past 127 do not exist: the keys above G stay silent there.
  for (const Qt::Key key : {Qt::Key_A, Qt::Key_G, Qt::Key_H, Qt::Key_K}) {
    Send(&knob, {Act::kDown, key});
    Send(&knob, {Act::kUp, key});
  }
  EXPECT_EQ(target.calls, (std::vector<std::string>{"f120", "on", "off", "f127", "on", "off"}));
  for (int i = 0; i < 20; ++i) Send(&knob, {Act::kDown, Qt::Key_Z});
  EXPECT_EQ(keyboard.GetFirstNote(), 0);

  Send(&knob, {Act::kDown, Qt::Key_Left});
  Send(&knob, {Act::kDown, Qt::Key_Right});
  EXPECT_EQ(knob.arrows, 2);

  // An unwatched window's keys are its own.
  target.calls.clear();
  QWidget other;
  Send(&other, {Act::kDown, Qt::Key_A});
  EXPECT_TRUE(target.calls.empty());
}

}  // namespace
