// CWindow: window operations over a guarded widget pointer.
#include "platform/window.h"

#include <QAbstractButton>
#include <QLabel>
#include <QVariant>

#include "platform/group_frame.h"

namespace {

constexpr const char* kControlIdProperty = "quembrelControlId";

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
