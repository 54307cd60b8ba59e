// CGroupFrame: draws the frame in the current style and the caption over its top edge.
#include "platform/group_frame.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

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
  QStyleOptionFrame option;
  option.initFrom(this);
  option.rect = rect().adjusted(0, metrics.height() / 2, 0, 0);
  option.lineWidth = 1;
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  style()->drawPrimitive(QStyle::PE_FrameGroupBox, &option, &painter, this);
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
