// quembrel-lv2-ttl: writes the plugin bundle's Turtle description (manifest.ttl and quembrel.ttl)
// into the folder given, from the same port list the plugin reads, so the description can never
// disagree with the binary. Given the factory bank's folder too, it writes the bank's sounds and
// riffs as the plugin's presets (presets.ttl), read from the same texts the bank's converter
// reads: a sound sets the voice's ports, a riff the riff's. The build runs it; nobody edits its
// output.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin/plugin_ports.h"
#include "bank/bank_text.h"

namespace {

// The frames of the panels, as port groups, so that a host's generic controls read like the panels.
struct PortGroup {
  const char* symbol;
  const char* label;
};

enum GroupIndex : int {
  kGroupOscA, kGroupOscB, kGroupVolume, kGroupVolumeEnvelope, kGroupSub, kGroupFilter, kGroupFilterEnvelope,
  kGroupLfo1, kGroupLfo2, kGroupPostProcess, kGroupRiff
};

constexpr PortGroup kPortGroups[] = {
    {"oscillatorA", "Oscillator A"},       {"oscillatorB", "Oscillator B"},
    {"globalVolume", "Global volume"},     {"volumeEnvelope", "Volume envelope"},
    {"subOscillator", "Sub-oscillator"},   {"filter", "Filter"},
    {"filterEnvelope", "Filter envelope"}, {"lfo1", "LFO 1"},
    {"lfo2", "LFO 2"},                     {"postProcess", "Post process"},
    {"riff", "Riff"},
};

// The frame a voice parameter's control sits in on the synth panel.
GroupIndex GroupOfVoiceParam(int param) {
  switch (param) {
    case kMasterVolume:
      return kGroupVolume;
    case kOscAPulse:
    case kOscAWave:
    case kOscMix:
      return kGroupOscA;
    case kSubWave:
    case kSubLevel:
      return kGroupSub;
    case kFltEnvAmount:
    case kFilterType:
    case kCutoff:
      return kGroupFilter;
    case kDistAmount:
    case kDelayTime:
    case kDelayFeedback:
      return kGroupPostProcess;
    default:
      break;
  }
  if (param <= kOscSync) return kGroupOscB;
  if (param <= kAmpRelease) return kGroupVolumeEnvelope;
  if (param <= kFltRelease) return kGroupFilterEnvelope;
  return param <= kLfo1Amount ? kGroupLfo1 : kGroupLfo2;
}

// LV2's unit for the parameter tables' unit words; null where the value counts in no unit.
const char* UnitOf(const ParamInfo& info) {
  const std::string unit = info.unit;
  if (unit == "ms") return "units:ms";
  if (unit == "%") return "units:pc";
  if (unit == "semitones") return "units:semitone12TET";
  if (unit == "cents") return "units:cent";
  if (unit == "BPM") return "units:bpm";
  return nullptr;
}

std::string GroupUri(GroupIndex group) { return std::string(kPluginUri) + "#" + kPortGroups[group].symbol; }

void WriteParamPort(std::FILE* f, int index, const char* symbol, const ParamInfo& info, GroupIndex group,
                    PortStyle style, const char* const* labels) {
  std::fprintf(f,
               "  [\n    a lv2:InputPort , lv2:ControlPort ;\n    lv2:index %d ;\n    lv2:symbol \"%s\" ;\n"
               "    lv2:name \"%s\" ;\n    pg:group <%s> ;\n    lv2:default %d ;\n    lv2:minimum %d ;\n"
               "    lv2:maximum %d ;\n",
               index, symbol, info.label, GroupUri(group).c_str(), info.defaultValue, info.minimum, info.maximum);
  if (const char* unit = UnitOf(info)) {
    std::fprintf(f, "    units:unit %s ;\n", unit);
  }
  switch (style) {
    case PortStyle::kToggle:
      std::fprintf(f, "    lv2:portProperty lv2:integer , lv2:toggled\n");
      break;
    case PortStyle::kEnumeration:
      std::fprintf(f, "    lv2:portProperty lv2:integer , lv2:enumeration ;\n    lv2:scalePoint");
      for (int v = info.minimum; v <= info.maximum; ++v) {
        std::fprintf(f, "%s [ rdfs:label \"%s\" ; rdf:value %d ]", v == info.minimum ? "" : " ,\n     ",
                     labels[v - info.minimum], v);
      }
      std::fprintf(f, "\n");
      break;
    case PortStyle::kInteger:
      std::fprintf(f, "    lv2:portProperty lv2:integer\n");
      break;
  }
  std::fprintf(f, "  ]");
}

void WriteToggle(std::FILE* f, int index, const char* symbol, const char* name, GroupIndex group, int defaultValue) {
  std::fprintf(f,
               "  [\n    a lv2:InputPort , lv2:ControlPort ;\n    lv2:index %d ;\n    lv2:symbol \"%s\" ;\n"
               "    lv2:name \"%s\" ;\n    pg:group <%s> ;\n    lv2:default %d ;\n    lv2:minimum 0 ;\n"
               "    lv2:maximum 1 ;\n    lv2:portProperty lv2:integer , lv2:toggled\n  ]",
               index, symbol, name, GroupUri(group).c_str(), defaultValue);
}

void WritePort(std::FILE* f, int index, const PluginPort& port) {
  switch (port.kind) {
    case PortKind::kEvents:
      std::fprintf(f,
                   "  [\n    a lv2:InputPort , atom:AtomPort ;\n    atom:bufferType atom:Sequence ;\n"
                   "    atom:supports midi:MidiEvent , time:Position ;\n    lv2:designation lv2:control ;\n"
                   "    lv2:index %d ;\n    lv2:symbol \"%s\" ;\n    lv2:name \"Control\"\n  ]",
                   index, port.symbol);
      break;
    case PortKind::kAudioOut:
      std::fprintf(f,
                   "  [\n    a lv2:OutputPort , lv2:AudioPort ;\n    lv2:index %d ;\n    lv2:symbol \"%s\" ;\n"
                   "    lv2:name \"Out\"\n  ]",
                   index, port.symbol);
      break;
    case PortKind::kLatency:
      std::fprintf(f,
                   "  [\n    a lv2:OutputPort , lv2:ControlPort ;\n    lv2:designation lv2:latency ;\n"
                   "    lv2:portProperty lv2:reportsLatency , lv2:integer ;\n    lv2:index %d ;\n"
                   "    lv2:symbol \"%s\" ;\n    lv2:name \"Latency\" ;\n    lv2:minimum 0 ;\n"
                   "    lv2:maximum 16384\n  ]",
                   index, port.symbol);
      break;
    case PortKind::kPlay:
      WriteToggle(f, index, port.symbol, "Play", kGroupRiff, 0);
      break;
    case PortKind::kFollowHost:
      WriteToggle(f, index, port.symbol, "Follow host", kGroupRiff, 1);
      break;
    case PortKind::kTargetBit:
      for (const TargetBitPort& t : kTargetBitPorts) {
        if (t.mask == port.param && t.bit == port.bit) {
          WriteToggle(f, index, port.symbol, t.label, GroupOfVoiceParam(t.mask),
                      (kVoiceParams[t.mask].defaultValue & t.bit) != 0 ? 1 : 0);
        }
      }
      break;
    case PortKind::kVoiceParam: {
      const PortStyle style = StyleOfVoiceParam(port.param);
      const char* const* labels = port.param == kFilterType ? kFilterLabels : kWaveformLabels;
      WriteParamPort(f, index, port.symbol, kVoiceParams[port.param], GroupOfVoiceParam(port.param), style, labels);
      break;
    }
    case PortKind::kRiffParam:
      WriteParamPort(f, index, port.symbol, kRiffParams[port.param], kGroupRiff, StyleOfRiffParam(port.param),
                     nullptr);
      break;
    case PortKind::kStep:
      std::fprintf(f,
                   "  [\n    a lv2:OutputPort , lv2:ControlPort ;\n    lv2:portProperty lv2:integer ;\n"
                   "    lv2:index %d ;\n    lv2:symbol \"%s\" ;\n    lv2:name \"Step heard\" ;\n"
                   "    pg:group <%s> ;\n    lv2:default -1 ;\n    lv2:minimum -1 ;\n    lv2:maximum 15\n  ]",
                   index, port.symbol, GroupUri(kGroupRiff).c_str());
      break;
  }
}

std::string PresetUri(const BankText& text) {
  return std::string(kPluginUri) + (text.category->kind == BankKind::kSound ? "#sound-" : "#riff-") + text.name;
}

// A Turtle string literal. The bank's texts refuse control characters and bytes that are not
// UTF-8, but whatever reaches here is escaped all the same, so the file always parses.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Every text of the bank's sounds and riffs, in name order; false with a message on the first
// text that does not read.
bool ReadBank(const std::string& bankFolder, std::vector<BankText>& texts) {
  std::vector<std::filesystem::path> paths;
  for (const char* kind : {"sounds", "riffs"}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(bankFolder + "/" + kind, error)) {
      if (entry.path().extension() == ".txt") paths.push_back(entry.path());
    }
    if (error) {
      std::fprintf(stderr, "quembrel-lv2-ttl: cannot read '%s/%s': %s\n",
                   Printable(bankFolder, std::string::npos).c_str(), kind, error.message().c_str());
      return false;
    }
  }
  std::sort(paths.begin(), paths.end());
  for (const auto& path : paths) {
    BankText text;
    std::string error;
    if (!ReadBankText(path.string(), text, error)) {
      std::fprintf(stderr, "quembrel-lv2-ttl: %s\n", error.c_str());
      return false;
    }
    texts.push_back(text);
  }
  return true;
}

