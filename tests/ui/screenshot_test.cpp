// Draws both panels and the About box through the program's own code on the offscreen platform
// and saves them as PNG files, the riff panel while the riff plays: into QUEMBREL_SCREENSHOT_DIR
// when it is set (scripts/screenshots uses it to refresh docs/), else among the build's artifacts. Also checks what a look at them
// would: each window has its layout's size, and the oscillator-sync box added to "Main B" sits
// inside that group clear of every other control.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTest>

#include "platform/window/dialog_units.h"
#include "tests/ui/program_fixture.h"
#include "ui/about_box.h"

namespace {

QString ShotFolder() {
  const QByteArray dir = qgetenv("QUEMBREL_SCREENSHOT_DIR");
  return dir.isEmpty() ? QStringLiteral(QUEMBREL_ARTIFACT_DIR) : QString::fromLocal8Bit(dir);
}

QImage Shoot(const CDialog& dialog, const char* name) {
  QWidget* window = dialog.GetWidget();
  window->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
  QApplication::processEvents();
  const QImage image = window->grab().toImage();
  QDir().mkpath(ShotFolder());
  EXPECT_TRUE(image.save(ShotFolder() + "/" + name, "PNG")) << name;
  return image;
}

TEST(ScreenshotTest, PanelsAndAboutBoxAreDrawnAtTheirLayoutSize) {
  CSynthPanel& synth = StartProgram();
  CAboutBox about(&synth);
  ASSERT_TRUE(about.Create());

  struct Shot {
    const CDialog* dialog;
    const char* name;
    int widthUnits;
    int heightUnits;
  };
  // The riff panel as it looks while the riff plays, with the step being heard lit.
  FakeSound().SetPositionMode(FakePositionMode::kFixed);
  Click(*g_riffPanel, CRiffPanel::kPlayId);
  std::uint32_t position = 0;
  for (int pass = 0; pass < 64 && g_riffPanel->LitStep() != 2; ++pass) {
    position = (position + 2000) % CAudioStream::kLoopBytes;
    FakeSound().SetPosition(position);
    ASSERT_TRUE(g_audioStream.FillBuffer());
    g_riffPanel->UpdateStepLight();
  }
  EXPECT_EQ(g_riffPanel->LitStep(), 2);
  for (const Shot& shot : {Shot{&synth, "synth-panel.png", 282, 286}, Shot{g_riffPanel, "riff-panel.png", 412, 122},
                           Shot{&about, "about-box.png", 235, 55}}) {
    const QImage image = Shoot(*shot.dialog, shot.name);
    const qreal ratio = image.devicePixelRatio();
    EXPECT_EQ(qRound(image.width() / ratio), DialogUnitsToPixelsX(shot.widthUnits)) << shot.name;
    EXPECT_EQ(qRound(image.height() / ratio), DialogUnitsToPixelsY(shot.heightUnits)) << shot.name;
  }
}

TEST(ScreenshotTest, TheSyncBoxSitsInMainBClearOfOtherControls) {
  CSynthPanel& synth = StartProgram();
  QWidget* sync = synth.GetDlgItem(CSynthPanel::kSyncBoxId);
  ASSERT_NE(sync, nullptr);
  const Rect mainB = MapDialogRect(120, 5, 160, 55);
  const QRect group(mainB.left, mainB.top, mainB.Width(), mainB.Height());
  EXPECT_TRUE(group.contains(sync->geometry())) << sync->geometry().y() << " " << sync->geometry().bottom();
  EXPECT_GE(sync->width(), sync->sizeHint().width());
  for (QWidget* other : synth.GetWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (other != sync && CWindow::ControlId(other) > 0) {
      EXPECT_FALSE(other->geometry().intersects(sync->geometry())) << CWindow::ControlId(other);
    }
  }
}

}  // namespace
