// CMessageBox: the modal box that tells the user something went wrong (a file that could not be
// loaded or saved, a recording that could not start or had to stop), with one OK button. It
// returns once the user has read it.
#pragma once

#include <string>

class CWindow;

class CMessageBox {
 public:
  CMessageBox() = delete;

  // Shows `text` as a warning over `owner` (or on its own when null) and waits for OK.
  static void ShowError(CWindow* owner, const std::string& text);
};
