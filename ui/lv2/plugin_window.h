// CPluginWindow: one plugin window, the program's synth panel and riff panel side by side in one
// widget at their own look and size, editing one plugin instance through its ports. It embeds in
// the window the host gives, or stands alone when the host gives none, and tells the host its size.
// Under the panels a line says when the host's transport, not Play, runs the riff. It holds
// nothing the plugin's audio thread uses: closing it never waits on or touches that thread.
#pragma once

#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <memory>

#include "ui/lv2/port_modules.h"
#include "ui/riff_panel.h"
#include "ui/synth_panel.h"

class QLabel;
class QWidget;
class QWindow;

class CPluginWindow {
 public:
  static constexpr const char* kFollowHostText =
      "Follow host is on: the host's transport plays the riff; Play and Stop wait until it is off.";

  CPluginWindow(LV2UI_Write_Function write, LV2UI_Controller controller, LV2_URID_Map* map);
  ~CPluginWindow();
  CPluginWindow(const CPluginWindow&) = delete;
  CPluginWindow& operator=(const CPluginWindow&) = delete;

  // Builds the window inside `parent` (0 for a window of its own) and reports its size through
  // `resize` when given. The window's X id, or 0 when it cannot be made.
  std::uintptr_t Open(std::uintptr_t parent, const LV2UI_Resize* resize);
  void PortEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer);

  QWidget* Widget() const { return container.get(); }

 private:
  void Refresh();

  CPortModules modules;
  std::unique_ptr<QWidget> container;
  std::unique_ptr<QWindow> hostWindow;
  std::unique_ptr<CSynthPanel> synthPanel;
  std::unique_ptr<CRiffPanel> riffPanel;
  QLabel* followHostLine = nullptr;
  bool refreshDue = false;
};
