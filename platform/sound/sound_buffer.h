// A sound buffer of the platform's sound layer: the primary buffer, which only takes the output
// format, or a looping buffer that plays its bytes round and round while the audio thread writes
// behind the play position through Lock and Commit.
//
// Lock hands out up to two writable regions covering a range of the loop, the second one only
// when the range wraps past the end; the bytes written there take effect at Commit. Positions and
// sizes are in bytes and always whole samples. Destroying a buffer releases it; a playing buffer
// stops.
#pragma once

#include <cstdint>

#include "platform/sound/sound_format.h"

struct SoundRegion {
  void* data;
  std::uint32_t byteCount;
};

class CSoundBuffer {
 public:
  CSoundBuffer() = default;
  CSoundBuffer(const CSoundBuffer&) = delete;
  CSoundBuffer& operator=(const CSoundBuffer&) = delete;
  virtual ~CSoundBuffer() = default;

  virtual bool ApplyFormat(const SoundFormat& format) = 0;
  virtual bool Lock(std::uint32_t offset, std::uint32_t byteCount, SoundRegion* first,
                    SoundRegion* second) = 0;
  virtual void Commit(const SoundRegion& first, const SoundRegion& second) = 0;
  virtual bool PlayLooping() = 0;
  virtual bool ReadPlayPosition(std::uint32_t* position) = 0;
  // Makes a buffer whose memory the system took away usable again.
  virtual bool Recover() = 0;
  // Stops playing, keeping the buffer's bytes and its play position where they are. Buffers that
  // cannot stop before they are destroyed say false.
  virtual bool StopPlaying() { return false; }
};
