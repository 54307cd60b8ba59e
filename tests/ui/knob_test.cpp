// Tests of CKnob: the shared bitmaps and their art, ranges and clamping, the drag rule and the
// callback contract, the wheel, key, double-click and Shift-drag gestures, frame and read-out
// choice, and the pixels DrawItem puts on screen. Also writes a picture of knobs across their
// ranges as a build artefact.
#include "ui/knob.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>
#include <climits>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "engine/voice_params.h"

#include "platform/window/dialog.h"
#include "platform/window/dialog_units.h"
#include "platform/window/draw_context.h"
#include "platform/window/icon.h"
#include "platform/window/owner_draw_button.h"
#include "tests/platform/window/test_app.h"

namespace {

std::vector<std::pair<int, int>> g_reports;

void Record(int id, int value) { g_reports.emplace_back(id, value); }

constexpr unsigned kKnobStyle = kStyleTabStop;
const DialogControl kControls[] = {
    {-1, ControlKind::kGroupBox, "Volume Env.", 5, 5, 135, 55, 0},
    {1009, ControlKind::kOwnerDrawButton, "Attack", 10, 15, 25, 35, kKnobStyle},
    {1010, ControlKind::kOwnerDrawButton, "Decay", 35, 15, 25, 35, kKnobStyle},
    {1011, ControlKind::kOwnerDrawButton, "Sustain", 60, 15, 25, 35, kKnobStyle},
    {1012, ControlKind::kOwnerDrawButton, "Level", 85, 15, 25, 35, kKnobStyle},
    {1013, ControlKind::kOwnerDrawButton, "Release", 110, 15, 25, 35, kKnobStyle},
};
const DialogTemplate kTemplate{"Knobs", 145, 65, kDialogCaption, kControls, 6};

class CKnobDialog : public CDialog {
 public:
  CKnobDialog() : CDialog(kTemplate) {}
  void DoDataExchange() override {
    for (int i = 0; i < 5; ++i) {
      BindControl(1009 + i, knobs[i]);
    }
  }
  CKnob knobs[5];
};

// The shared bitmaps, as the first knob of the program loads them.
void LoadKnobBitmaps() {
  TestApp();
  CKnob knob;
}

// The first knob of the program loads both bitmaps. It must meet a program without knobs: CTest
// runs each test in a process of its own.
TEST(KnobBitmapsTest, FirstKnobLoadsTheSharedBitmapsFromTheResources) {
  TestApp();
  EXPECT_FALSE(g_knobBitmapsLoaded);
  EXPECT_FALSE(g_knobStrip.IsLoaded());
  {
    CKnob first;
    CKnob second;
  }
  EXPECT_TRUE(g_knobBitmapsLoaded);
  ASSERT_TRUE(g_knobStrip.IsLoaded());
  ASSERT_TRUE(g_digitGlyphs.IsLoaded());
  EXPECT_EQ(g_knobStrip.Width(), 2048);
  EXPECT_EQ(g_knobStrip.Height(), 32);
  EXPECT_EQ(g_digitGlyphs.Width(), 96);
  EXPECT_EQ(g_digitGlyphs.Height(), 12);
  ASSERT_TRUE(g_litDigitGlyphs.IsLoaded());
  EXPECT_EQ(g_litDigitGlyphs.Image().size(), g_digitGlyphs.Image().size());
  // Every bitmap also comes drawn at two and three times the size for denser screens.
  for (int id : {CKnob::kKnobStripId, CKnob::kDigitGlyphsId, CKnob::kLitDigitGlyphsId}) {
    const QImage normal(CRasterImage::ResourcePath(id));
    for (int scale = 1; scale <= CRasterImage::kMaxScale; ++scale) {
      const QImage stored(CRasterImage::ResourcePath(id, scale));
      EXPECT_EQ(stored.format(), QImage::Format_Indexed8) << id << "@" << scale;
      EXPECT_LE(stored.colorCount(), 256) << id << "@" << scale;
      EXPECT_EQ(stored.size(), normal.size() * scale) << id << "@" << scale;
    }
  }
  CIcon icon;
  ASSERT_TRUE(icon.LoadResource(128));
  EXPECT_EQ(icon.Icon().availableSizes().size(), std::size(CIcon::kSizes));
}

TEST(KnobBitmapsTest, DrawingPicksTheLeastDenseCopyAtLeastAsDenseAsTheScreen) {
  LoadKnobBitmaps();
  const std::pair<double, int> cases[] = {{1.0, 1}, {1.25, 2}, {1.5, 2}, {2.0, 2}, {2.5, 3}, {3.0, 3}, {4.0, 3}};
  for (auto [ratio, expected] : cases) {
    int scale = 0;
    const QImage& image = g_knobStrip.ImageFor(ratio, &scale);
    EXPECT_EQ(scale, expected) << ratio;
    EXPECT_EQ(image.size(), g_knobStrip.Image().size() * expected) << ratio;
  }
  // A bitmap handed over at one density is drawn from that copy on every screen.
  CRasterImage single;
  single.SetImage(g_digitGlyphs.Image());
  int scale = 0;
  EXPECT_EQ(single.ImageFor(2.0, &scale).size(), g_digitGlyphs.Image().size());
  EXPECT_EQ(scale, 1);
}

TEST(KnobBitmapsTest, MarkerTurnsClockwiseFromSevenToFiveOClock) {
  LoadKnobBitmaps();
  const QImage& strip = g_knobStrip.Image();
  double previous = -1000.0;
  for (int frame = 0; frame < 64; ++frame) {
    double sx = 0.0, sy = 0.0, n = 0.0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const QRgb p = strip.pixel(32 * frame + x, y);
        if (qRed(p) > 150 && qGreen(p) < 100) {
          sx += x + 0.5;
          sy += y + 0.5;
          n += 1.0;
        }
      }
    }
    ASSERT_GT(n, 3.0) << frame;
    const double degrees = std::atan2(sx / n - 16.0, -(sy / n - 16.0)) * 180.0 / M_PI;
    EXPECT_GT(degrees, previous) << frame;
    previous = degrees;
    if (frame == 0) {
      EXPECT_NEAR(degrees, -150.0, 8.0);  // seven o'clock
    } else if (frame == 31) {
      EXPECT_NEAR(degrees, 0.0, 8.0);
    } else if (frame == 62) {
      EXPECT_NEAR(degrees, 150.0, 8.0);  // five o'clock
    }
  }
}

