// The host loop's memory: staging regions for the audio thread, relaxed atomic samples for the
// server callback.
#include "platform/sound/sound_ring.h"

#include <cstddef>
#include <new>

CSoundRing::CSoundRing() : sampleCount(0), playFrame(0) {}

bool CSoundRing::Allocate(std::uint32_t byteCount) {
  if (byteCount == 0 || byteCount % 2 != 0) return false;
  const std::uint32_t count = byteCount / 2;
  std::unique_ptr<AtomicSample[]> newSamples(new (std::nothrow) AtomicSample[count]);
  std::unique_ptr<std::int16_t[]> newStaging(new (std::nothrow) std::int16_t[count]());
  if (!newSamples || !newStaging) return false;
  for (std::uint32_t i = 0; i < count; ++i) newSamples[i].store(0, std::memory_order_relaxed);
  samples = std::move(newSamples);
  staging = std::move(newStaging);
  sampleCount = count;
  playFrame.store(0, std::memory_order_relaxed);
  return true;
}

std::uint32_t CSoundRing::GetByteCount() const { return sampleCount * 2; }

bool CSoundRing::Lock(std::uint32_t offset, std::uint32_t byteCount, SoundRegion* first,
                      SoundRegion* second) {
  const std::uint32_t size = GetByteCount();
  if (!first || !second || size == 0 || offset % 2 != 0 || byteCount % 2 != 0 || offset >= size ||
      byteCount == 0 || byteCount > size) {
    return false;
  }
  auto* base = reinterpret_cast<std::uint8_t*>(staging.get());
  const std::uint32_t firstBytes = byteCount < size - offset ? byteCount : size - offset;
  *first = {base + offset, firstBytes};
  if (firstBytes < byteCount) {
    *second = {base, byteCount - firstBytes};
  } else {
    *second = {nullptr, 0};
  }
  return true;
}

void CSoundRing::Commit(const SoundRegion& first, const SoundRegion& second) {
  CommitRegion(first);
  CommitRegion(second);
}

void CSoundRing::CommitRegion(const SoundRegion& region) {
  if (!region.data || region.byteCount == 0 || !staging) return;
  const auto* base = reinterpret_cast<const std::uint8_t*>(staging.get());
  const auto* data = static_cast<const std::uint8_t*>(region.data);
  if (data < base || data >= base + GetByteCount()) return;
  const auto offset = static_cast<std::uint32_t>(data - base);
  if (offset % 2 != 0 || region.byteCount % 2 != 0 || region.byteCount > GetByteCount() - offset) {
    return;
  }
  const std::uint32_t begin = offset / 2;
  const std::uint32_t end = begin + region.byteCount / 2;
  for (std::uint32_t i = begin; i < end; ++i) {
    samples[i].store(staging[i], std::memory_order_relaxed);
  }
}

template <typename Sample, typename Convert>
void CSoundRing::PullInto(Sample* out, std::uint32_t frames, Convert convert) {
  const std::uint32_t count = sampleCount;
  if (count == 0) {
    for (std::uint32_t i = 0; i < frames; ++i) out[i] = convert(0);
    return;
  }
  std::uint32_t frame = playFrame.load(std::memory_order_relaxed);
  for (std::uint32_t i = 0; i < frames; ++i) {
    out[i] = convert(samples[frame].load(std::memory_order_relaxed));
    if (++frame == count) frame = 0;
  }
  playFrame.store(frame, std::memory_order_release);
}

void CSoundRing::Pull(std::int16_t* out, std::uint32_t frames) {
  PullInto(out, frames, [](std::int16_t s) { return s; });
}

// Dividing by 32768 is exact in single precision, so a float consumer gets back every sample.
void CSoundRing::PullFloat(float* out, std::uint32_t frames) {
  PullInto(out, frames, [](std::int16_t s) { return static_cast<float>(s) / 32768.0f; });
}

std::uint32_t CSoundRing::GetPlayPosition() const {
  return playFrame.load(std::memory_order_acquire) * 2;
}
