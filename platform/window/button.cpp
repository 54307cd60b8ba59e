// CButton: binding to an owner-drawn control and the default message processing.
#include "platform/window/button.h"

#include "platform/window/owner_draw_button.h"

CButton::~CButton() { Detach(); }

COwnerDrawButton* CButton::Control() const { return qobject_cast<COwnerDrawButton*>(GetWidget()); }

bool CButton::Attach(COwnerDrawButton* control) {
  Detach();
  if (control == nullptr) {
    return false;
  }
  if (CButton* previous = control->Owner(); previous != nullptr) {
    previous->Detach();
  }
  control->SetOwner(this);
  SetWidget(control);
  return true;
}

void CButton::Detach() {
  if (COwnerDrawButton* control = Control(); control != nullptr && control->Owner() == this) {
    control->SetOwner(nullptr);
  }
  SetWidget(nullptr);
}

LResult CButton::WindowProc(unsigned message, WParam wParam, LParam lParam) {
  return DefWindowProc(message, wParam, lParam);
}

void CButton::DrawItem(const DrawItemInfo&) {}

std::string CButton::ToolTipText() const { return std::string(); }

void CButton::RefreshToolTip() {
  if (COwnerDrawButton* control = Control(); control != nullptr) {
    control->RefreshToolTip();
  }
}

LResult CButton::DefWindowProc(unsigned message, WParam, LParam) {
  if (COwnerDrawButton* control = Control(); control != nullptr) {
    control->DefaultProcessing(message);
  }
  return 0;
}
