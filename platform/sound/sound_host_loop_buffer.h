// The host's looping buffer: the ring in our own memory and the output stream that plays it. It
// owns the stream, so destroying the buffer stops playback before the ring's memory goes.
#pragma once

#include <memory>

#include "platform/sound/sound_buffer.h"
#include "platform/sound/sound_host_output.h"

class CHostLoopBuffer : public CSoundBuffer {
 public:
  // output is open and its ring allocated.
  explicit CHostLoopBuffer(std::unique_ptr<CHostSoundOutput> output);
  ~CHostLoopBuffer() override;

  bool ApplyFormat(const SoundFormat& format) override;
  bool Lock(std::uint32_t offset, std::uint32_t byteCount, SoundRegion* first,
            SoundRegion* second) override;
  void Commit(const SoundRegion& first, const SoundRegion& second) override;
  bool PlayLooping() override;
  bool ReadPlayPosition(std::uint32_t* position) override;
  bool Recover() override;
  bool StopPlaying() override;

 private:
  std::unique_ptr<CHostSoundOutput> output;
};
