// A look at the PulseAudio server this session would reach, if any: whether it answers, what it
// calls itself (PipeWire's PulseAudio server says so in its name), its default sink and that sink's
// rate. The output opens a PulseAudio stream only where a server answers, on that sink, and names
// the server in the line that says what plays.
//
// It connects without starting a server and gives up at once where nobody listens; a live server
// answers within milliseconds, and a server that does not answer within half a second counts as
// absent. Control threads only: it blocks while it asks.
#pragma once

#include <string>

struct PulseServerInfo {
  bool reachable = false;
  // As the server reports it, e.g. "pulseaudio" or "PulseAudio (on PipeWire 0.3.65)".
  std::string serverName;
  // The default sink's name; empty where the server has none.
  std::string defaultSink;
  unsigned int sinkRate = 0;
  // True for PipeWire's PulseAudio server.
  bool IsPipeWire() const { return serverName.find("PipeWire") != std::string::npos; }
};

PulseServerInfo ProbePulseServer();
