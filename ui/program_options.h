// The program's command line: what it parses into, the parser, and the usage text. Each option is
// one row of a table in program_options.cpp (its name, its value if it takes one, its line of help
// and what it sets), so the parser and --help always agree. Parsing only checks the form: whether a
// preset or riff can be loaded is found out afterwards, still before any window or sound opens.
#pragma once

#include <optional>
#include <string>

#include "platform/sound/output_switch.h"

struct ProgramOptions {
  // The sound output for this run; none: the one chosen last in the menu.
  std::optional<OutputMode> outputMode;
  // A preset or riff file, or a bank name, to open with; empty: the defaults.
  std::string preset;
  std::string riff;
  bool followTransport = false;
  bool help = false;
  bool version = false;
};

// Fills options from argv (the last of options given twice counts); on a bad command line returns
// false with a one-line reason in error.
bool ParseProgramOptions(int argc, const char* const* argv, ProgramOptions& options, std::string& error);

// What --help prints.
std::string ProgramUsage();
