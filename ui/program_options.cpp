// The program's options as one table; values are taken as "--name value" or "--name=value".
#include "ui/program_options.h"

#include <algorithm>
#include <string_view>

namespace {

struct OptionRow {
  const char* name;
  // What the value is called in the usage text; null for an option that takes none.
  const char* value;
  const char* help;
  void (*apply)(ProgramOptions& options, const std::string& value);
};

const OptionRow kOptionRows[] = {
    {"--preset", "NAME|FILE", "open with a preset (*.kv7) or the bank's sound NAME loaded",
     [](ProgramOptions& o, const std::string& v) { o.preset = v; }},
    {"--riff", "NAME|FILE", "open with a riff (*.riff) or the bank's riff NAME loaded",
     [](ProgramOptions& o, const std::string& v) { o.riff = v; }},
    {"--low-latency", nullptr, "use the low-latency sound output (this run)",
     [](ProgramOptions& o, const std::string&) { o.outputMode = OutputMode::kLowLatency; }},
    {"--classic", nullptr, "use the classic sound output (this run)",
     [](ProgramOptions& o, const std::string&) { o.outputMode = OutputMode::kClassic; }},
    {"--follow-transport", nullptr, "follow the JACK transport's tempo and position (this run)",
     [](ProgramOptions& o, const std::string&) { o.followTransport = true; }},
    {"--help", nullptr, "show this text and exit", [](ProgramOptions& o, const std::string&) { o.help = true; }},
    {"--version", nullptr, "print the version and exit",
     [](ProgramOptions& o, const std::string&) { o.version = true; }},
};

const OptionRow* FindRow(std::string_view name) {
  for (const OptionRow& row : kOptionRows) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

}  // namespace

bool ParseProgramOptions(int argc, const char* const* argv, ProgramOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string_view::npos;
    const std::string name(arg.substr(0, equals));
    const OptionRow* row = FindRow(name);
    if (row == nullptr) {
      error = arg.starts_with("-") ? "unknown option '" + name + "'" : "unexpected argument '" + name + "'";
      return false;
    }
    std::string value;
    if (row->value == nullptr) {
      if (equals != std::string_view::npos) {
        error = "option '" + name + "' takes no value";
        return false;
      }
    } else {
      if (equals != std::string_view::npos) {
        value = std::string(arg.substr(equals + 1));
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        error = "option '" + name + "' needs a value";
        return false;
      }
      if (value.empty()) {
        error = "the value of '" + name + "' is empty";
        return false;
      }
    }
    row->apply(options, value);
  }
  return true;
}

std::string ProgramUsage() {
  std::string usage =
      "Usage: quembrel [options]\n"
      "Opens the synth panel and the riff panel of a monophonic synthesizer with a 16-step riff\n"
      "player, playing through JACK, PulseAudio or PipeWire, or ALSA.\n"
      "\n";
  constexpr std::size_t kColumn = 20;
  for (const OptionRow& row : kOptionRows) {
    std::string left = row.name;
    if (row.value != nullptr) left += std::string(" ") + row.value;
    left.resize(std::max(left.size() + 2, kColumn), ' ');
    usage += "  " + left + row.help + "\n";
  }
  usage +=
      "\n"
      "Without --low-latency or --classic it starts with the output chosen last in its menu.\n"
      "'quembrel-render --list' lists the factory bank's sounds and riffs.\n"
      "\n"
      "Exit status:\n"
      "  0    the program ran and was closed\n"
      "  1    no display to open its windows on\n"
      "  2    a bad command line, or a preset or riff that cannot be loaded\n";
  return usage;
}
