// Float-to-integer conversions of the engine, defined for every input. The engine truncates toward
// zero and keeps the low 32 bits of a 64-bit result, so frequencies and times wrap as unsigned
// counts. A value that no 64-bit (or 32-bit) integer can hold, NaN included, gives the integer
// the floating-point unit stores for an invalid conversion (the most negative integer) instead of
// undefined behaviour: its low 32 bits are 0.
#pragma once

#include <cstdint>

inline std::uint32_t TruncateToLow32(double x) {
  // 2^63 bounds the int64 range exactly; the negated test also catches NaN.
  if (!(x > -9223372036854775808.0 && x < 9223372036854775808.0)) return 0;
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(x));
}

inline std::int32_t TruncateToInt32(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return static_cast<std::int32_t>(x);
}
