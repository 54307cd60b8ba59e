// The host sound layer: the machine's sound device and plain system threads.
#include "platform/sound/sound_host_layer.h"

#include <chrono>
#include <new>
#include <system_error>
#include <thread>

#include "platform/sound/sound_host_device.h"

std::unique_ptr<CSoundDevice> CHostSoundLayer::OpenDevice() { return CHostSoundDevice::Open(jack); }

SoundThreadHandle CHostSoundLayer::StartThread(SoundThreadProc proc, void* param) {
  if (!proc) return kNoSoundThread;
  try {
    auto* thread = new std::thread(proc, param);
    return reinterpret_cast<SoundThreadHandle>(thread);
  } catch (const std::system_error&) {
    return kNoSoundThread;
  } catch (const std::bad_alloc&) {
    return kNoSoundThread;
  }
}

void CHostSoundLayer::Pause(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Callers close a thread only once it has acknowledged its end, so the join returns at once; it
// keeps the thread from outliving the objects it used.
void CHostSoundLayer::CloseThread(SoundThreadHandle thread) {
  if (thread == kNoSoundThread) return;
  auto* handle = reinterpret_cast<std::thread*>(thread);
  if (handle->joinable()) handle->join();
  delete handle;
}
