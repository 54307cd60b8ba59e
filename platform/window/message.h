// The messages our window layer hands to controls and dialogs, in the shape the panels are written
// against: a message number, a word parameter and a long parameter. Commands carry the control id
// in the low half of the word parameter and the notification code in the high half; mouse moves
// carry the button and modifier flags in the word parameter and the position, as two signed 16-bit
// numbers relative to the control, in the long parameter. Wheel turns carry the same flags in the
// low half of the word parameter and the signed turn (120 per notch, positive away from the user)
// in its high half; key presses carry the key's code in the word parameter; a double click carries
// what a mouse move does.
#pragma once

#include <cstdint>

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

constexpr unsigned kMsgKeyDown = 0x0100;
constexpr unsigned kMsgMouseMove = 0x0200;
constexpr unsigned kMsgLeftButtonDoubleClick = 0x0203;
constexpr unsigned kMsgMouseWheel = 0x020A;

// One notch of a mouse wheel.
constexpr int kWheelDelta = 120;

// The codes of the navigation keys in key-press messages; no other key is handed to a control.
constexpr WParam kKeyPageUp = 0x21;
constexpr WParam kKeyPageDown = 0x22;
constexpr WParam kKeyEnd = 0x23;
constexpr WParam kKeyHome = 0x24;
constexpr WParam kKeyLeft = 0x25;
constexpr WParam kKeyUp = 0x26;
constexpr WParam kKeyRight = 0x27;
constexpr WParam kKeyDown = 0x28;

constexpr WParam kMouseLeftButton = 0x0001;
constexpr WParam kMouseRightButton = 0x0002;
constexpr WParam kMouseShift = 0x0004;
constexpr WParam kMouseControl = 0x0008;
constexpr WParam kMouseMiddleButton = 0x0010;

// A plain click of a button; the only notification our controls send.
constexpr int kNotifyClicked = 0;

// Ids of the dialogs' default ending commands and DoModal's results.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

constexpr WParam MakeWParam(int low, int high) {
  return (static_cast<WParam>(static_cast<std::uint16_t>(high)) << 16) |
         static_cast<std::uint16_t>(low);
}
constexpr int LowWord(WParam w) { return static_cast<int>(w & 0xFFFF); }
constexpr int HighWord(WParam w) { return static_cast<int>((w >> 16) & 0xFFFF); }
// The signed turn in a wheel message's word parameter.
constexpr int WheelDelta(WParam w) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(HighWord(w))); }

constexpr LParam MakeMouseLParam(int x, int y) {
  return static_cast<LParam>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16) |
                             static_cast<std::uint16_t>(x));
}
// Positions left of or above the control come out negative, as the drag rule expects.
constexpr int MouseX(LParam l) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(l & 0xFFFF)); }
constexpr int MouseY(LParam l) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((l >> 16) & 0xFFFF));
}
