// CKnob: the frame and read-out drawing, the drag rule and the shared bitmaps.
#include "ui/knob.h"

#include <cstdlib>

#include "platform/draw_context.h"

KnobCallback g_knobCallback = nullptr;
CRasterImage g_knobStrip;
CRasterImage g_digitGlyphs;
bool g_knobBitmapsLoaded = false;

namespace {

constexpr int kReadoutCells = 4;
constexpr int kMinusGlyph = 11;
constexpr int kBlankGlyph = 0;

}  // namespace

CKnob::CKnob() {
  if (!g_knobBitmapsLoaded) {
    g_knobStrip.LoadResource(kKnobStripId);
    g_digitGlyphs.LoadResource(kDigitGlyphsId);
    g_knobBitmapsLoaded = true;
  }
  SetRange(-127, 127, 0);
  SetValue(0);
  dragStartY = 0;
  dragging = 0;
}

CKnob::~CKnob() = default;

void CKnob::SetValueWide(std::int64_t v) {
  if (v < minValue) {
    v = minValue;
  }
  if (v > maxValue) {
    v = maxValue;
  }
  value = static_cast<int>(v);
}

void CKnob::SetValue(int v) { SetValueWide(v); }

void CKnob::SetRange(int min, int max, int v) {
  if (min < max) {
    maxValue = max;
    minValue = min;
    range = static_cast<std::int64_t>(max) - min + 1;
    SetValue(v);
  }
  callback = g_knobCallback;
}

int CKnob::FrameIndex() const {
  return static_cast<int>(((static_cast<std::int64_t>(value) - minValue) * 63) / range);
}

void CKnob::ReadoutGlyphs(int glyphs[4]) const {
  std::int64_t a = std::llabs(static_cast<long long>(value));
  bool negative = value < 0;
  for (int cell = kReadoutCells - 1; cell >= 0; --cell) {
    const int digit = static_cast<int>(a % 10);
    if (cell == kReadoutCells - 1 || a != 0) {
      glyphs[cell] = digit + 1;
    } else if (negative) {
      glyphs[cell] = kMinusGlyph;
      negative = false;
    } else {
      glyphs[cell] = kBlankGlyph;
    }
    a /= 10;
  }
}

void CKnob::DrawItem(const DrawItemInfo& info) {
  CDrawContext& dc = *info.dc;
  CDrawContext memory;
  memory.CreateCompatible(dc);
  CRasterImage* original = nullptr;
  if (g_knobStrip.IsLoaded()) {
    original = memory.SelectBitmap(&g_knobStrip);
  }
  dc.CopyBlock(0, 0, kFrameSize, kFrameSize, memory, kFrameSize * FrameIndex(), 0);

  // With the glyphs missing the strip must not stay selected, or the cells would show pieces of it.
  if (g_digitGlyphs.IsLoaded()) {
    memory.SelectBitmap(&g_digitGlyphs);
  } else {
    memory.SelectBitmap(original);
  }
  int glyphs[kReadoutCells];
  ReadoutGlyphs(glyphs);
  for (int cell = kReadoutCells - 1; cell >= 0; --cell) {
    dc.CopyBlock(kGlyphWidth * cell, kFrameSize, kGlyphWidth, kGlyphHeight, memory,
                 kGlyphWidth * glyphs[cell], 0);
  }

  Rect label = info.itemRect;
  label.Offset(0, kLabelTop);
  dc.SetTextColor(GetSysColor(SystemColor::kWindowText));
  dc.PaintText(GetWindowText(), label, kTextCenter);
  memory.SelectBitmap(original);
}

LResult CKnob::WindowProc(unsigned message, WParam wParam, LParam lParam) {
  if (message == kMsgMouseMove) {
    const int y = MouseY(lParam);
    if (!(wParam & kMouseLeftButton)) {
      dragging = 0;
    } else if (dragging == 0) {
      dragStartY = y;
      dragStartValue = value;
      dragging = 1;
    } else {
      const std::int64_t offset = (static_cast<std::int64_t>(dragStartY) - y) * range / kSweepPixels;
      SetValueWide(dragStartValue + offset);
      if (callback != nullptr) {
        callback(GetDlgCtrlID(), value);
      }
      InvalidateRect(nullptr, true);
    }
  }
  return CButton::WindowProc(message, wParam, lParam);
}
