// The host's sound output: its backend order, its own JACK client, the RtAudio streams, and the
// callback they share.
#include "platform/sound/sound_host_output.h"

#include <RtAudio.h>
#include <jack/jack.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/sound/pulse_server.h"
#include "platform/sound/pulse_stream.h"
#include "platform/sound/rtaudio_output.h"
#include "platform/sound/sound_status.h"

CHostSoundOutput::CHostSoundOutput(CJackClient* sharedJack)
    : jack(sharedJack != nullptr ? sharedJack : &ownJack),
      jackPlayer{&CHostSoundOutput::JackProcess, this, &lost, nullptr},
      started(false),
      lost(false),
      floatSamples(false) {}

CHostSoundOutput::~CHostSoundOutput() { Close(); }

bool CHostSoundOutput::Open() {
  if (IsOpen()) return true;
  failure.clear();
  if (OpenJack()) return true;
  const PulseServerInfo pulse = ProbePulseServer();
  if (pulse.reachable) {
    system = pulse.IsPipeWire() ? "PulseAudio (PipeWire)" : "PulseAudio";
    if (OpenPulse(pulse.sinkRate)) return true;
    std::fprintf(stderr, "quembrel: %s is there but refused the stream: %s\n", system.c_str(), failure.c_str());
  }
  system = "ALSA default";
  if (OpenAlsa()) return true;
  return false;
}

// Our own client rather than RtAudio's: its start and stop are a player's turn at the client, and
// a server that goes away only raises a flag here, where RtAudio's JACK backend closes the stream
// from a thread of its own, under whoever is using or closing it at that moment.
bool CHostSoundOutput::OpenJack() {
  if (!jack->Hold(&failure)) return false;
  const int period = jack->PeriodFrames();
  if (period > kMaxJackFrames) failure = "JACK's period of " + std::to_string(period) + " frames is too long";
  if (!failure.empty() || !InitConverter(converter, static_cast<unsigned>(jack->Rate()), kMaxJackFrames, &failure)) {
    std::fprintf(stderr, "quembrel: %s\n", failure.c_str());
    jack->Release();
    return false;
  }
  backend = Backend::kJack;
  system = "JACK";
  floatSamples = true;
  frames = static_cast<unsigned>(period);
  bufferCount = 1;
  // A JACK server plays a period in the cycle that takes it from the ring, so a sample waits only
  // for that cycle to start: half a period on average.
  queuedFrames = frames / 2;
  engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  return true;
}

// ALSA's default device opens at 44100 Hz where it can, and then takes 16-bit samples as they are,
// so nothing is converted that could change a sample.
bool CHostSoundOutput::OpenAlsa() {
  RtAudioOutput opened = OpenRtAudioOutput(RtAudio::LINUX_ALSA, kClientName, 0, kBufferFrames, kBufferCount, false,
                                           &CHostSoundOutput::Render, this);
  if (!opened.audio) {
    failure = opened.why;
    return false;
  }
  if (!InitConverter(converter, opened.rate, opened.frames, &failure)) return false;
  backend = Backend::kAlsa;
  floatSamples = opened.floatSamples;
  frames = opened.frames;
  bufferCount = std::max(opened.bufferCount, 1u);
  queuedFrames = frames * bufferCount;
  engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  audio = std::move(opened.audio);
  return true;
}

// At the sink's own rate the server has nothing to resample; the converter does it here, as on JACK.
bool CHostSoundOutput::OpenPulse(unsigned int rate) {
  auto opened = std::make_unique<CPulseStream>(lost);
  if (!opened->Open(kClientName, rate, kPulseBufferFrames, kPulseBufferCount, &CHostSoundOutput::PulseRender, this,
                    &failure)) {
    return false;
  }
  if (!InitConverter(converter, rate, opened->Frames(), &failure)) return false;
  backend = Backend::kPulse;
  floatSamples = true;
  frames = opened->Frames();
  bufferCount = opened->Count();
  queuedFrames = frames * bufferCount;
  engineFrames = std::make_unique<std::int16_t[]>(converter.MaxEngineFrames());
  pulse = std::move(opened);
  return true;
}

bool CHostSoundOutput::Start() {
  if (!IsOpen()) return false;
  if (started.load(std::memory_order_acquire)) return true;
  lost.store(false, std::memory_order_release);
  if (backend == Backend::kJack) {
    if (!jack->Play(&jackPlayer)) return false;
  } else if (backend == Backend::kPulse) {
    if (!pulse->Start()) return false;
  } else {
    try {
      audio->startStream();
    } catch (const RtAudioError& error) {
      failure = error.getMessage();
      return false;
    }
    if (!audio->isStreamRunning()) return false;
  }
  started.store(true, std::memory_order_release);
  return true;
}

// Aborting unless asked to play out: nothing queued needs to be heard once the loop is released,
// and a server that is gone cannot drain it anyway.
void CHostSoundOutput::Close(bool playQueued) {
  if (backend == Backend::kJack) {
    jack->Pause(&jackPlayer);
    jack->Release();
  }
  if (pulse) {
    pulse->Close(playQueued && !IsLost());
    pulse.reset();
  }
  CloseRtAudioOutput(audio, playQueued && !IsLost());
  backend = Backend::kNone;
  started.store(false, std::memory_order_release);
}

bool CHostSoundOutput::Reopen() {
  Close();
  return Open() && Start();
}

CSoundRing& CHostSoundOutput::GetRing() { return ring; }

std::uint32_t CHostSoundOutput::GetLatencyFrames() const {
  if (!IsOpen()) return 0;
  const long long deviceFrames = static_cast<long long>(queuedFrames) + converter.LatencyFrames();
  return static_cast<std::uint32_t>(deviceFrames * CRateConverter::kEngineRate / converter.OutputRate());
}

std::string CHostSoundOutput::Describe() const {
  if (!IsOpen()) return "";
  return DescribeSound(system, converter.OutputRate(), static_cast<int>(bufferCount), static_cast<int>(frames));
}

void CHostSoundOutput::JackProcess(std::uint32_t count, void* user) {
  auto* self = static_cast<CHostSoundOutput*>(user);
  self->Fill(jack_port_get_buffer(self->jack->AudioPort(), count), count);
}

int CHostSoundOutput::Render(void* output, void*, unsigned int count, double, unsigned int, void* user) {
  auto* self = static_cast<CHostSoundOutput*>(user);
  if (StreamFailedOnThisThread()) {
    // The backend's stream has failed: stop it here, the play position where the last sound heard
    // left it.
    self->lost.store(true, std::memory_order_release);
    return 2;
  }
  self->Fill(output, count);
  return 0;
}

void CHostSoundOutput::PulseRender(float* output, unsigned int count, void* user) {
  static_cast<CHostSoundOutput*>(user)->Fill(output, count);
}

void CHostSoundOutput::Fill(void* output, unsigned int count) {
  if (converter.OutputRate() != CRateConverter::kEngineRate) {
    if (static_cast<int>(count) > converter.MaxOutputFrames()) {
      std::fill_n(static_cast<float*>(output), count, 0.0f);
      return;
    }
    const int engineCount = converter.EngineFramesFor(static_cast<int>(count));
    ring.Pull(engineFrames.get(), static_cast<std::uint32_t>(engineCount));
    converter.Process(engineFrames.get(), static_cast<float*>(output), static_cast<int>(count));
  } else if (floatSamples) {
    ring.PullFloat(static_cast<float*>(output), count);
  } else {
    ring.Pull(static_cast<std::int16_t*>(output), count);
  }
}
