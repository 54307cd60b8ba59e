// The sound layer: the handful of system services the audio stream needs, namely opening the
// default output device and running, pausing and closing its thread. The program plays through
// the host layer over the machine's sound server or card; tests hand the stream a scripted fake.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/sound/sound_device.h"

using SoundThreadHandle = std::intptr_t;
inline constexpr SoundThreadHandle kNoSoundThread = -1;
using SoundThreadProc = std::uint32_t (*)(void* param);

class CSoundLayer {
 public:
  CSoundLayer() = default;
  CSoundLayer(const CSoundLayer&) = delete;
  CSoundLayer& operator=(const CSoundLayer&) = delete;

  // Null when no output can be opened.
  virtual std::unique_ptr<CSoundDevice> OpenDevice() = 0;
  // Starts proc(param) at once on a new thread; kNoSoundThread when none could be created.
  virtual SoundThreadHandle StartThread(SoundThreadProc proc, void* param) = 0;
  virtual void Pause(std::uint32_t milliseconds) = 0;
  // Frees the handle of a thread that has returned or is about to.
  virtual void CloseThread(SoundThreadHandle thread) = 0;

 protected:
  // Never deleted through this interface: whoever made a layer keeps it.
  ~CSoundLayer() = default;
};
