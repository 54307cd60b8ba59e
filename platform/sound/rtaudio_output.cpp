// The RtAudio output opener shared by the classic and the low-latency output.
#include "platform/sound/rtaudio_output.h"

#include <alsa/asoundlib.h>

#include <string>

#include "platform/sound/device_rate.h"

namespace {

void IgnoreBackendError(RtAudioError::Type, const std::string&) {}
void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

RtAudioOutput OpenRtAudioOutput(RtAudio::Api api, const char* clientName, unsigned int frames,
                                unsigned int bufferCount, bool floatAtEngineRate, RtAudioCallback callback,
                                void* user) {
  snd_lib_error_set_handler(&IgnoreAlsaMessage);
  RtAudioOutput opened;
  try {
    auto audio = std::make_unique<RtAudio>(api);
    audio->showWarnings(false);
    // A JACK client is opened only when a server already runs: the count is 0 otherwise.
    if (audio->getCurrentApi() != api || audio->getDeviceCount() == 0) return opened;
    RtAudio::StreamParameters parameters;
    parameters.deviceId = audio->getDefaultOutputDevice();
    parameters.nChannels = 1;
    parameters.firstChannel = 0;
    RtAudio::StreamOptions options;
    options.streamName = clientName;
    options.numberOfBuffers = bufferCount;
    if (api == RtAudio::LINUX_ALSA) options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
    // The library would connect the one channel to the first playback port only: the program
    // connects its output itself (CJackPlayback).
    if (api == RtAudio::UNIX_JACK) options.flags |= RTAUDIO_JACK_DONT_CONNECT;
    const unsigned int rate = DeviceRateFor(audio->getDeviceInfo(parameters.deviceId));
    const bool floatSamples = floatAtEngineRate || rate != CRateConverter::kEngineRate;
    audio->openStream(&parameters, nullptr, floatSamples ? RTAUDIO_FLOAT32 : RTAUDIO_SINT16, rate, &frames,
                      callback, user, &options, &IgnoreBackendError);
    if (!audio->isStreamOpen() || frames == 0) return opened;
    opened.rate = audio->getStreamSampleRate();
    opened.frames = frames;
    opened.bufferCount = options.numberOfBuffers;
    opened.floatSamples = floatSamples;
    opened.audio = std::move(audio);
  } catch (const RtAudioError&) {
  } catch (const std::exception&) {
  }
  return opened;
}
