// How one module parameter is described to the outside: its name, the range the panels allow and
// the value Init gives it. The panels take their knob ranges from these tables, the render tool
// lists them, and the modules take their defaults from them.
#pragma once

#include "engine/sound_module.h"

struct ParamInfo {
  const char* name;
  ParamValue minimum;
  ParamValue maximum;
  ParamValue defaultValue;
};
