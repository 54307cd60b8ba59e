// Reads a recorded WAV file back for tests in two independent ways: the sample data and format
// through libsndfile, and the raw header fields and file length byte by byte, so that a test can
// check both that a general-purpose reader accepts the file and that its sizes match its length.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct WavFileContents {
  bool opened = false;
  int sampleRate = 0;
  int channels = 0;
  int format = 0;
  std::vector<std::int16_t> samples;
  std::vector<unsigned char> bytes;
  std::uint32_t riffSize = 0;
  std::uint32_t dataSize = 0;
};

inline std::vector<unsigned char> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline std::uint32_t LittleEndianU32(const std::vector<unsigned char>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

inline WavFileContents ReadWavFile(const std::string& path) {
  WavFileContents wav;
  wav.bytes = ReadFileBytes(path);
  if (wav.bytes.size() >= 44) {
    wav.riffSize = LittleEndianU32(wav.bytes, 4);
    wav.dataSize = LittleEndianU32(wav.bytes, 40);
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    return wav;
  }
  wav.opened = true;
  wav.sampleRate = info.samplerate;
  wav.channels = info.channels;
  wav.format = info.format;
  wav.samples.resize(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
  const sf_count_t got = sf_read_short(file, wav.samples.data(), static_cast<sf_count_t>(wav.samples.size()));
  wav.samples.resize(static_cast<std::size_t>(got));
  sf_close(file);
  return wav;
}

// A finished recording: accepted by libsndfile as 16-bit mono PCM WAV at 44100 Hz, with header sizes
// that describe exactly the bytes that follow the header.
inline bool IsCompleteWav(const WavFileContents& wav) {
  return wav.opened && wav.sampleRate == 44100 && wav.channels == 1 &&
         wav.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_16) && wav.bytes.size() >= 44 &&
         wav.dataSize == wav.bytes.size() - 44 && wav.riffSize == wav.dataSize + 36 &&
         wav.samples.size() * 2 == wav.dataSize;
}
