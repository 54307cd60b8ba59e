// Tests of the LV2 instrument loaded through lilv from the build tree, as a host loads it: the
// ports a host sees, the sound against quembrel-render, MIDI notes' frames and pitches, instances
// kept apart, the state through a host's save and restore, and steps on the host's sixteenths.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "output/synth_chain.h"
#include "sequencer/midi_note_handler.h"
#include "sequencer/voice_note_target.h"
#include "tests/output/wav_file_reader.h"
#include "tests/plugin/lv2_test_host.h"

namespace {

class Lv2PluginTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(host.Plugin(), nullptr) << "the bundle is not on LV2_PATH"; }
  CLv2TestHost host;
};

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("quembrel_lv2_" + std::to_string(getpid()) + "_" + name)).string();
}

bool HasProperty(const LilvPlugin* plugin, const LilvPort* port, LilvWorld* world, const char* uri) {
  LilvNode* node = lilv_new_uri(world, uri);
  const bool has = lilv_port_has_property(plugin, port, node);
  lilv_node_free(node);
  return has;
}

TEST_F(Lv2PluginTest, PortsCarryTheParameterTablesRangesAndKinds) {
  LilvWorld* world = host.World();
  const LilvPlugin* plugin = host.Plugin();
  EXPECT_STREQ(lilv_node_as_uri(lilv_plugin_class_get_uri(lilv_plugin_get_class(plugin))),
               LV2_CORE__InstrumentPlugin);
  ASSERT_EQ(lilv_plugin_get_num_ports(plugin), static_cast<std::uint32_t>(kPluginPortCount));
  struct Expected {
    const char* symbol;
    int minimum, maximum, defaultValue;
    const char* property;  // toggled, enumeration or integer
  };
  std::vector<Expected> expected;
  for (int p = 0; p < kVoiceParamCount; ++p) {
    if (p == kLfo1Targets || p == kLfo2Targets) continue;
    const ParamInfo& info = kVoiceParams[p];
    const bool radio = p == kOscAWave || p == kOscBWave || p == kSubWave || p == kLfo1Wave || p == kLfo2Wave ||
                       p == kFilterType;
    expected.push_back({info.name, info.minimum, info.maximum, info.defaultValue,
                        p == kOscSync ? LV2_CORE__toggled : radio ? LV2_CORE__enumeration : LV2_CORE__integer});
  }
  for (const TargetBitPort& t : kTargetBitPorts) expected.push_back({t.symbol, 0, 1, 0, LV2_CORE__toggled});
  for (int p = kBpm; p < kRiffParamCount; ++p) {
    if (p == kRiffReserved3) continue;
    const ParamInfo& info = kRiffParams[p];
    expected.push_back({info.name, info.minimum, info.maximum, info.defaultValue,
                        p >= kStepGate0 ? LV2_CORE__toggled : LV2_CORE__integer});
  }
  expected.push_back({"Play", 0, 1, 0, LV2_CORE__toggled});
  expected.push_back({"FollowHost", 0, 1, 1, LV2_CORE__toggled});
  for (const Expected& e : expected) {
    LilvNode* symbol = lilv_new_string(world, e.symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
    lilv_node_free(symbol);
    ASSERT_NE(port, nullptr) << e.symbol;
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    EXPECT_EQ(lilv_node_as_int(min), e.minimum) << e.symbol;
    EXPECT_EQ(lilv_node_as_int(max), e.maximum) << e.symbol;
    EXPECT_EQ(lilv_node_as_int(def), e.defaultValue) << e.symbol;
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);
    EXPECT_TRUE(HasProperty(plugin, port, world, e.property)) << e.symbol << " " << e.property;
    if (std::string(e.property) == LV2_CORE__enumeration) {
      LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
      EXPECT_EQ(static_cast<int>(lilv_scale_points_size(points)), e.maximum - e.minimum + 1) << e.symbol;
      lilv_scale_points_free(points);
    }
  }
  const LilvPort* latency = lilv_plugin_get_port_by_index(plugin, kLatencyPort);
  EXPECT_TRUE(HasProperty(plugin, latency, world, LV2_CORE__reportsLatency));
  LilvNode* midiEvent = lilv_new_uri(world, LV2_MIDI__MidiEvent);
  LilvNode* position = lilv_new_uri(world, LV2_TIME__Position);
  const LilvPort* events = lilv_plugin_get_port_by_index(plugin, kEventsPort);
  EXPECT_TRUE(lilv_port_supports_event(plugin, events, midiEvent));
  EXPECT_TRUE(lilv_port_supports_event(plugin, events, position));
  lilv_node_free(midiEvent);
  lilv_node_free(position);
}

