// The host's sound output over RtAudio, with its backend order and its callback.
#include "platform/sound_host_output.h"

#include <RtAudio.h>
#include <alsa/asoundlib.h>

#include <algorithm>
#include <string>

#include "platform/device_rate.h"

namespace {

void IgnoreBackendError(RtAudioError::Type, const std::string&) {}

// The ALSA library prints its own diagnostics while probing cards that are not there; the program
// is meant to go on silently without sound.
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

CHostSoundOutput::CHostSoundOutput() : started(false), floatSamples(false) {}

CHostSoundOutput::~CHostSoundOutput() { Close(); }

bool CHostSoundOutput::Open() {
  if (audio) return true;
  snd_lib_error_set_handler(&IgnoreAlsaMessage);
  return OpenWith(RtAudio::UNIX_JACK, Backend::kJack) ||
         OpenWith(RtAudio::LINUX_PULSE, Backend::kPulse) ||
         OpenWith(RtAudio::LINUX_ALSA, Backend::kAlsa);
}

bool CHostSoundOutput::OpenWith(int api, Backend candidate) {
  std::unique_ptr<RtAudio> candidateAudio;
  try {
    candidateAudio = std::make_unique<RtAudio>(static_cast<RtAudio::Api>(api));
    candidateAudio->showWarnings(false);
    // A JACK client is opened only when a server already runs: the count is 0 otherwise.
    if (candidateAudio->getCurrentApi() != static_cast<RtAudio::Api>(api) ||
        candidateAudio->getDeviceCount() == 0) {
      return false;
    }
    RtAudio::StreamParameters parameters;
    parameters.deviceId = candidateAudio->getDefaultOutputDevice();
    parameters.nChannels = 1;
    parameters.firstChannel = 0;
    RtAudio::StreamOptions options;
    options.streamName = kClientName;
    options.numberOfBuffers = kBufferCount;
    if (candidate == Backend::kAlsa) options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
    const unsigned int rate = DeviceRateFor(candidateAudio->getDeviceInfo(parameters.deviceId));
    // JACK carries 32-bit floats and the others take 16-bit samples as they are, so neither
    // needs a conversion that could change a sample. Resampled output is float.
    floatSamples = candidate == Backend::kJack || rate != CRateConverter::kEngineRate;
    unsigned int frames = kBufferFrames;
    candidateAudio->openStream(&parameters, nullptr,
                               floatSamples ? RTAUDIO_FLOAT32 : RTAUDIO_SINT16, rate, &frames,
                               &CHostSoundOutput::Render, this, &options, &IgnoreBackendError);
    if (!candidateAudio->isStreamOpen() ||
        !converter.Init(static_cast<int>(candidateAudio->getStreamSampleRate()), static_cast<int>(frames))) {
      return false;
    }
    engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  } catch (const RtAudioError&) {
    return false;
  } catch (const std::exception&) {
    return false;
  }
  audio = std::move(candidateAudio);
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
