// The plugin window in a real GTK host: jalv.gtk3 on an X server and a JACK server of the test's
// own. The window opens inside the host's window and shows a value the host set on its command
// line; with the riff playing, dragging the volume knob to its bottom with the X server's own
// pointer silences what the plugin plays. A picture of the window is kept in the build's
// artifacts. Skips only when Xvfb, jackd or jalv.gtk3 cannot be started.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <QImage>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>

#include "platform/window/dialog_units.h"
#include "tests/ui/lv2/plugin_window_host.h"

// Last: X11's macros (None, Bool, Status) would rewrite names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

using namespace std::chrono_literals;

// The volume knob's place in the window, which holds the synth panel at its top left.
constexpr Rect kVolumeKnob = MapDialogRect(15, 70, 25, 35);

// A JACK client that keeps what arrives at its input.
class CCapture {
 public:
  static constexpr std::uint32_t kCapacity = 48000 * 30;

  explicit CCapture(const std::string& server) : samples(new float[kCapacity]) {
    jack_status_t status{};
    client = jack_client_open("quembrel-window-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                              &status, server.c_str());
    if (client == nullptr) return;
    in = jack_port_register(client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, &CCapture::Process, this);
    if (in == nullptr || jack_activate(client) != 0) Close();
  }
  ~CCapture() { Close(); }
  bool Connect(const std::string& from) { return client != nullptr && jack_connect(client, from.c_str(), jack_port_name(in)) == 0; }
  std::uint32_t Count() const { return count.load(std::memory_order_acquire); }
  std::uint32_t Rate() const { return client != nullptr ? jack_get_sample_rate(client) : 48000; }
  // The loudest sample among the `frames` before the newest.
  float PeakOfLast(std::uint32_t frames) const {
    const std::uint32_t end = Count();
    float peak = 0.0f;
    for (std::uint32_t i = end > frames ? end - frames : 0; i < end; ++i) peak = std::fmax(peak, std::fabs(samples[i]));
    return peak;
  }
  void Close() {
    if (client == nullptr) return;
    jack_deactivate(client);
    jack_client_close(client);
    client = nullptr;
  }

 private:
  static int Process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<CCapture*>(arg);
    const auto* data = static_cast<const float*>(jack_port_get_buffer(self->in, frames));
    const std::uint32_t done = self->count.load(std::memory_order_relaxed);
    const std::uint32_t n = std::min<std::uint32_t>(frames, kCapacity - done);
    std::copy(data, data + n, self->samples.get() + done);
    self->count.store(done + n, std::memory_order_release);
    return 0;
  }

  jack_client_t* client = nullptr;
  jack_port_t* in = nullptr;
  std::unique_ptr<float[]> samples;
  std::atomic<std::uint32_t> count{0};
};

// jalv.gtk3 as a child process on the test's X and JACK servers.
class CJalvGtk {
 public:
  CJalvGtk(const std::string& display, const std::string& server, const std::string& clientName,
           const std::vector<std::string>& controls) {
    pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      setenv("DISPLAY", display.c_str(), 1);
      setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
      setenv("LV2_PATH", QUEMBREL_LV2_PATH, 1);
      unsetenv("QT_QPA_PLATFORM");
      std::vector<const char*> args = {"jalv.gtk3", "-n", clientName.c_str()};
      for (const std::string& control : controls) {
        args.push_back("-c");
        args.push_back(control.c_str());
      }
      args.push_back(kPluginUri);
      args.push_back(nullptr);
      execvp("jalv.gtk3", const_cast<char* const*>(args.data()));
      _exit(127);
    }
  }
  ~CJalvGtk() { EndChildProcess(pid); }
  bool Running() const { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }

 private:
  pid_t pid = -1;
};

bool ClassIs(Display* x, Window w, const char* name) {
  XClassHint hint{};
  if (XGetClassHint(x, w, &hint) == 0) return false;
  const bool same = hint.res_name != nullptr && std::string(hint.res_name) == name;
  XFree(hint.res_name);
  XFree(hint.res_class);
  return same;
}

// The first window below `under` (itself included) whose class name is `name`, and the top-level
// window it lies in.
Window FindWindow(Display* x, Window under, const char* name, Window* topLevel, Window top = 0) {
  if (ClassIs(x, under, name)) {
    *topLevel = top;
    return under;
  }
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(x, under, &root, &parent, &children, &count) == 0) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && found == 0; ++i) {
    found = FindWindow(x, children[i], name, topLevel, under == root ? children[i] : top);
  }
  if (children != nullptr) XFree(children);
  return found;
}

