// How one module parameter is described to the outside: its name, the range the panels allow, the
// value Init gives it, and the full name and unit a person reads. The panels take their knob ranges,
// defaults and tooltips from these tables, the render tool lists them, and the modules take their
// defaults from them.
#pragma once

#include "engine/sound_module.h"

struct ParamInfo {
  const char* name;
  ParamValue minimum;
  ParamValue maximum;
  ParamValue defaultValue;
  const char* label;
  // Empty for a parameter that counts in no unit.
  const char* unit;
};
