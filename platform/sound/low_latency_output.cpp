// The low-latency output: the JACK client with its MIDI port, the RtAudio callback stream, and the
// period rendering they share.
#include "platform/sound/low_latency_output.h"

#include <RtAudio.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "output/event_slicer.h"
#include "platform/sound/pulse_server.h"
#include "platform/sound/pulse_stream.h"
#include "platform/sound/rtaudio_output.h"
#include "platform/sound/sound_status.h"
#include "platform/sound/transport_follower.h"
#include "sequencer/midi_note_handler.h"

CLowLatencyOutput::CLowLatencyOutput(CJackClient* sharedJack)
    : render(nullptr),
      backend(Backend::kNone),
      jack(sharedJack != nullptr ? sharedJack : &ownJack),
      jackPlayer{&CLowLatencyOutput::JackProcess, this, &lost, &periodFrames},
      midiPort(nullptr),
      periodFrames(0),
      queuedPeriods(0),
      lost(false),
      leadIn(new std::int16_t[kMaxLeadIn]) {}

CLowLatencyOutput::~CLowLatencyOutput() { Stop(); }

bool CLowLatencyOutput::Start(BlockCallback renderBlock, CNoteTarget* midiTarget) {
  return Open(renderBlock, midiTarget) && Play();
}

bool CLowLatencyOutput::Open(BlockCallback renderBlock, CNoteTarget* midiTarget) {
  Stop();
  if (renderBlock == nullptr) return false;
  render = renderBlock;
  if (midiTarget != nullptr) notes = std::make_unique<CMidiNoteHandler>(*midiTarget);
  lost.store(false, std::memory_order_release);
  failure.clear();
  if (OpenJack()) return true;
  const PulseServerInfo pulse = ProbePulseServer();
  if (pulse.reachable) {
    system = pulse.IsPipeWire() ? "PulseAudio (PipeWire)" : "PulseAudio";
    const bool pipeWire = pulse.IsPipeWire();
    if (OpenPulse(pulse.sinkRate, pipeWire ? kPipeWireCallbackFrames : kPulseCallbackFrames,
                  pipeWire ? kPipeWireBufferCount : kPulseBufferCount)) {
      return true;
    }
    std::fprintf(stderr, "quembrel: %s is there but refused the low-latency stream: %s\n", system.c_str(),
                 failure.c_str());
  }
  system = "ALSA default";
  if (OpenAlsa()) return true;
  Stop();
  return false;
}

bool CLowLatencyOutput::Play() {
  // Handed-over sound is for this start only.
  if (!leadInArmed) leadInCount = 0;
  leadInArmed = false;
  if (backend == Backend::kJack) {
    if (jack->Play(&jackPlayer)) return true;
    Stop();
    return false;
  }
  if (backend == Backend::kPulse) {
    if (pulse->Start()) return true;
    Stop();
    return false;
  }
  if (!audio) return false;
  try {
    audio->startStream();
  } catch (const RtAudioError& error) {
    failure = error.getMessage();
  }
  if (!audio->isStreamRunning()) {
    Stop();
    return false;
  }
  return true;
}

void CLowLatencyOutput::SetLeadIn(const std::int16_t* samples, std::uint32_t count) {
  leadInCount = std::min<std::uint32_t>(count, kMaxLeadIn);
  leadInDone = 0;
  leadInArmed = true;
  if (leadInCount > 0) std::memcpy(leadIn.get(), samples, leadInCount * sizeof(std::int16_t));
}

std::string CLowLatencyOutput::Describe() const {
  if (backend == Backend::kNone) return "";
  return DescribeSound(system, converter.OutputRate(), queuedPeriods, GetPeriodFrames());
}