TEST(KnobBitmapsTest, GlyphsAreBlankDigitsAndMinusInOrder) {
  LoadKnobBitmaps();
  // Dark pixels per glyph: segments of 4 pixels across and 3 down.
  const int expected[12] = {0, 20, 6, 18, 18, 13, 18, 21, 10, 24, 21, 4};
  const QImage& glyphs = g_digitGlyphs.Image();
  for (int g = 0; g < 12; ++g) {
    int dark = 0;
    for (int y = 0; y < 12; ++y) {
      for (int x = 0; x < 8; ++x) {
        dark += qGray(glyphs.pixel(8 * g + x, y)) < 80;
      }
    }
    EXPECT_EQ(dark, expected[g]) << "glyph " << g;
  }
  // The ground is pale and greener than it is red or blue.
  const QRgb ground = glyphs.pixel(0, 6);
  EXPECT_GT(qGray(ground), 150);
  EXPECT_GT(qGreen(ground), qRed(ground));
  EXPECT_GT(qGreen(ground), qBlue(ground));
}

class KnobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    g_reports.clear();
    g_knobCallback = nullptr;
  }
  void TearDown() override { g_knobCallback = nullptr; }
};

TEST_F(KnobTest, NewKnobTakesTheDefaultRangeAndTheSlotsCallback) {
  CKnob silent;
  EXPECT_EQ(silent.GetMin(), -127);
  EXPECT_EQ(silent.GetMax(), 127);
  EXPECT_EQ(silent.GetValue(), 0);
  EXPECT_EQ(silent.GetCallback(), nullptr);
  EXPECT_FALSE(silent.IsDragging());
  g_knobCallback = Record;
  CKnob reporting;
  EXPECT_EQ(reporting.GetCallback(), &Record);
  EXPECT_EQ(silent.GetCallback(), nullptr);  // copies, not a reference to the slot
}

