// Measures the LV2 plugin as a host runs it, loaded through lilv from the build tree: the default
// riff playing on its own clock, in 512-frame blocks, at the engine's rate and at 48000 and 96000 Hz
// (resampled). The "realtime" counter is seconds of sound rendered per second of CPU time.
// Run it with LV2_PATH=build/lv2.
#include <benchmark/benchmark.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <string>
#include <vector>

#include "plugin/plugin_ports.h"

namespace {

constexpr int kBlockFrames = 512;

// The one host feature the plugin needs: URIs mapped to numbers, the same number for the same URI.
LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri) {
  auto& uris = *static_cast<std::vector<std::string>*>(handle);
  for (std::size_t i = 0; i < uris.size(); ++i) {
    if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
  }
  uris.emplace_back(uri);
  return static_cast<LV2_URID>(uris.size());
}

void BM_PluginDefaultRiff(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  LilvWorld* world = lilv_world_new();
  lilv_world_load_all(world);
  LilvNode* uri = lilv_new_uri(world, kPluginUri);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  lilv_node_free(uri);
  std::vector<std::string> uris;
  LV2_URID_Map map{&uris, &MapUri};
  const LV2_Feature mapFeature{LV2_URID__map, &map};
  const LV2_Feature* features[] = {&mapFeature, nullptr};
  LilvInstance* instance = plugin != nullptr ? lilv_plugin_instantiate(plugin, rate, features) : nullptr;
  if (instance == nullptr) {
    state.SkipWithError("the bundle is not on LV2_PATH");
    lilv_world_free(world);
    return;
  }
  // Every control at its default but the riff's: playing, on its own clock.
  std::vector<float> controls(lilv_plugin_get_num_ports(plugin), 0.0f);
  lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, controls.data());
  for (std::size_t i = 0; i < controls.size() && i < kPluginPorts.size(); ++i) {
    if (std::isnan(controls[i])) controls[i] = 0.0f;
    if (kPluginPorts[i].kind == PortKind::kPlay) controls[i] = 1.0f;
    if (kPluginPorts[i].kind == PortKind::kFollowHost) controls[i] = 0.0f;
    lilv_instance_connect_port(instance, static_cast<std::uint32_t>(i), &controls[i]);
  }
  LV2_Atom_Sequence events{{sizeof(LV2_Atom_Sequence_Body), MapUri(&uris, LV2_ATOM__Sequence)}, {0, 0}};
  std::vector<float> out(kBlockFrames);
  lilv_instance_connect_port(instance, kEventsPort, &events);
  lilv_instance_connect_port(instance, kAudioOutPort, out.data());
  lilv_instance_activate(instance);
  std::int64_t frames = 0;
  for (auto _ : state) {
    lilv_instance_run(instance, kBlockFrames);
    benchmark::DoNotOptimize(out.data());
    frames += kBlockFrames;
  }
  state.counters["realtime"] = benchmark::Counter(static_cast<double>(frames) / rate, benchmark::Counter::kIsRate);
  lilv_instance_deactivate(instance);
  lilv_instance_free(instance);
  lilv_world_free(world);
}
BENCHMARK(BM_PluginDefaultRiff)->Arg(44100)->Arg(48000)->Arg(96000);

}  // namespace

BENCHMARK_MAIN();
