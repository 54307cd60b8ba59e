// CDrawContext: block copies out of bitmaps and text output over a painter.
#include "platform/window/draw_context.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include "platform/window/raster_image.h"

Color GetSysColor(SystemColor element) {
  const QPalette palette = QGuiApplication::palette();
  const QColor color =
      palette.color(element == SystemColor::kWindowText ? QPalette::WindowText : QPalette::Window);
  return MakeColor(color.red(), color.green(), color.blue());
}

CDrawContext::CDrawContext(QPainter* p) : painter(p) {}

bool CDrawContext::CreateCompatible(const CDrawContext&) {
  painter = nullptr;
  bitmap = nullptr;
  memory = true;
  return true;
}

CRasterImage* CDrawContext::SelectBitmap(CRasterImage* next) {
  CRasterImage* previous = bitmap;
  if (memory) {
    bitmap = next;
  }
  return previous;
}

bool CDrawContext::CopyBlock(int x, int y, int width, int height, const CDrawContext& source,
                             int sourceX, int sourceY) {
  if (painter == nullptr || source.bitmap == nullptr || !source.bitmap->IsLoaded() || width <= 0 ||
      height <= 0) {
    return false;
  }
  const QRect wanted(sourceX, sourceY, width, height);
  const QRect available = wanted.intersected(source.bitmap->Image().rect());
  if (available.isEmpty()) {
    return false;
  }
  const QRect target(x + available.left() - sourceX, y + available.top() - sourceY,
                     available.width(), available.height());
  int scale = 1;
  const QImage& image = source.bitmap->ImageFor(painter->device()->devicePixelRatioF(), &scale);
  painter->drawImage(target, image,
                     QRect(available.topLeft() * scale, available.size() * scale));
  return true;
}

Color CDrawContext::SetTextColor(Color color) {
  const Color previous = textColor;
  textColor = color;
  return previous;
}

void CDrawContext::PaintText(const std::string& text, const Rect& rect, unsigned format) {
  if (painter == nullptr) {
    return;
  }
  int flags = Qt::AlignTop | Qt::TextShowMnemonic;
  if (format & kTextCenter) {
    flags |= Qt::AlignHCenter;
  } else if (format & kTextRight) {
    flags |= Qt::AlignRight;
  } else {
    flags |= Qt::AlignLeft;
  }
  painter->save();
  painter->setPen(QColor((textColor >> 16) & 0xFF, (textColor >> 8) & 0xFF, textColor & 0xFF));
  painter->drawText(QRect(rect.left, rect.top, rect.Width(), rect.Height()), flags,
                    QString::fromStdString(text));
  painter->restore();
}