// A host without the plugin's window shows the ports' names, units and groups: they read like the
// panels, steps counted from 1, and every control sits in the group of its panel frame.
TEST_F(Lv2PluginTest, PortsCarryReadableNamesUnitsAndTheFramesAsGroups) {
  LilvWorld* world = host.World();
  const LilvPlugin* plugin = host.Plugin();
  LilvNode* unitKey = lilv_new_uri(world, LV2_UNITS__unit);
  LilvNode* groupKey = lilv_new_uri(world, LV2_PORT_GROUPS__group);
  LilvNode* labelKey = lilv_new_uri(world, LILV_NS_RDFS "label");
  struct Expected {
    const char* symbol;
    const char* name;
    const char* unit;  // null: none
    const char* group;
  };
  const Expected cases[] = {
      {"MasterVolume", "Master volume", LV2_UNITS__pc, "Global volume"},
      {"OscAPulse", "Oscillator A pulse width", LV2_UNITS__pc, "Oscillator A"},
      {"OscMix", "Oscillator mix, A to B", nullptr, "Oscillator A"},
      {"OscBTune", "Oscillator B tune", LV2_UNITS__semitone12TET, "Oscillator B"},
      {"OscBFine", "Oscillator B fine tune", LV2_UNITS__cent, "Oscillator B"},
      {"OscSync", "Oscillator sync", nullptr, "Oscillator B"},
      {"SubLevel", "Sub-oscillator level", LV2_UNITS__pc, "Sub-oscillator"},
      {"AmpAttack", "Volume envelope attack", LV2_UNITS__ms, "Volume envelope"},
      {"Cutoff", "Filter cutoff", nullptr, "Filter"},
      {"FltEnvAmount", "Filter envelope amount", nullptr, "Filter"},
      {"FltRelease", "Filter envelope release", LV2_UNITS__ms, "Filter envelope"},
      {"Lfo1Rate", "LFO 1 rate", nullptr, "LFO 1"},
      {"Lfo2ToVolume", "LFO 2 to volume", nullptr, "LFO 2"},
      {"DelayTime", "Delay time", LV2_UNITS__ms, "Post process"},
      {"Bpm", "Tempo", LV2_UNITS__bpm, "Riff"},
      {"Transpose", "Transpose", LV2_UNITS__semitone12TET, "Riff"},
      {"StepNote0", "Step 1 note", nullptr, "Riff"},
      {"StepGate15", "Step 16 on", nullptr, "Riff"},
      {"FollowHost", "Follow host", nullptr, "Riff"},
  };
  for (const Expected& e : cases) {
    LilvNode* symbol = lilv_new_string(world, e.symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
    lilv_node_free(symbol);
    ASSERT_NE(port, nullptr) << e.symbol;
    LilvNode* name = lilv_port_get_name(plugin, port);
    EXPECT_STREQ(lilv_node_as_string(name), e.name) << e.symbol;
    lilv_node_free(name);
    LilvNodes* units = lilv_port_get_value(plugin, port, unitKey);
    EXPECT_EQ(units == nullptr || lilv_nodes_size(units) == 0 ? std::string() : lilv_node_as_uri(lilv_nodes_get_first(units)),
              e.unit != nullptr ? e.unit : "")
        << e.symbol;
    lilv_nodes_free(units);
    LilvNode* group = lilv_port_get(plugin, port, groupKey);
    ASSERT_NE(group, nullptr) << e.symbol;
    LilvNode* label = lilv_world_get(world, group, labelKey, nullptr);
    EXPECT_STREQ(label != nullptr ? lilv_node_as_string(label) : "", e.group) << e.symbol;
    lilv_node_free(label);
    lilv_node_free(group);
  }
  // Every control has a group, and no two ports share a name.
  std::vector<std::string> names;
  for (std::uint32_t i = kPlayPort; i < lilv_plugin_get_num_ports(plugin); ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    LilvNode* group = lilv_port_get(plugin, port, groupKey);
    EXPECT_NE(group, nullptr) << "port " << i;
    lilv_node_free(group);
    LilvNode* name = lilv_port_get_name(plugin, port);
    names.push_back(lilv_node_as_string(name));
    lilv_node_free(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
  lilv_node_free(unitKey);
  lilv_node_free(groupKey);
  lilv_node_free(labelKey);
}

void WriteParamFile(const std::string& path, const std::vector<std::int16_t>& values) {
  std::ofstream out(path, std::ios::binary);
  std::vector<std::int16_t> all{static_cast<std::int16_t>(values.size())};
  all.insert(all.end(), values.begin(), values.end());
  for (std::int16_t v : all) {
    const char bytes[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    out.write(bytes, 2);
  }
}

TEST_F(Lv2PluginTest, PlaysTheRiffSampleForSampleAsTheRenderTool) {
  const struct {
    int block;
    std::vector<std::pair<int, int>> voiceChanges;
    std::vector<std::pair<int, int>> riffChanges;
  } cases[] = {
      {64, {}, {}},
      {1000,
       {{kOscAWave, 0}, {kSubLevel, 40}, {kCutoff, 60}, {kFltEnvAmount, 90}, {kDistAmount, 25}, {kDelayTime, 180},
        {kDelayFeedback, 55}, {kLfo1Targets, kTargetDetune | kTargetVolume}},
       {{kBpm, 137}, {kTranspose, -5}, {kStepGate0 + 3, 0}}},
      {4096, {{kFilterType, 1}, {kOscSync, 1}, {kOscBTune, 7}}, {{kStepNote0 + 1, 60}}},
  };
  constexpr int kFrames = 3 * 44100;
  for (const auto& c : cases) {
    std::vector<std::int16_t> voice, riff;
    for (const ParamInfo& info : kVoiceParams) voice.push_back(info.defaultValue);
    for (const ParamInfo& info : kRiffParams) riff.push_back(info.defaultValue);
    for (auto [param, value] : c.voiceChanges) voice[param] = static_cast<std::int16_t>(value);
    for (auto [param, value] : c.riffChanges) riff[param] = static_cast<std::int16_t>(value);
    const std::string preset = TempPath("case.kv7"), riffPath = TempPath("case.riff"), wav = TempPath("case.wav");
    WriteParamFile(preset, voice);
    WriteParamFile(riffPath, riff);
    const std::string command = std::string(QUEMBREL_RENDER_BIN) + " -o " + wav + " --preset " + preset +
                                " --riff " + riffPath + " --frames " + std::to_string(kFrames) + " --block " +
                                std::to_string(c.block);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const WavFileContents expected = ReadWavFile(wav);
    ASSERT_EQ(expected.samples.size(), static_cast<std::size_t>(kFrames));

    CLv2TestInstance instance(host);
    ASSERT_NE(instance.Instance(), nullptr);
    for (int p = 0; p < kVoiceParamCount; ++p) {
      if (p == kLfo1Targets || p == kLfo2Targets) continue;
      instance.Control(kVoiceParams[p].name) = voice[p];
    }
    for (const TargetBitPort& t : kTargetBitPorts) instance.Control(t.symbol) = (voice[t.mask] & t.bit) != 0;
    for (int p = kBpm; p < kRiffParamCount; ++p) instance.Control(kRiffParams[p].name) = riff[p];
    instance.Control("Play") = 1.0f;
    instance.Control("FollowHost") = 0.0f;
    const std::vector<float> out = instance.Render(kFrames, c.block);
    int mismatches = 0;
    for (int i = 0; i < kFrames && mismatches < 5; ++i) {
      if (out[i] != static_cast<float>(expected.samples[i]) / 32768.0f) {
        ADD_FAILURE() << "block " << c.block << ", frame " << i << ": " << out[i] * 32768.0f << " against "
                      << expected.samples[i];
        ++mismatches;
      }
    }
    std::filesystem::remove(preset);
    std::filesystem::remove(riffPath);
    std::filesystem::remove(wav);
  }
}

// Positive-going zero crossings per second over frames [from, from + count).
double PitchOf(const std::vector<float>& out, int from, int count) {
  int crossings = 0;
  int first = -1, last = -1;
  for (int i = from + 1; i < from + count; ++i) {
    if (out[i - 1] < 0.0f && out[i] >= 0.0f) {
      if (first < 0) first = i;
      last = i;
      ++crossings;
    }
  }
  return crossings > 1 ? (crossings - 1) * 44100.0 / (last - first) : 0.0;
}

TEST_F(Lv2PluginTest, MidiNotesStartOnTheirFrameAtTheirPitch) {
  const struct {
    int note;
    int frame;
    int block;
    double hz;
  } cases[] = {{69, 1000, 4096, 440.0}, {57, 300, 256, 220.0}, {81, 4095, 512, 880.0}, {64, 700, 100, 329.63}};
  for (const auto& c : cases) {
    CLv2TestInstance instance(host);
    ASSERT_NE(instance.Instance(), nullptr);
    instance.Control("FollowHost") = 0.0f;
    const std::vector<float> out =
        instance.Render(c.frame + 20000, c.block, {Midi(c.frame, {0x90, static_cast<std::uint8_t>(c.note), 100})});
    // The same chain with the same note handler, the note given at its frame.
    CSynthChain chain;
    chain.StartModules();
    for (int p : {kDistAmount, kDelayTime, kDelayFeedback}) {
      chain.ApplyPostProcessParam(p, kVoiceParams[p].defaultValue);
    }
    CVoiceNoteTarget target(chain.Voice());
    CMidiNoteHandler handler(target);
    std::vector<std::int16_t> samples(out.size());
    for (int at = 0; at < static_cast<int>(out.size()); at += c.block) {
      const int end = std::min(at + c.block, static_cast<int>(out.size()));
      int done = at;
      if (c.frame >= at && c.frame < end) {
        chain.Render(samples.data() + at, c.frame - at);
        const std::uint8_t on[3] = {0x90, static_cast<std::uint8_t>(c.note), 100};
        handler.Receive(on, 3);
        done = c.frame;
      }
      chain.Render(samples.data() + done, end - done);
    }
    int onset = -1;
    for (int i = 0; i < static_cast<int>(out.size()); ++i) {
      ASSERT_EQ(out[i], samples[i] / 32768.0f) << "note " << c.note << ", frame " << i;
      if (onset < 0 && out[i] != 0.0f) onset = i;
    }
    // The envelope starts from silence and moves once per control block: the first two blocks'
    // levels may still be below the 16-bit step.
    EXPECT_GE(onset, c.frame) << "note " << c.note;
    EXPECT_LE(onset, c.frame + 2 * CSynthVoice::kControlBlock) << "note " << c.note;
    EXPECT_NEAR(PitchOf(out, c.frame + 2000, 8820), c.hz, c.hz * 0.01) << "note " << c.note;
  }
}

TEST_F(Lv2PluginTest, OtherRatesAreResampledAndReportTheirLatency) {
  const struct {
    double rate;
    bool served;
  } cases[] = {{44100.0, true}, {48000.0, true}, {96000.0, true}, {22050.0, true}, {1000.0, false},
               {48000.5, false}, {1e9, false}};
  for (const auto& c : cases) {
    CLv2TestInstance instance(host, c.rate);
    ASSERT_EQ(instance.Instance() != nullptr, c.served) << c.rate;
    if (!c.served) continue;
    instance.Control("Play") = 1.0f;
    instance.Control("FollowHost") = 0.0f;
    const int frames = static_cast<int>(c.rate);
    const std::vector<float> out = instance.Render(frames, 300);
    const float latency = *instance.ControlAt(kLatencyPort);
    EXPECT_EQ(latency == 0.0f, c.rate == 44100.0) << c.rate;
    // The riff's first note is heard within the first quarter second and the level stays in range.
    int loud = 0;
    for (int i = 0; i < frames; ++i) {
      ASSERT_LE(std::fabs(out[i]), 1.0f) << c.rate;
      loud += std::fabs(out[i]) > 0.05f && i < frames / 4;
    }
    EXPECT_GT(loud, frames / 40) << c.rate;
  }
}

// Every control at its highest value and the riff playing: the resampled output stays within full
// scale, as the engine's own 16-bit output does at 44100 Hz. Prints the peaks.
TEST_F(Lv2PluginTest, EveryControlAtMaximumStaysWithinFullScaleAtEveryRate) {
  for (const double rate : {44100.0, 48000.0, 96000.0}) {
    CLv2TestInstance instance(host, rate);
    ASSERT_NE(instance.Instance(), nullptr) << rate;
    for (int p = 0; p < kVoiceParamCount; ++p) {
      if (p != kLfo1Targets && p != kLfo2Targets) instance.Control(kVoiceParams[p].name) = kVoiceParams[p].maximum;
    }
    for (const TargetBitPort& t : kTargetBitPorts) instance.Control(t.symbol) = 1.0f;
    for (int p = kBpm; p < kRiffParamCount; ++p) instance.Control(kRiffParams[p].name) = kRiffParams[p].maximum;
    instance.Control("Play") = 1.0f;
    instance.Control("FollowHost") = 0.0f;
    const std::vector<float> out = instance.Render(static_cast<std::int64_t>(rate) * 4, 512);
    float peak = 0.0f;
    for (const float v : out) peak = std::max(peak, std::fabs(v));
    std::printf("%6.0f Hz: peak %.4f\n", rate, peak);
    EXPECT_LE(peak, 1.0f) << rate;
    EXPECT_GT(peak, 0.5f) << rate;
  }
}

TEST_F(Lv2PluginTest, InstancesRenderIndependently) {
  CLv2TestInstance changed(host), plain(host), reference(host);
  for (CLv2TestInstance* i : {&changed, &plain, &reference}) {
    ASSERT_NE(i->Instance(), nullptr);
    i->Control("Play") = 1.0f;
    i->Control("FollowHost") = 0.0f;
  }
  changed.Control("OscAWave") = 3.0f;
  changed.Control("Cutoff") = 20.0f;
  changed.Control("DelayTime") = 300.0f;
  changed.Control("DelayFeedback") = 70.0f;
  std::vector<float> a(512), b(512), c(512);
  int differing = 0;
  for (int block = 0; block < 200; ++block) {
    changed.RunBlock(a.data(), 512, {Midi(100, {0x90, 40, 100})});
    plain.RunBlock(b.data(), 512);
    reference.RunBlock(c.data(), 512);
    ASSERT_EQ(b, c) << "block " << block;
    differing += a != b;
  }
  EXPECT_GT(differing, 150);
}

struct StateTarget {
  CLv2TestInstance* instance;
  const LilvPlugin* plugin;
  LilvWorld* world;
  CUridMap* urids;
};

const void* PortValueOf(const char* symbol, void* data, std::uint32_t* size, std::uint32_t* type) {
  auto* target = static_cast<StateTarget*>(data);
  LilvNode* node = lilv_new_string(target->world, symbol);
  const LilvPort* port = lilv_plugin_get_port_by_symbol(target->plugin, node);
  lilv_node_free(node);
  if (port == nullptr) return nullptr;
  *size = sizeof(float);
  *type = target->urids->Map(LV2_ATOM__Float);
  return target->instance->ControlAt(lilv_port_get_index(target->plugin, port));
}

void SetPortValue(const char* symbol, void* data, const void* value, std::uint32_t size, std::uint32_t) {
  auto* target = static_cast<StateTarget*>(data);
  LilvNode* node = lilv_new_string(target->world, symbol);
  const LilvPort* port = lilv_plugin_get_port_by_symbol(target->plugin, node);
  lilv_node_free(node);
  if (port != nullptr && size == sizeof(float)) {
    *target->instance->ControlAt(lilv_port_get_index(target->plugin, port)) = *static_cast<const float*>(value);
  }
}

TEST_F(Lv2PluginTest, StateSavedInOneInstanceRestoresIdenticallyInAnother) {
  CUridMap& urids = host.Urids();
  CLv2TestInstance saved(host), restored(host), fresh(host);
  const std::pair<const char*, float> changes[] = {
      {"Cutoff", 33}, {"AmpAttack", 50}, {"DistAmount", 20}, {"DelayTime", 150}, {"DelayFeedback", 40},
      {"StepNote3", 60}, {"Bpm", 140}, {"Lfo1ToPulse", 1}, {"OscBWave", 0}, {"Play", 1}, {"FollowHost", 0}};
  for (auto [symbol, value] : changes) saved.Control(symbol) = value;
  for (CLv2TestInstance* i : {&restored, &fresh}) {
    i->Control("Play") = 1.0f;
    i->Control("FollowHost") = 0.0f;
  }
  // A run of no frames takes the ports in without rendering.
  std::vector<float> none(1);
  saved.RunBlock(none.data(), 0);

  StateTarget savedTarget{&saved, host.Plugin(), host.World(), &urids};
  LilvState* state = lilv_state_new_from_instance(host.Plugin(), saved.Instance(), &urids.map, nullptr, nullptr,
                                                  nullptr, nullptr, PortValueOf, &savedTarget, 0, nullptr);
  ASSERT_NE(state, nullptr);
  // Through the text a host writes into its session, and back.
  char* text = lilv_state_to_string(host.World(), &urids.map, &urids.unmap, state, "urn:quembrel:test", nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_NE(std::string(text).find("quembrel#preset"), std::string::npos);
  LilvState* reread = lilv_state_new_from_string(host.World(), &urids.map, text);
  ASSERT_NE(reread, nullptr);
  StateTarget restoredTarget{&restored, host.Plugin(), host.World(), &urids};
  lilv_state_restore(reread, restored.Instance(), SetPortValue, &restoredTarget, 0, nullptr);

  const std::vector<float> a = saved.Render(88200, 777);
  const std::vector<float> b = restored.Render(88200, 777);
  const std::vector<float> c = fresh.Render(88200, 777);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  lilv_free(text);
  lilv_state_free(state);
  lilv_state_free(reread);
}

TEST_F(Lv2PluginTest, BankSoundsArePresetsThatSoundAsTheBanksPresetFiles) {
  CUridMap& urids = host.Urids();
  LilvNode* presetClass = lilv_new_uri(host.World(), LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(host.Plugin(), presetClass);
  int texts = 0;
  for (const char* kind : {"/sounds", "/riffs"}) {
    for (const auto& entry : std::filesystem::directory_iterator(std::string(QUEMBREL_BANK_SOURCE) + kind)) {
      texts += entry.path().extension() == ".txt";
    }
  }
  EXPECT_EQ(static_cast<int>(lilv_nodes_size(presets)), texts);
  int sounds = 0;
  LILV_FOREACH (nodes, i, presets) {
    const std::string uri = lilv_node_as_uri(lilv_nodes_get(presets, i));
    const std::size_t mark = uri.find("#sound-");
    if (mark == std::string::npos || sounds == 4) continue;
    ++sounds;
    const std::string name = uri.substr(mark + 7);
    lilv_world_load_resource(host.World(), lilv_nodes_get(presets, i));
    LilvState* state = lilv_state_new_from_world(host.World(), &urids.map, lilv_nodes_get(presets, i));
    ASSERT_NE(state, nullptr) << name;
    CLv2TestInstance instance(host);
    StateTarget target{&instance, host.Plugin(), host.World(), &urids};
    lilv_state_restore(state, instance.Instance(), SetPortValue, &target, 0, nullptr);
    lilv_state_free(state);
    instance.Control("Play") = 1.0f;
    instance.Control("FollowHost") = 0.0f;
    const std::vector<float> out = instance.Render(44100, 882);
    const std::string wav = TempPath(name + ".wav");
    const std::string command = std::string(QUEMBREL_RENDER_BIN) + " -o " + wav + " --preset " +
                                QUEMBREL_BANK_FILES + "/sounds/" + name + ".kv7 --frames 44100";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const WavFileContents expected = ReadWavFile(wav);
    ASSERT_EQ(expected.samples.size(), out.size()) << name;
    for (std::size_t f = 0; f < out.size(); ++f) {
      ASSERT_EQ(out[f], expected.samples[f] / 32768.0f) << name << ", frame " << f;
    }
    std::filesystem::remove(wav);
  }
  EXPECT_EQ(sounds, 4);
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
}

// The frame at which sixteenth k falls at `bpm` beats of four sixteenths per minute, exactly: the
// first frame at or after k x 44100 x 60 / (4 x bpm), worked out in integers from the binary value
// of bpm.
std::int64_t ExactSixteenthFrame(std::int64_t k, float bpm) {
  int exponent = 0;
  const double mantissa = std::frexp(static_cast<double>(bpm), &exponent);
  const auto m = static_cast<std::int64_t>(std::ldexp(mantissa, 24));
  // bpm = m x 2^(exponent - 24); frame = k x 661500 x 2^(24 - exponent) / m, rounded up.
  const __int128 numerator = static_cast<__int128>(k) * 661500 << (24 - exponent);
  return static_cast<std::int64_t>((numerator + m - 1) / m);
}

TEST_F(Lv2PluginTest, RiffStepsStayOnTheHostsSixteenthsForTenMinutes) {
  constexpr float kBpm = 123.4f;
  constexpr std::int64_t kFrames = 10LL * 60 * 44100;
  constexpr int kBlock = 512;
  CLv2TestInstance instance(host);
  ASSERT_NE(instance.Instance(), nullptr);
  // The transport starts rolling at the song's start; the host says so once.
  const std::vector<float> out = instance.Render(kFrames, kBlock, {Position(0, 0.0, kBpm, 1.0)});

  // The same chain played directly, in the same blocks, each step started on its exact frame.
  CSynthChain chain;
  chain.StartModules();
  for (int p : {kDistAmount, kDelayTime, kDelayFeedback}) chain.ApplyPostProcessParam(p, kVoiceParams[p].defaultValue);
  std::vector<std::int16_t> samples(static_cast<std::size_t>(kFrames));
  std::int64_t k = 0;
  for (std::int64_t at = 0; at < kFrames; at += kBlock) {
    const std::int64_t end = std::min(at + kBlock, kFrames);
    std::int64_t done = at;
    for (std::int64_t step = ExactSixteenthFrame(k, kBpm); step < end; step = ExactSixteenthFrame(k, kBpm)) {
      chain.Render(samples.data() + done, static_cast<int>(step - done));
      done = step;
      chain.RiffPlayer().PlayStepNow(static_cast<int>(k++ % 16));
    }
    chain.Render(samples.data() + done, static_cast<int>(end - done));
  }
  // 123.4 beats a minute are 493.6 sixteenths; the last falls on the last frame or just after.
  EXPECT_GE(k, 4936);
  EXPECT_LE(k, 4937);
  std::int64_t firstMismatch = -1;
  for (std::int64_t i = 0; i < kFrames && firstMismatch < 0; ++i) {
    if (out[i] != samples[i] / 32768.0f) firstMismatch = i;
  }
  EXPECT_EQ(firstMismatch, -1) << "the plugin's steps leave the host's sixteenths by frame " << firstMismatch;
}

TEST_F(Lv2PluginTest, TransportStopEndsTheStepsAndOwnPlayRulesWithoutFollowing) {
  CLv2TestInstance following(host);
  ASSERT_NE(following.Instance(), nullptr);
  following.Control("Play") = 1.0f;
  // Rolling for one second, then stopped: after the last note has died away there is silence.
  const std::vector<float> out =
      following.Render(4 * 44100, 256, {Position(0, 0.0, 120.0, 1.0), Position(44100, 8.0, 120.0, 0.0)});
  bool silentTail = true;
  for (int i = 3 * 44100; i < 4 * 44100; ++i) silentTail = silentTail && out[i] == 0.0f;
  EXPECT_TRUE(silentTail) << "a stopped transport plays no steps, even with Play on";

  CLv2TestInstance own(host);
  own.Control("Play") = 1.0f;
  own.Control("FollowHost") = 0.0f;
  const std::vector<float> ownOut = own.Render(4 * 44100, 256, {Position(0, 0.0, 120.0, 0.0)});
  int loud = 0;
  for (int i = 3 * 44100; i < 4 * 44100; ++i) loud += std::fabs(ownOut[i]) > 0.05f;
  EXPECT_GT(loud, 1000) << "with Follow host off the riff's own Play rules";
}

// The plugin window's step light reads the Step port: the step the block's last frame plays, by
// the riff's own clock or on the host's sixteenths, and -1 while nothing plays.
TEST_F(Lv2PluginTest, StepPortReportsTheStepBeingPlayed) {
  CLv2TestInstance own(host);
  ASSERT_NE(own.Instance(), nullptr);
  own.Control("FollowHost") = 0.0f;
  own.Render(256, 256);
  EXPECT_EQ(own.Control("Step"), -1.0f) << "stopped";
  own.Control("Play") = 1.0f;
  // At the riff's default 96 beats a minute a step lasts 6890.625 frames: 17000 end in step 2.
  own.Render(17000, 256);
  EXPECT_EQ(own.Control("Step"), 2.0f);

  CLv2TestInstance following(host);
  // At 120 beats a minute a sixteenth lasts 5512.5 frames: 18000 end in the fourth, step 3.
  following.Render(18000, 500, {Position(0, 0.0, 120.0, 1.0)});
  EXPECT_EQ(following.Control("Step"), 3.0f);
  following.Render(1000, 500, {Position(0, 8.0, 120.0, 0.0)});
  EXPECT_EQ(following.Control("Step"), -1.0f) << "the transport stopped";
}

}  // namespace