TEST_F(KnobTest, SetRangeAppliesOnlyValidRangesButAlwaysCopiesTheCallback) {
  struct Case {
    int min, max, v;
    int expectMin, expectMax, expectValue;
  };
  const Case cases[] = {
      {0, 100, 150, 0, 100, 100},  {1, 500, 0, 1, 500, 1},    {-48, 48, -3, -48, 48, -3},
      {5, 5, 9, -127, 127, 0},     {10, 0, 3, -127, 127, 0},  {-128, 127, -128, -128, 127, -128},
      {0, 1000, 1000, 0, 1000, 1000},
  };
  for (const Case& c : cases) {
    g_knobCallback = nullptr;
    CKnob knob;
    g_knobCallback = Record;
    knob.SetRange(c.min, c.max, c.v);
    EXPECT_EQ(knob.GetMin(), c.expectMin) << c.min << ".." << c.max;
    EXPECT_EQ(knob.GetMax(), c.expectMax) << c.min << ".." << c.max;
    EXPECT_EQ(knob.GetValue(), c.expectValue) << c.min << ".." << c.max;
    EXPECT_EQ(knob.GetCallback(), &Record) << c.min << ".." << c.max;
  }
  EXPECT_TRUE(g_reports.empty());

  CKnob knob;
  knob.SetRange(0, 100, 50);
  for (auto [in, out] : {std::pair{-5, 0}, {101, 100}, {37, 37}, {INT_MIN, 0}, {INT_MAX, 100}}) {
    knob.SetValue(in);
    EXPECT_EQ(knob.GetValue(), out) << in;
  }
  EXPECT_TRUE(g_reports.empty());
}

TEST_F(KnobTest, FrameRunsFromZeroAtTheMinimumToSixtyTwoAtTheMaximum) {
  struct Case {
    int min, max, maxFrame;
  };
  const Case cases[] = {{0, 96, 62},     {-48, 48, 62},  {1, 200, 62},   {0, 100, 62},
                        {-100, 100, 62}, {1, 500, 62},   {0, 1000, 62},  {1, 255, 62},
                        {-128, 127, 62}, {0, 255, 62},   {0, 10, 57},    {INT_MIN, INT_MAX, 62}};
  CKnob knob;
  for (const Case& c : cases) {
    knob.SetRange(c.min, c.max, c.min);
    EXPECT_EQ(knob.FrameIndex(), 0) << c.min << ".." << c.max;
    knob.SetValue(c.max);
    EXPECT_EQ(knob.FrameIndex(), c.maxFrame) << c.min << ".." << c.max;
  }
  knob.SetRange(0, 100, 50);
  EXPECT_EQ(knob.FrameIndex(), 31);  // 50 * 63 / 101 = 31.2
}

TEST_F(KnobTest, ReadoutIsRightAlignedWithTheMinusBesideTheHighestDigit) {
  struct Case {
    int value;
    int glyphs[4];  // left to right: 0 blank, 1..10 digits 0..9, 11 minus
  };
  const Case cases[] = {
      {5, {0, 0, 0, 6}},      {-5, {0, 0, 11, 6}},     {-127, {11, 2, 3, 8}}, {1000, {2, 1, 1, 1}},
      {-128, {11, 2, 3, 9}},  {0, {0, 0, 0, 1}},       {40, {0, 0, 5, 1}},    {-48, {0, 11, 5, 9}},
      {INT_MIN, {4, 7, 5, 9}},  // only the four lowest digits fit
  };
  CKnob knob;
  knob.SetRange(INT_MIN, INT_MAX, 0);
  for (const Case& c : cases) {
    knob.SetValue(c.value);
    int glyphs[4];
    knob.ReadoutGlyphs(glyphs);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(glyphs[i], c.glyphs[i]) << c.value << " cell " << i;
    }
  }
}

