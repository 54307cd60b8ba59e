// The fake layer's buffers, primary or looping. Lock hands out regions of the layer's loop bytes
// directly; position, lock failures and recovery follow the layer's script.
#pragma once

#include "platform/sound/sound_buffer.h"

class CFakeSoundLayer;

class CFakeSoundBuffer : public CSoundBuffer {
 public:
  CFakeSoundBuffer(CFakeSoundLayer* layer, bool primary);
  ~CFakeSoundBuffer() override;

  bool ApplyFormat(const SoundFormat& format) override;
  bool Lock(std::uint32_t offset, std::uint32_t byteCount, SoundRegion* first,
            SoundRegion* second) override;
  void Commit(const SoundRegion& first, const SoundRegion& second) override;
  bool PlayLooping() override;
  bool ReadPlayPosition(std::uint32_t* position) override;
  bool Recover() override;

 private:
  CFakeSoundLayer* layer;
  bool primary;
};
