// A small LV2 host for the plugin's tests, on lilv as real hosts are: it loads the bundle from
// LV2_PATH (the build tree), maps URIs, connects every port to a buffer of its own and runs
// instances block by block, with MIDI bytes and transport positions placed at given frames.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugin/plugin_ports.h"

class CUridMap {
 public:
  CUridMap() {
    map.handle = this;
    map.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<CUridMap*>(h)->Map(uri); };
    unmap.handle = this;
    unmap.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid) { return static_cast<CUridMap*>(h)->Unmap(urid); };
  }
  LV2_URID Map(const char* uri) {
    auto found = ids.find(uri);
    if (found != ids.end()) return found->second;
    uris.push_back(uri);
    ids[uri] = static_cast<LV2_URID>(uris.size());
    return static_cast<LV2_URID>(uris.size());
  }
  const char* Unmap(LV2_URID urid) const { return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr; }

  LV2_URID_Map map{};
  LV2_URID_Unmap unmap{};

 private:
  std::map<std::string, LV2_URID> ids;
  std::vector<std::string> uris;
};

struct TestEvent {
  std::int64_t frame;
  std::vector<std::uint8_t> midi;
  // A transport position instead of MIDI when bpm > 0: bar/beat as sixteenths since the start.
  double bpm = 0.0;
  double beats = 0.0;
  double speed = 0.0;
};

inline TestEvent Midi(std::int64_t frame, std::vector<std::uint8_t> bytes) { return {frame, std::move(bytes)}; }

inline TestEvent Position(std::int64_t frame, double beats, double bpm, double speed) {
  return {frame, {}, bpm, beats, speed};
}

class CLv2TestHost {
 public:
  CLv2TestHost() : world(lilv_world_new()) {
    lilv_world_load_all(world);
    LilvNode* uri = lilv_new_uri(world, kPluginUri);
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
    mapFeature = {LV2_URID__map, &uridMap.map};
    unmapFeature = {LV2_URID__unmap, &uridMap.unmap};
  }
  ~CLv2TestHost() { lilv_world_free(world); }
  CLv2TestHost(const CLv2TestHost&) = delete;
  CLv2TestHost& operator=(const CLv2TestHost&) = delete;

  LilvWorld* World() const { return world; }
  const LilvPlugin* Plugin() const { return plugin; }
  CUridMap& Urids() { return uridMap; }
  const LV2_Feature* const* Features() const { return features; }

 private:
  LilvWorld* world;
  const LilvPlugin* plugin = nullptr;
  CUridMap uridMap;
  LV2_Feature mapFeature{};
  LV2_Feature unmapFeature{};
  const LV2_Feature* features[3] = {&mapFeature, &unmapFeature, nullptr};
};

class CLv2TestInstance {
 public:
  static constexpr std::uint32_t kEventBufferBytes = 1 << 16;

  CLv2TestInstance(CLv2TestHost& host, double rate = 44100.0)
      : host(host), controls(static_cast<std::size_t>(kPluginPortCount), 0.0f), events(kEventBufferBytes / 8) {
    instance = lilv_plugin_instantiate(host.Plugin(), rate, host.Features());
    if (instance == nullptr) return;
    const std::uint32_t count = lilv_plugin_get_num_ports(host.Plugin());
    std::vector<float> defaults(count, 0.0f);
    lilv_plugin_get_port_ranges_float(host.Plugin(), nullptr, nullptr, defaults.data());
    for (std::uint32_t i = 0; i < count && i < controls.size(); ++i) {
      controls[i] = defaults[i] == defaults[i] ? defaults[i] : 0.0f;
      if (i == kEventsPort) {
        lilv_instance_connect_port(instance, i, events.data());
      } else if (i != kAudioOutPort) {
        lilv_instance_connect_port(instance, i, &controls[i]);
      }
    }
    lv2_atom_forge_init(&forge, &host.Urids().map);
    lilv_instance_activate(instance);
  }
  ~CLv2TestInstance() {
    if (instance != nullptr) {
      lilv_instance_deactivate(instance);
      lilv_instance_free(instance);
    }
  }
  CLv2TestInstance(const CLv2TestInstance&) = delete;
  CLv2TestInstance& operator=(const CLv2TestInstance&) = delete;

  LilvInstance* Instance() const { return instance; }
  // The value of the control port with this symbol; the tests set them before a block.
  float& Control(const std::string& symbol) {
    for (int i = 0; i < kPluginPortCount; ++i) {
      if (symbol == kPluginPorts[i].symbol) return controls[static_cast<std::size_t>(i)];
    }
    static float none = 0.0f;
    return none;
  }
  float* ControlAt(std::uint32_t index) { return index < controls.size() ? &controls[index] : nullptr; }