class KnobDialogTest : public KnobTest {
 protected:
  void SetUp() override {
    KnobTest::SetUp();
    g_knobCallback = Record;
    ASSERT_TRUE(dialog.Create());
    dialog.ShowWindow(kShowNormal);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.GetWidget()));
  }

  // A mouse move as the control hands it on, in the knob's own coordinates.
  static void Move(CKnob& knob, bool held, int y, WParam more = 0) {
    knob.WindowProc(kMsgMouseMove, (held ? kMouseLeftButton : 0) | more, MakeMouseLParam(5, y));
  }

  QImage Grab(int id) {
    QWidget* control = dialog.GetDlgItem(id);
    QCoreApplication::processEvents();
    return control->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  CKnobDialog dialog;
};

TEST_F(KnobDialogTest, DragFollowsTheRuleAndReportsEveryStep) {
  CKnob& knob = dialog.knobs[0];
  knob.SetRange(0, 100, 50);
  struct Step {
    bool held;
    int y;
    int value;
    bool reported;
  };
  const Step steps[] = {
      {true, 100, 50, false},   // the first move of a drag only notes where it started
      {true, 97, 51, true},     // 3 up: 303 / 256 = 1
      {true, 103, 49, true},    // 3 down: -303 / 256 = -1, truncated toward zero
      {true, 99, 50, true},     // 1 up: 101 / 256 = 0, reported all the same
      {true, 90, 53, true},     // always from the start: 1010 / 256 = 3
      {true, -300, 100, true},  // far above the knob: clamped
      {true, -400, 100, true},  // further up at the limit: still reported
      {false, -400, 100, false},
      {true, 60, 100, false},   // a new drag starts here
      {true, 316, 0, true},     // down 256: a whole sweep
      {true, 60, 100, true},
  };
  for (const Step& s : steps) {
    const std::size_t before = g_reports.size();
    Move(knob, s.held, s.y);
    EXPECT_EQ(knob.GetValue(), s.value) << "y " << s.y;
    ASSERT_EQ(g_reports.size(), before + (s.reported ? 1 : 0)) << "y " << s.y;
    if (s.reported) {
      EXPECT_EQ(g_reports.back(), std::make_pair(1009, s.value)) << "y " << s.y;
    }
  }
}

