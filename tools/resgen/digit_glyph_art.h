// CDigitGlyphArt: draws the read-out glyphs, twelve cells of 8 x 12 side by side: a cell with all
// seven segments dim (the blank), the digits 0 to 9 and a minus sign. Dark one-pixel segments on
// the pixel grid stand on a pale grey-green ground like a liquid-crystal display, unlit segments
// show faintly, lit ones cast a faint shadow, and the top row is shaded so four cells side by side
// read as one recessed window. A second set shows the display backlit, brighter and warmer, for the
// step being heard; both come at one, two or three device pixels per pixel.
#pragma once

#include "tools/resgen/pixel_image.h"

class CDigitGlyphArt {
 public:
  static constexpr int kGlyphs = 12;
  static constexpr int kGlyphWidth = 8;
  static constexpr int kGlyphHeight = 12;

  // The segments lit in glyph g, one bit per segment a..g from bit 0.
  static unsigned Segments(int glyph);
  // The glyphs at `scale` device pixels per pixel, unlit or backlit.
  static CPixelImage Render(int scale = 1, bool backlit = false);
};
