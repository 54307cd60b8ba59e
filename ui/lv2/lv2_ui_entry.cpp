// The plugin window's library entry point: the LV2 UI descriptor and its idle interface, each a
// thin call into CPluginWindow (or, in a host that holds Qt 5, CNoticeWindow). The library never unloads (see CMakeLists.txt), since the Qt it
// loads and the application object it may have made stay for the process's life.
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <new>

#include "plugin/plugin_ports.h"
#include "ui/lv2/hosted_qt.h"
#include "ui/lv2/notice_window.h"
#include "ui/lv2/plugin_window.h"

namespace {

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
  for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
    if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  }
  return nullptr;
}

// What a host holds: the panels, or, where Qt 6 cannot run, the notice in their place.
struct Instance {
  CPluginWindow* panels = nullptr;
  CNoticeWindow* notice = nullptr;
};

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
  if (pluginUri == nullptr || std::strcmp(pluginUri, kPluginUri) != 0) return nullptr;
  const auto parent = reinterpret_cast<std::uintptr_t>(FindFeature(features, LV2_UI__parent));
  auto* instance = new (std::nothrow) Instance;
  if (instance == nullptr) return nullptr;
  if (!CHostedQt::Ready()) {
    instance->notice = new (std::nothrow) CNoticeWindow;
    const std::uintptr_t id = instance->notice != nullptr ? instance->notice->Open(parent) : 0;
    if (id == 0) {
      delete instance->notice;
      delete instance;
      return nullptr;
    }
    *widget = reinterpret_cast<LV2UI_Widget>(id);
    return instance;
  }
  auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(FindFeature(features, LV2_URID__map)));
  const auto* resize = static_cast<const LV2UI_Resize*>(FindFeature(features, LV2_UI__resize));
  instance->panels = new (std::nothrow) CPluginWindow(write, controller, map);
  const std::uintptr_t id = instance->panels != nullptr ? instance->panels->Open(parent, resize) : 0;
  if (id == 0) {
    delete instance->panels;
    delete instance;
    return nullptr;
  }
  *widget = reinterpret_cast<LV2UI_Widget>(id);
  return instance;
}

void Cleanup(LV2UI_Handle handle) {
  auto* instance = static_cast<Instance*>(handle);
  delete instance->panels;
  delete instance->notice;
  delete instance;
}

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  auto* instance = static_cast<Instance*>(handle);
  if (instance->panels != nullptr) instance->panels->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) {
  auto* instance = static_cast<Instance*>(handle);
  if (instance->notice != nullptr) {
    instance->notice->Idle();
  } else {
    CHostedQt::Idle();
  }
  return 0;
}

const LV2UI_Idle_Interface kIdleInterface = {Idle};

const void* ExtensionData(const char* uri) {
  return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdleInterface : nullptr;
}

const LV2UI_Descriptor kDescriptor = {kPluginUiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
