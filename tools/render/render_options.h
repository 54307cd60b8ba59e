// The render tool's command line: what it parses into, the parser, and the usage text. Parsing only
// checks the form of each option; whether files can be read or written is found out later.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sample_rate.h"

struct RenderOptions {
  std::string output;
  std::string preset;
  std::string riff;
  bool play = true;
  bool noteOn = false;
  int blockFrames = 882;
  std::int64_t frames = std::int64_t{kSampleRate} * 10;
  bool help = false;
  bool version = false;
  bool printParams = false;
  bool list = false;
};

// Fills options from argv; on a bad command line returns false with a one-line reason in error.
bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error);

extern const char* const kRenderUsage;
