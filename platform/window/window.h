// CWindow: our handle on one window or control, the base of CDialog and CButton. It holds a
// guarded pointer to the widget (cleared when the widget goes away, after which every operation
// is a harmless no-op) and offers the few window operations the panels and the knob use.
#pragma once

#include <QPointer>
#include <QWidget>
#include <string>

#include "platform/window/rect.h"

constexpr int kShowHide = 0;
constexpr int kShowNormal = 1;
constexpr int kShow = 5;

class CWindow {
 public:
  CWindow() = default;
  CWindow(const CWindow&) = delete;
  CWindow& operator=(const CWindow&) = delete;
  virtual ~CWindow() = default;

  QWidget* GetWidget() const { return widget; }
  int GetDlgCtrlID() const;
  std::string GetWindowText() const;
  void SetWindowText(const std::string& text);
  // Asks for a repaint of the rectangle (the whole window when null), the controls in it
  // included. Our widgets always repaint their background first, so erase is implied.
  void InvalidateRect(const Rect* rect, bool erase);
  void ShowWindow(int command);
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const;

  // For two top-level windows not yet shown: `second` goes right of `first`, or below it when the
  // screen is too narrow, and the pair is centred on the screen `first` is on. Where the window
  // system decides placement itself (Wayland), this changes nothing.
  static void PlaceSideBySide(CWindow& first, CWindow& second);

  // The control id every control widget carries; 0 when it has none.
  static int ControlId(const QWidget* control);
  static void SetControlId(QWidget* control, int id);
  static std::string TextOf(const QWidget* control);

 protected:
  void SetWidget(QWidget* w) { widget = w; }

 private:
  QPointer<QWidget> widget;
};
