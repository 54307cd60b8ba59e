// What the panel tests share: the program started once per test process as the application would
// start it (CTest runs every test in a process of its own, so each test meets a fresh program), on the offscreen platform with the scripted sound layer in place of a sound card and a
// scripted file dialog; and the user's gestures on the real widgets (knob drags as mouse moves,
// clicks, keys, close requests), so that every test goes through the same code as a user.
#pragma once

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "engine/param_info.h"
#include "engine/sound_module.h"
#include "platform/sound/audio_stream.h"
#include "platform/window/file_picker.h"
#include "platform/window/owner_draw_button.h"
#include "platform/sound/sound_fake_layer.h"
#include "tests/platform/window/test_app.h"
#include "ui/knob.h"
#include "ui/riff_panel.h"
#include "ui/synth_panel.h"

// The file dialog's stand-in: answers from a queue (an empty answer is Cancel) and keeps every
// request it saw.
struct ScriptedFileDialog {
  static std::deque<std::string>& Answers() {
    static std::deque<std::string> answers;
    return answers;
  }
  static std::vector<FilePickerRequest>& Requests() {
    static std::vector<FilePickerRequest> requests;
    return requests;
  }
  // From then on the real dialog answers, as for a user.
  static bool& ShowsRealDialog() {
    static bool real = false;
    return real;
  }
  static bool Run(const FilePickerRequest& request, std::string& path) {
    if (ShowsRealDialog()) return CFilePicker::ShowDialog(request, path);
    Requests().push_back(request);
    if (Answers().empty()) {
      return false;
    }
    path = Answers().front();
    Answers().pop_front();
    return !path.empty();
  }
};

// Answers every message box shown while it lives, as a user who reads it and presses OK, and keeps
// their texts. It finds them through the widget tree, as any box the program might show.
class MessageBoxReader {
 public:
  MessageBoxReader() {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box != nullptr && box->isVisible()) {
          texts.push_back(box->text().toStdString());
          box->accept();
        }
      }
    });
    timer.start(5);
  }
  std::vector<std::string> texts;

 private:
  QTimer timer;
};

inline CFakeSoundLayer& FakeSound() {
  static CFakeSoundLayer* layer = new CFakeSoundLayer();
  return *layer;
}

// Without an audio thread nobody would answer the stream's stop at exit, so a stream still open
// then is stopped with a stand-in thread that runs the passes until the stop is acknowledged.
inline void StopManualStream() {
  if (FakeSound().Count(FakeSoundOp::kReleaseDevice) == FakeSound().Count(FakeSoundOp::kOpenDevice)) {
    return;
  }
  std::thread audio([] {
    while (g_audioStream.FillBuffer()) {
    }
  });
  g_audioStream.Stop();
  audio.join();
}

// The output the test program's panels start, switch and stop, as the application's would be.
inline COutputSwitch& ProgramOutput() {
  static COutputSwitch* output = new COutputSwitch();
  return *output;
}

// The synth panel after its start-up, made once per process. The sound layer runs no audio thread
// unless a test asks for one before the first call; a test then drives the passes itself.
inline CSynthPanel& StartProgram(FakeThreadMode threadMode = FakeThreadMode::kManual) {
  static CSynthPanel* panel = [threadMode] {
    TestApp();
    if (threadMode == FakeThreadMode::kManual) {
      std::atexit(&StopManualStream);
    }
    FakeSound().SetThreadMode(threadMode);
    g_audioStream.SetSoundLayer(&FakeSound());
    auto* created = new CSynthPanel(PanelServices{&ProgramOutput(), OutputMode::kClassic, &ScriptedFileDialog::Run, nullptr, {}, {}});
    created->Create();
    return created;
  }();
  return *panel;
}

// A fresh folder of this process's own: tests of one program may run side by side.
inline std::filesystem::path TestFolder(const char* name) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / (std::string(name) + "_" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// Writes a parameter file byte by byte rather than through the modules' SaveParams: a
// little-endian 16-bit count, then the values.
inline void WriteParamFile(const std::string& path, const std::vector<ParamValue>& values) {
  std::ofstream out(path, std::ios::binary);
  const auto put = [&out](ParamValue v) {
    const auto u = static_cast<std::uint16_t>(v);
    out.put(static_cast<char>(u & 0xFF));
    out.put(static_cast<char>(u >> 8));
  };
  put(static_cast<ParamValue>(values.size()));
  for (ParamValue v : values) {
    put(v);
  }
}

// Every parameter of a module's table at its default, in file order.
template <std::size_t N>
std::vector<ParamValue> DefaultValues(const ParamInfo (&table)[N]) {
  std::vector<ParamValue> values;
  for (const ParamInfo& info : table) {
    values.push_back(info.defaultValue);
  }
  return values;
}

inline CKnob* KnobOf(const CDialog& dialog, int id) {
  auto* control = qobject_cast<COwnerDrawButton*>(dialog.GetDlgItem(id));
  return control != nullptr ? dynamic_cast<CKnob*>(control->Owner()) : nullptr;
}

inline void SendMove(QWidget* widget, int y, Qt::MouseButtons buttons) {
  const QPointF at(10, y);
  QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

// Presses the left button on the knob, moves it `pixelsUp` up (down when negative) and lets go.
inline void DragKnob(const CDialog& dialog, int id, int pixelsUp) {
  QWidget* widget = dialog.GetDlgItem(id);
  SendMove(widget, 20, Qt::LeftButton);
  SendMove(widget, 20 - pixelsUp, Qt::LeftButton);
  SendMove(widget, 20 - pixelsUp, Qt::NoButton);
}

inline void Click(const CDialog& dialog, int id) {
  auto* button = qobject_cast<QAbstractButton*>(dialog.GetDlgItem(id));
  if (button != nullptr) {
    button->click();
  }
}

inline void PressKey(const CDialog& dialog, Qt::Key key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(dialog.GetWidget(), &press);
}

inline void RequestClose(const CDialog& dialog) {
  QCloseEvent close;
  QApplication::sendEvent(dialog.GetWidget(), &close);
}
