// CPortModule: the values, held to their ranges as the plugin holds its ports.
#include "ui/lv2/port_module.h"

#include <algorithm>

CPortModule::CPortModule(const ParamInfo* params, int count) : params(params), values(static_cast<std::size_t>(count)) {
  Init();
}

void CPortModule::Init() {
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = params[i].defaultValue;
}

int CPortModule::Clamped(int index, int value) const {
  return std::clamp(value, static_cast<int>(params[index].minimum), static_cast<int>(params[index].maximum));
}

bool CPortModule::Show(int index, int value) {
  if (index < 0 || index >= GetParamCount() || values[static_cast<std::size_t>(index)] == Clamped(index, value)) {
    return false;
  }
  values[static_cast<std::size_t>(index)] = Clamped(index, value);
  return true;
}

ParamValue CPortModule::GetParam(int index) {
  return index >= 0 && index < GetParamCount() ? static_cast<ParamValue>(values[static_cast<std::size_t>(index)]) : 0;
}

void CPortModule::SetParam(int index, ParamValue value) {
  if (index < 0 || index >= GetParamCount()) return;
  values[static_cast<std::size_t>(index)] = Clamped(index, value);
  if (onSet) onSet(index, values[static_cast<std::size_t>(index)]);
}
