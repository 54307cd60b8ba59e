// The plugin window's library entry point: the LV2 UI descriptor and its idle interface, each a
// thin call into CPluginWindow. The library never unloads (see CMakeLists.txt), since the Qt it
// loads and the application object it may have made stay for the process's life.
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <new>

#include "plugin/plugin_ports.h"
#include "ui/lv2/hosted_qt.h"
#include "ui/lv2/plugin_window.h"

namespace {

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
  for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
    if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  }
  return nullptr;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
  if (pluginUri == nullptr || std::strcmp(pluginUri, kPluginUri) != 0 || !CHostedQt::Ready()) return nullptr;
  auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(FindFeature(features, LV2_URID__map)));
  const auto parent = reinterpret_cast<std::uintptr_t>(FindFeature(features, LV2_UI__parent));
  const auto* resize = static_cast<const LV2UI_Resize*>(FindFeature(features, LV2_UI__resize));
  auto* window = new (std::nothrow) CPluginWindow(write, controller, map);
  if (window == nullptr) return nullptr;
  const std::uintptr_t id = window->Open(parent, resize);
  if (id == 0) {
    delete window;
    return nullptr;
  }
  *widget = reinterpret_cast<LV2UI_Widget>(id);
  return window;
}

void Cleanup(LV2UI_Handle handle) { delete static_cast<CPluginWindow*>(handle); }

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  static_cast<CPluginWindow*>(handle)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle) {
  CHostedQt::Idle();
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
