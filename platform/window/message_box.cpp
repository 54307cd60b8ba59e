// CMessageBox: a warning box over the toolkit's message box.
#include "platform/window/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>

#include "platform/window/window.h"

void CMessageBox::ShowError(CWindow* owner, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), QString::fromStdString(text),
                  QMessageBox::Ok, owner != nullptr ? owner->GetWidget() : nullptr);
  box.exec();
}
