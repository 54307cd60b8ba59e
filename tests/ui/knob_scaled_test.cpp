// Tests of a knob dialog on a screen of twice the usual density (run with QT_SCALE_FACTOR=2): the
// whole dialog scales, the knob images are scaled smoothly rather than by repeating pixels, and
// drags still count logical pixels. Writes a picture of the scaled dialog as a build artefact.
#include <gtest/gtest.h>

#include <QSet>
#include <QTest>

#include "platform/dialog.h"
#include "tests/platform/test_app.h"
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

TEST(KnobScaledTest, DialogScalesAsAWholeWithSmoothKnobs) {
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

  // The 32 x 32 frame covers 64 x 64 device pixels; smooth scaling makes colours in between that
  // the frame itself does not have, where repeating pixels would make none.
  QWidget* control = dialog.GetDlgItem(1037);
  const QPoint at = control->mapTo(window, QPoint(0, 0)) * 2;
  const QImage& strip = g_knobStrip.Image();
  const int frame = dialog.cutoff.FrameIndex();
  QSet<QRgb> source, scaled;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      source.insert(strip.pixel(32 * frame + x, y));
    }
  }
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      scaled.insert(shot.pixel(at.x() + x, at.y() + y));
    }
  }
  EXPECT_GT(scaled.size(), source.size() + source.size() / 2);

  // Mouse travel is counted in logical pixels, so a sweep is as long on the screen as ever.
  dialog.env.WindowProc(kMsgMouseMove, kMouseLeftButton, MakeMouseLParam(0, 100));
  dialog.env.WindowProc(kMsgMouseMove, kMouseLeftButton, MakeMouseLParam(0, 90));
  EXPECT_EQ(dialog.env.GetValue(), -30);
}

}  // namespace
