// quembrel-spectrogram: draws one picture of many recordings, a labelled spectrogram thumbnail for
// each, in a grid. scripts/bank-pictures renders the bank's sounds with quembrel-render and calls it
// to refresh the README's picture.
//
//   quembrel-spectrogram OUTPUT.png COLUMNS LABEL=FILE.wav [LABEL=FILE.wav ...]
//
// The recordings must be 16-bit mono WAV files such as quembrel-render writes. Time runs left to
// right, frequency bottom to top on a logarithmic scale from 50 Hz to 11 kHz, and the level from
// -90 dB (dark) to 0 dB (bright).
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/spectrogram/spectrogram.h"

namespace {

constexpr int kThumbWidth = 200;
constexpr int kThumbHeight = 100;
constexpr int kLabelHeight = 18;
constexpr int kGap = 8;
constexpr double kLowHz = 50.0;
constexpr double kTopHz = 11000.0;
constexpr double kFloorDb = -90.0;

std::uint32_t U32(const std::vector<unsigned char>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The samples of a 16-bit mono WAV file, or false.
bool ReadWav(const std::string& path, std::vector<std::int16_t>& samples) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
  if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF") return false;
  bool mono16 = false;
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const std::string id(bytes.begin() + at, bytes.begin() + at + 4);
    const std::size_t size = U32(bytes, at + 4);
    const std::size_t body = at + 8;
    if (body + size > bytes.size()) return false;
    if (id == "fmt " && size >= 16) {
      mono16 = (bytes[body] | bytes[body + 1] << 8) == 1 && (bytes[body + 2] | bytes[body + 3] << 8) == 1 &&
               (bytes[body + 14] | bytes[body + 15] << 8) == 16;
    } else if (id == "data" && mono16) {
      samples.resize(size / 2);
      for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(bytes[body + 2 * i] | bytes[body + 2 * i + 1] << 8);
      }
      return true;
    }
    at = body + size + (size & 1);
  }
  return false;
}

// Dark blue through magenta and orange to pale yellow.
QRgb Heat(double t) {
  t = std::clamp(t, 0.0, 1.0);
  const double r = std::clamp(1.6 * t - 0.1, 0.0, 1.0);
  const double g = std::clamp(1.8 * t - 0.8, 0.0, 1.0);
  const double b = std::clamp(t < 0.4 ? 0.25 + 1.2 * t : 1.2 - 1.9 * (t - 0.4), 0.0, 1.0);
  return qRgb(int(r * 255), int(g * 255), int(b * 255));
}

void DrawThumb(QImage& image, int left, int top, const CSpectrogram& spectrum) {
  for (int x = 0; x < kThumbWidth; ++x) {
    const int frame = spectrum.GetFrameCount() == 0 ? -1 : x * spectrum.GetFrameCount() / kThumbWidth;
    for (int y = 0; y < kThumbHeight; ++y) {
      double level = kFloorDb;
      if (frame >= 0) {
        // The bins this row covers on the logarithmic axis; the loudest of them is shown.
        const double fromHz = kLowHz * std::pow(kTopHz / kLowHz, double(kThumbHeight - 1 - y) / kThumbHeight);
        const double toHz = kLowHz * std::pow(kTopHz / kLowHz, double(kThumbHeight - y) / kThumbHeight);
        int from = int(fromHz / CSpectrogram::BinHz(1));
        const int to = std::min(spectrum.GetBinCount() - 1, std::max(from, int(toHz / CSpectrogram::BinHz(1))));
        for (; from <= to; ++from) level = std::max(level, spectrum.GetLevel(frame, from));
      }
      image.setPixel(left + x, top + y, Heat((level - kFloorDb) / -kFloorDb));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("Usage: quembrel-spectrogram OUTPUT.png COLUMNS LABEL=FILE.wav [LABEL=FILE.wav ...]\n", stderr);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int columns = std::max(1, std::atoi(argv[2]));
  const int count = argc - 3;
  const int rows = (count + columns - 1) / columns;
  QImage image(kGap + columns * (kThumbWidth + kGap), kGap + rows * (kThumbHeight + kLabelHeight + kGap),
               QImage::Format_RGB32);
  image.fill(qRgb(24, 24, 28));
  CSpectrogram spectrum;
  std::vector<QString> labels;
  for (int i = 0; i < count; ++i) {
    const std::string arg = argv[3 + i];
    const std::size_t equals = arg.find('=');
    std::vector<std::int16_t> samples;
    if (equals == std::string::npos || !ReadWav(arg.substr(equals + 1), samples)) {
      std::fprintf(stderr, "quembrel-spectrogram: '%s' is not LABEL=FILE.wav of a 16-bit mono WAV file\n", arg.c_str());
      return 1;
    }
    spectrum.Analyse(samples, kTopHz);
    DrawThumb(image, kGap + (i % columns) * (kThumbWidth + kGap),
              kGap + (i / columns) * (kThumbHeight + kLabelHeight + kGap) + kLabelHeight, spectrum);
    labels.push_back(QString::fromStdString(arg.substr(0, equals)));
  }
  QPainter painter(&image);
  QFont font("DejaVu Sans");
  font.setPixelSize(12);
  painter.setFont(font);
  painter.setPen(qRgb(230, 230, 230));
  for (int i = 0; i < count; ++i) {
    const QRect label(kGap + (i % columns) * (kThumbWidth + kGap),
                      kGap + (i / columns) * (kThumbHeight + kLabelHeight + kGap), kThumbWidth, kLabelHeight);
    painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, labels[i]);
  }
  painter.end();
  if (!image.save(argv[1], "PNG")) {
    std::fprintf(stderr, "quembrel-spectrogram: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
