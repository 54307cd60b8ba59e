// The host's sound device: an output stream opened on the machine's sound system, handed to the
// looping buffer when that is created. One looping buffer per device.
#pragma once

#include <memory>

#include "platform/sound/sound_device.h"
#include "platform/sound/sound_host_output.h"

class CHostSoundDevice : public CSoundDevice {
 public:
  // Null when no backend accepts the stream. On JACK it plays through `sharedJack` when given.
  static std::unique_ptr<CHostSoundDevice> Open(CJackClient* sharedJack = nullptr);

  explicit CHostSoundDevice(std::unique_ptr<CHostSoundOutput> output);

  bool ClaimExclusive(SoundWindow window) override;
  std::unique_ptr<CSoundBuffer> CreatePrimaryBuffer() override;
  std::unique_ptr<CSoundBuffer> CreateLoopBuffer(std::uint32_t byteCount,
                                                 const SoundFormat& format) override;
  std::uint32_t GetOutputLatencyFrames() const override;
  bool IsLost() const override;
  bool Reconnect() override;
  std::string Describe() const override;

 private:
  std::unique_ptr<CHostSoundOutput> output;
  // The output, also once the looping buffer has taken it over: buffers go before their device.
  CHostSoundOutput* stream;
};
