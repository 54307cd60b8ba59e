// The sound layer the program runs on: devices from CHostSoundDevice and plain system threads.
#pragma once

#include "platform/sound/sound_layer.h"

class CJackClient;

class CHostSoundLayer final : public CSoundLayer {
 public:
  // The JACK client the devices play through on a JACK server, shared with another output (null:
  // each device opens a client of its own). It must outlive the devices opened meanwhile.
  void SetJackClient(CJackClient* shared) { jack = shared; }

  std::unique_ptr<CSoundDevice> OpenDevice() override;
  SoundThreadHandle StartThread(SoundThreadProc proc, void* param) override;
  void Pause(std::uint32_t milliseconds) override;
  void CloseThread(SoundThreadHandle thread) override;

 private:
  CJackClient* jack = nullptr;
};
