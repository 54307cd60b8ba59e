// CAboutBox: the small modal box that names the program and its version, with the program icon
// and the project's web address. It has no handlers of its own: OK, Escape and the close box end
// it through the dialog's default handling.
#pragma once

#include "platform/window/dialog.h"

class CAboutBox : public CDialog {
 public:
  static constexpr const char* kWebAddress = "https://quembrel.org";

  explicit CAboutBox(CWindow* parent = nullptr);
};