bool WritePresets(const std::string& folder, const std::vector<BankText>& texts) {
  std::FILE* f = std::fopen((folder + "/presets.ttl").c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f,
               "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
               "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
               "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n");
  for (const BankText& text : texts) {
    const bool sound = text.category->kind == BankKind::kSound;
    std::fprintf(f, "\n<%s>\n  a pset:Preset ;\n  lv2:appliesTo <%s> ;\n  rdfs:label %s ;\n  rdfs:comment %s ;\n"
                 "  lv2:port",
                 PresetUri(text).c_str(), kPluginUri, Quoted(text.name).c_str(), Quoted(text.description).c_str());
    bool first = true;
    for (const PluginPort& port : kPluginPorts) {
      int value = 0;
      if (sound && port.kind == PortKind::kVoiceParam) {
        value = text.values[port.param];
      } else if (sound && port.kind == PortKind::kTargetBit) {
        value = (text.values[port.param] & port.bit) != 0 ? 1 : 0;
      } else if (!sound && port.kind == PortKind::kRiffParam) {
        value = text.values[port.param];
      } else {
        continue;
      }
      std::fprintf(f, "%s [ lv2:symbol \"%s\" ; pset:value %d.0 ]", first ? "" : " ,\n   ", port.symbol, value);
      first = false;
    }
    std::fprintf(f, " .\n");
  }
  return std::fclose(f) == 0;
}

