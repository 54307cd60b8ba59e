// CButton: the object side of an owner-drawn push button. A panel keeps CButton-derived members
// (the knobs) and binds each to its dialog's control of the same id when the dialog initialises;
// from then on the control asks the object to draw it (DrawItem) and hands it its mouse moves
// (WindowProc), whose base version lets the push button do its own processing, and asks it for
// its tooltip (ToolTipText).
#pragma once

#include <string>

#include "platform/window/message.h"
#include "platform/window/rect.h"
#include "platform/window/window.h"

class CDrawContext;
class COwnerDrawButton;

// Item states in a draw-item record.
constexpr unsigned kItemSelected = 0x1;  // pressed
constexpr unsigned kItemDisabled = 0x4;
constexpr unsigned kItemFocus = 0x10;

struct DrawItemInfo {
  int controlId;
  unsigned itemState;
  CDrawContext* dc;
  Rect itemRect;  // the whole control, in its own coordinates
};

class CButton : public CWindow {
 public:
  CButton() = default;
  ~CButton() override;

  virtual LResult WindowProc(unsigned message, WParam wParam, LParam lParam);
  virtual void DrawItem(const DrawItemInfo& info);
  // The control's tooltip; none when empty, which is the default.
  virtual std::string ToolTipText() const;

  // Binds this object to `control`, releasing this object's earlier control and the control's
  // earlier object; false for a null control.
  bool Attach(COwnerDrawButton* control);
  void Detach();

 protected:
  // The push button's own processing of the message being handled.
  LResult DefWindowProc(unsigned message, WParam wParam, LParam lParam);
  // Shows the new ToolTipText at once where the old one is showing.
  void RefreshToolTip();

 private:
  COwnerDrawButton* Control() const;
};
