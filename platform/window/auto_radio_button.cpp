// CAutoRadioButton: checks itself and clears the rest of its run.
#include "platform/window/auto_radio_button.h"

CAutoRadioButton::CAutoRadioButton(const QString& caption, int runIndex, QWidget* parent)
    : QRadioButton(caption, parent), run(runIndex) {
  setAutoExclusive(false);
}

void CAutoRadioButton::nextCheckState() {
  setChecked(true);
  if (parentWidget() == nullptr) {
    return;
  }
  const auto siblings =
      parentWidget()->findChildren<CAutoRadioButton*>(Qt::FindDirectChildrenOnly);
  for (CAutoRadioButton* other : siblings) {
    if (other != this && other->run == run) {
      other->setChecked(false);
    }
  }
}
