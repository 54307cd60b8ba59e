// The fake layer's device.
#include "platform/sound/sound_fake_device.h"

#include <cstring>
#include <new>

#include "platform/sound/sound_fake_buffer.h"
#include "platform/sound/sound_fake_layer.h"

CFakeSoundDevice::CFakeSoundDevice(CFakeSoundLayer* layer) : layer(layer) {}

CFakeSoundDevice::~CFakeSoundDevice() { layer->Record(FakeSoundOp::kReleaseDevice); }

bool CFakeSoundDevice::ClaimExclusive(SoundWindow window) {
  layer->Record(FakeSoundOp::kClaimExclusive);
  layer->claimedWindow = window;
  return !layer->Fails(FakeSoundStep::kClaimExclusive);
}

std::unique_ptr<CSoundBuffer> CFakeSoundDevice::CreatePrimaryBuffer() {
  layer->Record(FakeSoundOp::kCreatePrimary);
  if (layer->Fails(FakeSoundStep::kCreatePrimary)) return nullptr;
  return std::make_unique<CFakeSoundBuffer>(layer, true);
}

std::unique_ptr<CSoundBuffer> CFakeSoundDevice::CreateLoopBuffer(std::uint32_t byteCount,
                                                                 const SoundFormat& format) {
  layer->Record(FakeSoundOp::kCreateLoop, byteCount, format.samplesPerSecond);
  if (layer->Fails(FakeSoundStep::kCreateLoop) || byteCount == 0 ||
      byteCount > CFakeSoundLayer::kMaxLoopBytes) {
    return nullptr;
  }
  layer->loopBytes.reset(new std::uint8_t[byteCount]);
  std::memset(layer->loopBytes.get(), layer->loopFill, byteCount);
  layer->loopByteCount = byteCount;
  layer->loopFormat = format;
  layer->playStartNs.store(-1);
  return std::make_unique<CFakeSoundBuffer>(layer, false);
}
