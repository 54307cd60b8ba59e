// The plugin library's entry point: the LV2 descriptor and the state interface, each a thin call
// into the instance.
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <cstring>

#include "plugin/quembrel_plugin.h"

namespace {

CQuembrelPlugin* Instance(LV2_Handle handle) { return static_cast<CQuembrelPlugin*>(handle); }

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
  return CQuembrelPlugin::Create(rate, features);
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) { Instance(handle)->ConnectPort(port, data); }

void Activate(LV2_Handle handle) { Instance(handle)->Activate(); }

void Run(LV2_Handle handle, uint32_t frames) { Instance(handle)->Run(frames); }

void Deactivate(LV2_Handle) {}

void Cleanup(LV2_Handle handle) { delete Instance(handle); }

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const*) {
  return Instance(handle)->Save(store, state);
}

LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const*) {
  return Instance(handle)->Restore(retrieve, state);
}

const LV2_State_Interface kStateInterface = {Save, Restore};

const void* ExtensionData(const char* uri) {
  return std::strcmp(uri, LV2_STATE__interface) == 0 ? &kStateInterface : nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, Instantiate, ConnectPort, Activate,
                                    Run,        Deactivate,  Cleanup,     ExtensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
