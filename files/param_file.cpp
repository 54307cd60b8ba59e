// The parameter-file layout's byte order.
#include "files/param_file.h"

namespace param_file {

std::int16_t DecodeWord(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8));
}

void EncodeWord(std::int16_t word, std::uint8_t* bytes) {
  const auto bits = static_cast<std::uint16_t>(word);
  bytes[0] = static_cast<std::uint8_t>(bits & 0xFF);
  bytes[1] = static_cast<std::uint8_t>(bits >> 8);
}

void Encode(const std::int16_t* values, int count, std::uint8_t* bytes) {
  EncodeWord(static_cast<std::int16_t>(count), bytes);
  for (int i = 0; i < count; ++i) EncodeWord(values[i], bytes + 2 + 2 * i);
}

}  // namespace param_file
