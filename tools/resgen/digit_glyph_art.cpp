// CDigitGlyphArt: seven one-pixel segments on the pixel grid, lit or dim per glyph.
#include "tools/resgen/digit_glyph_art.h"

#include "tools/resgen/shading.h"

namespace {

constexpr int kSamples = 4;

struct Palette {
  Rgba ground;
  Rgba dim;
  Rgba lit;
};
const Palette kUnlit{{0.73, 0.78, 0.66, 1.0}, {0.665, 0.715, 0.60, 1.0}, {0.10, 0.13, 0.11, 1.0}};
// A yellow-green backlight behind the same glass: the ground glows, the segments stay dark.
const Palette kBacklit{{0.86, 0.95, 0.45, 1.0}, {0.78, 0.87, 0.40, 1.0}, {0.08, 0.12, 0.05, 1.0}};

// The segments' pixels, as half-open rectangles: the digit is 6 x 9 pixels from (1, 1), with
// three-pixel uprights, and corners left empty so each segment stands apart as on a real display.
struct Segment {
  int left, top, right, bottom;
};
// a, b, c, d, e, f, g in the usual order: top, upper right, lower right, bottom, lower left, upper
// left, middle.
constexpr Segment kSegments[7] = {
    {2, 1, 6, 2}, {6, 2, 7, 5}, {6, 6, 7, 9}, {2, 9, 6, 10}, {1, 6, 2, 9}, {1, 2, 2, 5}, {2, 5, 6, 6},
};

int SegmentAt(double x, double y) {
  for (int s = 0; s < 7; ++s) {
    const Segment& g = kSegments[s];
    if (x >= g.left && x < g.right && y >= g.top && y < g.bottom) {
      return s;
    }
  }
  return -1;
}

Rgba Cell(double x, double y, unsigned lit, const Palette& palette) {
  // The top row lies in the shadow of the display's rim; the glass lightens a little downwards.
  Rgba ground = Scale(palette.ground, 0.97 + 0.04 * (y / 12.0));
  if (y < 1.0) {
    ground = Scale(ground, 0.84);
  }
  const int segment = SegmentAt(x, y);
  if (segment >= 0 && (lit & (1u << segment))) {
    return palette.lit;
  }
  // Lit segments throw a faint shadow one pixel down and right onto the reflector behind them.
  const int caster = SegmentAt(x - 1.0, y - 1.0);
  const bool shadow = caster >= 0 && (lit & (1u << caster));
  const Rgba base = segment >= 0 ? palette.dim : ground;
  return shadow ? Scale(base, 0.93) : base;
}

}  // namespace

unsigned CDigitGlyphArt::Segments(int glyph) {
  static const unsigned kLitSegments[kGlyphs] = {
      0x00,  // blank
      0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F,  // 0..9
      0x40,  // minus
  };
  return glyph >= 0 && glyph < kGlyphs ? kLitSegments[glyph] : 0;
}

CPixelImage CDigitGlyphArt::Render(int scale, bool backlit) {
  const Palette& palette = backlit ? kBacklit : kUnlit;
  CPixelImage glyphs(kGlyphs * kGlyphWidth * scale, kGlyphHeight * scale);
  for (int g = 0; g < kGlyphs; ++g) {
    const unsigned lit = Segments(g);
    glyphs.Render(g * kGlyphWidth * scale, 0, kGlyphWidth * scale, kGlyphHeight * scale, kSamples,
                  [lit, scale, &palette](double x, double y) { return Cell(x / scale, y / scale, lit, palette); });
  }
  return glyphs;
}
