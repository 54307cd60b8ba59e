// Tests of CDialog: the template's geometry in pixels, radio runs, check state, command dispatch,
// the modal and modeless life cycles, Enter, Escape, close requests and the context-menu hook.
#include "platform/window/dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "platform/window/button.h"
#include "platform/window/dialog_units.h"
#include "platform/window/icon.h"
#include "platform/window/owner_draw_button.h"
#include "tests/platform/window/test_app.h"

namespace {

constexpr unsigned kTab = kStyleTabStop;

const DialogControl kControls[] = {
    {-1, ControlKind::kGroupBox, "Main A", 5, 5, 80, 55, 0},
    {1016, ControlKind::kRadioButton, "Saw", 10, 15, 40, 10, kStyleGroup},
    {1017, ControlKind::kRadioButton, "Square", 10, 25, 40, 10, 0},
    {1018, ControlKind::kRadioButton, "Sinus", 10, 35, 40, 10, 0},
    {1002, ControlKind::kOwnerDrawButton, "Pulse", 55, 15, 25, 35, kTab},
    {1020, ControlKind::kRadioButton, "Saw", 125, 15, 40, 10, kStyleGroup},
    {1021, ControlKind::kRadioButton, "Square", 125, 25, 40, 10, 0},
    {1041, ControlKind::kCheckBox, "Detune", 55, 180, 40, 10, kTab},
    {1051, ControlKind::kCheckBox, "Cutoff", 55, 210, 40, 10, kTab | kStyleDisabled},
    {1052, ControlKind::kStaticText, "Static", 200, 175, 75, 10, 0},
    {1064, ControlKind::kPushButton, "Load", 200, 250, 40, 15, kTab},
    {1, ControlKind::kDefaultPushButton, "OK", 178, 7, 50, 14, kTab | kStyleGroup},
};
const DialogTemplate kTemplate{"KV7. \"Tessaline\"", 282, 286,
                               kDialogVisible | kDialogCaption | kDialogSystemMenu | kDialogAppWindow,
                               kControls, static_cast<int>(std::size(kControls))};
const DialogTemplate kNoCloseTemplate{"", 412, 122, kDialogCaption, kControls,
                                      static_cast<int>(std::size(kControls))};

// Records what reaches it; optionally handles the keys it is given.
class CRecordingDialog : public CDialog {
 public:
  explicit CRecordingDialog(const DialogTemplate& t = kTemplate) : CDialog(t) {}

  bool OnInitDialog() override {
    initialised = true;
    return CDialog::OnInitDialog();
  }
  bool OnCommand(WParam wParam, LParam lParam) override {
    commands.push_back(wParam);
    checkedAtCommand = IsDlgButtonChecked(LowWord(wParam));
    return CDialog::OnCommand(wParam, lParam);
  }
  bool HandleCommand(int id, int code) override {
    handled.push_back(id);
    return CDialog::HandleCommand(id, code);
  }
  bool OnKeyPress(int key) override {
    keys.push_back(key);
    return swallowKeys;
  }
  void OnClose() override {
    ++closes;
    CDialog::OnClose();
  }
  void OnContextMenu(int x, int y) override { menuAt = QPoint(x, y); }

  bool initialised = false;
  bool swallowKeys = false;
  int closes = 0;
  int checkedAtCommand = -1;
  std::vector<WParam> commands;
  std::vector<int> handled;
  std::vector<int> keys;
  QPoint menuAt;
};

QAbstractButton* Button(CDialog& dialog, int id) {
  return qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id));
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { TestApp(); }
};

