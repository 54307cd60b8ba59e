// CGroupFrame: draws an etched frame and the caption over its top edge.
#include "platform/window/group_frame.h"

#include <QPainter>

namespace {

// The caption starts one average character in from the frame's left edge, with a few pixels of
// clear background either side so the frame line does not touch the letters.
constexpr int kCaptionIndent = 6;
constexpr int kCaptionPadding = 2;

}  // namespace

CGroupFrame::CGroupFrame(const QString& text, QWidget* parent) : QWidget(parent), caption(text) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void CGroupFrame::SetCaption(const QString& text) {
  caption = text;
  update();
}

void CGroupFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics = fontMetrics();
  // The frame line runs through the middle of the caption; an etched line is a shadow line with
  // a highlight line one pixel below and right of it.
  const QRect frame(0, metrics.height() / 2, width() - 2, height() - metrics.height() / 2 - 2);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawRect(frame.translated(1, 1));
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(frame);
  if (caption.isEmpty()) {
    return;
  }
  const int textWidth = metrics.horizontalAdvance(caption);
  const QRect textRect(kCaptionIndent + kCaptionPadding, 0, textWidth, metrics.height());
  painter.fillRect(textRect.adjusted(-kCaptionPadding, 0, kCaptionPadding, 0),
                   palette().color(backgroundRole()));
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText));
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, caption);
}
