// A PulseAudio server for the tests, started by the test itself: either a plain PulseAudio server
// or a PipeWire graph (PipeWire, its session manager and its PulseAudio server, on a D-Bus session
// bus of their own), each with one null sink at 48000 Hz as the default sink. It runs in a runtime
// folder of its own, which the test process takes as its XDG_RUNTIME_DIR, so that the program's
// output meets this server and no other; JACK is pointed at a server name nobody uses, and no
// client may start a server by itself, so that what plays is the server the test controls.
//
// Kill ends it under whoever uses it and Start starts it again in the same folder. Record runs
// parec on the sink's monitor into a file, 16-bit mono at the sink's rate. Children end with the
// object, and with the test process (EndChildProcess and the parent-death signal, as jackd's).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "harness/jack_server.h"

class CTestPulseServer {
 public:
  enum class Kind { kPulseAudio, kPipeWire };
  static constexpr int kRate = 48000;

  explicit CTestPulseServer(Kind kind) : kind(kind) {
    char pattern[] = "/tmp/quembrel-pulse-XXXXXX";
    if (mkdtemp(pattern) != nullptr) folder = pattern;
  }
  ~CTestPulseServer() {
    StopRecording();
    Kill();
    if (!folder.empty()) std::system(("rm -rf '" + folder + "'").c_str());
  }
  CTestPulseServer(const CTestPulseServer&) = delete;
  CTestPulseServer& operator=(const CTestPulseServer&) = delete;

  // Empty when the server runs with its sink as the default, else why not.
  std::string Start() {
    using namespace std::chrono_literals;
    if (folder.empty()) return "no runtime folder";
    const std::string tool = kind == Kind::kPipeWire ? "pipewire-pulse" : "pulseaudio";
    if (std::system(("command -v " + tool + " >/dev/null && command -v parec >/dev/null && command -v pactl "
                     ">/dev/null").c_str()) != 0) {
      return tool + ", parec or pactl is not installed";
    }
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    unsetenv("PULSE_SERVER");
    // No client may start a server of its own, neither a PulseAudio one nor a JACK one.
    const std::string clientConfig = folder + "/client.conf";
    std::ofstream(clientConfig) << "autospawn = no\n";
    setenv("PULSE_CLIENTCONFIG", clientConfig.c_str(), 1);
    setenv("JACK_DEFAULT_SERVER", ("quembrel-none-" + std::to_string(getpid())).c_str(), 1);
    const std::string log = folder + "/server.log";
    if (kind == Kind::kPulseAudio) {
      server = Spawn({"pulseaudio", "--system=false", "-n", "--exit-idle-time=-1", "--daemonize=no",
                      "--load=module-native-protocol-unix",
                      "--load=module-null-sink sink_name=quembrel_test rate=48000 channels=1"},
                     log);
    } else {
      server = Spawn({"dbus-run-session", "--", "sh", "-c",
                      "pipewire & sleep 0.3; wireplumber & pipewire-pulse & wait"},
                     log);
    }
    if (server <= 0) return "the server could not be started";
    const auto end = std::chrono::steady_clock::now() + 20s;
    bool sinkLoaded = kind == Kind::kPulseAudio;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(server, &status, WNOHANG) == server) {
        server = -1;
        return tool + " exited at start (status " + std::to_string(status) + "; see " + log + ")";
      }
      if (!sinkLoaded && Quiet("pactl load-module module-null-sink sink_name=quembrel_test rate=48000 channels=1")) {
        sinkLoaded = true;
      }
      if (sinkLoaded && Quiet("pactl set-default-sink quembrel_test") &&
          Quiet("pactl info | grep -q 'Default Sink: quembrel_test'")) {
        return "";
      }
      std::this_thread::sleep_for(100ms);
    }
    return tool + " took no client within 20 s";
  }

  void Kill() {
    if (server > 0) {
      // The PipeWire graph is a process group of its own: every part of it goes.
      kill(-server, SIGKILL);
      EndChildProcess(server);
    }
    server = -1;
  }

  // Records the sink's monitor into a file until StopRecording; false when parec cannot start.
  bool Record() {
    StopRecording();
    recording = folder + "/monitor.raw";
    std::remove(recording.c_str());
    recorder = Spawn({"parec", "--device=quembrel_test.monitor", "--format=s16le", "--channels=1",
                      "--rate=48000", "--latency-msec=10", "--raw", recording},
                     folder + "/parec.log");
    return recorder > 0;
  }
  // Frames recorded so far.
  std::size_t RecordedFrames() const {
    std::ifstream in(recording, std::ios::binary | std::ios::ate);
    return in ? static_cast<std::size_t>(in.tellg()) / 2 : 0;
  }
  std::vector<std::int16_t> StopRecording() {
    std::vector<std::int16_t> samples;
    if (recorder <= 0) return samples;
    EndChildProcess(recorder);
    recorder = -1;
    std::ifstream in(recording, std::ios::binary);
    std::int16_t s = 0;
    while (in.read(reinterpret_cast<char*>(&s), 2)) samples.push_back(s);
    return samples;
  }

  const Kind kind;

 private:
  bool Quiet(const std::string& command) const { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

  // A child in a process group of its own, its output to `log`.
  static pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    if (out >= 0) {
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }

  std::string folder;
  std::string recording;
  pid_t server = -1;
  pid_t recorder = -1;
};
