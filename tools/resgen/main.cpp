// quembrel-resgen: draws the program's bitmaps and icon and writes them into a folder, from which
// the build compiles them into the program: knob_strip.bmp (64 knob frames), digit_glyphs.bmp (the
// read-out glyphs), digit_glyphs_lit.bmp (the same, backlit), each also as NAME@2x.bmp and
// NAME@3x.bmp at two and three times the size for screens of higher density, and icon_N.png for
// each icon size N.
#include <cstdio>
#include <string>

#include "tools/resgen/digit_glyph_art.h"
#include "tools/resgen/icon_art.h"
#include "tools/resgen/image_file_writer.h"
#include "tools/resgen/knob_strip_art.h"
#include "tools/resgen/palette_quantizer.h"

namespace {

constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};
constexpr int kScales[] = {1, 2, 3};

std::string ScaledName(const char* name, int scale) {
  return std::string(name) + (scale == 1 ? "" : "@" + std::to_string(scale) + "x") + ".bmp";
}

bool Report(bool ok, const std::string& path) {
  if (!ok) {
    std::fprintf(stderr, "quembrel-resgen: cannot write %s\n", path.c_str());
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: quembrel-resgen OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  bool ok = true;
  for (int scale : kScales) {
    const std::string strip = folder + ScaledName("knob_strip", scale);
    ok &= Report(CImageFileWriter::WriteBmp8(strip, CPaletteQuantizer::Quantize(CKnobStripArt::Render(scale))), strip);
    for (bool backlit : {false, true}) {
      const std::string digits = folder + ScaledName(backlit ? "digit_glyphs_lit" : "digit_glyphs", scale);
      ok &= Report(CImageFileWriter::WriteBmp8(digits, CPaletteQuantizer::Quantize(CDigitGlyphArt::Render(scale, backlit))),
                   digits);
    }
  }
  for (int size : kIconSizes) {
    const std::string icon = folder + "icon_" + std::to_string(size) + ".png";
    ok &= Report(CImageFileWriter::WritePng(icon, size, size, CIconArt::Render(size).ToRgba8()), icon);
  }
  return ok ? 0 : 1;
}
