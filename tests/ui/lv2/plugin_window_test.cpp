// The plugin window in a host that runs Qt 6 itself, as a Qt host loads it: the window uses the
// host's application object, shows what the host reports of the ports, writes what the user
// turns, two windows keep to their own instances, and opening and closing many leaves no window
// behind (LeakSanitizer, where the tests run under it, sees what memory is left).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

#include "tests/ui/lv2/plugin_window_host.h"

namespace {

constexpr int kVolumeKnob = 1040;
constexpr int kLfo1PulseBox = 1049;
constexpr int kLfo1VolumeBox = 1050;
constexpr int kNoteOn = 1007;
constexpr int kPlay = 1069;

// Kept for the process, as a host's is: Qt's own objects cannot outlive one ended at exit.
QApplication& HostApplication() {
  static int argc = 1;
  static char name[] = "qt-host";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

// The knob's tooltip, which names its parameter and the value its read-out shows.
std::string ToolTipOf(QWidget* knob) {
  QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), knob->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(knob, &help);
  return QToolTip::text().toStdString();
}

void DragDown(QWidget* knob, int pixels) {
  for (auto [y, buttons] : {std::pair{20, Qt::LeftButton}, {20 + pixels, Qt::LeftButton}, {20 + pixels, Qt::NoButton}}) {
    const QPointF at(10, y);
    QMouseEvent move(QEvent::MouseMove, at, knob->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(knob, &move);
  }
}

// The last value the window with `controller` wrote to `port`, or -1e9 for none.
float LastWrite(int controller, int port) {
  float value = -1e9f;
  for (const auto& write : CWindowLibrary::Get().writes) {
    if (write.controller == controller && static_cast<int>(write.port) == port && write.format == 0) {
      value = write.Value();
    }
  }
  return value;
}

class PluginWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostApplication();
    ASSERT_NE(CWindowLibrary::Get().Descriptor(), nullptr);
    CWindowLibrary::Get().writes.clear();
  }
};

TEST_F(PluginWindowTest, ShowsWhatTheHostSetsAndWritesWhatTheUserTurns) {
  CWindowLibrary& library = CWindowLibrary::Get();
  QWidget* window = nullptr;
  LV2UI_Handle ui = library.Open(1, &window);
  ASSERT_NE(ui, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(QCoreApplication::instance(), &HostApplication());  // the host's, not one of its own

  library.SetPort(ui, PortOf("MasterVolume"), 37.0f);
  library.SetPort(ui, PortOf("Lfo1ToPulse"), 1.0f);
  QApplication::processEvents();
  QWidget* volume = ControlOf(window, kVolumeKnob);
  ASSERT_NE(volume, nullptr);
  EXPECT_NE(ToolTipOf(volume).find(": 37"), std::string::npos) << ToolTipOf(volume);
  EXPECT_TRUE(qobject_cast<QAbstractButton*>(ControlOf(window, kLfo1PulseBox))->isChecked());

  DragDown(volume, 512);
  EXPECT_EQ(LastWrite(1, PortOf("MasterVolume")), 0.0f);
  // A target box writes the four switches of its mask: the one set by the host stays on.
  qobject_cast<QAbstractButton*>(ControlOf(window, kLfo1VolumeBox))->click();
  EXPECT_EQ(LastWrite(1, PortOf("Lfo1ToVolume")), 1.0f);
  EXPECT_EQ(LastWrite(1, PortOf("Lfo1ToPulse")), 1.0f);
  EXPECT_EQ(LastWrite(1, PortOf("Lfo1ToDetune")), 0.0f);
  qobject_cast<QAbstractButton*>(ControlOf(window, kPlay))->click();
  EXPECT_EQ(LastWrite(1, kPlayPort), 1.0f);

  qobject_cast<QAbstractButton*>(ControlOf(window, kNoteOn))->click();
  const auto& note = library.writes.back();
  ASSERT_EQ(note.port, static_cast<std::uint32_t>(kEventsPort));
  EXPECT_EQ(note.format, library.Map(LV2_ATOM__eventTransfer));
  ASSERT_EQ(note.bytes.size(), sizeof(LV2_Atom) + 3);
  const auto* atom = reinterpret_cast<const LV2_Atom*>(note.bytes.data());
  EXPECT_EQ(atom->type, library.Map(LV2_MIDI__MidiEvent));
  EXPECT_EQ(note.bytes[sizeof(LV2_Atom)], 0x90);
  EXPECT_EQ(note.bytes[sizeof(LV2_Atom) + 1], 69);
  library.Close(ui);
}

TEST_F(PluginWindowTest, TwoWindowsKeepToTheirOwnInstances) {
  CWindowLibrary& library = CWindowLibrary::Get();
  QWidget* first = nullptr;
  QWidget* second = nullptr;
  LV2UI_Handle a = library.Open(1, &first);
  LV2UI_Handle b = library.Open(2, &second);
  ASSERT_TRUE(a != nullptr && b != nullptr);
  library.SetPort(a, PortOf("MasterVolume"), 12.0f);
  QApplication::processEvents();
  EXPECT_NE(ToolTipOf(ControlOf(first, kVolumeKnob)).find(": 12"), std::string::npos);
  EXPECT_EQ(ToolTipOf(ControlOf(second, kVolumeKnob)).find(": 12"), std::string::npos);

  DragDown(ControlOf(second, kVolumeKnob), 512);
  EXPECT_EQ(LastWrite(2, PortOf("MasterVolume")), 0.0f);
  EXPECT_EQ(LastWrite(1, PortOf("MasterVolume")), -1e9f);
  EXPECT_NE(ToolTipOf(ControlOf(first, kVolumeKnob)).find(": 12"), std::string::npos);
  library.Close(a);
  library.Close(b);
}

TEST_F(PluginWindowTest, FiftyOpensAndClosesLeaveNoWindowBehind) {
  CWindowLibrary& library = CWindowLibrary::Get();
  QApplication::processEvents();
  const auto before = QApplication::allWidgets().size();
  for (int i = 0; i < 50; ++i) {
    LV2UI_Handle ui = library.Open(1, nullptr);
    ASSERT_NE(ui, nullptr) << "open " << i;
    library.SetPort(ui, PortOf("Cutoff"), static_cast<float>(i));
    QApplication::processEvents();
    library.Close(ui);
  }
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
  EXPECT_EQ(QApplication::allWidgets().size(), before);
}

}  // namespace
