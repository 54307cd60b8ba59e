// The host's sound output over RtAudio, with its backend order and its callback.
#include "platform/sound/sound_host_output.h"

#include <RtAudio.h>

#include <algorithm>
#include <string>

#include "platform/sound/jack_playback.h"
#include "platform/sound/rtaudio_output.h"

CHostSoundOutput::CHostSoundOutput() : started(false), floatSamples(false) {}

CHostSoundOutput::~CHostSoundOutput() { Close(); }

bool CHostSoundOutput::Open() {
  if (audio) return true;
  return OpenWith(RtAudio::UNIX_JACK) || OpenWith(RtAudio::LINUX_PULSE) || OpenWith(RtAudio::LINUX_ALSA);
}

bool CHostSoundOutput::OpenWith(int api) {
  // JACK carries 32-bit floats and the others take 16-bit samples as they are, so neither needs a
  // conversion that could change a sample.
  RtAudioOutput opened = OpenRtAudioOutput(static_cast<RtAudio::Api>(api), kClientName, kBufferFrames,
                                           kBufferCount, api == RtAudio::UNIX_JACK, &CHostSoundOutput::Render,
                                           this);
  if (!opened.audio || !converter.Init(static_cast<int>(opened.rate), static_cast<int>(opened.frames))) {
    return false;
  }
  floatSamples = opened.floatSamples;
  // A JACK server plays a period in the cycle that takes it from the ring, so a sample waits only
  // for that cycle to start: half a period on average. Other backends queue what they report.
  queuedFrames = api == RtAudio::UNIX_JACK ? opened.frames / 2 : opened.frames * std::max(opened.bufferCount, 1u);
  engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  audio = std::move(opened.audio);
  return true;
}

bool CHostSoundOutput::Start() {
  if (!audio) return false;
  if (started.load(std::memory_order_acquire)) return true;
  try {
    audio->startStream();
  } catch (const RtAudioError&) {
    return false;
  }
  if (!audio->isStreamRunning()) return false;
  started.store(true, std::memory_order_release);
  if (audio->getCurrentApi() == RtAudio::UNIX_JACK) {
    const std::string port = std::string(kClientName) + ":" + kJackPortName;
    CJackPlayback::ConnectFromOutside(port.c_str());
  }
  return true;
}

// Aborting rather than stopping: RtAudio's JACK stop can wait for ever under ThreadSanitizer, and
// nothing queued needs to be heard once the loop is released.
void CHostSoundOutput::Close() {
  if (!audio) return;
  try {
    if (audio->isStreamRunning()) audio->abortStream();
  } catch (const RtAudioError&) {
  }
  try {
    if (audio->isStreamOpen()) audio->closeStream();
  } catch (const RtAudioError&) {
  }
  audio.reset();
  started.store(false, std::memory_order_release);
}

CSoundRing& CHostSoundOutput::GetRing() { return ring; }

std::uint32_t CHostSoundOutput::GetLatencyFrames() const {
  if (!audio) return 0;
  const long long deviceFrames = static_cast<long long>(queuedFrames) + converter.LatencyFrames();
  return static_cast<std::uint32_t>(deviceFrames * CRateConverter::kEngineRate / converter.OutputRate());
}

int CHostSoundOutput::Render(void* output, void*, unsigned int frames, double, unsigned int,
                             void* user) {
  auto* self = static_cast<CHostSoundOutput*>(user);
  if (self->converter.OutputRate() != CRateConverter::kEngineRate) {
    if (static_cast<int>(frames) > self->converter.MaxOutputFrames()) {
      std::fill_n(static_cast<float*>(output), frames, 0.0f);
      return 0;
    }
    const int engineCount = self->converter.EngineFramesFor(static_cast<int>(frames));
    self->ring.Pull(self->engineFrames.get(), static_cast<std::uint32_t>(engineCount));
    self->converter.Process(self->engineFrames.get(), static_cast<float*>(output), static_cast<int>(frames));
  } else if (self->floatSamples) {
    self->ring.PullFloat(static_cast<float*>(output), frames);
  } else {
    self->ring.Pull(static_cast<std::int16_t*>(output), frames);
  }
  return 0;
}