// Wheel turns over a knob without focus, keys with focus, and double clicks, as the window system
// delivers them: each change is reported exactly once and nothing beyond the limits is reported.
TEST_F(KnobDialogTest, WheelKeysAndDoubleClickStepWithinTheRange) {
  CKnob& knob = dialog.knobs[2];
  knob.Describe(&kVoiceParams[kAmpSustain]);  // 0..1000 ms, default 200
  knob.SetRange(0, 1000, 200);
  QWidget* control = dialog.GetDlgItem(1011);
  QWidget* other = dialog.GetDlgItem(1009);
  QWindow* window = dialog.GetWidget()->windowHandle();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  other->setFocus();
  const auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
    const QPointF at(10, 20);
    QWheelEvent event(at, control->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(control, &event);
  };
  const auto key = [&](Qt::Key k) {
    control->setFocus();
    QTest::keyClick(window, k);
  };
  const auto doubleClick = [&] {
    QTest::mouseDClick(window, Qt::LeftButton, Qt::NoModifier, control->mapTo(dialog.GetWidget(), QPoint(10, 20)));
  };
  struct Step {
    const char* gesture;
    std::function<void()> act;
    int value;
    bool reported;
  };
  const Step steps[] = {
      {"wheel up", [&] { wheel(120, Qt::NoModifier); }, 201, true},
      {"wheel down", [&] { wheel(-120, Qt::NoModifier); }, 200, true},
      {"Shift-wheel up", [&] { wheel(120, Qt::ShiftModifier); }, 210, true},
      {"half a notch", [&] { wheel(60, Qt::NoModifier); }, 210, false},
      {"the other half", [&] { wheel(60, Qt::NoModifier); }, 211, true},
      {"two notches at once", [&] { wheel(240, Qt::NoModifier); }, 213, true},
      {"Up", [&] { key(Qt::Key_Up); }, 214, true},
      {"Right", [&] { key(Qt::Key_Right); }, 215, true},
      {"Down", [&] { key(Qt::Key_Down); }, 214, true},
      {"Left", [&] { key(Qt::Key_Left); }, 213, true},
      {"Page Up", [&] { key(Qt::Key_PageUp); }, 223, true},
      {"Page Down", [&] { key(Qt::Key_PageDown); }, 213, true},
      {"End", [&] { key(Qt::Key_End); }, 1000, true},
      {"End at the top", [&] { key(Qt::Key_End); }, 1000, false},
      {"wheel up at the top", [&] { wheel(120, Qt::NoModifier); }, 1000, false},
      {"Shift-wheel down near the top", [&] { wheel(-120, Qt::ShiftModifier); }, 990, true},
      {"Home", [&] { key(Qt::Key_Home); }, 0, true},
      {"Page Down at the bottom", [&] { key(Qt::Key_PageDown); }, 0, false},
      {"Shift-wheel down at the bottom", [&] { wheel(-120, Qt::ShiftModifier); }, 0, false},
      {"double click", doubleClick, 200, true},
      {"double click at the default", doubleClick, 200, false},
  };
  for (const Step& s : steps) {
    g_reports.clear();
    s.act();
    EXPECT_EQ(knob.GetValue(), s.value) << s.gesture;
    ASSERT_EQ(g_reports.size(), s.reported ? 1u : 0u) << s.gesture;
    if (s.reported) {
      EXPECT_EQ(g_reports.back(), std::make_pair(1011, s.value)) << s.gesture;
    }
  }
  // Other keys pass the focused knob by on their way to the dialog; the arrows stay with it.
  std::vector<int> reachedDialog;
  class CKeyWatch : public QObject {
   public:
    explicit CKeyWatch(std::vector<int>& keys) : keys(keys) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::KeyPress) {
        keys.push_back(static_cast<QKeyEvent*>(event)->key());
      }
      return false;
    }
    std::vector<int>& keys;
  } watch(reachedDialog);
  dialog.GetWidget()->installEventFilter(&watch);
  control->setFocus();
  for (Qt::Key k : {Qt::Key_A, Qt::Key_Up, Qt::Key_W, Qt::Key_PageDown, Qt::Key_Z}) {
    QTest::keyClick(window, k);
  }
  dialog.GetWidget()->removeEventFilter(&watch);
  EXPECT_EQ(reachedDialog, (std::vector<int>{Qt::Key_A, Qt::Key_W, Qt::Key_Z}));
  EXPECT_EQ(knob.GetValue(), 191);
  // A knob no panel has described has no default to go back to and no tooltip.
  CKnob& bare = dialog.knobs[0];
  bare.SetRange(0, 100, 40);
  g_reports.clear();
  bare.WindowProc(kMsgLeftButtonDoubleClick, kMouseLeftButton, MakeMouseLParam(5, 5));
  EXPECT_EQ(bare.GetValue(), 40);
  EXPECT_TRUE(g_reports.empty());
  EXPECT_EQ(bare.ToolTipText(), "");
}

