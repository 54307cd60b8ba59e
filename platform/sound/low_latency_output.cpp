// The low-latency output: the JACK client with its MIDI port, the RtAudio callback stream, and the
// period rendering they share.
#include "platform/sound/low_latency_output.h"

#include <RtAudio.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>

#include "output/event_slicer.h"
#include "platform/sound/jack_playback.h"
#include "platform/sound/rtaudio_output.h"
#include "platform/sound/transport_follower.h"
#include "sequencer/midi_note_handler.h"

namespace {

void IgnoreJackMessage(const char*) {}

}  // namespace

CLowLatencyOutput::CLowLatencyOutput()
    : render(nullptr),
      backend(Backend::kNone),
      jackClient(nullptr),
      audioPort(nullptr),
      midiPort(nullptr),
      periodFrames(0),
      queuedPeriods(0) {}

CLowLatencyOutput::~CLowLatencyOutput() { Stop(); }

bool CLowLatencyOutput::Start(BlockCallback renderBlock, CNoteTarget* midiTarget) {
  Stop();
  if (renderBlock == nullptr) return false;
  render = renderBlock;
  if (midiTarget != nullptr) notes = std::make_unique<CMidiNoteHandler>(*midiTarget);
  if (StartJack() || StartCallbackStream(RtAudio::LINUX_PULSE, Backend::kPulse) ||
      StartCallbackStream(RtAudio::LINUX_ALSA, Backend::kAlsa)) {
    return true;
  }
  Stop();
  return false;
}

void CLowLatencyOutput::Stop() {
  if (jackClient != nullptr) {
    // Deactivating returns once the process callback has run for the last time.
    jack_deactivate(jackClient);
    jack_client_close(jackClient);
    jackClient = nullptr;
    audioPort = nullptr;
    midiPort = nullptr;
  }
  if (audio) {
    try {
      if (audio->isStreamRunning()) audio->abortStream();
      if (audio->isStreamOpen()) audio->closeStream();
    } catch (const RtAudioError&) {
    }
    audio.reset();
  }
  backend = Backend::kNone;
  notes.reset();
  engineFrames.reset();
  periodFrames.store(0, std::memory_order_relaxed);
  queuedPeriods = 0;
}

int CLowLatencyOutput::GetLatencyFrames() const {
  if (backend == Backend::kNone) return 0;
  return queuedPeriods * GetPeriodFrames() + converter.LatencyFrames();
}

bool CLowLatencyOutput::StartJack() {
  jack_set_error_function(&IgnoreJackMessage);
  jack_set_info_function(&IgnoreJackMessage);
  jack_status_t status{};
  // The exact name or none: the ports' names are what users connect to.
  jackClient = jack_client_open(kClientName,
                                static_cast<jack_options_t>(JackNoStartServer | JackUseExactName),
                                &status);
  if (jackClient == nullptr) return false;
  const int rate = static_cast<int>(jack_get_sample_rate(jackClient));
  const int frames = static_cast<int>(jack_get_buffer_size(jackClient));
  audioPort = jack_port_register(jackClient, kAudioPortName, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  midiPort = jack_port_register(jackClient, kMidiPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (audioPort == nullptr || midiPort == nullptr || frames > kMaxJackFrames ||
      !converter.Init(rate, kMaxJackFrames)) {
    Stop();
    return false;
  }
  engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  periodFrames.store(frames, std::memory_order_relaxed);
  // The sample is heard one period after the cycle that wrote it.
  queuedPeriods = 1;
  jack_set_process_callback(jackClient, &CLowLatencyOutput::JackProcess, this);
  jack_set_buffer_size_callback(jackClient, &CLowLatencyOutput::JackBufferSize, this);
  if (jack_activate(jackClient) != 0) {
    Stop();
    return false;
  }
  backend = Backend::kJack;
  CJackPlayback::Connect(jackClient, jack_port_name(audioPort));
  return true;
}

bool CLowLatencyOutput::StartCallbackStream(int api, Backend candidate) {
  RtAudioOutput opened = OpenRtAudioOutput(static_cast<RtAudio::Api>(api), kClientName, kCallbackFrames,
                                           kCallbackBufferCount, true, &CLowLatencyOutput::CallbackProcess, this);
  if (!opened.audio || !converter.Init(static_cast<int>(opened.rate), static_cast<int>(opened.frames))) {
    return false;
  }
  engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  periodFrames.store(static_cast<int>(opened.frames), std::memory_order_relaxed);
  queuedPeriods = static_cast<int>(std::max(opened.bufferCount, 1u));
  audio = std::move(opened.audio);
  try {
    audio->startStream();
  } catch (const RtAudioError&) {
  }
  if (!audio->isStreamRunning()) {
    Stop();
    return false;
  }
  backend = candidate;
  return true;
}

void CLowLatencyOutput::RenderPeriod(float* out, int frames, void* midiBuffer) {
  const int total = converter.EngineFramesFor(frames);
  if (frames > converter.MaxOutputFrames()) {
    std::fill(out, out + frames, 0.0f);
    return;
  }
  std::int16_t* engine = engineFrames.get();
  if (transport != nullptr) transport->BeginBlock(jackClient, 0.0, false);
  CEventSlicer slicer(total, [this, engine](int from, int to) {
    if (transport != nullptr) {
      transport->Render(render, engine, from, to);
    } else {
      render(engine + from, (to - from) * 2);
    }
  });
  if (midiBuffer != nullptr) {
    const std::uint32_t count = jack_midi_get_event_count(midiBuffer);
    for (std::uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event{};
      if (jack_midi_event_get(&event, midiBuffer, i) != 0) continue;
      // Render up to the frame heard where the event was stamped, then let it act.
      slicer.RenderToEvent(converter.EngineOffsetFor(static_cast<int>(event.time)));
      if (notes) notes->Receive(event.buffer, event.size);
    }
  }
  slicer.Finish();
  if (transport != nullptr) transport->EndBlock(total);
  converter.Process(engine, out, frames);
}

int CLowLatencyOutput::JackProcess(std::uint32_t frames, void* arg) {
  auto* self = static_cast<CLowLatencyOutput*>(arg);
  auto* out = static_cast<float*>(jack_port_get_buffer(self->audioPort, frames));
  void* midi = jack_port_get_buffer(self->midiPort, frames);
  self->RenderPeriod(out, static_cast<int>(frames), midi);
  return 0;
}

// The server calls this outside the process cycle. A period larger than the converter was made
// for plays silence rather than touching memory it does not have.
int CLowLatencyOutput::JackBufferSize(std::uint32_t frames, void* arg) {
  static_cast<CLowLatencyOutput*>(arg)->periodFrames.store(static_cast<int>(frames),
                                                           std::memory_order_relaxed);
  return 0;
}

int CLowLatencyOutput::CallbackProcess(void* output, void*, unsigned int frames, double, unsigned int,
                                       void* arg) {
  static_cast<CLowLatencyOutput*>(arg)->RenderPeriod(static_cast<float*>(output),
                                                     static_cast<int>(frames), nullptr);
  return 0;
}