  // Writes the block's events into the input sequence, connects `out` and runs one block.
  void RunBlock(float* out, std::uint32_t frames, const std::vector<TestEvent>& blockEvents = {}) {
    FillEvents(blockEvents);
    lilv_instance_connect_port(instance, kAudioOutPort, out);
    lilv_instance_run(instance, frames);
  }

  // Runs one block on a sequence the test laid out itself, then reconnects the host's own.
  void RunSequence(float* out, std::uint32_t frames, const void* sequence) {
    lilv_instance_connect_port(instance, kEventsPort, const_cast<void*>(sequence));
    lilv_instance_connect_port(instance, kAudioOutPort, out);
    lilv_instance_run(instance, frames);
    lilv_instance_connect_port(instance, kEventsPort, events.data());
  }

  // Runs `frames` frames in blocks of `block`, events given in absolute frames.
  std::vector<float> Render(std::int64_t frames, int block, const std::vector<TestEvent>& all = {}) {
    std::vector<float> out(static_cast<std::size_t>(frames));
    std::size_t next = 0;
    for (std::int64_t at = 0; at < frames; at += block) {
      const int n = static_cast<int>(frames - at < block ? frames - at : block);
      std::vector<TestEvent> blockEvents;
      for (; next < all.size() && all[next].frame < at + n; ++next) {
        TestEvent e = all[next];
        e.frame -= at;
        blockEvents.push_back(e);
      }
      RunBlock(out.data() + at, static_cast<std::uint32_t>(n), blockEvents);
    }
    return out;
  }

  // Writes the sequence the next run reads; public so that an allocation count can leave it out.
  void FillEvents(const std::vector<TestEvent>& blockEvents) {
    WriteSequence(reinterpret_cast<std::uint8_t*>(events.data()), kEventBufferBytes, blockEvents);
  }

  // Lays out the events as a sequence in `buffer` (8-byte aligned); returns the bytes it takes.
  std::uint32_t WriteSequence(std::uint8_t* buffer, std::uint32_t capacity, const std::vector<TestEvent>& blockEvents) {
    CUridMap& urids = host.Urids();
    lv2_atom_forge_set_buffer(&forge, buffer, capacity);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    for (const TestEvent& e : blockEvents) {
      lv2_atom_forge_frame_time(&forge, e.frame);
      if (e.bpm > 0.0) {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_object(&forge, &object, 0, urids.Map(LV2_TIME__Position));
        // A bar beyond a 64-bit integer's range goes as a double, as a host counting in floating
        // point sends it.
        const double bar = std::floor(e.beats / 4.0);
        lv2_atom_forge_key(&forge, urids.Map(LV2_TIME__bar));
        if (std::fabs(bar) < 9e18) {
          lv2_atom_forge_long(&forge, static_cast<std::int64_t>(bar));
        } else {
          lv2_atom_forge_double(&forge, bar);
        }
        lv2_atom_forge_key(&forge, urids.Map(LV2_TIME__barBeat));
        lv2_atom_forge_float(&forge, static_cast<float>(e.beats - 4.0 * bar));
        lv2_atom_forge_key(&forge, urids.Map(LV2_TIME__beatsPerBar));
        lv2_atom_forge_float(&forge, 4.0f);
        lv2_atom_forge_key(&forge, urids.Map(LV2_TIME__beatUnit));
        lv2_atom_forge_int(&forge, 4);
        lv2_atom_forge_key(&forge, urids.Map(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&forge, static_cast<float>(e.bpm));
        lv2_atom_forge_key(&forge, urids.Map(LV2_TIME__speed));
        lv2_atom_forge_float(&forge, static_cast<float>(e.speed));
        lv2_atom_forge_pop(&forge, &object);
      } else {
        lv2_atom_forge_atom(&forge, static_cast<std::uint32_t>(e.midi.size()), urids.Map(LV2_MIDI__MidiEvent));
        lv2_atom_forge_write(&forge, e.midi.data(), static_cast<std::uint32_t>(e.midi.size()));
      }
    }
    lv2_atom_forge_pop(&forge, &sequence);
    return static_cast<std::uint32_t>(sizeof(LV2_Atom)) + reinterpret_cast<const LV2_Atom*>(buffer)->size;
  }

 private:
  CLv2TestHost& host;
  LilvInstance* instance = nullptr;
  std::vector<float> controls;
  // 64-bit words keep the sequence aligned as atoms require.
  std::vector<std::uint64_t> events;
  LV2_Atom_Forge forge{};
};