TEST_F(KnobDialogTest, ShiftDragMovesAtAQuarterOfTheSpeed) {
  CKnob& knob = dialog.knobs[3];
  knob.SetRange(0, 100, 50);
  struct Step {
    bool shift;
    int y;
    int value;
  };
  const Step steps[] = {
      {true, 100, 50},  // the start
      {true, 88, 51},   // 12 up: 1212 / 1024 = 1
      {true, 60, 53},   // 40 up: 4040 / 1024 = 3
      {false, 60, 53},  // Shift let go: carries on from here at the normal speed
      {false, 50, 56},  // 10 up: 1010 / 256 = 3
      {true, 50, 56},   // Shift again
      {true, -1000, 100},
  };
  for (const Step& s : steps) {
    Move(knob, true, s.y, s.shift ? kMouseShift : 0);
    EXPECT_EQ(knob.GetValue(), s.value) << s.y;
  }
  EXPECT_EQ(g_reports.size(), std::size(steps) - 1);
}

TEST_F(KnobDialogTest, AReleaseWithoutAMoveLeavesTheDragRunning) {
  CKnob& knob = dialog.knobs[1];
  knob.SetRange(0, 96, 10);
  Move(knob, true, 50);
  Move(knob, true, 42);  // 8 up: 776 / 256 = 3
  EXPECT_EQ(knob.GetValue(), 13);
  // The button comes up and goes down again with no move in between: the old drag goes on.
  EXPECT_TRUE(knob.IsDragging());
  Move(knob, true, 30);  // 20 up from the old start: 1940 / 256 = 7
  EXPECT_EQ(knob.GetValue(), 17);
  EXPECT_EQ(g_reports.size(), 2u);
}

TEST_F(KnobDialogTest, SweepTakes256PixelsOnEveryRange) {
  struct Case {
    int min, max, pixelsUp, value;
  };
  const Case cases[] = {
      {0, 96, 4, 1},    {0, 96, 3, 1},       {0, 96, 2, 0},       {0, 96, 256, 96},
      {-128, 127, 1, -127}, {0, 1000, 1, 3}, {0, 1000, 255, 997}, {1, 500, 256, 500},
  };
  CKnob& knob = dialog.knobs[2];
  for (const Case& c : cases) {
    knob.SetRange(c.min, c.max, c.min);
    Move(knob, false, 0);
    Move(knob, true, 300);
    Move(knob, true, 300 - c.pixelsUp);
    EXPECT_EQ(knob.GetValue(), c.value) << c.min << ".." << c.max << " up " << c.pixelsUp;
  }
}

TEST_F(KnobDialogTest, AKnobWithoutCallbackStillMovesAndRedraws) {
  g_knobCallback = nullptr;
  CKnob& knob = dialog.knobs[3];
  knob.SetRange(0, 100, 0);
  const QImage before = Grab(1012);
  Move(knob, true, 200);
  Move(knob, true, 0);
  EXPECT_EQ(knob.GetValue(), 78);  // 200 * 101 / 256
  EXPECT_TRUE(g_reports.empty());
  EXPECT_NE(Grab(1012), before);
  // Extreme limits neither overflow nor leave the range.
  knob.SetRange(INT_MIN, INT_MAX, 0);
  Move(knob, false, 0);
  Move(knob, true, 0);
  Move(knob, true, -30000);
  EXPECT_EQ(knob.GetValue(), INT_MAX);
  Move(knob, true, 30000);
  EXPECT_EQ(knob.GetValue(), INT_MIN);
  EXPECT_EQ(knob.FrameIndex(), 0);
}

