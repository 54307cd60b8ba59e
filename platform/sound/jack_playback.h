// Where the program's mono output goes on a JACK server: to the first two physical playback ports,
// so that headphones and a stereo pair play it in both ears, or to the one port a machine with a
// single output has. Users whose patchbay makes its own connections set QUEMBREL_NO_AUTOCONNECT to
// anything but empty or 0, and the output is then left unconnected.
#pragma once

struct _jack_client;

class CJackPlayback {
 public:
  static constexpr const char* kNoAutoConnectVariable = "QUEMBREL_NO_AUTOCONNECT";
  static constexpr int kPlaybackPorts = 2;

  CJackPlayback() = delete;

  // False when the environment asks for no automatic connection.
  static bool AutoConnectWanted();
  // Connects the output port named `port` through `client`, which may be any client of the server.
  static void Connect(_jack_client* client, const char* port);
};
