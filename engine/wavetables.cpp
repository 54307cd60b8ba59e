// Builds the wavetables and the LFO rate table. The noise generator is the runtime library's
// classic linear congruence, reproduced here so that the noise pattern is the same on every
// platform and at every start.
#include "engine/wavetables.h"

#include <cmath>
#include <cstdint>
#include <mutex>

float g_wavetables[kWaveformCount * kSlotSize];
std::atomic<bool> g_wavetablesBuilt{false};
float g_lfoRateTable[kLfoRateCount];

namespace {

class CNoiseGenerator {
 public:
  int Next() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 32767u);
  }

 private:
  std::uint32_t state = 1;
};

float TableValue(int slot, int i, CNoiseGenerator& noise) {
  switch (slot) {
    case 0:
      return static_cast<float>(i * 0.001953125 - 1.0);
    case 1:
      return i < kTableSize / 2 ? 1.0f : -1.0f;
    case 2:
      // Just below 2*pi/1024 in single precision; the sine's last entries depend on it.
      return static_cast<float>(std::sin(i * static_cast<double>(0.006135923f)));
    default:
      // 1/32767 rounded to single precision: a result of 32767 becomes exactly +1.0.
      return static_cast<float>(noise.Next() * static_cast<double>(0.00003051851f) * 2.0 - 1.0);
  }
}

}  // namespace

void BuildWavetables() {
  CNoiseGenerator noise;
  for (int slot = 0; slot < kWaveformCount; ++slot) {
    float* table = g_wavetables + slot * kSlotSize + kTablePadding;
    for (int i = 0; i < kTableSize; ++i) table[i] = TableValue(slot, i, noise);
  }
  for (int slot = 0; slot < kWaveformCount; ++slot) {
    float* base = g_wavetables + slot * kSlotSize;
    const float first = base[kTablePadding];
    const float last = base[kTablePadding + kTableSize - 1];
    for (int i = 0; i < kTablePadding; ++i) {
      base[i] = first;
      base[kTablePadding + kTableSize + i] = last;
    }
  }
}

void BuildLfoRateTable() {
  // Built by repeated multiplication, the running product kept in double, not by powers.
  double x = 40.0;
  for (int v = kLfoRateCount - 1; v >= 0; --v) {
    g_lfoRateTable[v] = static_cast<float>(x);
    x = x * static_cast<double>(0.9689923f);
  }
}

void EnsureTablesBuilt() {
  static std::once_flag once;
  std::call_once(once, [] {
    BuildWavetables();
    BuildLfoRateTable();
    g_wavetablesBuilt.store(true, std::memory_order_release);
  });
}