TEST_F(KnobDialogTest, RealMouseDragsThroughTheWindow) {
  CKnob& knob = dialog.knobs[4];
  knob.SetRange(0, 100, 20);
  QWidget* control = dialog.GetDlgItem(1013);
  QWindow* window = dialog.GetWidget()->windowHandle();
  const QPoint origin = control->mapTo(dialog.GetWidget(), QPoint(10, 20));
  QTest::mouseMove(window, origin);
  QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, origin);
  QTest::mouseMove(window, origin + QPoint(0, -1));  // the drag starts at the first move
  QTest::mouseMove(window, origin + QPoint(30, -65));  // outside the knob, up 64 from the start
  EXPECT_EQ(knob.GetValue(), 20 + 64 * 101 / 256);
  ASSERT_FALSE(g_reports.empty());
  EXPECT_EQ(g_reports.back(), std::make_pair(1013, knob.GetValue()));
  QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, origin + QPoint(30, -65));
  QTest::mouseMove(window, origin);
  EXPECT_FALSE(knob.IsDragging());
}

TEST_F(KnobDialogTest, DrawItemCopiesTheFrameTheCellsAndTheLabel) {
  struct Case {
    int knob, min, max, value;
  };
  const Case cases[] = {{0, 1, 500, 1},     {1, 0, 1000, 1000}, {2, -128, 127, -128},
                        {3, 0, 100, 0},     {4, -48, 48, -5},   {2, -128, 127, 127}};
  const QImage& strip = g_knobStrip.Image();
  const QImage& glyphs = g_digitGlyphs.Image();
  const QRgb background = dialog.GetWidget()->palette().color(QPalette::Window).rgb();
  const QRgb text = QColor::fromRgb(GetSysColor(SystemColor::kWindowText)).rgb();
  for (const Case& c : cases) {
    CKnob& knob = dialog.knobs[c.knob];
    knob.SetRange(c.min, c.max, c.value);
    const QImage shot = Grab(1009 + c.knob);
    ASSERT_EQ(shot.size(), QSize(38, 57));
    const int frame = knob.FrameIndex();
    if (c.value == c.min || c.value == c.max) {
      EXPECT_EQ(frame, c.value == c.min ? 0 : 62);
    }
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        ASSERT_EQ(shot.pixel(x, y), strip.pixel(32 * frame + x, y)) << c.value << " at " << x << "," << y;
      }
    }
    int cells[4];
    knob.ReadoutGlyphs(cells);
    for (int cell = 0; cell < 4; ++cell) {
      for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 8; ++x) {
          ASSERT_EQ(shot.pixel(8 * cell + x, 32 + y), glyphs.pixel(8 * cells[cell] + x, y))
              << c.value << " cell " << cell;
        }
      }
    }
    // Beside the image and the read-out the platform's background shows.
    for (int y = 0; y < 44; ++y) {
      for (int x = 32; x < 38; ++x) {
        ASSERT_EQ(shot.pixel(x, y), background) << x << "," << y;
      }
    }
    // The label sits under the read-out, centred, in the window-text colour: its strongest pixel
    // is most of the way from the background to that colour (the rest is anti-aliasing).
    int left = 38, right = -1;
    double ink = 0.0;
    auto distance = [](QRgb a, QRgb b) {
      return std::hypot(qRed(a) - qRed(b), std::hypot(qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)));
    };
    for (int y = 44; y < 57; ++y) {
      for (int x = 0; x < 38; ++x) {
        if (shot.pixel(x, y) != background) {
          left = std::min(left, x);
          right = std::max(right, x);
        }
        ink = std::max(ink, 1.0 - distance(shot.pixel(x, y), text) / distance(background, text));
      }
    }
    EXPECT_GT(ink, 0.7) << c.knob;
    EXPECT_NEAR((left + right) / 2.0, 18.5, 2.0) << c.knob;
  }
}

class CCountingKnob : public CKnob {
 public:
  void DrawItem(const DrawItemInfo& info) override {
    ++draws;
    CKnob::DrawItem(info);
  }
  int draws = 0;
};

const DialogControl kAboutLikeControls[] = {
    {-1, ControlKind::kStaticIcon, "", 11, 17, 20, 20, 0, 128},
    {1040, ControlKind::kOwnerDrawButton, "Volume", 40, 10, 25, 35, kKnobStyle},
    {1002, ControlKind::kOwnerDrawButton, "Pulse", 70, 10, 25, 35, kKnobStyle},
};
const DialogTemplate kAboutLikeTemplate{"Icon", 100, 50, kDialogCaption, kAboutLikeControls, 3};

