// CDigitGlyphArt: seven one-pixel segments on the pixel grid, lit or dim per glyph.
#include "tools/resgen/digit_glyph_art.h"

#include "tools/resgen/shading.h"

namespace {

constexpr int kSamples = 4;

const Rgba kGround{0.73, 0.78, 0.66, 1.0};
const Rgba kDim{0.665, 0.715, 0.60, 1.0};
const Rgba kLit{0.10, 0.13, 0.11, 1.0};

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

Rgba Cell(double x, double y, unsigned lit) {
  // The top row lies in the shadow of the display's rim; the glass lightens a little downwards.
  Rgba ground = Scale(kGround, 0.97 + 0.04 * (y / 12.0));
  if (y < 1.0) {
    ground = Scale(ground, 0.84);
  }
  const int segment = SegmentAt(x, y);
  if (segment >= 0 && (lit & (1u << segment))) {
    return kLit;
  }
  // Lit segments throw a faint shadow one pixel down and right onto the reflector behind them.
  const int caster = SegmentAt(x - 1.0, y - 1.0);
  const bool shadow = caster >= 0 && (lit & (1u << caster));
  const Rgba base = segment >= 0 ? kDim : ground;
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

CPixelImage CDigitGlyphArt::Render() {
  CPixelImage glyphs(kGlyphs * kGlyphWidth, kGlyphHeight);
  for (int g = 0; g < kGlyphs; ++g) {
    const unsigned lit = Segments(g);
    glyphs.Render(g * kGlyphWidth, 0, kGlyphWidth, kGlyphHeight, kSamples,
                  [lit](double x, double y) { return Cell(x, y, lit); });
  }
  return glyphs;
}
