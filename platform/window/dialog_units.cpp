// The dialog font.
#include "platform/window/dialog_units.h"

#include <QFont>

QFont DialogFont() {
  QFont font(QString::fromLatin1(kDialogFontFamily));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(kDialogFontPixelSize);
  return font;
}
