// The fake layer's device: creates fake buffers and reports every call to its layer.
#pragma once

#include "platform/sound/sound_device.h"

class CFakeSoundLayer;

class CFakeSoundDevice : public CSoundDevice {
 public:
  explicit CFakeSoundDevice(CFakeSoundLayer* layer);
  ~CFakeSoundDevice() override;

  bool ClaimExclusive(SoundWindow window) override;
  std::unique_ptr<CSoundBuffer> CreatePrimaryBuffer() override;
  std::unique_ptr<CSoundBuffer> CreateLoopBuffer(std::uint32_t byteCount,
                                                 const SoundFormat& format) override;

 private:
  CFakeSoundLayer* layer;
};
