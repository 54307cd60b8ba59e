// Parses the render tool's options by hand, so that every mistake gets one message of our own.
// Options that take a value accept "--name value" and "--name=value" (and "-o FILE", "-oFILE").
#include "tools/render/render_options.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "engine/sample_rate.h"
#include "output/block_renderer.h"
#include "output/wav_recorder.h"

const char* const kRenderUsage =
    "Usage: quembrel-render -o FILE [options]\n"
    "Renders the synthesizer's voice, played by its riff player, to a 16-bit mono 44100 Hz WAV file\n"
    "through the same chain as the program: riff player, voice, distortion, delay, recorder.\n"
    "\n"
    "  -o, --output FILE   the WAV file to write (required); - writes to standard output\n"
    "      --preset FILE   load a preset (*.kv7), or the bank's sound of that name, into the\n"
    "                      voice and its effects\n"
    "      --riff FILE     load a riff (*.riff), or the bank's riff of that name, into the riff\n"
    "                      player\n"
    "      --no-play       do not start the riff player\n"
    "      --note-on       start a note on the voice, as the \"Note ON\" button does\n"
    "      --frames N      render N frames (default 441000, ten seconds)\n"
    "      --seconds S     render S seconds, rounded to the nearest frame\n"
    "      --block B       render in blocks of B frames, 1 to 4096 (default 882, the last shorter)\n"
    "      --print-params  print every parameter of the voice and the riff player after loading\n"
    "                      the preset and the riff, then exit without rendering\n"
    "      --list          print the factory bank's sounds and riffs, then exit\n"
    "      --help          show this text\n"
    "      --version       print the version\n"
    "\n"
    "Exit status:\n"
    "  0    the file is written\n"
    "  1    a file cannot be read or written (a preset or riff missing or refused, an unwritable\n"
    "       output, a full disk, a player that closed the pipe early)\n"
    "  2    a bad command line\n"
    "  130  interrupted (Ctrl+C, or the signals TERM and HUP): the render stops and a regular file\n"
    "       is not written\n";

namespace {

bool ParseInteger(std::string_view text, std::int64_t& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && !text.empty();
}

// Decimal only ("2.5", "1e3"): no hexadecimal, no leading blanks, nothing after the number.
bool ParseSeconds(std::string_view text, double& seconds) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, seconds, std::chars_format::general);
  return result.ec == std::errc() && result.ptr == end && !text.empty() && std::isfinite(seconds);
}

// What an option's value is called when it is given empty.
std::string ValueName(const std::string& option) {
  if (option == "-o" || option == "--output") return "the output file name";
  if (option == "--preset") return "the preset's file or bank name";
  if (option == "--riff") return "the riff's file or bank name";
  return "the value of '" + option + "'";
}

}  // namespace

bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions& options, std::string& error) {
  bool framesGiven = false;
  bool secondsGiven = false;
  double seconds = 0.0;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string name(arg);
    std::string value;
    bool hasValue = false;
    if (arg.starts_with("--")) {
      const std::size_t equals = arg.find('=');
      if (equals != std::string_view::npos) {
        name = std::string(arg.substr(0, equals));
        value = std::string(arg.substr(equals + 1));
        hasValue = true;
      }
    } else if (arg.starts_with("-o") && arg.size() > 2) {
      name = "-o";
      value = std::string(arg.substr(2));
      hasValue = true;
    }

    const bool takesValue = name == "-o" || name == "--output" || name == "--preset" ||
                            name == "--riff" || name == "--frames" || name == "--seconds" ||
                            name == "--block";
    const bool isFlag = name == "--no-play" || name == "--note-on" || name == "--help" ||
                        name == "-h" || name == "--version" || name == "--print-params" || name == "--list";
    if (!takesValue && !isFlag) {
      error = arg.starts_with("-") ? "unknown option '" + name + "'"
                                   : "unexpected argument '" + name + "'";
      return false;
    }
    if (isFlag && hasValue) {
      error = "option '" + name + "' takes no value";
      return false;
    }
    if (takesValue && !hasValue) {
      if (i + 1 >= argc) {
        error = "option '" + name + "' needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (takesValue && value.empty()) {
      error = ValueName(name) + " is empty";
      return false;
    }

    if (name == "-o" || name == "--output") {
      options.output = value;
    } else if (name == "--preset") {
      options.preset = value;
    } else if (name == "--riff") {
      options.riff = value;
    } else if (name == "--no-play") {
      options.play = false;
    } else if (name == "--note-on") {
      options.noteOn = true;
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else if (name == "--print-params") {
      options.printParams = true;
    } else if (name == "--list") {
      options.list = true;
    } else if (name == "--block") {
      std::int64_t block = 0;
      if (!ParseInteger(value, block) || block < 1 || block > kMixBufferFrames) {
        error = "--block must be a whole number of frames from 1 to 4096, not '" + value + "'";
        return false;
      }
      options.blockFrames = static_cast<int>(block);
    } else if (name == "--frames") {
      if (!ParseInteger(value, options.frames) || options.frames < 0) {
        error = "--frames must be a whole number of frames, 0 or more, not '" + value + "'";
        return false;
      }
      framesGiven = true;
    } else {
      if (!ParseSeconds(value, seconds) || seconds < 0.0) {
        error = "--seconds must be a number of seconds, 0 or more, not '" + value + "'";
        return false;
      }
      secondsGiven = true;
    }
  }

  if (framesGiven && secondsGiven) {
    error = "give either --frames or --seconds, not both";
    return false;
  }
  if (secondsGiven) {
    const double frames = std::round(seconds * kSampleRate);
    options.frames = frames > static_cast<double>(CWavRecorder::kMaxSamples)
                         ? std::int64_t{CWavRecorder::kMaxSamples} + 1
                         : static_cast<std::int64_t>(frames);
  }
  if (options.frames > CWavRecorder::kMaxSamples) {
    error = "the render is too long for a WAV file: at most " +
            std::to_string(CWavRecorder::kMaxSamples) + " frames (about 13.5 hours)";
    return false;
  }
  if (options.output.empty() && !options.help && !options.version && !options.printParams && !options.list) {
    error = "no output file given (use -o FILE)";
    return false;
  }
  return true;
}
