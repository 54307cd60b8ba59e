// Remembers powers of two already worked out. An LFO on the pitch needs 2^x once per control
// block, but its x follows the LFO's table entry, one of 1024, so keeping one result per entry
// lets most blocks find the exact result here instead of calling pow again. The caller names the
// slot (the entry it read); a slot holding another x is recomputed and replaced, so the result is
// always that of std::pow(2.0, x).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

class CPowerCache {
 public:
  CPowerCache() { Init(); }
  CPowerCache(const CPowerCache&) = delete;
  CPowerCache& operator=(const CPowerCache&) = delete;

  // Every slot starts as 2^+0.0 = 1.0, which is exact.
  void Init() {
    for (Slot& slot : slots) slot = Slot{0, 1.0};
  }

  double PowerOfTwo(double exponent, std::uint32_t slotIndex) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(exponent);
    Slot& slot = slots[slotIndex & (kSlots - 1)];
    if (slot.bits != bits) slot = Slot{bits, std::pow(2.0, exponent)};
    return slot.power;
  }

 private:
  static constexpr std::uint32_t kSlots = 1024;
  struct Slot {
    std::uint64_t bits;
    double power;
  };
  Slot slots[kSlots];
};
