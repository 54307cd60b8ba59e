// CImageFileWriter: writes the generator's pictures as files the program compiles in: bitmaps with
// an 8-bit palette as uncompressed BMP, icons with alpha as PNG (stored without compression, which
// keeps the writer tiny; the files are small either way). Each writer returns false when the file
// cannot be written completely.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/resgen/palette_quantizer.h"

class CImageFileWriter {
 public:
  static bool WriteBmp8(const std::string& path, const IndexedImage& image);
  // `rgba` holds width x height pixels of 8-bit red, green, blue and alpha, row by row from the top.
  static bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba);

  static std::vector<std::uint8_t> EncodeBmp8(const IndexedImage& image);
  static std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgba);
};
