// CDrawContext: what an owner-drawn control draws with. A window's context wraps the painter of
// the control being painted; a memory context, made compatible with it, holds a selected bitmap
// from which rectangles are copied into the window's context. Coordinates are the control's own
// logical pixels; on a high-density screen the painter scales them, and block copies take the
// bitmap's copy drawn for that density, scaled smoothly only when none matches it exactly.
#pragma once

#include <cstdint>
#include <string>

#include "platform/window/rect.h"

class QPainter;
class CRasterImage;

using Color = std::uint32_t;  // 0xRRGGBB

constexpr Color MakeColor(int r, int g, int b) {
  return (static_cast<Color>(r & 0xFF) << 16) | (static_cast<Color>(g & 0xFF) << 8) |
         static_cast<Color>(b & 0xFF);
}

enum class SystemColor { kWindowText, kWindow };

// The desktop's colour for the given element, from the application's palette.
Color GetSysColor(SystemColor element);

// Text formats for PaintText: horizontal alignment, always top-aligned and never word-wrapped; an
// ampersand marks the next letter as a mnemonic as in button captions.
constexpr unsigned kTextLeft = 0x0;
constexpr unsigned kTextCenter = 0x1;
constexpr unsigned kTextRight = 0x2;

class CDrawContext {
 public:
  // A window's context drawing through `painter`, or with none a memory context still to be made.
  explicit CDrawContext(QPainter* painter = nullptr);
  CDrawContext(const CDrawContext&) = delete;
  CDrawContext& operator=(const CDrawContext&) = delete;

  // Makes this a memory context for copying into `target`.
  bool CreateCompatible(const CDrawContext& target);
  // Selects `bitmap` (may be null) into a memory context and returns the one it replaces.
  CRasterImage* SelectBitmap(CRasterImage* bitmap);

  // Copies width x height pixels from (sourceX, sourceY) of the bitmap selected into `source` to
  // (x, y) of this context, replacing what was there. The part of the source rectangle outside the
  // bitmap is not copied; false when nothing can be copied at all. Positions and sizes count pixels
  // of the bitmap at the normal density, whichever copy is drawn.
  bool CopyBlock(int x, int y, int width, int height, const CDrawContext& source, int sourceX,
                 int sourceY);

  Color SetTextColor(Color color);
  void PaintText(const std::string& text, const Rect& rect, unsigned format);

 private:
  QPainter* painter;
  CRasterImage* bitmap = nullptr;
  Color textColor = 0;
  bool memory = false;
};
