// COwnerDrawButton: the push-button control whose face its CButton object draws. It tracks the
// mouse even with no button held, because a knob's drag ends only at the first move without the
// left button; while a button is held it keeps the mouse, so moves outside it still arrive. Mouse
// moves, wheel turns, double clicks of the left button and presses of the navigation keys (arrows,
// Page Up and Down, Home, End) go to the object's WindowProc as messages, and the push button's own
// handling of one runs only when the object passes it on; every other key goes straight to the
// push button, and from there to the dialog. Tooltips show the object's ToolTipText.
#pragma once

#include <QAbstractButton>

#include "platform/window/message.h"

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
  // Shows the owner's new tooltip text at once if its tooltip is showing.
  void RefreshToolTip();

  static WParam MouseFlags(const QMouseEvent& event);
  // The key-press code of a navigation key; 0 for any other key.
  static WParam NavigationKey(int qtKey);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Dispatch(unsigned message, QEvent* event, WParam wParam, LParam lParam);

  CButton* owner = nullptr;
  unsigned pendingMessage = 0;
  QEvent* pendingEvent = nullptr;
};