void CLowLatencyOutput::Stop(bool playQueued) {
  if (backend == Backend::kJack) {
    jack->Pause(&jackPlayer);
    // The port goes with the turn, so that the MIDI input's own port is the only one meanwhile.
    if (midiPort != nullptr && !jack->IsLost()) jack_port_unregister(jack->Handle(), midiPort);
    midiPort = nullptr;
    jack->Release();
  }
  if (pulse) {
    pulse->Close(playQueued && !IsLost());
    pulse.reset();
  }
  CloseRtAudioOutput(audio, playQueued && !IsLost());
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

bool CLowLatencyOutput::OpenJack() {
  if (!jack->Hold(&failure)) return false;
  // The exact name or none: the ports' names are what users connect to.
  if (!jack->HasOwnName()) {
    jack->Release();
    return false;
  }
  backend = Backend::kJack;
  const int frames = jack->PeriodFrames();
  midiPort = jack_port_register(jack->Handle(), kMidiPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (midiPort == nullptr || frames > kMaxJackFrames ||
      !converter.Init(jack->Rate(), kMaxJackFrames)) {
    failure = "JACK refused the ports";
    std::fprintf(stderr, "quembrel: %s\n", failure.c_str());
    Stop();
    return false;
  }
  system = "JACK";
  engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  periodFrames.store(frames, std::memory_order_relaxed);
  // The sample is heard one period after the cycle that wrote it.
  queuedPeriods = 1;
  return true;
}

bool CLowLatencyOutput::OpenPulse(unsigned int rate, unsigned int frames, unsigned int bufferCount) {
  auto opened = std::make_unique<CPulseStream>(lost);
  if (!opened->Open(kClientName, rate, frames, bufferCount, &CLowLatencyOutput::PulseProcess, this,
                    &failure)) {
    return false;
  }
  if (!InitConverter(converter, rate, opened->Frames(), &failure)) return false;
  engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  periodFrames.store(static_cast<int>(opened->Frames()), std::memory_order_relaxed);
  queuedPeriods = static_cast<int>(opened->Count());
  pulse = std::move(opened);
  backend = Backend::kPulse;
  return true;
}

bool CLowLatencyOutput::OpenAlsa() {
  RtAudioOutput opened = OpenRtAudioOutput(RtAudio::LINUX_ALSA, kClientName, 0, kCallbackFrames,
                                           kCallbackBufferCount, true, &CLowLatencyOutput::CallbackProcess, this);
  if (!opened.audio) {
    failure = opened.why;
    return false;
  }
  if (!InitConverter(converter, opened.rate, opened.frames, &failure)) return false;
  engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  periodFrames.store(static_cast<int>(opened.frames), std::memory_order_relaxed);
  queuedPeriods = static_cast<int>(std::max(opened.bufferCount, 1u));
  audio = std::move(opened.audio);
  backend = Backend::kAlsa;
  return true;
}

void CLowLatencyOutput::RenderPeriod(float* out, int frames, void* midiBuffer) {
  const int total = converter.EngineFramesFor(frames);
  if (frames > converter.MaxOutputFrames()) {
    std::fill(out, out + frames, 0.0f);
    return;
  }
  // Sound handed over by the output before comes first; events stamped within it act where the
  // newly rendered sound begins.
  const int handed = static_cast<int>(std::min<std::uint32_t>(leadInCount - leadInDone, static_cast<std::uint32_t>(total)));
  std::int16_t* engine = engineFrames.get();
  if (handed > 0) {
    std::copy_n(leadIn.get() + leadInDone, handed, engine);
    leadInDone += static_cast<std::uint32_t>(handed);
  }
  std::int16_t* fresh = engine + handed;
  if (transport != nullptr) transport->BeginBlock(backend == Backend::kJack ? jack->Handle() : nullptr, 0.0, false);
  CEventSlicer slicer(total - handed, [this, fresh](int from, int to) {
    if (transport != nullptr) {
      transport->Render(render, fresh, from, to);
    } else {
      render(fresh + from, (to - from) * 2);
    }
  });
  if (midiBuffer != nullptr) {
    const std::uint32_t count = jack_midi_get_event_count(midiBuffer);
    for (std::uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event{};
      if (jack_midi_event_get(&event, midiBuffer, i) != 0) continue;
      // Render up to the frame heard where the event was stamped, then let it act.
      slicer.RenderToEvent(std::max(converter.EngineOffsetFor(static_cast<int>(event.time)) - handed, 0));
      if (notes) notes->Receive(event.buffer, event.size);
    }
  }
  slicer.Finish();
  if (transport != nullptr) transport->EndBlock(total - handed);
  converter.Process(engine, out, frames);
}

void CLowLatencyOutput::JackProcess(std::uint32_t frames, void* arg) {
  auto* self = static_cast<CLowLatencyOutput*>(arg);
  auto* out = static_cast<float*>(jack_port_get_buffer(self->jack->AudioPort(), frames));
  void* midi = jack_port_get_buffer(self->midiPort, frames);
  self->RenderPeriod(out, static_cast<int>(frames), midi);
}

void CLowLatencyOutput::PulseProcess(float* out, unsigned int frames, void* self) {
  static_cast<CLowLatencyOutput*>(self)->RenderPeriod(out, static_cast<int>(frames), nullptr);
}

int CLowLatencyOutput::CallbackProcess(void* output, void*, unsigned int frames, double, unsigned int,
                                       void* arg) {
  auto* self = static_cast<CLowLatencyOutput*>(arg);
  if (StreamFailedOnThisThread()) {
    // The server or device is gone: end the stream here rather than render for nobody.
    self->lost.store(true, std::memory_order_release);
    return 2;
  }
  self->RenderPeriod(static_cast<float*>(output), static_cast<int>(frames), nullptr);
  return 0;
}
