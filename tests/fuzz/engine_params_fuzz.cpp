// libFuzzer target: any byte string as a preset or riff file. Each load must either apply the
// whole file or change nothing, a loaded module must save the same values back, and whatever was
// loaded, playing the riff through the voice must stay within the engine's defined behaviour.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/synth_voice.h"
#include "sequencer/riff_player.h"

namespace {

struct Fixture {
  Fixture() {
    voice.Init();
    riff.Init();
    riff.Attach(&voice);
    const std::string base = "/tmp/quembrel-fuzz-" + std::to_string(getpid());
    input = base + ".in";
    output = base + ".out";
  }
  CSynthVoice voice;
  CRiffPlayer riff;
  std::string input;
  std::string output;
};

std::vector<ParamValue> Snapshot(CSoundModule& module) {
  std::vector<ParamValue> values;
  for (int i = 0; i < module.GetParamCount(); ++i) values.push_back(module.GetParam(i));
  return values;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void LoadAndCheck(CSoundModule& module, const std::uint8_t* data, std::size_t size, const Fixture& f) {
  const std::vector<ParamValue> before = Snapshot(module);
  const bool loaded = module.LoadParams(f.input.c_str());
  const int count = size >= 2 ? static_cast<ParamValue>(data[0] | (data[1] << 8)) : 0;
  const bool whole = size >= 2 && count <= module.GetParamCount() &&
                     size >= 2 + 2 * static_cast<std::size_t>(count > 0 ? count : 0);
  Check(loaded == whole);
  for (int i = 0; i < module.GetParamCount(); ++i) {
    const ParamValue expected =
        loaded && i < count ? static_cast<ParamValue>(data[2 + 2 * i] | (data[3 + 2 * i] << 8)) : before[i];
    Check(module.GetParam(i) == expected);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Fixture f;
  std::FILE* file = std::fopen(f.input.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  LoadAndCheck(f.voice, data, size, f);
  LoadAndCheck(f.riff, data, size, f);

  for (CSoundModule* module : {static_cast<CSoundModule*>(&f.voice), static_cast<CSoundModule*>(&f.riff)}) {
    const std::vector<ParamValue> values = Snapshot(*module);
    Check(module->SaveParams(f.output.c_str()));
    Check(module->LoadParams(f.output.c_str()));
    Check(Snapshot(*module) == values);
  }

  StereoFrame frames[512];
  f.voice.NoteOn();
  f.riff.Play();
  f.riff.Render(frames, 512);
  f.voice.NoteOff();
  f.riff.Stop();
  f.riff.Render(frames, 100);
  std::remove(f.input.c_str());
  std::remove(f.output.c_str());
  return 0;
}
