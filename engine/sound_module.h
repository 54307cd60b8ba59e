// The interface shared by the synth voice and the riff player: indexed 16-bit parameters, a render
// call on runs of frames, and the parameter file that presets (*.kv7) and riffs (*.riff) use.
//
// The parameter file is a little-endian int16 count followed by that many int16 values in index
// order; SaveParams and LoadParams work only through the virtual operations, so they serve every
// module unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "engine/stereo_frame.h"

using ParamValue = std::int16_t;

class CSoundModule {
 public:
  CSoundModule() = default;
  CSoundModule(const CSoundModule&) = delete;
  CSoundModule& operator=(const CSoundModule&) = delete;
  virtual ~CSoundModule() = default;

  virtual void Init() = 0;
  virtual bool IsActive() = 0;
  virtual StereoFrame* Render(StereoFrame* frames, int count) = 0;
  virtual int GetParamCount() = 0;
  virtual ParamValue GetParam(int index) = 0;
  virtual void SetParam(int index, ParamValue value) = 0;

  // Both return false on failure, with the reason in plain words in `error` when one is given.
  bool SaveParams(const char* path, std::string* error = nullptr);
  bool LoadParams(const char* path, std::string* error = nullptr);
};