QImage Grab(Display* x, int left, int top, int width, int height) {
  XImage* image = XGetImage(x, DefaultRootWindow(x), left, top, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  QImage picture(width, height, QImage::Format_RGB32);
  for (int row = 0; row < height && image != nullptr; ++row) {
    for (int col = 0; col < width; ++col) picture.setPixel(col, row, static_cast<QRgb>(XGetPixel(image, col, row)));
  }
  if (image != nullptr) XDestroyImage(image);
  return picture;
}

class JalvWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (xServer.Display().empty()) GTEST_SKIP() << "Xvfb did not start";
    const std::string why = jack.Start();
    if (!why.empty()) GTEST_SKIP() << "no JACK server: " << why;
    x = XOpenDisplay(xServer.Display().c_str());
    ASSERT_NE(x, nullptr);
    // Windows come and go while the test walks the tree: a window gone meanwhile is simply skipped.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  void TearDown() override {
    if (x != nullptr) XCloseDisplay(x);
  }

  // Starts jalv.gtk3 and waits for the plugin window to be shown inside the host's window; false
  // when it is not.
  bool OpenHost(const std::vector<std::string>& controls) {
    host = std::make_unique<CJalvGtk>(xServer.Display(), jack.name, kClient, controls);
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < end && host->Running()) {
      window = FindWindow(x, DefaultRootWindow(x), "quembrel", &topLevel);
      XWindowAttributes attributes{};
      // A window may show on its own for a moment before the host takes it in: wait until it is
      // inside another top-level window.
      if (window != 0 && topLevel != window && XGetWindowAttributes(x, window, &attributes) != 0 &&
          attributes.map_state == IsViewable) {
        width = attributes.width;
        height = attributes.height;
        // The host paints its own window around ours a moment later.
        std::this_thread::sleep_for(1s);
        Locate();
        return true;
      }
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }

  // Where the plugin window is on the screen now: the host may still be laying out its own window,
  // moving ours within it.
  void Locate() {
    Window child = 0;
    XTranslateCoordinates(x, window, DefaultRootWindow(x), 0, 0, &left, &top, &child);
  }

  static constexpr const char* kClient = "quembrel-window-test";
  CTestXServer xServer;
  CTestJackServer jack{48000, 256};
  std::unique_ptr<CJalvGtk> host;
  Display* x = nullptr;
  Window window = 0;
  Window topLevel = 0;
  int left = 0, top = 0, width = 0, height = 0;
};

TEST_F(JalvWindowTest, OpensInTheHostsWindowShowingWhatTheHostSet) {
  ASSERT_TRUE(OpenHost({"MasterVolume=37"})) << "no plugin window appeared inside the host's window";
  EXPECT_TRUE(ClassIs(x, topLevel, "jalv.gtk3")) << "the plugin window is not inside the host's";
  EXPECT_NE(topLevel, window);
  const QImage glyphs(QUEMBREL_DIGIT_GLYPHS);
  ASSERT_FALSE(glyphs.isNull());
  // A loaded machine may take a while to lay out and paint the window: the read-out is read until
  // it shows the value or the limit, which only ends a hang, passes.
  QImage shot;
  int shown = 0;
  const auto end = std::chrono::steady_clock::now() + 30s;
  for (;;) {
    Locate();
    shot = Grab(x, 0, 0, DisplayWidth(x, 0), DisplayHeight(x, 0));
    const QImage knob =
        shot.copy(left + kVolumeKnob.left, top + kVolumeKnob.top, kVolumeKnob.Width(), kVolumeKnob.Height());
    shown = ReadoutValue(knob, glyphs);
    if (shown == 37 || std::chrono::steady_clock::now() > end) break;
    std::this_thread::sleep_for(200ms);
  }
  std::filesystem::create_directories(QUEMBREL_ARTIFACT_DIR);
  shot.save(QUEMBREL_ARTIFACT_DIR "/plugin-window-jalv-gtk3.png");
  EXPECT_EQ(shown, 37);
}

TEST_F(JalvWindowTest, DraggingTheVolumeKnobToItsBottomSilencesTheRiff) {
  CCapture capture(jack.name);
  ASSERT_TRUE(OpenHost({"FollowHost=0", "Play=1"})) << "no plugin window appeared inside the host's window";
  ASSERT_TRUE(capture.Connect(std::string(kClient) + ":out"));
  const std::uint32_t second = capture.Rate();
  std::this_thread::sleep_for(2s);
  const float before = capture.PeakOfLast(second);
  EXPECT_GT(before, 0.01f) << "the riff is not heard";

  Locate();
  const int atX = left + kVolumeKnob.left + 16;
  const int atY = top + kVolumeKnob.top + 16;
  XTestFakeMotionEvent(x, -1, atX, atY, 0);
  XTestFakeButtonEvent(x, 1, True, 0);
  for (int step = 1; step <= 10; ++step) XTestFakeMotionEvent(x, -1, atX, atY + 40 * step, 10);
  XTestFakeButtonEvent(x, 1, False, 10);
  XFlush(x);
  // The host hands the port's new value to the plugin at its own pace, which a loaded machine
  // slows: the last second is looked at until it is silent or the limit, only against a hang, passes.
  float after = capture.PeakOfLast(second);
  for (const auto end = std::chrono::steady_clock::now() + 30s;
       after != 0.0f && std::chrono::steady_clock::now() < end; after = capture.PeakOfLast(second)) {
    std::this_thread::sleep_for(200ms);
  }
  std::printf("peak of the last second: %.6f before the drag, %.6f after it\n", before, after);
  EXPECT_EQ(after, 0.0f);
}

}  // namespace
