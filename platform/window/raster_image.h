// CRasterImage: a bitmap for drawing with, loaded from the program's compiled-in resources by its
// resource number or handed over as an image. A resource may also come drawn at two and three
// device pixels per pixel for screens of higher density; drawing picks the copy that suits the
// screen (ImageFor). Loaded bitmaps are kept in a 32-bit form so that copies out of them are plain
// pixel copies.
#pragma once

#include <QImage>

class CRasterImage {
 public:
  static constexpr int kMaxScale = 3;

  CRasterImage() = default;
  CRasterImage(const CRasterImage&) = delete;
  CRasterImage& operator=(const CRasterImage&) = delete;

  // Loads bitmap resource `id` and those of its denser copies that exist with exactly two and
  // three times its size; false, leaving the bitmap empty, if there is no such resource or it
  // cannot be decoded.
  bool LoadResource(int id);
  // Takes `source` as the bitmap at the normal density, with no denser copies.
  bool SetImage(const QImage& source);
  void Release();

  bool IsLoaded() const { return !images[0].isNull(); }
  int Width() const { return images[0].width(); }
  int Height() const { return images[0].height(); }
  // The bitmap at the normal density.
  const QImage& Image() const { return images[0]; }
  // The copy to draw on a screen of `ratio` device pixels per pixel: the least dense one that is
  // at least as dense as the screen, else the densest; `scale` receives its density.
  const QImage& ImageFor(double ratio, int* scale) const;

  // Where resource `id` at `scale` device pixels per pixel lives among the compiled-in resources.
  static QString ResourcePath(int id, int scale = 1);

 private:
  QImage images[kMaxScale];
};
