// CDialogWindow: keyboard, close and context-menu requests routed to the owning CDialog, and the
// blank title bar of a dialog without a caption.
#include "platform/window/dialog_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QWindow>

#include "platform/window/dialog.h"
#include "platform/window/message.h"
#include "platform/window/window.h"

CDialogWindow::CDialogWindow(CDialog* dialog, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), owner(dialog) {}

bool CDialogWindow::event(QEvent* event) {
  // Both a new native window and a title set to empty must reach the window system as a blank.
  const QEvent::Type type = event->type();
  if ((type == QEvent::WinIdChange || type == QEvent::WindowTitleChange) && windowTitle().isEmpty() &&
      windowHandle() != nullptr) {
    windowHandle()->setTitle(QStringLiteral(" "));
  }
  return QDialog::event(event);
}

int CDialogWindow::DefaultCommandId() const {
  auto* focused = qobject_cast<QPushButton*>(focusWidget());
  if (focused != nullptr && focused->isEnabled()) {
    return CWindow::ControlId(focused);
  }
  const auto buttons = findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
  for (QPushButton* button : buttons) {
    if (button->isDefault() && button->isEnabled()) {
      return CWindow::ControlId(button);
    }
  }
  return kIdOk;
}

void CDialogWindow::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  int dialogKey = 0;
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    dialogKey = kKeyEnter;
  } else if (key == Qt::Key_Escape) {
    dialogKey = kKeyEscape;
  } else {
    QWidget::keyPressEvent(event);
    return;
  }
  event->accept();
  const int command = dialogKey == kKeyEnter ? DefaultCommandId() : kIdCancel;
  Dispatch([&](CDialog& dialog) {
    if (!dialog.OnKeyPress(dialogKey)) {
      dialog.OnCommand(MakeWParam(command, kNotifyClicked), 0);
    }
  });
}

void CDialogWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  Dispatch([](CDialog& dialog) {
    if (dialog.Template().style & kDialogSystemMenu) {
      dialog.OnClose();
    }
  });
}

void CDialogWindow::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  const QPoint where = event->globalPos();
  Dispatch([&](CDialog& dialog) { dialog.OnContextMenu(where.x(), where.y()); });
}
