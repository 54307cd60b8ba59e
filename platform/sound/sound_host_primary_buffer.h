// The host's primary buffer. The sound server mixes for us, so all it does is confirm that the
// output format is the one the host stream was opened with; it holds no samples.
#pragma once

#include "platform/sound/sound_buffer.h"

class CHostPrimaryBuffer : public CSoundBuffer {
 public:
  bool ApplyFormat(const SoundFormat& format) override { return format == kPcm16Mono44100; }
  bool Lock(std::uint32_t, std::uint32_t, SoundRegion*, SoundRegion*) override { return false; }
  void Commit(const SoundRegion&, const SoundRegion&) override {}
  bool PlayLooping() override { return false; }
  bool ReadPlayPosition(std::uint32_t*) override { return false; }
  bool Recover() override { return true; }
};
