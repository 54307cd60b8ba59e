// The layout every parameter file shares: presets (.kv7), riffs (.riff), the plugin's saved state
// and the files the bank converter writes. A little-endian 16-bit count, then that many 16-bit
// values in index order. Only the bytes are here; who reads or writes them decides what a count
// may be.
#pragma once

#include <cstddef>
#include <cstdint>

namespace param_file {

// The bytes a file of `count` values takes.
constexpr std::size_t Size(int count) { return 2 + 2 * static_cast<std::size_t>(count); }

// One 16-bit word at `bytes`, low byte first.
std::int16_t DecodeWord(const std::uint8_t* bytes);
void EncodeWord(std::int16_t word, std::uint8_t* bytes);

// The count and then the values, into `bytes`, which holds Size(count).
void Encode(const std::int16_t* values, int count, std::uint8_t* bytes);

}  // namespace param_file
