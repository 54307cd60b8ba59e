// Dialog units and the dialog font. Layouts are given in dialog units, a quarter of the font's
// average character width across and an eighth of its height down; they become pixels as
// x * baseX / 4 and y * baseY / 8, each number rounded to the nearest pixel on its own.
//
// The base units are fixed rather than measured from the font, so every layout comes out at the
// size it was designed for whatever font the machine substitutes: 6 x 13 pixels, the units of the
// 8-point dialog font at 96 dots per inch that the layouts were drawn with. At that size a knob of
// 25 x 35 units is 38 x 57 pixels, room for its 32-pixel image, its 12-pixel read-out and a
// 13-pixel label. The font is DejaVu Sans Condensed at 10 pixels: its letters are as tall as those
// of the 8-point face, and it is narrow enough that the widest knob caption, "Release", fits the
// 38-pixel knob whole. Pixels here are the window system's logical pixels: on a high-density
// screen the whole dialog is scaled by the screen's device pixel ratio.
#pragma once

#include "platform/window/rect.h"

class QFont;

constexpr int kDialogBaseUnitX = 6;
constexpr int kDialogBaseUnitY = 13;
constexpr int kDialogFontPixelSize = 10;
constexpr const char* kDialogFontFamily = "DejaVu Sans Condensed";

// a * b / c rounded half away from zero, in 64-bit arithmetic.
constexpr int ScaleRounded(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

constexpr int DialogUnitsToPixelsX(int x) { return ScaleRounded(x, kDialogBaseUnitX, 4); }
constexpr int DialogUnitsToPixelsY(int y) { return ScaleRounded(y, kDialogBaseUnitY, 8); }

// The pixel rectangle of a control placed at (x, y) with the given size in dialog units.
constexpr Rect MapDialogRect(int x, int y, int width, int height) {
  const int left = DialogUnitsToPixelsX(x);
  const int top = DialogUnitsToPixelsY(y);
  return Rect{left, top, left + DialogUnitsToPixelsX(width), top + DialogUnitsToPixelsY(height)};
}

QFont DialogFont();
