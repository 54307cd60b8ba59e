// COwnerDrawButton: paint, mouse, wheel and key dispatch to the bound CButton, and its tooltips.
#include "platform/window/owner_draw_button.h"

#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include "platform/window/button.h"
#include "platform/window/draw_context.h"
#include "platform/window/window.h"

COwnerDrawButton::COwnerDrawButton(int id, const QString& caption, QWidget* parent)
    : QAbstractButton(parent) {
  CWindow::SetControlId(this, id);
  setText(caption);
  setMouseTracking(true);
  setAutoFillBackground(true);
}

void COwnerDrawButton::SetOwner(CButton* button) {
  owner = button;
  update();
}

WParam COwnerDrawButton::MouseFlags(const QMouseEvent& event) {
  WParam flags = 0;
  if (event.buttons() & Qt::LeftButton) {
    flags |= kMouseLeftButton;
  }
  if (event.buttons() & Qt::RightButton) {
    flags |= kMouseRightButton;
  }
  if (event.buttons() & Qt::MiddleButton) {
    flags |= kMouseMiddleButton;
  }
  if (event.modifiers() & Qt::ShiftModifier) {
    flags |= kMouseShift;
  }
  if (event.modifiers() & Qt::ControlModifier) {
    flags |= kMouseControl;
  }
  return flags;
}

WParam COwnerDrawButton::NavigationKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_PageUp:
      return kKeyPageUp;
    case Qt::Key_PageDown:
      return kKeyPageDown;
    case Qt::Key_End:
      return kKeyEnd;
    case Qt::Key_Home:
      return kKeyHome;
    case Qt::Key_Left:
      return kKeyLeft;
    case Qt::Key_Up:
      return kKeyUp;
    case Qt::Key_Right:
      return kKeyRight;
    case Qt::Key_Down:
      return kKeyDown;
    default:
      return 0;
  }
}

bool COwnerDrawButton::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip || owner == nullptr) {
    return QAbstractButton::event(event);
  }
  const QString text = QString::fromStdString(owner->ToolTipText());
  if (text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, this);
  }
  return true;
}

void COwnerDrawButton::RefreshToolTip() {
  if (owner != nullptr && QToolTip::isVisible() && underMouse()) {
    QToolTip::showText(QCursor::pos(), QString::fromStdString(owner->ToolTipText()), this);
  }
}

void COwnerDrawButton::paintEvent(QPaintEvent*) {
  if (owner == nullptr) {
    return;
  }
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  CDrawContext dc(&painter);
  unsigned state = 0;
  if (isDown()) {
    state |= kItemSelected;
  }
  if (!isEnabled()) {
    state |= kItemDisabled;
  }
  if (hasFocus()) {
    state |= kItemFocus;
  }
  owner->DrawItem(DrawItemInfo{CWindow::ControlId(this), state, &dc, Rect{0, 0, width(), height()}});
}

void COwnerDrawButton::Dispatch(unsigned message, QEvent* event, WParam wParam, LParam lParam) {
  const unsigned outerMessage = pendingMessage;
  QEvent* outerEvent = pendingEvent;
  pendingMessage = message;
  pendingEvent = event;
  owner->WindowProc(message, wParam, lParam);
  pendingMessage = outerMessage;
  pendingEvent = outerEvent;
}

void COwnerDrawButton::mouseMoveEvent(QMouseEvent* event) {
  if (owner == nullptr) {
    QAbstractButton::mouseMoveEvent(event);
    return;
  }
  const QPoint position = event->position().toPoint();
  Dispatch(kMsgMouseMove, event, MouseFlags(*event), MakeMouseLParam(position.x(), position.y()));
}

void COwnerDrawButton::mouseDoubleClickEvent(QMouseEvent* event) {
  if (owner == nullptr || event->button() != Qt::LeftButton) {
    QAbstractButton::mouseDoubleClickEvent(event);
    return;
  }
  const QPoint position = event->position().toPoint();
  Dispatch(kMsgLeftButtonDoubleClick, event, MouseFlags(*event),
           MakeMouseLParam(position.x(), position.y()));
}

void COwnerDrawButton::wheelEvent(QWheelEvent* event) {
  if (owner == nullptr) {
    QAbstractButton::wheelEvent(event);
    return;
  }
  // Some desktops turn a vertical wheel held with Shift into a horizontal one.
  const QPoint angle = event->angleDelta();
  const int delta = angle.y() != 0 ? angle.y() : angle.x();
  WParam flags = 0;
  if (event->buttons() & Qt::LeftButton) {
    flags |= kMouseLeftButton;
  }
  if (event->modifiers() & Qt::ShiftModifier) {
    flags |= kMouseShift;
  }
  if (event->modifiers() & Qt::ControlModifier) {
    flags |= kMouseControl;
  }
  const QPoint position = event->position().toPoint();
  Dispatch(kMsgMouseWheel, event, MakeWParam(static_cast<int>(flags), delta),
           MakeMouseLParam(position.x(), position.y()));
}

void COwnerDrawButton::keyPressEvent(QKeyEvent* event) {
  const WParam key = NavigationKey(event->key());
  if (owner == nullptr || key == 0) {
    QAbstractButton::keyPressEvent(event);
    return;
  }
  Dispatch(kMsgKeyDown, event, key, 0);
}

void COwnerDrawButton::DefaultProcessing(unsigned message) {
  if (pendingEvent == nullptr || message != pendingMessage) {
    return;
  }
  QEvent* event = pendingEvent;
  pendingEvent = nullptr;
  switch (message) {
    case kMsgMouseMove:
      QAbstractButton::mouseMoveEvent(static_cast<QMouseEvent*>(event));
      break;
    case kMsgLeftButtonDoubleClick:
      QAbstractButton::mouseDoubleClickEvent(static_cast<QMouseEvent*>(event));
      break;
    case kMsgMouseWheel:
      QAbstractButton::wheelEvent(static_cast<QWheelEvent*>(event));
      break;
    case kMsgKeyDown:
      QAbstractButton::keyPressEvent(static_cast<QKeyEvent*>(event));
      break;
    default:
      break;
  }
}
