// CImageFileWriter: BMP and PNG encoders and whole-file writes.
#include "tools/resgen/image_file_writer.h"

#include <algorithm>
#include <cstdio>

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void Put32BigEndian(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(v >> shift));
  }
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  static std::uint32_t table[256];
  static bool built = false;
  if (!built) {
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) {
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      }
      table[n] = c;
    }
    built = true;
  }
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  }
  return crc ^ 0xFFFFFFFFu;
}

void PutChunk(std::vector<std::uint8_t>& out, const char type[5], const std::vector<std::uint8_t>& data) {
  Put32BigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32BigEndian(out, Crc32(out.data() + start, out.size() - start));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> StoredZlib(const std::vector<std::uint8_t>& raw) {
  std::vector<std::uint8_t> out{0x78, 0x01};
  std::size_t offset = 0;
  do {
    const std::size_t length = std::min<std::size_t>(65535, raw.size() - offset);
    const bool last = offset + length == raw.size();
    out.push_back(last ? 1 : 0);
    Put16(out, static_cast<std::uint32_t>(length));
    Put16(out, static_cast<std::uint32_t>(~length & 0xFFFF));
    out.insert(out.end(), raw.begin() + static_cast<long>(offset), raw.begin() + static_cast<long>(offset + length));
    offset += length;
  } while (offset < raw.size());
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  Put32BigEndian(out, (b << 16) | a);
  return out;
}

bool WriteWhole(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!(written && closed)) {
    std::remove(path.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> CImageFileWriter::EncodeBmp8(const IndexedImage& image) {
  const std::uint32_t stride = (static_cast<std::uint32_t>(image.width) + 3) & ~3u;
  const std::uint32_t colours = static_cast<std::uint32_t>(image.palette.size());
  const std::uint32_t pixelOffset = 14 + 40 + 4 * colours;
  const std::uint32_t pixelBytes = stride * static_cast<std::uint32_t>(image.height);
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, pixelOffset + pixelBytes);
  Put32(out, 0);
  Put32(out, pixelOffset);
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(image.width));
  Put32(out, static_cast<std::uint32_t>(image.height));  // positive: rows run bottom to top
  Put16(out, 1);
  Put16(out, 8);
  Put32(out, 0);
  Put32(out, pixelBytes);
  Put32(out, 3780);  // 96 dots per inch, in dots per metre
  Put32(out, 3780);
  Put32(out, colours);
  Put32(out, 0);
  for (const auto& c : image.palette) {
    out.push_back(c[2]);
    out.push_back(c[1]);
    out.push_back(c[0]);
    out.push_back(0);
  }
  for (int y = image.height - 1; y >= 0; --y) {
    const auto row = image.indices.begin() + static_cast<long>(y) * image.width;
    out.insert(out.end(), row, row + image.width);
    out.insert(out.end(), stride - static_cast<std::uint32_t>(image.width), 0);
  }
  return out;
}

std::vector<std::uint8_t> CImageFileWriter::EncodePng(int width, int height, const std::vector<std::uint8_t>& rgba) {
  std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  Put32BigEndian(header, static_cast<std::uint32_t>(width));
  Put32BigEndian(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  PutChunk(out, "IHDR", header);
  std::vector<std::uint8_t> raw;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const auto row = rgba.begin() + static_cast<long>(y * rowBytes);
    raw.insert(raw.end(), row, row + static_cast<long>(rowBytes));
  }
  PutChunk(out, "IDAT", StoredZlib(raw));
  PutChunk(out, "IEND", {});
  return out;
}

bool CImageFileWriter::WriteBmp8(const std::string& path, const IndexedImage& image) {
  return WriteWhole(path, EncodeBmp8(image));
}

bool CImageFileWriter::WritePng(const std::string& path, int width, int height,
                                const std::vector<std::uint8_t>& rgba) {
  return WriteWhole(path, EncodePng(width, height, rgba));
}
