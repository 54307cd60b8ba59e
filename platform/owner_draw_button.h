// COwnerDrawButton: the push-button control whose face its CButton object draws. It tracks the
// mouse even with no button held, because a knob's drag ends only at the first move without the
// left button; while a button is held it keeps the mouse, so moves outside it still arrive. Each
// move goes to the object's WindowProc as a mouse-move message, and the push button's own handling
// of that move runs only when the object passes it on.
#pragma once

#include <QAbstractButton>

#include "platform/message.h"

class CButton;
class QMouseEvent;

class COwnerDrawButton : public QAbstractButton {
  Q_OBJECT

 public:
  COwnerDrawButton(int id, const QString& caption, QWidget* parent);

  CButton* Owner() const { return owner; }
  void SetOwner(CButton* button);

  // The push button's own processing of the message now being dispatched, if it is `message`.
  void DefaultProcessing(unsigned message);

  static WParam MouseFlags(const QMouseEvent& event);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  CButton* owner = nullptr;
  QMouseEvent* pendingMove = nullptr;
};