TEST_F(DialogTest, DialogUnitsBecomePixelsRoundedToNearest) {
  struct Case {
    int x, y, w, h;
    Rect pixels;
  };
  const Case cases[] = {
      {55, 15, 25, 35, {83, 24, 121, 81}},    // a knob: 82.5 -> 83, 24.375 -> 24, 37.5 -> 38, 56.875 -> 57
      {10, 15, 40, 10, {15, 24, 75, 40}},     // a radio button
      {200, 250, 40, 15, {300, 406, 360, 430}},
      {1, 1, 1, 4, {2, 2, 4, 9}},             // halves round up: 1.5 -> 2, 1.625 -> 2, 6.5 -> 7
      {0, 0, 282, 286, {0, 0, 423, 465}},     // the synth panel's client area
      {0, 0, 412, 122, {0, 0, 618, 198}},     // the riff panel's
      {-1, -3, 0, 0, {-2, -5, -2, -5}},       // half away from zero below it too
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MapDialogRect(c.x, c.y, c.w, c.h), c.pixels) << c.x << "," << c.y;
  }
}

TEST_F(DialogTest, KnobRectangleHoldsImageReadoutAndLabel) {
  const Rect knob = MapDialogRect(0, 0, 25, 35);
  EXPECT_GE(knob.Width(), 32);
  const QFontMetrics metrics(DialogFont());
  EXPECT_LE(44 + metrics.height(), knob.Height());
  EXPECT_EQ(QFontInfo(DialogFont()).family(), QString::fromLatin1(kDialogFontFamily));
  // The widest knob caption, centred, stays inside the control.
  EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Release")), knob.Width());
  EXPECT_EQ(DialogFont().pixelSize(), kDialogFontPixelSize);
}

TEST_F(DialogTest, ControlsSitAtTheirTemplateRectangles) {
  CRecordingDialog dialog;
  ASSERT_TRUE(dialog.Create());
  EXPECT_TRUE(dialog.initialised);
  EXPECT_TRUE(dialog.GetWidget()->isVisible());
  EXPECT_EQ(dialog.GetWidget()->size(), QSize(423, 465));
  EXPECT_EQ(dialog.GetWindowText(), "KV7. \"Tessaline\"");
  for (const DialogControl& c : kControls) {
    QWidget* widget = dialog.GetDlgItem(c.id);
    ASSERT_NE(widget, nullptr) << c.id;
    const Rect r = MapDialogRect(c.x, c.y, c.width, c.height);
    EXPECT_EQ(widget->geometry(), QRect(r.left, r.top, r.Width(), r.Height())) << c.id;
    EXPECT_EQ(widget->isEnabled(), !(c.style & kStyleDisabled)) << c.id;
    EXPECT_EQ(CWindow::TextOf(widget), c.caption) << c.id;
  }
  EXPECT_EQ(dialog.GetDlgItem(4242), nullptr);
  EXPECT_TRUE(qobject_cast<COwnerDrawButton*>(dialog.GetDlgItem(1002))->hasMouseTracking());
  EXPECT_EQ(dialog.GetDlgItem(1002)->focusPolicy(), Qt::StrongFocus);
  EXPECT_EQ(dialog.GetDlgItem(1016)->focusPolicy(), Qt::ClickFocus);
  EXPECT_TRUE(qobject_cast<QPushButton*>(dialog.GetDlgItem(1))->isDefault());
}

TEST_F(DialogTest, RadioButtonsAreExclusiveWithinTheirRunOnly) {
  CRecordingDialog dialog;
  ASSERT_TRUE(dialog.Create());
  dialog.CheckRadioButton(1016, 1018, 1017);
  dialog.CheckRadioButton(1020, 1021, 1020);
  Button(dialog, 1018)->click();
  EXPECT_EQ(dialog.IsDlgButtonChecked(1016), kUnchecked);
  EXPECT_EQ(dialog.IsDlgButtonChecked(1017), kUnchecked);
  EXPECT_EQ(dialog.IsDlgButtonChecked(1018), kChecked);
  EXPECT_EQ(dialog.IsDlgButtonChecked(1020), kChecked);
  EXPECT_EQ(dialog.checkedAtCommand, kChecked);

  Button(dialog, 1018)->click();
  EXPECT_EQ(dialog.IsDlgButtonChecked(1018), kChecked);

  // A value a run cannot show leaves the whole run unchecked.
  dialog.CheckRadioButton(1016, 1018, 1016 + 7);
  for (int id : {1016, 1017, 1018}) {
    EXPECT_EQ(dialog.IsDlgButtonChecked(id), kUnchecked) << id;
  }
  EXPECT_EQ(dialog.IsDlgButtonChecked(1020), kChecked);
}

