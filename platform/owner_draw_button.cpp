// COwnerDrawButton: paint and mouse-move dispatch to the bound CButton.
#include "platform/owner_draw_button.h"

#include <QMouseEvent>
#include <QPainter>

#include "platform/button.h"
#include "platform/draw_context.h"
#include "platform/window.h"

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

void COwnerDrawButton::mouseMoveEvent(QMouseEvent* event) {
  if (owner == nullptr) {
    QAbstractButton::mouseMoveEvent(event);
    return;
  }
  const QPoint position = event->position().toPoint();
  QMouseEvent* outer = pendingMove;
  pendingMove = event;
  owner->WindowProc(kMsgMouseMove, MouseFlags(*event), MakeMouseLParam(position.x(), position.y()));
  pendingMove = outer;
}

void COwnerDrawButton::DefaultProcessing(unsigned message) {
  if (message == kMsgMouseMove && pendingMove != nullptr) {
    QMouseEvent* event = pendingMove;
    pendingMove = nullptr;
    QAbstractButton::mouseMoveEvent(event);
  }
}
