// The computer keyboard as a note source: the key map, the octave, and the application filter.
#include "ui/computer_keyboard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <algorithm>
#include <cstdint>

namespace {

constexpr int kNoteKeys[CComputerKeyboard::kKeyCount] = {
    Qt::Key_A, Qt::Key_W, Qt::Key_S, Qt::Key_E, Qt::Key_D, Qt::Key_F, Qt::Key_T,
    Qt::Key_G, Qt::Key_Y, Qt::Key_H, Qt::Key_U, Qt::Key_J, Qt::Key_K,
};
constexpr int kOctaveDownKey = Qt::Key_Z;
constexpr int kOctaveUpKey = Qt::Key_X;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kVelocity = 100;

int KeyIndex(int key) {
  const int* found = std::find(std::begin(kNoteKeys), std::end(kNoteKeys), key);
  return found == std::end(kNoteKeys) ? -1 : static_cast<int>(found - std::begin(kNoteKeys));
}

bool IsKeyboardKey(int key) { return KeyIndex(key) >= 0 || key == kOctaveDownKey || key == kOctaveUpKey; }

}  // namespace

CComputerKeyboard::CComputerKeyboard(CNoteTarget& target)
    : notes(target), firstNote(kFirstNote), filtering(false) {
  sounding.fill(-1);
}

CComputerKeyboard::~CComputerKeyboard() {
  if (filtering) qApp->removeEventFilter(this);
}

void CComputerKeyboard::Watch(QWidget* window) {
  if (window == nullptr) return;
  windows.push_back(window);
  if (!filtering && qApp != nullptr) {
    qApp->installEventFilter(this);
    filtering = true;
  }
}

bool CComputerKeyboard::KeyDown(int key, bool autoRepeat) {
  if (!IsKeyboardKey(key)) return false;
  if (autoRepeat) return true;
  if (key == kOctaveDownKey) {
    firstNote = std::max(firstNote - 12, 0);
  } else if (key == kOctaveUpKey) {
    firstNote = std::min(firstNote + 12, kHighestFirstNote);
  } else {
    const int index = KeyIndex(key);
    const int note = firstNote + index;
    // The top key of the highest octave would be past the MIDI range.
    if (sounding[index] < 0 && note <= 127) {
      sounding[index] = note;
      Send(kNoteOn, note);
    }
  }
  return true;
}

bool CComputerKeyboard::KeyUp(int key, bool autoRepeat) {
  if (!IsKeyboardKey(key)) return false;
  const int index = KeyIndex(key);
  if (!autoRepeat && index >= 0 && sounding[index] >= 0) {
    Send(kNoteOff, sounding[index]);
    sounding[index] = -1;
  }
  return true;
}

void CComputerKeyboard::ReleaseAll() {
  for (int& note : sounding) {
    if (note >= 0) Send(kNoteOff, note);
    note = -1;
  }
}

void CComputerKeyboard::Send(int status, int note) {
  const std::uint8_t message[3] = {static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(note),
                                   status == kNoteOn ? kVelocity : std::uint8_t{0}};
  notes.Receive(message, sizeof(message));
}

bool CComputerKeyboard::IsWatched(QObject* object) const {
  if (!object->isWidgetType()) return false;
  const QWidget* window = static_cast<QWidget*>(object)->window();
  return std::find(windows.begin(), windows.end(), window) != windows.end();
}

bool CComputerKeyboard::IsWatchedWindow(QObject* object) const {
  return std::find(windows.begin(), windows.end(), object) != windows.end();
}

bool CComputerKeyboard::TakesTheKeys(QObject* object) const {
  if (!object->isWidgetType() || IsWatchedWindow(object)) return false;
  const auto* widget = static_cast<QWidget*>(object);
  const Qt::WindowType type = widget->windowType();
  return widget->isWindow() && (type == Qt::Popup || type == Qt::Dialog || type == Qt::Window || widget->isModal());
}

bool CComputerKeyboard::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (!IsWatched(watched) ||
          (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
        return false;
      }
      return event->type() == QEvent::KeyPress ? KeyDown(key->key(), key->isAutoRepeat())
                                               : KeyUp(key->key(), key->isAutoRepeat());
    }
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
      if (IsWatchedWindow(watched)) ReleaseAll();
      return false;
    case QEvent::WindowStateChange:
      if (IsWatchedWindow(watched) && static_cast<QWidget*>(watched)->isMinimized()) ReleaseAll();
      return false;
    case QEvent::Show:
      // A menu or a dialog takes the keys from here on, their releases included, and a popup menu
      // does so without deactivating the window beneath it.
      if (TakesTheKeys(watched)) ReleaseAll();
      return false;
    default:
      return false;
  }
}