class CCountingDialog : public CDialog {
 public:
  CCountingDialog() : CDialog(kAboutLikeTemplate) {}
  void DoDataExchange() override {
    BindControl(1040, volume);
    BindControl(1002, pulse);
  }
  CCountingKnob volume;
  CCountingKnob pulse;
};

TEST_F(KnobTest, InvalidatingTheDialogRedrawsEveryKnobAndIconsShow) {
  CCountingDialog dialog;
  ASSERT_TRUE(dialog.Create());
  dialog.ShowWindow(kShowNormal);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.GetWidget()));
  QTest::qWait(30);
  dialog.volume.draws = 0;
  dialog.pulse.draws = 0;
  dialog.volume.SetValue(40);  // no redraw of its own
  QTest::qWait(30);
  EXPECT_EQ(dialog.volume.draws, 0);
  dialog.InvalidateRect(nullptr, true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.volume.draws > 0 && dialog.pulse.draws > 0; }, 2000));

  // A drag step redraws its knob, callback or not.
  ASSERT_EQ(dialog.pulse.GetCallback(), nullptr);
  dialog.pulse.draws = 0;
  dialog.pulse.WindowProc(kMsgMouseMove, kMouseLeftButton, MakeMouseLParam(0, 10));
  dialog.pulse.WindowProc(kMsgMouseMove, kMouseLeftButton, MakeMouseLParam(0, 0));
  EXPECT_EQ(dialog.pulse.GetValue(), 9);  // 10 * 255 / 256 from 0 on -127..127
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.pulse.draws > 0; }, 2000));

  auto* icon = qobject_cast<QLabel*>(dialog.GetDlgItem(-1));
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  EXPECT_EQ(icon->geometry(), QRect(17, 28, 32, 32));  // the icon's size, not the rectangle's
}

// Not compared with anything: a picture for people, kept by the build as an artefact.
TEST_F(KnobDialogTest, WritesAPictureOfKnobsAcrossTheirRanges) {
  const int ranges[5][3] = {{1, 500, 1}, {1, 500, 125}, {0, 1000, 500}, {0, 100, 75}, {0, 1000, 1000}};
  for (int i = 0; i < 5; ++i) {
    dialog.knobs[i].SetRange(ranges[i][0], ranges[i][1], ranges[i][2]);
  }
  QCoreApplication::processEvents();
  const QImage picture = dialog.GetWidget()->grab().toImage();
  EXPECT_TRUE(picture.save(QStringLiteral(QUEMBREL_ARTIFACT_DIR "/knobs-dialog.png")));

  // A 0..100 knob and a -128..127 knob from minimum to maximum, on one sheet, as the docs show it.
  QImage sheet(9 * 40 + 4, 2 * 60 + 4, QImage::Format_RGB32);
  sheet.fill(dialog.GetWidget()->palette().color(QPalette::Window));
  const int values[2][9] = {{0, 12, 25, 37, 50, 62, 75, 87, 100}, {-128, -96, -64, -32, 0, 32, 64, 96, 127}};
  QWidget* control = dialog.GetDlgItem(1009);
  for (int row = 0; row < 2; ++row) {
    dialog.knobs[0].SetWindowText(row == 0 ? "Pulse" : "Env");
    for (int i = 0; i < 9; ++i) {
      dialog.knobs[0].SetRange(row == 0 ? 0 : -128, row == 0 ? 100 : 127, values[row][i]);
      control->repaint();
      control->render(&sheet, QPoint(4 + 40 * i, 4 + 60 * row));
    }
  }
  EXPECT_TRUE(sheet.save(QStringLiteral(QUEMBREL_ARTIFACT_DIR "/knobs.png")));
}

}  // namespace
