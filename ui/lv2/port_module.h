// CPortModule: a plugin window's copy of one module's parameter values (the voice's or the riff
// player's), kept as the plugin's ports last showed them. It is a sound module that makes no sound,
// so that preset and riff files are read and written exactly as the program reads and writes them;
// every value set on it, by a panel or by a file, is held to its range and handed to the
// listener, which writes it to the plugin's port.
#pragma once

#include <functional>
#include <vector>

#include "engine/param_info.h"
#include "engine/sound_module.h"

class CPortModule : public CSoundModule {
 public:
  using Listener = std::function<void(int index, int value)>;

  // `params` lists `count` parameters and must outlive the module.
  CPortModule(const ParamInfo* params, int count);

  void SetListener(Listener listener) { onSet = std::move(listener); }
  // Takes a value the plugin shows without handing it on; false when it was already there.
  bool Show(int index, int value);

  void Init() override;
  bool IsActive() override { return false; }
  StereoFrame* Render(StereoFrame* frames, int) override { return frames; }
  int GetParamCount() override { return static_cast<int>(values.size()); }
  ParamValue GetParam(int index) override;
  void SetParam(int index, ParamValue value) override;

 private:
  int Clamped(int index, int value) const;

  const ParamInfo* params;
  std::vector<int> values;
  Listener onSet;
};
