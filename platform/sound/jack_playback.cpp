// Connecting the output to the physical playback ports, unless the environment says not to.
#include "platform/sound/jack_playback.h"

#include <jack/jack.h>

#include <cstdlib>
#include <cstring>

bool CJackPlayback::AutoConnectWanted() {
  const char* value = std::getenv(kNoAutoConnectVariable);
  return value == nullptr || value[0] == '\0' || std::strcmp(value, "0") == 0;
}

void CJackPlayback::Connect(jack_client_t* client, const char* port) {
  if (client == nullptr || port == nullptr || !AutoConnectWanted()) return;
  const char** playback = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
  if (playback == nullptr) return;
  for (int i = 0; i < kPlaybackPorts && playback[i] != nullptr; ++i) jack_connect(client, port, playback[i]);
  jack_free(playback);
}
