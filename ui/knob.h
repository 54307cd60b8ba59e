// CKnob: the rotary control of both panels, an owner-drawn push button showing one frame of a
// 64-frame knob strip, a four-cell read-out of its integer value and its caption as a label. The
// user drags vertically with the left button held (with Shift at a quarter of the speed); every
// drag step reports the knob's control id and value to its copy of the knob-change callback, which
// is how the panels learn of changes. The wheel over the knob, focused or not, turns it one step a
// notch (ten with Shift); with focus the arrow keys step it by one, Page Up and Down by ten, Home
// and End go to the limits. These report only when the value changes. A panel describes the
// parameter a knob edits (Describe): its tooltip then names it with its value and unit, and a
// double click sets the parameter's default. A lit knob shows its read-out backlit; the riff panel
// lights the step being heard this way.
#pragma once

#include <cstdint>
#include <string>

#include "engine/param_info.h"
#include "platform/window/button.h"
#include "platform/window/raster_image.h"

using KnobCallback = void (*)(int controlId, int value);

// The panel handler that the next SetRange copies into its knob; empty at program start.
extern KnobCallback g_knobCallback;
// Bitmap 129: 64 frames of 32 x 32 side by side, the marker turning clockwise.
extern CRasterImage g_knobStrip;
// Bitmap 131: 12 glyphs of 8 x 12 side by side: blank, the digits 0 to 9, minus.
extern CRasterImage g_digitGlyphs;
// Bitmap 132: the same glyphs backlit, for a lit read-out.
extern CRasterImage g_litDigitGlyphs;
// Set by the first knob constructed, once it has tried to load the bitmaps.
extern bool g_knobBitmapsLoaded;

class CKnob : public CButton {
 public:
  static constexpr int kKnobStripId = 129;
  static constexpr int kDigitGlyphsId = 131;
  static constexpr int kLitDigitGlyphsId = 132;
  static constexpr int kFrameSize = 32;
  static constexpr int kGlyphWidth = 8;
  static constexpr int kGlyphHeight = 12;
  static constexpr int kLabelTop = 44;
  // Vertical travel, in pixels, of a sweep across the whole range; Shift makes it this many times
  // longer.
  static constexpr int kSweepPixels = 256;
  static constexpr int kFineFactor = 4;
  // Steps of a Shift-wheel notch and of Page Up and Down.
  static constexpr int kBigStep = 10;

  CKnob();
  ~CKnob() override;

  LResult WindowProc(unsigned message, WParam wParam, LParam lParam) override;
  void DrawItem(const DrawItemInfo& info) override;
  // "Full name: value unit", or empty for a knob no panel has described.
  std::string ToolTipText() const override;

  // Clamps v into the range; neither redraws nor reports.
  void SetValue(int v);
  // Moves to v as a hand on the knob does: clamped, and reported and redrawn if the value changes.
  void TurnTo(int v) { ChangeTo(v); }
  // Applies min..max and then SetValue(v) when min < max; always copies g_knobCallback.
  void SetRange(int min, int max, int v);
  // The parameter this knob edits, which must outlive it; null for none.
  void Describe(const ParamInfo* info) { param = info; }
  // Lights or darkens the read-out, redrawing only the read-out and only when that changes.
  void SetLit(bool lit);
  bool IsLit() const { return lit; }

  int GetValue() const { return value; }
  int GetMin() const { return minValue; }
  int GetMax() const { return maxValue; }
  KnobCallback GetCallback() const { return callback; }
  // The knob whose change the callback is being told of, so that a panel's handler, shared by
  // every copy of the panel, finds its own; null outside a callback.
  static const CKnob* Reporter() { return reporter; }
  bool IsDragging() const { return dragging != 0; }

  // The strip frame shown for the current value, 0..62.
  int FrameIndex() const;
  // The glyphs of the four read-out cells, left to right.
  void ReadoutGlyphs(int glyphs[4]) const;

 private:
  void SetValueWide(std::int64_t v);
  // Moves to v, clamped; reports, redraws and refreshes the tooltip only if the value changed.
  void ChangeTo(std::int64_t v);
  void OnDragMove(WParam flags, int y);
  bool OnKey(WParam key);

  static const CKnob* reporter;
  KnobCallback callback = nullptr;
  const ParamInfo* param = nullptr;
  int minValue = 0;
  int maxValue = 0;
  int value = 0;
  // Number of values, max - min + 1; 64-bit so that no range of 32-bit limits overflows it.
  std::int64_t range = 1;
  int dragStartValue = 0;
  int dragging = 0;
  int dragStartY = 0;
  bool dragFine = false;
  bool lit = false;
  // What is left of the wheel's turn below a whole notch, for wheels that turn in finer steps.
  int wheelRest = 0;
};
