// The host's sound device: opens the output stream at once, so that a machine without any sound
// output is found out when the device is opened.
#include "platform/sound/sound_host_device.h"

#include <new>
#include <utility>

#include "platform/sound/sound_host_loop_buffer.h"
#include "platform/sound/sound_host_primary_buffer.h"

std::unique_ptr<CHostSoundDevice> CHostSoundDevice::Open(CJackClient* sharedJack) {
  auto output = std::make_unique<CHostSoundOutput>(sharedJack);
  if (!output->Open()) return nullptr;
  return std::make_unique<CHostSoundDevice>(std::move(output));
}

CHostSoundDevice::CHostSoundDevice(std::unique_ptr<CHostSoundOutput> opened)
    : output(std::move(opened)), stream(output.get()) {}

// The sound server shares the card between programs; there is nothing to claim.
bool CHostSoundDevice::ClaimExclusive(SoundWindow) { return true; }

std::unique_ptr<CSoundBuffer> CHostSoundDevice::CreatePrimaryBuffer() {
  return std::make_unique<CHostPrimaryBuffer>();
}

std::unique_ptr<CSoundBuffer> CHostSoundDevice::CreateLoopBuffer(std::uint32_t byteCount,
                                                                 const SoundFormat& format) {
  if (!output || format != kPcm16Mono44100 || !output->GetRing().Allocate(byteCount)) {
    return nullptr;
  }
  return std::make_unique<CHostLoopBuffer>(std::move(output));
}

std::uint32_t CHostSoundDevice::GetOutputLatencyFrames() const {
  return stream != nullptr ? stream->GetLatencyFrames() : 0;
}

bool CHostSoundDevice::IsLost() const { return stream != nullptr && stream->IsLost(); }

bool CHostSoundDevice::Reconnect() { return stream != nullptr && stream->Reopen(); }

std::string CHostSoundDevice::Describe() const { return stream != nullptr ? stream->Describe() : ""; }
