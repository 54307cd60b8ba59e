// The sound layer the program runs on: devices from CHostSoundDevice and plain system threads.
#pragma once

#include "platform/sound/sound_layer.h"

class CHostSoundLayer final : public CSoundLayer {
 public:
  std::unique_ptr<CSoundDevice> OpenDevice() override;
  SoundThreadHandle StartThread(SoundThreadProc proc, void* param) override;
  void Pause(std::uint32_t milliseconds) override;
  void CloseThread(SoundThreadHandle thread) override;
};