TEST_F(DialogTest, ClicksSendPlainCommandsAfterTheBoxHasToggled) {
  CRecordingDialog dialog;
  ASSERT_TRUE(dialog.Create());
  Button(dialog, 1041)->click();
  Button(dialog, 1064)->click();
  Button(dialog, 1051)->click();  // disabled: no command
  ASSERT_EQ(dialog.commands.size(), 2u);
  EXPECT_EQ(dialog.commands[0], WParam{1041});
  EXPECT_EQ(dialog.commands[1], WParam{1064});
  EXPECT_EQ(dialog.handled, (std::vector<int>{1041, 1064}));
  EXPECT_EQ(dialog.IsDlgButtonChecked(1041), kChecked);

  dialog.CheckDlgButton(1041, kUnchecked);
  dialog.CheckDlgButton(1051, kChecked);
  EXPECT_EQ(dialog.IsDlgButtonChecked(1041), kUnchecked);
  EXPECT_EQ(dialog.IsDlgButtonChecked(1051), kChecked);
  EXPECT_EQ(dialog.IsDlgButtonChecked(1064), kUnchecked);  // not a check box
  EXPECT_EQ(dialog.commands.size(), 2u);                    // setting states sends nothing
}

TEST_F(DialogTest, BindControlAttachesOwnerDrawnButtonsOnly) {
  CRecordingDialog dialog;
  ASSERT_TRUE(dialog.Create());
  CButton button;
  EXPECT_FALSE(dialog.BindControl(1064, button));
  EXPECT_FALSE(dialog.BindControl(4242, button));
  ASSERT_TRUE(dialog.BindControl(1002, button));
  EXPECT_EQ(button.GetDlgCtrlID(), 1002);
  EXPECT_EQ(button.GetWindowText(), "Pulse");
  auto* control = qobject_cast<COwnerDrawButton*>(dialog.GetDlgItem(1002));
  EXPECT_EQ(control->Owner(), &button);
  {
    CButton shortLived;
    ASSERT_TRUE(dialog.BindControl(1002, shortLived));
    EXPECT_EQ(button.GetWidget(), nullptr);  // a control has one object at a time
  }
  EXPECT_EQ(control->Owner(), nullptr);  // and forgets an object that has gone
  ASSERT_TRUE(dialog.BindControl(1002, button));
  dialog.DestroyWindow();
  EXPECT_EQ(button.GetWidget(), nullptr);
  EXPECT_EQ(button.GetDlgCtrlID(), 0);
}

// Runs `action` once the modal loop is serving events.
void WhenModal(std::function<void()> action) { QTimer::singleShot(0, action); }

TEST_F(DialogTest, ModalDialogEndsWithTheCommandsResult) {
  struct Case {
    const char* what;
    std::function<void(CRecordingDialog&)> act;
    bool swallowKeys;
    int result;
    std::vector<int> keys;
  };
  const std::vector<Case> cases = {
      {"OK clicked", [](CRecordingDialog& d) { Button(d, 1)->click(); }, false, kIdOk, {}},
      {"Escape", [](CRecordingDialog& d) { QTest::keyClick(d.GetWidget(), Qt::Key_Escape); },
       false, kIdCancel, {kKeyEscape}},
      {"Enter runs the default button",
       [](CRecordingDialog& d) { QTest::keyClick(d.GetWidget(), Qt::Key_Return); }, false, kIdOk,
       {kKeyEnter}},
      {"close request",
       [](CRecordingDialog& d) { d.GetWidget()->close(); }, false, kIdCancel, {}},
      {"hooked keys do nothing",
       [](CRecordingDialog& d) {
         QTest::keyClick(d.GetWidget(), Qt::Key_Escape);
         QTest::keyClick(d.GetWidget(), Qt::Key_Enter);
         d.EndDialog(77);
       },
       true, 77, {kKeyEscape, kKeyEnter}},
  };
  for (const Case& c : cases) {
    CRecordingDialog dialog;
    dialog.swallowKeys = c.swallowKeys;
    WhenModal([&] {
      EXPECT_TRUE(dialog.IsModal());
      c.act(dialog);
    });
    EXPECT_EQ(dialog.DoModal(), c.result) << c.what;
    EXPECT_EQ(dialog.keys, c.keys) << c.what;
    EXPECT_EQ(dialog.GetWidget(), nullptr) << c.what;
  }
}

