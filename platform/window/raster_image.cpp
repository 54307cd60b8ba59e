// CRasterImage: bitmaps from the compiled-in resources, at each density there is.
#include "platform/window/raster_image.h"

QString CRasterImage::ResourcePath(int id, int scale) {
  if (scale == 1) {
    return QStringLiteral(":/quembrel/bitmap/%1.bmp").arg(id);
  }
  return QStringLiteral(":/quembrel/bitmap/%1@%2x.bmp").arg(id).arg(scale);
}

bool CRasterImage::LoadResource(int id) {
  if (!SetImage(QImage(ResourcePath(id)))) {
    return false;
  }
  for (int scale = 2; scale <= kMaxScale; ++scale) {
    const QImage dense(ResourcePath(id, scale));
    // A copy of another size would put its pixels in the wrong places.
    if (dense.size() == images[0].size() * scale) {
      images[scale - 1] = dense.convertToFormat(QImage::Format_RGB32);
    }
  }
  return true;
}

bool CRasterImage::SetImage(const QImage& source) {
  Release();
  if (source.isNull()) {
    return false;
  }
  images[0] = source.convertToFormat(QImage::Format_RGB32);
  return true;
}

void CRasterImage::Release() {
  for (QImage& image : images) {
    image = QImage();
  }
}

const QImage& CRasterImage::ImageFor(double ratio, int* scale) const {
  int best = 1;
  for (int s = 1; s <= kMaxScale; ++s) {
    if (!images[s - 1].isNull()) {
      best = s;
      if (s >= ratio) {
        break;
      }
    }
  }
  *scale = best;
  return images[best - 1];
}
