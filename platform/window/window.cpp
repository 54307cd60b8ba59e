// CWindow: window operations over a guarded widget pointer.
#include "platform/window/window.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScreen>
#include <QVariant>
#include <algorithm>

#include "platform/window/group_frame.h"

namespace {

constexpr const char* kControlIdProperty = "quembrelControlId";
// Room between two windows placed together, and for the title bar that a window manager adds
// above a window only once it is shown.
constexpr int kWindowGap = 12;
constexpr int kTitleBarAllowance = 32;

}  // namespace

int CWindow::ControlId(const QWidget* control) {
  if (control == nullptr) {
    return 0;
  }
  return control->property(kControlIdProperty).toInt();
}

void CWindow::SetControlId(QWidget* control, int id) { control->setProperty(kControlIdProperty, id); }

std::string CWindow::TextOf(const QWidget* control) {
  QString text;
  if (control == nullptr) {
    return std::string();
  }
  if (auto* button = qobject_cast<const QAbstractButton*>(control)) {
    text = button->text();
  } else if (auto* label = qobject_cast<const QLabel*>(control)) {
    text = label->text();
  } else if (auto* frame = qobject_cast<const CGroupFrame*>(control)) {
    text = frame->Caption();
  } else {
    text = control->windowTitle();
  }
  return text.toStdString();
}

void CWindow::PlaceSideBySide(CWindow& first, CWindow& second) {
  QWidget* a = first.widget;
  QWidget* b = second.widget;
  if (a == nullptr || b == nullptr || a->screen() == nullptr) {
    return;
  }
  const QRect area = a->screen()->availableGeometry();
  const QSize sizeA = a->size() + QSize(0, kTitleBarAllowance);
  const QSize sizeB = b->size() + QSize(0, kTitleBarAllowance);
  const bool across = sizeA.width() + kWindowGap + sizeB.width() <= area.width();
  const QSize pair = across ? QSize(sizeA.width() + kWindowGap + sizeB.width(), std::max(sizeA.height(), sizeB.height()))
                            : QSize(std::max(sizeA.width(), sizeB.width()), sizeA.height() + kWindowGap + sizeB.height());
  const int left = area.x() + std::max(0, (area.width() - pair.width()) / 2);
  const int top = area.y() + std::max(0, (area.height() - pair.height()) / 2);
  a->move(left, top);
  b->move(across ? QPoint(left + sizeA.width() + kWindowGap, top) : QPoint(left, top + sizeA.height() + kWindowGap));
}

int CWindow::GetDlgCtrlID() const { return ControlId(widget); }

std::string CWindow::GetWindowText() const { return TextOf(widget); }

void CWindow::SetWindowText(const std::string& text) {
  if (widget == nullptr) {
    return;
  }
  const QString qtext = QString::fromStdString(text);
  if (auto* button = qobject_cast<QAbstractButton*>(widget.data())) {
    button->setText(qtext);
  } else if (auto* label = qobject_cast<QLabel*>(widget.data())) {
    label->setText(qtext);
  } else if (auto* frame = qobject_cast<CGroupFrame*>(widget.data())) {
    frame->SetCaption(qtext);
  } else {
    widget->setWindowTitle(qtext);
  }
}

void CWindow::InvalidateRect(const Rect* rect, bool /*erase*/) {
  if (widget == nullptr) {
    return;
  }
  const QRect area = rect == nullptr ? widget->rect()
                                     : QRect(rect->left, rect->top, rect->Width(), rect->Height());
  widget->update(area);
  // Controls paint their own background, so the toolkit would not repaint them for their parent.
  const auto children = widget->findChildren<QWidget*>();
  for (QWidget* child : children) {
    const QRect childArea(child->mapTo(widget.data(), QPoint(0, 0)), child->size());
    if (child->isVisible() && childArea.intersects(area)) {
      child->update(area.intersected(childArea).translated(-childArea.topLeft()));
    }
  }
}

void CWindow::ShowWindow(int command) {
  if (widget == nullptr) {
    return;
  }
  if (command == kShowHide) {
    widget->hide();
  } else if (command == kShowNormal) {
    widget->showNormal();
  } else {
    widget->show();
  }
}

void CWindow::EnableWindow(bool enable) {
  if (widget != nullptr) {
    widget->setEnabled(enable);
  }
}

bool CWindow::IsWindowEnabled() const { return widget != nullptr && widget->isEnabled(); }
