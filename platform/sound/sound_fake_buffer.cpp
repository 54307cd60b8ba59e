// The fake layer's buffers.
#include "platform/sound/sound_fake_buffer.h"

#include "platform/sound/sound_fake_layer.h"

CFakeSoundBuffer::CFakeSoundBuffer(CFakeSoundLayer* layer, bool primary)
    : layer(layer), primary(primary) {}

CFakeSoundBuffer::~CFakeSoundBuffer() {
  layer->Record(primary ? FakeSoundOp::kReleasePrimary : FakeSoundOp::kReleaseLoop);
}

bool CFakeSoundBuffer::ApplyFormat(const SoundFormat& format) {
  layer->Record(FakeSoundOp::kApplyFormat, format.bitsPerSample, format.samplesPerSecond);
  layer->appliedFormat = format;
  return primary && !layer->Fails(FakeSoundStep::kApplyFormat);
}

bool CFakeSoundBuffer::Lock(std::uint32_t offset, std::uint32_t byteCount, SoundRegion* first,
                            SoundRegion* second) {
  layer->Record(FakeSoundOp::kLock, offset, byteCount);
  const std::uint32_t size = layer->loopByteCount;
  if (primary || !first || !second || offset >= size || byteCount == 0 || byteCount > size ||
      !layer->TakeLock()) {
    return false;
  }
  std::uint8_t* base = layer->loopBytes.get();
  const std::uint32_t firstBytes = byteCount < size - offset ? byteCount : size - offset;
  *first = {base + offset, firstBytes};
  if (firstBytes < byteCount) {
    *second = {base, byteCount - firstBytes};
  } else {
    *second = {nullptr, 0};
  }
  return true;
}

void CFakeSoundBuffer::Commit(const SoundRegion& first, const SoundRegion& second) {
  layer->Record(FakeSoundOp::kCommit, first.byteCount, second.byteCount);
}

bool CFakeSoundBuffer::PlayLooping() {
  const bool played = !primary && !layer->Fails(FakeSoundStep::kPlay);
  layer->Record(FakeSoundOp::kPlay, played ? 1 : 0);
  if (played) layer->StartPlaying();
  return played;
}

bool CFakeSoundBuffer::ReadPlayPosition(std::uint32_t* position) {
  layer->Record(FakeSoundOp::kReadPosition);
  return !primary && position && layer->ReadPosition(position);
}

bool CFakeSoundBuffer::Recover() {
  const bool recovered = layer->TakeRecover();
  layer->Record(FakeSoundOp::kRecover, recovered ? 1 : 0);
  return recovered;
}
