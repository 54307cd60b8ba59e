// CKnob: the frame and read-out drawing, the drag rule, the wheel, key and double-click gestures, the
// tooltip and the shared bitmaps.
#include "ui/knob.h"

#include <cstdlib>

#include "platform/window/draw_context.h"

KnobCallback g_knobCallback = nullptr;
const CKnob* CKnob::reporter = nullptr;
CRasterImage g_knobStrip;
CRasterImage g_digitGlyphs;
CRasterImage g_litDigitGlyphs;
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
    g_litDigitGlyphs.LoadResource(kLitDigitGlyphsId);
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
  if (lit && g_litDigitGlyphs.IsLoaded()) {
    memory.SelectBitmap(&g_litDigitGlyphs);
  } else if (g_digitGlyphs.IsLoaded()) {
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

void CKnob::SetLit(bool on) {
  if (on == lit) {
    return;
  }
  lit = on;
  const Rect readout{0, kFrameSize, kReadoutCells * kGlyphWidth, kFrameSize + kGlyphHeight};
  InvalidateRect(&readout, true);
}

std::string CKnob::ToolTipText() const {
  if (param == nullptr) {
    return std::string();
  }
  std::string text = std::string(param->label) + ": " + std::to_string(value);
  if (param->unit[0] != '\0') {
    if (param->unit[0] != '%') {
      text += ' ';
    }
    text += param->unit;
  }
  return text;
}

void CKnob::ChangeTo(std::int64_t v) {
  const int before = value;
  SetValueWide(v);
  if (value == before) {
    return;
  }
  if (callback != nullptr) {
    const CKnob* outer = reporter;
    reporter = this;
    callback(GetDlgCtrlID(), value);
    reporter = outer;
  }
  InvalidateRect(nullptr, true);
  RefreshToolTip();
}

void CKnob::OnDragMove(WParam flags, int y) {
  const bool fine = (flags & kMouseShift) != 0;
  if (!(flags & kMouseLeftButton)) {
    dragging = 0;
    return;
  }
  // Pressing or letting go of Shift during a drag carries on from where the knob stands.
  if (dragging == 0 || fine != dragFine) {
    dragStartY = y;
    dragStartValue = value;
    dragFine = fine;
    if (dragging == 0) {
      dragging = 1;
      return;
    }
  }
  const std::int64_t sweep = fine ? kSweepPixels * kFineFactor : kSweepPixels;
  const std::int64_t offset = (static_cast<std::int64_t>(dragStartY) - y) * range / sweep;
  SetValueWide(dragStartValue + offset);
  if (callback != nullptr) {
    const CKnob* outer = reporter;
    reporter = this;
    callback(GetDlgCtrlID(), value);
    reporter = outer;
  }
  InvalidateRect(nullptr, true);
  RefreshToolTip();
}

bool CKnob::OnKey(WParam key) {
  switch (key) {
    case kKeyUp:
    case kKeyRight:
      ChangeTo(static_cast<std::int64_t>(value) + 1);
      return true;
    case kKeyDown:
    case kKeyLeft:
      ChangeTo(static_cast<std::int64_t>(value) - 1);
      return true;
    case kKeyPageUp:
      ChangeTo(static_cast<std::int64_t>(value) + kBigStep);
      return true;
    case kKeyPageDown:
      ChangeTo(static_cast<std::int64_t>(value) - kBigStep);
      return true;
    case kKeyHome:
      ChangeTo(minValue);
      return true;
    case kKeyEnd:
      ChangeTo(maxValue);
      return true;
    default:
      return false;
  }
}

LResult CKnob::WindowProc(unsigned message, WParam wParam, LParam lParam) {
  switch (message) {
    case kMsgMouseMove:
      OnDragMove(wParam, MouseY(lParam));
      break;
    case kMsgMouseWheel: {
      wheelRest += WheelDelta(wParam);
      const int notches = wheelRest / kWheelDelta;
      wheelRest -= notches * kWheelDelta;
      const int steps = (LowWord(wParam) & kMouseShift) ? kBigStep : 1;
      ChangeTo(static_cast<std::int64_t>(value) + static_cast<std::int64_t>(notches) * steps);
      return 0;
    }
    case kMsgKeyDown:
      if (OnKey(wParam)) {
        return 0;
      }
      break;
    case kMsgLeftButtonDoubleClick:
      // A drag that follows the second press starts afresh from the default.
      dragging = 0;
      if (param != nullptr) {
        ChangeTo(param->defaultValue);
      }
      break;
    default:
      break;
  }
  return CButton::WindowProc(message, wParam, lParam);
}
