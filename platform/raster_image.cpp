// CRasterImage: bitmaps from the compiled-in resources.
#include "platform/raster_image.h"

QString CRasterImage::ResourcePath(int id) {
  return QStringLiteral(":/quembrel/bitmap/%1.bmp").arg(id);
}

bool CRasterImage::LoadResource(int id) {
  return SetImage(QImage(ResourcePath(id)));
}

bool CRasterImage::SetImage(const QImage& source) {
  if (source.isNull()) {
    image = QImage();
    return false;
  }
  image = source.convertToFormat(QImage::Format_RGB32);
  return true;
}
