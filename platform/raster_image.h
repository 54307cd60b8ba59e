// CRasterImage: a bitmap for drawing with, loaded from the program's compiled-in resources by its
// resource number or handed over as an image. Loaded bitmaps are kept in a 32-bit form so that
// copies out of them are plain pixel copies.
#pragma once

#include <QImage>

class CRasterImage {
 public:
  CRasterImage() = default;
  CRasterImage(const CRasterImage&) = delete;
  CRasterImage& operator=(const CRasterImage&) = delete;

  // Loads bitmap resource `id`; false, leaving the bitmap empty, if there is no such resource or
  // it cannot be decoded.
  bool LoadResource(int id);
  bool SetImage(const QImage& source);
  void Release() { image = QImage(); }

  bool IsLoaded() const { return !image.isNull(); }
  int Width() const { return image.width(); }
  int Height() const { return image.height(); }
  const QImage& Image() const { return image; }

  // Where resource `id` lives among the compiled-in resources.
  static QString ResourcePath(int id);

 private:
  QImage image;
};
