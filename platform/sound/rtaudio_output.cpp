// The RtAudio output opener shared by the classic and the low-latency output, and the failure flag
// of the stream thread.
#include "platform/sound/rtaudio_output.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <string>

#include "platform/sound/device_rate.h"

namespace {

// RtAudio's error callback carries no user pointer, but it runs on the thread whose call failed:
// the stream's own thread for a running stream. The generation lets a fresh stream start clean on
// a thread an earlier stream left marked.
std::atomic<unsigned> g_generation{0};
thread_local unsigned t_failedGeneration = 0;

void NoteBackendError(RtAudioError::Type type, const std::string& text) {
  if (type == RtAudioError::WARNING && text.find("underrun") != std::string::npos) return;
  t_failedGeneration = g_generation.load(std::memory_order_relaxed);
}

void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

const char* ApiName(RtAudio::Api api) {
  switch (api) {
    case RtAudio::LINUX_PULSE: return "PulseAudio";
    case RtAudio::LINUX_ALSA: return "ALSA";
    case RtAudio::UNIX_JACK: return "JACK";
    default: return "the sound backend";
  }
}

// The default output where the backend names one that has output channels, else the first
// device that has any; -1 when none has.
int ChooseOutputDevice(RtAudio& audio) {
  const unsigned count = audio.getDeviceCount();
  int first = -1;
  for (unsigned i = 0; i < count; ++i) {
    const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
    if (!info.probed || info.outputChannels == 0) continue;
    if (info.isDefaultOutput) return static_cast<int>(i);
    if (first < 0) first = static_cast<int>(i);
  }
  return first;
}

}  // namespace

bool StreamFailedOnThisThread() {
  return t_failedGeneration != 0 && t_failedGeneration == g_generation.load(std::memory_order_relaxed);
}

RtAudioOutput OpenRtAudioOutput(RtAudio::Api api, const char* clientName, unsigned int rate, unsigned int frames,
                                unsigned int bufferCount, bool floatAtEngineRate, RtAudioCallback callback,
                                void* user) {
  snd_lib_error_set_handler(&IgnoreAlsaMessage);
  g_generation.fetch_add(1, std::memory_order_relaxed);
  RtAudioOutput opened;
  const std::string name = ApiName(api);
  try {
    auto audio = std::make_unique<RtAudio>(api);
    audio->showWarnings(false);
    if (audio->getCurrentApi() != api) {
      opened.why = name + " is not built into RtAudio here";
      return opened;
    }
    const int device = ChooseOutputDevice(*audio);
    if (device < 0) {
      opened.why = name + " lists no output device";
      return opened;
    }
    RtAudio::StreamParameters parameters;
    parameters.deviceId = static_cast<unsigned>(device);
    parameters.nChannels = 1;
    parameters.firstChannel = 0;
    RtAudio::StreamOptions options;
    options.streamName = clientName;
    options.numberOfBuffers = bufferCount;
    if (api == RtAudio::LINUX_ALSA) options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
    if (rate == 0) rate = DeviceRateFor(audio->getDeviceInfo(parameters.deviceId));
    const bool floatSamples = floatAtEngineRate || rate != CRateConverter::kEngineRate;
    const RtAudioFormat format = floatSamples ? RTAUDIO_FLOAT32 : RTAUDIO_SINT16;
    // The stream's thread at real-time priority where the system grants it, so that a busy machine
    // does not starve the small buffers; where it does not, at the ordinary priority.
    const unsigned int asked = frames;
    options.flags |= RTAUDIO_SCHEDULE_REALTIME;
    try {
      audio->openStream(&parameters, nullptr, format, rate, &frames, callback, user, &options, &NoteBackendError);
    } catch (const RtAudioError&) {
    }
    if (!audio->isStreamOpen()) {
      frames = asked;
      options.flags &= ~RTAUDIO_SCHEDULE_REALTIME;
      options.numberOfBuffers = bufferCount;
      audio->openStream(&parameters, nullptr, format, rate, &frames, callback, user, &options, &NoteBackendError);
    }
    if (!audio->isStreamOpen() || frames == 0) {
      opened.why = name + " refused the stream";
      return opened;
    }
    opened.rate = audio->getStreamSampleRate();
    opened.frames = frames;
    opened.bufferCount = options.numberOfBuffers;
    opened.floatSamples = floatSamples;
    opened.audio = std::move(audio);
  } catch (const RtAudioError& error) {
    opened.why = name + ": " + error.getMessage();
  } catch (const std::exception& error) {
    opened.why = name + ": " + error.what();
  }
  return opened;
}

void CloseRtAudioOutput(std::unique_ptr<RtAudio>& audio, bool playQueued) {
  if (!audio) return;
  try {
    if (audio->isStreamRunning()) {
      if (playQueued) {
        audio->stopStream();
      } else {
        audio->abortStream();
      }
    }
  } catch (const RtAudioError&) {
  }
  try {
    if (audio->isStreamOpen()) audio->closeStream();
  } catch (const RtAudioError&) {
  }
  audio.reset();
}
