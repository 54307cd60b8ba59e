// What the tests that talk to a real JACK server share: a server of their own on the dummy driver
// (a unique name, so parallel runs never meet; killed on destruction and by the kernel if the test
// dies), a client that sends MIDI messages at chosen absolute frames, and a client that captures an
// audio port against the server's frame clock. On the dummy driver the clock is exact, so times
// measured in frames are deterministic.
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

inline void IgnoreJackMessage(const char*) {}

class JackServer {
 public:
  JackServer(std::string name, int rate, int period)
      : name(std::move(name)), rate(rate), period(period) {}
  ~JackServer() { Kill(); }
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  // Empty when the server runs and takes clients, else why not.
  std::string Start() {
    using namespace std::chrono_literals;
    jack_set_error_function(&IgnoreJackMessage);
    jack_set_info_function(&IgnoreJackMessage);
    pid = fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int devNull = open("/dev/null", O_RDWR);
      if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
      }
      const std::string rateText = std::to_string(rate);
      const std::string periodText = std::to_string(period);
      execlp("jackd", "jackd", "-n", name.c_str(), "--no-realtime", "-d", "dummy", "-r",
             rateText.c_str(), "-p", periodText.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return "jackd exited at start (status " + std::to_string(status) + ")";
      }
      jack_status_t jackStatus{};
      jack_client_t* probe = jack_client_open(
          "quembrel-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
          &jackStatus, name.c_str());
      if (probe) {
        jack_client_close(probe);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        return "";
      }
      std::this_thread::sleep_for(50ms);
    }
    return "jackd took no client within 10 s";
  }

  void Kill() {
    using namespace std::chrono_literals;
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + 3s;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
    pid = -1;
  }

  const std::string name;
  const int rate;
  const int period;

 private:
  pid_t pid = -1;
};

// One JACK client of the test; its process callback is the derived class's.
class JackTestClient {
 public:
  JackTestClient(const JackServer& server, const char* clientName) {
    jack_status_t status{};
    client = jack_client_open(clientName, static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                              &status, server.name.c_str());
  }
  virtual ~JackTestClient() { Close(); }
  JackTestClient(const JackTestClient&) = delete;
  JackTestClient& operator=(const JackTestClient&) = delete;

  bool Activate() {
    if (client == nullptr || port == nullptr) return false;
    jack_set_process_callback(client, &JackTestClient::Process, this);
    jack_set_xrun_callback(client, &JackTestClient::Xrun, this);
    return jack_activate(client) == 0;
  }
  void Close() {
    if (client == nullptr) return;
    jack_deactivate(client);
    jack_client_close(client);
    client = nullptr;
  }
  bool Connect(const std::string& from, const std::string& to) {
    return client != nullptr && jack_connect(client, from.c_str(), to.c_str()) == 0;
  }
  std::string PortName() const { return port != nullptr ? jack_port_name(port) : ""; }
  jack_client_t* Client() const { return client; }
  jack_nframes_t Now() const { return jack_frame_time(client); }
  // Cycles the server reports some client missed: on a loaded machine, a non-real-time server
  // cannot always run every client in time, and a measurement spanning such a cycle is not exact.
  int Xruns() const { return xruns.load(std::memory_order_acquire); }

 protected:
  virtual void Cycle(jack_nframes_t start, jack_nframes_t frames) = 0;

  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;

 private:
  static int Xrun(void* self) {
    static_cast<JackTestClient*>(self)->xruns.fetch_add(1, std::memory_order_acq_rel);
    return 0;
  }
  std::atomic<int> xruns{0};

  static int Process(jack_nframes_t frames, void* self) {
    auto* me = static_cast<JackTestClient*>(self);
    me->Cycle(jack_last_frame_time(me->client), frames);
    return 0;
  }
};

// Sends three-byte MIDI messages at absolute frames, set before it is armed.
class MidiSender : public JackTestClient {
 public:
  struct Message {
    jack_nframes_t frame;
    std::array<std::uint8_t, 3> bytes;
  };

  explicit MidiSender(const JackServer& server) : JackTestClient(server, "quembrel-test-keys") {
    if (client != nullptr) {
      port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    }
  }
  // The client must stop before Cycle goes with this object.
  ~MidiSender() override { Close(); }

  // The messages, in frame order; the sender reads them only after this. Arming again replaces
  // them once the client has stopped reading the old ones.
  void Arm(std::vector<Message> schedule) {
    if (armed.exchange(false, std::memory_order_acq_rel)) {
      const int seen = cycles.load(std::memory_order_acquire);
      while (cycles.load(std::memory_order_acquire) < seen + 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    messages = std::move(schedule);
    sentAt.assign(messages.size(), 0);
    sent.store(0, std::memory_order_relaxed);
    armed.store(true, std::memory_order_release);
  }
  bool AllSent() const { return sent.load(std::memory_order_acquire) == messages.size(); }
  // Where message i went out: its frame, or the start of the first cycle after it when the server
  // skipped this client's cycle (a loaded machine). Valid once AllSent().
  jack_nframes_t SentAt(std::size_t i) const { return sentAt[i]; }

 protected:
  void Cycle(jack_nframes_t start, jack_nframes_t frames) override {
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    cycles.fetch_add(1, std::memory_order_acq_rel);
    if (!armed.load(std::memory_order_acquire)) return;
    std::size_t next = sent.load(std::memory_order_relaxed);
    while (next < messages.size() &&
           static_cast<std::int32_t>(messages[next].frame - (start + frames)) < 0) {
      const auto late = static_cast<std::int32_t>(messages[next].frame - start) < 0;
      const jack_nframes_t offset = late ? 0 : messages[next].frame - start;
      jack_midi_event_write(buffer, offset, messages[next].bytes.data(), 3);
      sentAt[next] = start + offset;
      ++next;
    }
    sent.store(next, std::memory_order_release);
  }

 private:
  std::vector<Message> messages;
  std::vector<jack_nframes_t> sentAt;
  std::atomic<bool> armed{false};
  std::atomic<int> cycles{0};
  std::atomic<std::size_t> sent{0};
};

// Keeps what reaches its input port, each sample at its absolute frame since the first cycle.
class AudioCapture : public JackTestClient {
 public:
  AudioCapture(const JackServer& server, std::size_t capacity)
      : JackTestClient(server, "quembrel-test-capture"), samples(capacity, 0.0f) {
    if (client != nullptr) {
      port = jack_port_register(client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }
  }
  ~AudioCapture() override { Close(); }

  // The absolute frame of samples[0]; valid once Started().
  jack_nframes_t FirstFrame() const { return first; }
  bool Started() const { return started.load(std::memory_order_acquire); }
  // Frames captured so far (the highest index written + 1).
  std::size_t Count() const { return count.load(std::memory_order_acquire); }
  const std::vector<float>& Samples() const { return samples; }

 protected:
  void Cycle(jack_nframes_t start, jack_nframes_t frames) override {
    const auto* in = static_cast<const float*>(jack_port_get_buffer(port, frames));
    if (!started.load(std::memory_order_relaxed)) {
      first = start;
      started.store(true, std::memory_order_release);
    }
    const std::size_t at = start - first;
    if (at >= samples.size()) return;
    const std::size_t take = std::min<std::size_t>(frames, samples.size() - at);
    std::copy(in, in + take, samples.begin() + static_cast<std::ptrdiff_t>(at));
    count.store(at + take, std::memory_order_release);
  }

 private:
  std::vector<float> samples;
  jack_nframes_t first = 0;
  std::atomic<bool> started{false};
  std::atomic<std::size_t> count{0};
};
