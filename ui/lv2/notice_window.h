// CNoticeWindow: what the plugin window shows in a host that holds Qt 5, where Qt 6 widgets cannot
// live: a plain X window, drawn without any toolkit, saying why the panels are missing and how to
// turn the plugin from the host's own controls. Some such hosts fail when a plugin window declines
// to open, so this one always opens.
#pragma once

#include <cstdint>

struct _XDisplay;

class CNoticeWindow {
 public:
  static constexpr const char* kText =
      "Quembrel's panels need a host without Qt 5 (for example jalv.gtk3); use the host's own controls.";
  static constexpr int kWidth = 640;
  static constexpr int kHeight = 40;

  CNoticeWindow() = default;
  ~CNoticeWindow();
  CNoticeWindow(const CNoticeWindow&) = delete;
  CNoticeWindow& operator=(const CNoticeWindow&) = delete;

  // The window's X id inside `parent` (a window of its own when 0), or 0 when there is no display.
  std::uintptr_t Open(std::uintptr_t parent);
  // Draws the text again when the window system asks.
  void Idle();

 private:
  _XDisplay* display = nullptr;
  unsigned long window = 0;
};
