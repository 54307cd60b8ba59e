// CPaletteQuantizer: median cut over the picture's distinct colours, weighted by their counts.
#include "tools/resgen/palette_quantizer.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

using Colour = std::array<std::uint8_t, 3>;

struct Entry {
  Colour colour;
  long count;
};

struct Box {
  std::vector<Entry> entries;

  int Spread(int channel) const {
    int lo = 255, hi = 0;
    for (const Entry& e : entries) {
      lo = std::min<int>(lo, e.colour[channel]);
      hi = std::max<int>(hi, e.colour[channel]);
    }
    return hi - lo;
  }
  int WidestChannel() const {
    int best = 0;
    for (int c = 1; c < 3; ++c) {
      if (Spread(c) > Spread(best)) {
        best = c;
      }
    }
    return best;
  }
  long Weight() const {
    long total = 0;
    for (const Entry& e : entries) {
      total += e.count;
    }
    return total;
  }
  Colour Mean() const {
    double sum[3] = {0.0, 0.0, 0.0};
    const double total = static_cast<double>(Weight());
    for (const Entry& e : entries) {
      for (int c = 0; c < 3; ++c) {
        sum[c] += e.colour[c] * static_cast<double>(e.count);
      }
    }
    Colour mean;
    for (int c = 0; c < 3; ++c) {
      mean[c] = static_cast<std::uint8_t>(std::min(255.0, sum[c] / total + 0.5));
    }
    return mean;
  }
};

std::vector<Colour> MedianCut(std::vector<Entry> entries) {
  std::vector<Box> boxes{Box{std::move(entries)}};
  while (static_cast<int>(boxes.size()) < CPaletteQuantizer::kMaxColours) {
    // Split the box whose colours are spread widest, weighted by how many pixels it covers.
    int chosen = -1;
    double chosenScore = 0.0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].entries.size() < 2) {
        continue;
      }
      const double score = boxes[i].Spread(boxes[i].WidestChannel()) * std::sqrt(static_cast<double>(boxes[i].Weight()));
      if (score > chosenScore) {
        chosenScore = score;
        chosen = static_cast<int>(i);
      }
    }
    if (chosen < 0) {
      break;
    }
    Box& box = boxes[chosen];
    const int channel = box.WidestChannel();
    std::sort(box.entries.begin(), box.entries.end(), [channel](const Entry& a, const Entry& b) {
      return a.colour[channel] != b.colour[channel] ? a.colour[channel] < b.colour[channel] : a.colour < b.colour;
    });
    const long half = box.Weight() / 2;
    long running = 0;
    std::size_t cut = 1;
    for (std::size_t i = 0; i + 1 < box.entries.size(); ++i) {
      running += box.entries[i].count;
      cut = i + 1;
      if (running >= half) {
        break;
      }
    }
    Box upper{std::vector<Entry>(box.entries.begin() + static_cast<long>(cut), box.entries.end())};
    box.entries.resize(cut);
    boxes.push_back(std::move(upper));
  }
  std::vector<Colour> palette;
  for (const Box& box : boxes) {
    palette.push_back(box.Mean());
  }
  return palette;
}

}  // namespace

IndexedImage CPaletteQuantizer::Quantize(const CPixelImage& image) {
  const std::vector<std::uint8_t> rgba = image.ToRgba8();
  std::map<Colour, long> counts;
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    ++counts[Colour{rgba[i], rgba[i + 1], rgba[i + 2]}];
  }
  std::vector<Entry> entries;
  for (const auto& [colour, count] : counts) {
    entries.push_back(Entry{colour, count});
  }

  IndexedImage indexed;
  indexed.width = image.Width();
  indexed.height = image.Height();
  if (static_cast<int>(entries.size()) <= kMaxColours) {
    for (const Entry& e : entries) {
      indexed.palette.push_back(e.colour);
    }
  } else {
    indexed.palette = MedianCut(std::move(entries));
  }

  std::map<Colour, std::uint8_t> nearest;
  for (const auto& [colour, count] : counts) {
    long best = -1;
    std::size_t bestIndex = 0;
    for (std::size_t p = 0; p < indexed.palette.size(); ++p) {
      long d = 0;
      for (int c = 0; c < 3; ++c) {
        const long diff = static_cast<long>(colour[c]) - indexed.palette[p][c];
        d += diff * diff;
      }
      if (best < 0 || d < best) {
        best = d;
        bestIndex = p;
      }
    }
    nearest[colour] = static_cast<std::uint8_t>(bestIndex);
  }
  indexed.indices.reserve(rgba.size() / 4);
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    indexed.indices.push_back(nearest[Colour{rgba[i], rgba[i + 1], rgba[i + 2]}]);
  }
  return indexed;
}
