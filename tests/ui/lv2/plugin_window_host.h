// What the plugin window's tests share: the window's library loaded as a host loads it, with the
// host's side of the conversation recorded (the ports written, the notes sent); a control of a
// window found by its id; a knob's read-out read back from its pixels; and an X server of the
// test's own (Xvfb) for the tests that run a real host.
#pragma once

#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "plugin/plugin_ports.h"
#include "platform/window/window.h"
#include "harness/jack_server.h"

// The port a symbol names in the plugin's port list; -1 for none.
inline int PortOf(const char* symbol) {
  for (int i = 0; i < kPluginPortCount; ++i) {
    if (std::string(kPluginPorts[i].symbol) == symbol) return i;
  }
  return -1;
}

// The plugin window's library, loaded once for the process as a host loads it.
class CWindowLibrary {
 public:
  struct Write {
    int controller;
    std::uint32_t port;
    std::uint32_t format;
    std::vector<std::uint8_t> bytes;
    float Value() const { return bytes.size() == sizeof(float) ? *reinterpret_cast<const float*>(bytes.data()) : -1e9f; }
  };

  static CWindowLibrary& Get() {
    static CWindowLibrary library;
    return library;
  }

  const LV2UI_Descriptor* Descriptor() const { return descriptor; }
  LV2_URID Map(const char* uri) {
    auto [at, added] = urids.emplace(uri, static_cast<LV2_URID>(urids.size() + 1));
    return at->second;
  }

  // A window for the host's controller number `controller`, standing alone; null when refused.
  LV2UI_Handle Open(int controller, QWidget** widget) {
    LV2UI_Widget id = nullptr;
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LV2UI_Handle handle =
        descriptor->instantiate(descriptor, kPluginUri, QUEMBREL_LV2_BUNDLE, &CWindowLibrary::Record,
                                reinterpret_cast<LV2UI_Controller>(static_cast<std::intptr_t>(controller)), &id,
                                features);
    if (widget != nullptr) *widget = handle != nullptr ? QWidget::find(reinterpret_cast<WId>(id)) : nullptr;
    return handle;
  }
  void Close(LV2UI_Handle handle) { descriptor->cleanup(handle); }
  void SetPort(LV2UI_Handle handle, int port, float value) {
    descriptor->port_event(handle, static_cast<std::uint32_t>(port), sizeof value, 0, &value);
  }

  std::vector<Write> writes;

 private:
  CWindowLibrary() {
    library = dlopen(QUEMBREL_LV2_BUNDLE "/quembrel_ui.so", RTLD_NOW | RTLD_LOCAL);
    auto entry = library != nullptr ? reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"))
                                    : nullptr;
    descriptor = entry != nullptr ? entry(0) : nullptr;
    map = {this, [](LV2_URID_Map_Handle self, const char* uri) { return static_cast<CWindowLibrary*>(self)->Map(uri); }};
    mapFeature = {LV2_URID__map, &map};
  }
  static void Record(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    Get().writes.push_back({static_cast<int>(reinterpret_cast<std::intptr_t>(controller)), port, format,
                            std::vector<std::uint8_t>(bytes, bytes + size)});
  }

  void* library = nullptr;
  const LV2UI_Descriptor* descriptor = nullptr;
  std::map<std::string, LV2_URID> urids;
  LV2_URID_Map map{};
  LV2_Feature mapFeature{};
};

// The control with `id` in a window, or null; the synth panel's ids and the riff panel's do not
// overlap except for the riff panel's step knobs, so a caller after one of those names the panel.
inline QWidget* ControlOf(QWidget* window, int id, int nth = 0) {
  for (QWidget* child : window->findChildren<QWidget*>()) {
    if (CWindow::ControlId(child) == id && nth-- == 0) return child;
  }
  return nullptr;
}

// The number a knob's four-cell read-out shows in `knob` (the knob's pixels from its top left),
// read glyph by glyph against the program's digit glyphs; INT_MIN when a cell matches none.
inline int ReadoutValue(const QImage& knob, const QImage& glyphs) {
  constexpr int kTop = 32, kWidth = 8, kHeight = 12;
  int value = 0;
  bool negative = false;
  for (int cell = 0; cell < 4; ++cell) {
    int match = -1;
    for (int glyph = 0; glyph < 12 && match < 0; ++glyph) {
      bool same = true;
      for (int y = 0; y < kHeight && same; ++y) {
        for (int x = 0; x < kWidth && same; ++x) {
          same = (knob.pixel(cell * kWidth + x, kTop + y) & 0xFFFFFF) == (glyphs.pixel(glyph * kWidth + x, y) & 0xFFFFFF);
        }
      }
      if (same) match = glyph;
    }
    if (match < 0) return INT_MIN;
    if (match == 11) negative = true;
    if (match >= 1 && match <= 10) value = value * 10 + (match - 1);
  }
  return negative ? -value : value;
}

// An X server of the test's own, on a display number no other server holds, ended with the test.
class CTestXServer {
 public:
  CTestXServer() {
    using namespace std::chrono_literals;
    for (int number = 100 + getpid() % 400, tries = 0; tries < 50 && display.empty(); ++number, ++tries) {
      if (access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0) continue;
      const std::string name = ":" + std::to_string(number);
      pid = fork();
      if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      // The server is up once its socket is there; one that exits lost the number to another.
      const auto end = std::chrono::steady_clock::now() + 10s;
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
      while (std::chrono::steady_clock::now() < end && waitpid(pid, nullptr, WNOHANG) == 0) {
        if (access(socket.c_str(), F_OK) == 0) {
          display = name;
          break;
        }
        std::this_thread::sleep_for(20ms);
      }
      if (display.empty()) EndChildProcess(pid);
    }
  }
  ~CTestXServer() { EndChildProcess(pid); }
  CTestXServer(const CTestXServer&) = delete;
  CTestXServer& operator=(const CTestXServer&) = delete;

  // ":N", or empty when no server started.
  const std::string& Display() const { return display; }

 private:
  pid_t pid = -1;
  std::string display;
};
