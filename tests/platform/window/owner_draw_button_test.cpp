// Tests of COwnerDrawButton with its CButton: the mouse-move messages it hands on (flags, signed
// positions, moves without a button, moves outside while the button is held), the push button's
// own processing when the object passes a move on, and the draw-item record.
#include "platform/window/owner_draw_button.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWindow>
#include <memory>
#include <vector>

#include "platform/window/button.h"
#include "platform/window/message.h"
#include "tests/platform/window/test_app.h"

namespace {

struct Move {
  WParam flags;
  int x;
  int y;
};

class CRecordingButton : public CButton {
 public:
  LResult WindowProc(unsigned message, WParam wParam, LParam lParam) override {
    if (message == kMsgMouseMove) {
      moves.push_back(Move{wParam, MouseX(lParam), MouseY(lParam)});
    }
    return passOn ? CButton::WindowProc(message, wParam, lParam) : 0;
  }
  void DrawItem(const DrawItemInfo& info) override {
    ++draws;
    lastItem = info;
  }

  bool passOn = true;
  int draws = 0;
  DrawItemInfo lastItem{};
  std::vector<Move> moves;
};

TEST(MessageTest, WordsAndPositionsPackAndUnpack) {
  struct Case {
    int x, y;
  };
  for (const Case c : {Case{0, 0}, Case{5, -10}, Case{-1, 32767}, Case{-32768, 44}, Case{37, 56}}) {
    const LParam l = MakeMouseLParam(c.x, c.y);
    EXPECT_EQ(MouseX(l), c.x);
    EXPECT_EQ(MouseY(l), c.y);
  }
  EXPECT_EQ(MouseY(MakeMouseLParam(0, 65535)), -1);  // taken as a signed 16-bit number
  EXPECT_EQ(MakeWParam(1064, 0), WParam{1064});
  EXPECT_EQ(LowWord(MakeWParam(1070, 5)), 1070);
  EXPECT_EQ(HighWord(MakeWParam(1070, 5)), 5);
}

class OwnerDrawButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    top = std::make_unique<QWidget>();
    top->resize(200, 200);
    control = new COwnerDrawButton(1037, QStringLiteral("Cutoff"), top.get());
    control->setGeometry(50, 60, 38, 57);
    button.Attach(control);
    top->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(top.get()));
  }

  QWindow* Window() { return top->windowHandle(); }
  // From the control's coordinates to the window's.
  QPoint At(int x, int y) { return QPoint(50 + x, 60 + y); }

  CRecordingButton button;
  std::unique_ptr<QWidget> top;
  COwnerDrawButton* control = nullptr;
};

TEST_F(OwnerDrawButtonTest, MovesArriveWithFlagsAndSignedPositionsEvenOutside) {
  QTest::mouseMove(Window(), At(10, 10));
  QTest::mousePress(Window(), Qt::LeftButton, Qt::NoModifier, At(10, 20));
  QTest::mouseMove(Window(), At(12, 5));
  QTest::mouseMove(Window(), At(-20, -30));  // above and left of the control, button held
  QTest::mouseMove(Window(), At(100, 130));  // below and right of it
  QTest::mouseRelease(Window(), Qt::LeftButton, Qt::NoModifier, At(100, 130));
  QTest::mouseMove(Window(), At(3, 4));
  ASSERT_GE(button.moves.size(), 5u);
  const std::vector<Move>& m = button.moves;
  EXPECT_EQ(m.front().flags, WParam{0});  // tracked without a button
  EXPECT_EQ(m.front().y, 10);
  auto held = [&](int x, int y) {
    for (const Move& move : m) {
      if (move.x == x && move.y == y) {
        return move.flags == kMouseLeftButton;
      }
    }
    ADD_FAILURE() << "no move at " << x << "," << y;
    return false;
  };
  EXPECT_TRUE(held(12, 5));
  EXPECT_TRUE(held(-20, -30));
  EXPECT_TRUE(held(100, 130));
  EXPECT_EQ(m.back().flags, WParam{0});
  EXPECT_EQ(m.back().x, 3);
  EXPECT_EQ(m.back().y, 4);
}

TEST_F(OwnerDrawButtonTest, ThePushButtonSeesOnlyTheMovesPassedOn) {
  for (bool passOn : {true, false}) {
    button.passOn = passOn;
    QTest::mousePress(Window(), Qt::LeftButton, Qt::NoModifier, At(10, 10));
    ASSERT_TRUE(control->isDown());
    QTest::mouseMove(Window(), At(10, -40));
    // The push button's own handling lets go of its pressed look once the mouse leaves it.
    EXPECT_EQ(control->isDown(), !passOn) << passOn;
    QTest::mouseRelease(Window(), Qt::LeftButton, Qt::NoModifier, At(10, -40));
  }
}

TEST_F(OwnerDrawButtonTest, ClickStillNotifies) {
  int clicks = 0;
  QObject::connect(control, &QAbstractButton::clicked, [&] { ++clicks; });
  QTest::mouseClick(Window(), Qt::LeftButton, Qt::NoModifier, At(5, 5));
  EXPECT_EQ(clicks, 1);
}

TEST_F(OwnerDrawButtonTest, PaintingAsksTheObjectWithTheWholeItemRectangle) {
  control->setEnabled(false);
  control->repaint();
  ASSERT_GE(button.draws, 1);
  EXPECT_EQ(button.lastItem.controlId, 1037);
  EXPECT_EQ(button.lastItem.itemRect, (Rect{0, 0, 38, 57}));
  EXPECT_TRUE(button.lastItem.itemState & kItemDisabled);
  EXPECT_NE(button.lastItem.dc, nullptr);

  button.Detach();
  const int before = button.draws;
  control->repaint();
  QTest::mouseMove(Window(), At(1, 1));
  EXPECT_EQ(button.draws, before);
}

}  // namespace
