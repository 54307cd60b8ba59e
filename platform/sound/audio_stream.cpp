// The audio stream: device set-up, the audio thread's refill loop and the stop handshake.
#include "platform/sound/audio_stream.h"

#include <algorithm>
#include <cstring>

CAudioStream g_audioStream;

CAudioStream::CAudioStream()
    : callback(nullptr),
      window(nullptr),
      thread(kNoSoundThread),
      writePos(0),
      running(0),
      stopRequest(0),
      nextLayer(&hostLayer),
      layer(nullptr) {}

CAudioStream::~CAudioStream() { Stop(); }

void CAudioStream::SetWindow(SoundWindow newWindow) { window = newWindow; }

void CAudioStream::SetSoundLayer(CSoundLayer* newLayer) { nextLayer = newLayer != nullptr ? newLayer : &hostLayer; }

std::uint32_t CAudioStream::LatencyFrames() const {
  return kLoopBytes / 2 + (device ? device->GetOutputLatencyFrames() : 0);
}

bool CAudioStream::IsStopped() const {
  return !device && !primaryBuffer && !loopBuffer && thread == kNoSoundThread &&
         running.load(std::memory_order_acquire) == 0;
}

bool CAudioStream::Open() {
  if (!IsStopped()) Stop();
  layer = nextLayer;
  device = layer->OpenDevice();
  if (!device) return false;
  if (!device->ClaimExclusive(window)) return false;
  primaryBuffer = device->CreatePrimaryBuffer();
  if (!primaryBuffer) return false;
  if (!primaryBuffer->ApplyFormat(kPcm16Mono44100)) return false;
  loopBuffer = device->CreateLoopBuffer(kLoopBytes, kPcm16Mono44100);
  opened = loopBuffer != nullptr;
  return opened;
}

bool CAudioStream::Start(BlockCallback blockCallback, bool renderAhead) {
  if (!opened && !Open()) return false;
  opened = false;
  callback = blockCallback;
  SoundRegion first{};
  SoundRegion second{};
  if (loopBuffer->Lock(0, kLoopBytes, &first, &second)) {
    if (first.data) {
      if (renderAhead && callback) {
        callback(static_cast<std::int16_t*>(first.data), static_cast<std::int32_t>(first.byteCount));
        loopFull = true;
      } else {
        std::memset(first.data, 0, first.byteCount);
      }
    }
    loopBuffer->Commit(first, second);
  }
  if (!loopBuffer->PlayLooping()) return false;
  thread = layer->StartThread(&CAudioStream::AudioThreadProc, this);
  // Only a thread that exists can acknowledge a stop, so only then is the stream running.
  if (thread == kNoSoundThread) return false;
  running.store(1, std::memory_order_release);
  return true;
}

void CAudioStream::EndThread() {
  if (running.load(std::memory_order_acquire) == 1) {
    do {
      stopRequest.store(1, std::memory_order_release);
    } while (running.load(std::memory_order_acquire) != 0);
  }
  if (thread != kNoSoundThread) {
    layer->CloseThread(thread);
    thread = kNoSoundThread;
  }
}

void CAudioStream::Stop() {
  EndThread();
  loopBuffer.reset();
  primaryBuffer.reset();
  device.reset();
  Reset();
}

void CAudioStream::Reset() {
  if (thread != kNoSoundThread || device || primaryBuffer || loopBuffer) {
    Stop();
    return;
  }
  running.store(0, std::memory_order_relaxed);
  stopRequest.store(0, std::memory_order_relaxed);
  writePos = 0;
  opened = false;
  loopFull = false;
}

std::uint32_t CAudioStream::AudioThreadProc(void* param) {
  auto* stream = static_cast<CAudioStream*>(param);
  if (!stream) return 0;
  while (stream->FillBuffer()) stream->layer->Pause(kPollMs);
  return 0;
}

bool CAudioStream::FillBuffer() {
  if (!loopBuffer) return false;
  // While the sound system under the loop is gone its play position stands still, which a pass
  // would take for a whole loop played: nothing is rendered, nor recorded, until it is back.
  if (device && device->IsLost()) return AnswerStop();
  std::uint32_t play = 0;
  // A position outside the loop is as good as none; an odd one is taken down to its sample.
  if (!loopBuffer->ReadPlayPosition(&play) || play >= kLoopBytes) play = 0;
  play &= ~1u;
  // A play position where the last pass left it means nothing was played since: a server that
  // takes sound in chunks longer than a pass's interval, or one that has stalled. Rendering the
  // whole loop again would overwrite sound not yet heard, push the riff on by a loop nobody heard
  // and record it; only the silence a start leaves is refilled whole.
  if (play == writePos && loopFull) return AnswerStop();
  const std::uint32_t count = writePos < play ? play - writePos : play - writePos + kLoopBytes;
  SoundRegion first{};
  SoundRegion second{};
  while (!loopBuffer->Lock(writePos, count, &first, &second)) {
    // A buffer that cannot be restored must neither keep Stop waiting nor spin a core.
    if (!AnswerStop()) return false;
    layer->Pause(kLockRetryPauseMs);
    loopBuffer->Recover();
    loopBuffer->PlayLooping();
  }
  if (callback) {
    if (first.data && first.byteCount > 0) {
      callback(static_cast<std::int16_t*>(first.data), static_cast<std::int32_t>(first.byteCount));
    }
    if (second.data && second.byteCount > 0) {
      callback(static_cast<std::int16_t*>(second.data),
               static_cast<std::int32_t>(second.byteCount));
    }
  }
  loopBuffer->Commit(first, second);
  writePos += count;
  if (writePos >= kLoopBytes) writePos -= kLoopBytes;
  loopFull = true;
  return AnswerStop();
}

// Wherever a pass ends: a stop asked for is acknowledged here, after the pass's last buffer
// operation; false then, and the thread ends.
bool CAudioStream::AnswerStop() {
  const bool stopping = stopRequest.load(std::memory_order_acquire) != 0;
  if (stopping) running.store(0, std::memory_order_release);
  return !stopping;
}

// Each pass renders up to the play position, so everything from there round to the write position
// is rendered and not yet heard: the whole loop right after a pass, nothing before the first.
std::uint32_t CAudioStream::StopKeepingUnheard(std::int16_t* out, std::uint32_t capacity) {
  EndThread();
  std::uint32_t count = 0;
  std::uint32_t play = 0;
  if (loopBuffer && loopBuffer->StopPlaying() && loopBuffer->ReadPlayPosition(&play) && play < kLoopBytes) {
    play &= ~1u;
    const std::uint32_t bytes = writePos > play ? writePos - play : writePos + kLoopBytes - play;
    SoundRegion first{};
    SoundRegion second{};
    if (out != nullptr && (play != writePos || loopFull) && loopBuffer->Lock(play, bytes, &first, &second)) {
      for (const SoundRegion& region : {first, second}) {
        const std::uint32_t n = std::min(region.byteCount / 2, capacity - count);
        if (region.data != nullptr) std::memcpy(out + count, region.data, n * 2);
        count += n;
      }
    }
  }
  Stop();
  return count;
}

bool CAudioStream::IsLost() const { return device && device->IsLost(); }

bool CAudioStream::Reconnect() { return device && device->Reconnect(); }

std::string CAudioStream::Describe() const { return device ? device->Describe() : ""; }