bool WriteManifest(const std::string& folder, const std::vector<BankText>& presets) {
  std::FILE* f = std::fopen((folder + "/manifest.ttl").c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f,
               "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
               "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
               "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
               "<%s>\n  a lv2:Plugin , lv2:InstrumentPlugin ;\n  lv2:binary <quembrel.so> ;\n"
               "  rdfs:seeAlso <quembrel.ttl> .\n",
               kPluginUri);
  // The window: embedded in the host's (ui:parent) and driven through the idle call where the host
  // runs no Qt loop.
  std::fprintf(f,
               "\n<%s>\n  <http://lv2plug.in/ns/extensions/ui#ui> <%s> .\n\n"
               "<%s>\n  a <http://lv2plug.in/ns/extensions/ui#X11UI> ;\n"
               "  <http://lv2plug.in/ns/extensions/ui#binary> <quembrel_ui.so> ;\n"
               "  lv2:requiredFeature <http://lv2plug.in/ns/ext/urid#map> ,"
               " <http://lv2plug.in/ns/extensions/ui#idleInterface> ;\n"
               "  lv2:optionalFeature <http://lv2plug.in/ns/extensions/ui#parent> ,"
               " <http://lv2plug.in/ns/extensions/ui#resize> ;\n"
               "  lv2:extensionData <http://lv2plug.in/ns/extensions/ui#idleInterface> .\n",
               kPluginUri, kPluginUiUri, kPluginUiUri);
  for (const BankText& text : presets) {
    std::fprintf(f, "\n<%s>\n  a pset:Preset ;\n  lv2:appliesTo <%s> ;\n  rdfs:seeAlso <presets.ttl> .\n",
                 PresetUri(text).c_str(), kPluginUri);
  }
  return std::fclose(f) == 0;
}

bool WriteDescription(const std::string& folder) {
  std::FILE* f = std::fopen((folder + "/quembrel.ttl").c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f,
               "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
               "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
               "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
               "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
               "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
               "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
               "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
               "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
               "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
               "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
               "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n"
               "<%s>\n  a lv2:Plugin , lv2:InstrumentPlugin ;\n  doap:name \"Quembrel\" ;\n"
               "  rdfs:comment \"A monophonic subtractive synthesizer with a 16-step riff player.\" ;\n"
               "  lv2:project <https://quembrel.org> ;\n"
               "  lv2:minorVersion 0 ;\n  lv2:microVersion 0 ;\n"
               "  lv2:requiredFeature urid:map ;\n  lv2:optionalFeature lv2:hardRTCapable ;\n"
               "  lv2:extensionData state:interface ;\n  lv2:port\n",
               kPluginUri);
  for (int i = 0; i < kPluginPortCount; ++i) {
    WritePort(f, i, kPluginPorts[i]);
    std::fprintf(f, i + 1 < kPluginPortCount ? " ,\n" : " .\n");
  }
  for (const PortGroup& group : kPortGroups) {
    std::fprintf(f, "\n<%s#%s>\n  a pg:Group ;\n  lv2:symbol \"%s\" ;\n  rdfs:label \"%s\" .\n", kPluginUri,
                 group.symbol, group.symbol, group.label);
  }
  std::fprintf(f, "\n<https://quembrel.org>\n  a doap:Project ;\n  doap:name \"Quembrel\" .\n");
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "Usage: quembrel-lv2-ttl FOLDER [BANK_FOLDER]\n");
    return 2;
  }
  std::vector<BankText> presets;
  if (argc == 3 && !ReadBank(argv[2], presets)) return 1;
  if (!WriteManifest(argv[1], presets) || !WriteDescription(argv[1]) ||
      (argc == 3 && !WritePresets(argv[1], presets))) {
    std::fprintf(stderr, "quembrel-lv2-ttl: cannot write the description into '%s': %s\n",
                 Printable(argv[1], std::string::npos).c_str(), std::strerror(errno));
    return 1;
  }
  return EXIT_SUCCESS;
}