TEST_F(DialogTest, CloseRequestGoesThroughOnCloseOnlyWithASystemMenu) {
  CRecordingDialog closable;
  ASSERT_TRUE(closable.Create());
  closable.GetWidget()->close();
  EXPECT_EQ(closable.closes, 1);
  EXPECT_EQ(closable.commands, (std::vector<WParam>{kIdCancel}));
  EXPECT_FALSE(closable.GetWidget()->isVisible());  // a modeless dialog ends by hiding

  CRecordingDialog fixed(kNoCloseTemplate);
  ASSERT_TRUE(fixed.Create());
  EXPECT_FALSE(fixed.GetWidget()->isVisible());  // not visible until shown
  fixed.ShowWindow(kShowNormal);
  EXPECT_TRUE(fixed.GetWidget()->isVisible());
  fixed.GetWidget()->close();
  EXPECT_EQ(fixed.closes, 0);
  EXPECT_TRUE(fixed.GetWidget()->isVisible());
  EXPECT_FALSE(fixed.Create());  // the window exists already
}

TEST_F(DialogTest, WindowFlagsFollowTheDialogStyle) {
  const Qt::WindowFlags main = CDialog::WindowFlags(kTemplate.style);
  EXPECT_TRUE(main & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(main & Qt::WindowTitleHint);
  EXPECT_EQ(main & Qt::WindowType_Mask, Qt::Window);
  const Qt::WindowFlags noClose = CDialog::WindowFlags(kNoCloseTemplate.style);
  EXPECT_FALSE(noClose & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(noClose & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(noClose & Qt::CustomizeWindowHint);
  EXPECT_EQ(noClose & Qt::WindowType_Mask, Qt::Dialog);
}

TEST_F(DialogTest, RightClickReachesTheContextMenuHook) {
  CRecordingDialog dialog;
  ASSERT_TRUE(dialog.Create());
  QWidget* window = dialog.GetWidget();
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(400, 440), QPoint(1400, 1440));
  QCoreApplication::sendEvent(window, &event);
  EXPECT_EQ(dialog.menuAt, QPoint(1400, 1440));
}

TEST_F(DialogTest, DestroyingTheDialogFromItsOwnHandlerIsSafe) {
  struct CSelfDestroying : CRecordingDialog {
    bool HandleCommand(int id, int code) override {
      if (id == 1064) {
        DestroyWindow();
        return true;
      }
      return CRecordingDialog::HandleCommand(id, code);
    }
  } dialog;
  ASSERT_TRUE(dialog.Create());
  QPointer<QWidget> window = dialog.GetWidget();
  Button(dialog, 1064)->click();
  EXPECT_EQ(dialog.GetWidget(), nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(window.isNull());
}

TEST_F(DialogTest, WithoutAnApplicationOrTwiceCreatedNothingBreaks) {
  CRecordingDialog dialog;
  dialog.EndDialog(5);
  dialog.CheckDlgButton(1041, kChecked);
  EXPECT_EQ(dialog.IsDlgButtonChecked(1041), kUnchecked);
  CIcon none;
  EXPECT_FALSE(none.LoadResource(9999));
  dialog.SetIcon(none, true);
  EXPECT_EQ(dialog.GetDlgItem(1041), nullptr);
}

}  // namespace
