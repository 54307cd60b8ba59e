// Tests of CDrawContext: block copies are exact pixel copies from the selected bitmap, clipped to
// it; nothing is drawn from a context with no bitmap; text goes where and in the colour asked.
#include "platform/window/draw_context.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPalette>

#include "platform/window/raster_image.h"
#include "tests/platform/window/test_app.h"

namespace {

constexpr QRgb kGround = 0xFF102030;

// Every pixel of the source a different colour, so a copy from the wrong place shows.
QImage NumberedImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(x, y, qRgb(x * 4, y * 8, 200));
    }
  }
  return image;
}

class DrawContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    target.fill(kGround);
    ASSERT_TRUE(bitmap.SetImage(NumberedImage(48, 24)));
  }

  QImage target{40, 40, QImage::Format_RGB32};
  CRasterImage bitmap;
};

TEST_F(DrawContextTest, CopyBlockCopiesExactlyTheAskedRectangle) {
  struct Case {
    int x, y, w, h, sx, sy;
    bool copies;
  };
  const Case cases[] = {
      {3, 4, 8, 6, 10, 2, true},
      {0, 0, 32, 20, 16, 0, true},
      {5, 5, 10, 10, 40, 20, true},   // runs off the bitmap's right and bottom: clipped
      {5, 5, 10, 10, -4, -3, true},   // starts left of and above it: clipped
      {5, 5, 10, 10, 60, 0, false},   // entirely outside
      {5, 5, 0, 10, 0, 0, false},
  };
  for (const Case& c : cases) {
    target.fill(kGround);
    QPainter painter(&target);
    CDrawContext dc(&painter);
    CDrawContext memory;
    ASSERT_TRUE(memory.CreateCompatible(dc));
    EXPECT_EQ(memory.SelectBitmap(&bitmap), nullptr);
    EXPECT_EQ(dc.CopyBlock(c.x, c.y, c.w, c.h, memory, c.sx, c.sy), c.copies);
    painter.end();
    const QImage& source = bitmap.Image();
    for (int y = 0; y < target.height(); ++y) {
      for (int x = 0; x < target.width(); ++x) {
        const int sx = c.sx + x - c.x;
        const int sy = c.sy + y - c.y;
        const bool inside = x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h &&
                            source.rect().contains(sx, sy);
        const QRgb expected = inside ? source.pixel(sx, sy) : kGround;
        ASSERT_EQ(target.pixel(x, y), expected) << x << "," << y << " case " << c.sx << "," << c.sy;
      }
    }
  }
}

TEST_F(DrawContextTest, NothingIsCopiedWithoutASelectedBitmap) {
  QPainter painter(&target);
  CDrawContext dc(&painter);
  CDrawContext memory;
  memory.CreateCompatible(dc);
  EXPECT_FALSE(dc.CopyBlock(0, 0, 10, 10, memory, 0, 0));
  CRasterImage empty;
  EXPECT_FALSE(empty.LoadResource(9999));
  memory.SelectBitmap(&empty);
  EXPECT_FALSE(dc.CopyBlock(0, 0, 10, 10, memory, 0, 0));
  EXPECT_EQ(memory.SelectBitmap(nullptr), &empty);
  // A window's context selects nothing, and copying into a memory context draws nothing.
  EXPECT_EQ(dc.SelectBitmap(&bitmap), nullptr);
  memory.SelectBitmap(&bitmap);
  EXPECT_FALSE(memory.CopyBlock(0, 0, 10, 10, memory, 0, 0));
  painter.end();
  EXPECT_EQ(target.pixel(5, 5), kGround);
}

TEST_F(DrawContextTest, TextIsCentredAtTheTopInTheTextColour) {
  QImage wide(120, 40, QImage::Format_RGB32);
  wide.fill(Qt::white);
  QPainter painter(&wide);
  CDrawContext dc(&painter);
  EXPECT_EQ(dc.SetTextColor(MakeColor(255, 0, 0)), Color{0});
  dc.PaintText("Release", Rect{20, 10, 100, 60}, kTextCenter);
  painter.end();
  int left = wide.width(), right = -1, top = wide.height();
  bool pureRed = false;
  for (int y = 0; y < wide.height(); ++y) {
    for (int x = 0; x < wide.width(); ++x) {
      const QRgb p = wide.pixel(x, y);
      if (p != qRgb(255, 255, 255)) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        EXPECT_GE(qRed(p), qGreen(p));
        pureRed |= p == qRgb(255, 0, 0);
      }
    }
  }
  ASSERT_GE(right, left);
  EXPECT_TRUE(pureRed);
  EXPECT_GE(left, 20);
  EXPECT_LT(right, 100);
  EXPECT_NEAR((left + right) / 2.0, 60.0, 2.0);
  EXPECT_GE(top, 10);
  EXPECT_LE(top, 14);
}

TEST_F(DrawContextTest, SystemWindowTextColourComesFromThePalette) {
  const QColor text = QGuiApplication::palette().color(QPalette::WindowText);
  EXPECT_EQ(GetSysColor(SystemColor::kWindowText), MakeColor(text.red(), text.green(), text.blue()));
  EXPECT_EQ(MakeColor(0x12, 0x34, 0x56), Color{0x123456});
}

}  // namespace
