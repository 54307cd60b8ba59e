// The shared JACK client: opening and closing it for its holders, handing the process cycle from
// one player to the next, and connecting the output to the playback ports.
#include "platform/sound/jack_client.h"

#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void IgnoreJackMessage(const char*) {}

}  // namespace

CJackClient::~CJackClient() { Close(); }

bool CJackClient::AutoConnectWanted() {
  const char* value = std::getenv(kNoAutoConnectVariable);
  return value == nullptr || value[0] == '\0' || std::strcmp(value, "0") == 0;
}

bool CJackClient::Hold(std::string* failure) {
  std::lock_guard<std::mutex> guard(holdLock);
  if (client != nullptr) {
    if (IsLost()) {
      if (holders > 0) return false;
      Close();
    } else {
      ++holders;
      return true;
    }
  }
  jack_set_error_function(&IgnoreJackMessage);
  jack_set_info_function(&IgnoreJackMessage);
  jack_status_t status{};
  client = jack_client_open(kClientName, static_cast<jack_options_t>(JackNoStartServer), &status);
  if (client == nullptr) return false;
  audioPort = jack_port_register(client, kAudioPortName, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  if (audioPort == nullptr) {
    *failure = "JACK refused the output port";
    std::fprintf(stderr, "quembrel: %s\n", failure->c_str());
    Close();
    return false;
  }
  ownName = std::strcmp(jack_get_client_name(client), kClientName) == 0;
  rate = static_cast<int>(jack_get_sample_rate(client));
  period.store(static_cast<int>(jack_get_buffer_size(client)), std::memory_order_relaxed);
  lost.store(false, std::memory_order_release);
  jack_set_process_callback(client, &CJackClient::Process, this);
  jack_set_buffer_size_callback(client, &CJackClient::BufferSize, this);
  jack_on_shutdown(client, &CJackClient::Shutdown, this);
  holders = 1;
  return true;
}

void CJackClient::Release() {
  std::lock_guard<std::mutex> guard(holdLock);
  if (holders > 0 && --holders == 0) Close();
}

// Deactivating returns once the process callback has run for the last time; on a server that is
// gone both calls return at once.
void CJackClient::Close() {
  if (client == nullptr) return;
  if (active) jack_deactivate(client);
  jack_client_close(client);
  client = nullptr;
  audioPort = nullptr;
  active = false;
  holders = 0;
  player.store(nullptr);
}

bool CJackClient::Play(const Player* next) {
  if (client == nullptr || next == nullptr) return false;
  if (next->period != nullptr) next->period->store(PeriodFrames(), std::memory_order_relaxed);
  const Player* none = nullptr;
  if (!player.compare_exchange_strong(none, next)) return false;
  // A server that dropped the client before the player took its turn did not tell the player.
  if (lost.load()) {
    Pause(next);
    return false;
  }
  if (!active) {
    if (jack_activate(client) != 0) {
      Pause(next);
      return false;
    }
    active = true;
    ConnectPlayback();
  }
  return true;
}

// The callbacks count themselves in before they look at the player, so once the player is taken
// away and the count is seen at 0, no callback holds it and none can pick it up again.
void CJackClient::Pause(const Player* playing) {
  const Player* expected = playing;
  if (!player.compare_exchange_strong(expected, nullptr)) return;
  while (inCallback.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void CJackClient::ConnectPlayback() {
  if (!AutoConnectWanted()) return;
  const char** playback =
      jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
  if (playback == nullptr) return;
  for (int i = 0; i < kPlaybackPorts && playback[i] != nullptr; ++i) {
    jack_connect(client, jack_port_name(audioPort), playback[i]);
  }
  jack_free(playback);
}

int CJackClient::Process(std::uint32_t frames, void* arg) {
  auto* self = static_cast<CJackClient*>(arg);
  self->inCallback.fetch_add(1);
  if (const Player* playing = self->player.load(); playing != nullptr) {
    playing->process(frames, playing->arg);
  } else {
    auto* out = static_cast<float*>(jack_port_get_buffer(self->audioPort, frames));
    std::fill_n(out, frames, 0.0f);
  }
  self->inCallback.fetch_sub(1, std::memory_order_release);
  return 0;
}

// The server calls this outside the process cycle.
int CJackClient::BufferSize(std::uint32_t frames, void* arg) {
  auto* self = static_cast<CJackClient*>(arg);
  self->inCallback.fetch_add(1);
  self->period.store(static_cast<int>(frames), std::memory_order_relaxed);
  if (const Player* playing = self->player.load(); playing != nullptr && playing->period != nullptr) {
    playing->period->store(static_cast<int>(frames), std::memory_order_relaxed);
  }
  self->inCallback.fetch_sub(1, std::memory_order_release);
  return 0;
}

// Called on a thread of the JACK library once the server has dropped the client: no process
// callback runs after it, and the client is closed by the last holder's Release.
void CJackClient::Shutdown(void* arg) {
  auto* self = static_cast<CJackClient*>(arg);
  self->inCallback.fetch_add(1);
  self->lost.store(true);
  if (const Player* playing = self->player.load(); playing != nullptr) {
    playing->lost->store(true, std::memory_order_release);
  }
  self->inCallback.fetch_sub(1, std::memory_order_release);
}
