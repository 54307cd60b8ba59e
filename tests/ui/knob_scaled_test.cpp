// Tests of a knob dialog on a screen of twice the usual density (run with QT_SCALE_FACTOR=2): the
// whole dialog scales, the knob images and read-outs are the bitmaps drawn at twice the size, copied
// pixel for pixel rather than scaled up, and drags still count logical pixels. Writes a picture of
// the scaled dialog as a build artefact.
#include <gtest/gtest.h>

#include <QTest>

#include "platform/window/dialog.h"
#include "tests/platform/window/test_app.h"
#include "ui/knob.h"

namespace {

const DialogControl kControls[] = {
    {-1, ControlKind::kGroupBox, "Filter", 5, 5, 85, 55, 0},
    {1037, ControlKind::kOwnerDrawButton, "Cutoff", 10, 15, 25, 35, kStyleTabStop},
    {1032, ControlKind::kOwnerDrawButton, "Env", 35, 15, 25, 35, kStyleTabStop},
    {1041, ControlKind::kCheckBox, "Detune", 62, 15, 26, 10, kStyleTabStop},
};
const DialogTemplate kTemplate{"Scaled", 95, 65, kDialogCaption, kControls, 4};

class CScaledDialog : public CDialog {
 public:
  CScaledDialog() : CDialog(kTemplate) {}
  void DoDataExchange() override {
    BindControl(1037, cutoff);
    BindControl(1032, env);
  }
  CKnob cutoff;
  CKnob env;
};

TEST(KnobScaledTest, DialogScalesAsAWholeWithTheDenseBitmapsUnscaled) {
  TestApp();
  CScaledDialog dialog;
  ASSERT_TRUE(dialog.Create());
  dialog.cutoff.SetRange(1, 255, 200);
  dialog.env.SetRange(-128, 127, -40);
  dialog.ShowWindow(kShowNormal);
  QWidget* window = dialog.GetWidget();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  ASSERT_DOUBLE_EQ(window->devicePixelRatioF(), 2.0);
  EXPECT_EQ(window->size(), QSize(143, 106));  // logical pixels, as on a normal screen

  const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shot.size(), QSize(286, 212));
  EXPECT_TRUE(shot.save(QStringLiteral(QUEMBREL_ARTIFACT_DIR "/knobs-scaled.png")));

  // The 32 x 32 frame covers 64 x 64 device pixels, each one the dense strip's own; so do the
  // read-out's cells, lit or not.
  QWidget* control = dialog.GetDlgItem(1037);
  const QPoint at = control->mapTo(window, QPoint(0, 0)) * 2;
  int scale = 0;
  const QImage& strip = g_knobStrip.ImageFor(2.0, &scale);
  ASSERT_EQ(scale, 2);
  const int frame = dialog.cutoff.FrameIndex();
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      ASSERT_EQ(shot.pixel(at.x() + x, at.y() + y), strip.pixel(64 * frame + x, y)) << x << "," << y;
    }
  }
  dialog.cutoff.SetLit(true);
  const QImage litShot = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
  for (bool lit : {false, true}) {
    const QImage& glyphs = (lit ? g_litDigitGlyphs : g_digitGlyphs).ImageFor(2.0, &scale);
    ASSERT_EQ(scale, 2);
    int cells[4];
    dialog.cutoff.ReadoutGlyphs(cells);
    for (int cell = 0; cell < 4; ++cell) {
      for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 16; ++x) {
          ASSERT_EQ((lit ? litShot : shot).pixel(at.x() + 16 * cell + x, at.y() + 64 + y),
                    glyphs.pixel(16 * cells[cell] + x, y))
              << lit << " cell " << cell;
        }
      }
    }
  }

  // Mouse travel is counted in logical pixels, so a sweep is as long on the screen as ever.
  dialog.env.WindowProc(kMsgMouseMove, kMouseLeftButton, MakeMouseLParam(0, 100));
  dialog.env.WindowProc(kMsgMouseMove, kMouseLeftButton, MakeMouseLParam(0, 90));
  EXPECT_EQ(dialog.env.GetValue(), -30);
}

}  // namespace
