// What the tests and the latency benchmark that play against a real JACK server share besides the
// server itself: a client that sends MIDI messages at chosen frames, and a client that captures an
// audio port against the server's frame clock, from the sender's first armed frame on. On the dummy
// driver the clock is exact, so times measured in frames are deterministic; in freewheel mode
// (Freewheel below) the server also waits for every client in every cycle, so no cycle is ever
// missed, however loaded the machine is.
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "harness/jack_server.h"

// One JACK client of the test; its process callback is the derived class's.
class JackTestClient {
 public:
  JackTestClient(const CTestJackServer& server, const char* clientName) {
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
  // How many cycles the client has run, and the frame the latest began at: for saying, when a
  // measurement fails, whether the client ran at all.
  long Cycles() const { return cycles.load(std::memory_order_acquire); }
  jack_nframes_t LastCycleStart() const { return lastStart.load(std::memory_order_acquire); }

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
  std::atomic<long> cycles{0};
  std::atomic<jack_nframes_t> lastStart{0};

  static int Process(jack_nframes_t frames, void* self) {
    auto* me = static_cast<JackTestClient*>(self);
    const jack_nframes_t start = jack_last_frame_time(me->client);
    me->lastStart.store(start, std::memory_order_release);
    me->cycles.fetch_add(1, std::memory_order_acq_rel);
    me->Cycle(start, frames);
    return 0;
  }
};

// Runs the server as fast as it can for as long as it lives, waiting for every client in every
// cycle: frames no longer follow the wall clock, and no client misses a cycle.
class Freewheel {
 public:
  explicit Freewheel(const JackTestClient& client) : client(client.Client()) {
    on = client.Client() != nullptr && jack_set_freewheel(this->client, 1) == 0;
  }
  ~Freewheel() {
    if (on) jack_set_freewheel(client, 0);
  }
  Freewheel(const Freewheel&) = delete;
  Freewheel& operator=(const Freewheel&) = delete;
  bool On() const { return on; }

 private:
  jack_client_t* client;
  bool on = false;
};

// Sends three-byte MIDI messages at frames counted from the base: the first frame of the first
// cycle it runs once armed, plus a lead of eight periods. Counting from its own cycle, not from a
// clock read by the test, keeps the schedule ahead of the server even in freewheel mode.
class MidiSender : public JackTestClient {
 public:
  struct Message {
    jack_nframes_t frame;
    std::array<std::uint8_t, 3> bytes;
  };

  explicit MidiSender(const CTestJackServer& server) : JackTestClient(server, "quembrel-test-keys") {
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
      const long seen = Cycles();
      while (Cycles() < seen + 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    messages = std::move(schedule);
    sentAt.assign(messages.size(), 0);
    sent.store(0, std::memory_order_relaxed);
    baseKnown.store(false, std::memory_order_relaxed);
    armed.store(true, std::memory_order_release);
  }
  bool AllSent() const { return sent.load(std::memory_order_acquire) == messages.size(); }
  // The absolute frame the schedule counts from, once the armed sender has run a cycle.
  bool BaseKnown() const { return baseKnown.load(std::memory_order_acquire); }
  jack_nframes_t Base() const { return base.load(std::memory_order_acquire); }
  // Where message i went out: its frame, or the start of the first cycle after it when the server
  // skipped this client's cycle (a loaded machine). Valid once AllSent().
  jack_nframes_t SentAt(std::size_t i) const { return sentAt[i]; }

 protected:
  void Cycle(jack_nframes_t start, jack_nframes_t frames) override {
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    if (!armed.load(std::memory_order_acquire)) return;
    if (!baseKnown.load(std::memory_order_relaxed)) {
      base.store(start + 8 * frames, std::memory_order_release);
      baseKnown.store(true, std::memory_order_release);
    }
    const jack_nframes_t from = base.load(std::memory_order_relaxed);
    std::size_t next = sent.load(std::memory_order_relaxed);
    while (next < messages.size() &&
           static_cast<std::int32_t>(from + messages[next].frame - (start + frames)) < 0) {
      const jack_nframes_t frame = from + messages[next].frame;
      const auto late = static_cast<std::int32_t>(frame - start) < 0;
      const jack_nframes_t offset = late ? 0 : frame - start;
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
  std::atomic<bool> baseKnown{false};
  std::atomic<jack_nframes_t> base{0};
  std::atomic<std::size_t> sent{0};
};

// Keeps what reaches its input port, each sample at its absolute frame since the first cycle, or,
// given a sender, since that sender's base: arming the sender starts the capture afresh there, so
// the capture holds exactly the frames the schedule covers, and its capacity is not used up by a
// freewheeling server before the notes are sent.
class AudioCapture : public JackTestClient {
 public:
  AudioCapture(const CTestJackServer& server, std::size_t capacity, const MidiSender* keys = nullptr)
      : JackTestClient(server, "quembrel-test-capture"), samples(capacity, 0.0f), keys(keys) {
    if (client != nullptr) {
      port = jack_port_register(client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }
  }
  ~AudioCapture() override { Close(); }

  // The absolute frame of samples[0]; valid once Started().
  jack_nframes_t FirstFrame() const { return first.load(std::memory_order_acquire); }
  // With a sender: started from its current base.
  bool Started() const {
    if (!started.load(std::memory_order_acquire)) return false;
    return keys == nullptr || (keys->BaseKnown() && FirstFrame() == keys->Base());
  }
  // Frames captured so far (the highest index written + 1).
  std::size_t Count() const { return Started() ? count.load(std::memory_order_acquire) : 0; }
  const std::vector<float>& Samples() const { return samples; }

 protected:
  void Cycle(jack_nframes_t start, jack_nframes_t frames) override {
    const auto* in = static_cast<const float*>(jack_port_get_buffer(port, frames));
    if (keys != nullptr) {
      // The sender runs before this client in every cycle, as its sound flows here.
      if (!keys->BaseKnown()) return;
      if (!started.load(std::memory_order_relaxed) || first.load(std::memory_order_relaxed) != keys->Base()) {
        count.store(0, std::memory_order_relaxed);
        first.store(keys->Base(), std::memory_order_release);
        started.store(true, std::memory_order_release);
      }
    } else if (!started.load(std::memory_order_relaxed)) {
      first.store(start, std::memory_order_release);
      started.store(true, std::memory_order_release);
    }
    const jack_nframes_t from = first.load(std::memory_order_relaxed);
    // Frames before the first one are skipped.
    const auto ahead = static_cast<std::int32_t>(from - start);
    const std::size_t skip = ahead > 0 ? static_cast<std::size_t>(ahead) : 0;
    if (skip >= frames) return;
    const std::size_t at = start + skip - from;
    if (at >= samples.size()) return;
    const std::size_t take = std::min<std::size_t>(frames - skip, samples.size() - at);
    std::copy(in + skip, in + skip + take, samples.begin() + static_cast<std::ptrdiff_t>(at));
    count.store(at + take, std::memory_order_release);
  }

 private:
  std::vector<float> samples;
  const MidiSender* keys;
  std::atomic<jack_nframes_t> first{0};
  std::atomic<bool> started{false};
  std::atomic<std::size_t> count{0};
};
