// One mono output stream on a PulseAudio server, plain or PipeWire's, straight over libpulse: both
// sound outputs play through it there. The server asks for sound as its buffer empties and the
// stream renders exactly that much at once, on libpulse's own thread (at real-time priority where
// the system grants it), so the buffer stays as full as asked. On a plain PulseAudio server
// minutes of 27 and 43 ms had no gap and one of 21 ms 0 to 11 (pacat at 21 ms: 0 or 1), where the
// same buffers through RtAudio's blocking writes left 4 and 9 to 12.
//
// Open connects and opens the stream without feeding it: the server waits for a full buffer before
// it plays, and nothing is rendered until Start, so another output may go on playing meanwhile.
// Start writes the full buffer, heard from the server's next cycle. (A stream opened corked was
// woken only at Start, which on a PipeWire graph added 10 to 25 ms of silence to a switch.) When
// the server goes away the stream only raises its owner's flag and is no longer asked for sound;
// the CPU stays idle.
//
// Open, Start and Close belong to one control thread; the render callback runs on libpulse's thread
// and must not block. IsLost may be read from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

struct pa_context;
struct pa_mainloop_api;
struct pa_time_event;
struct pa_stream;
struct pa_threaded_mainloop;
struct timeval;

class CPulseStream {
 public:
  // Renders `frames` mono float samples at the stream's rate into `out`; never more than the
  // period asked for at Open.
  using RenderFunction = void (*)(float* out, unsigned frames, void* user);

  // `lostFlag` is the owner's: the stream raises it, on libpulse's thread, when the server goes.
  explicit CPulseStream(std::atomic<bool>& lostFlag) : lost(lostFlag) {}
  ~CPulseStream();
  CPulseStream(const CPulseStream&) = delete;
  CPulseStream& operator=(const CPulseStream&) = delete;

  // Opens a stream, not yet fed, on the server's default sink at `rate`, keeping `count` periods of
  // `frames` queued, the sink's share included. The callback renders at most `frames` at a time.
  // False with the reason in `why` when the server refuses or is not there.
  bool Open(const char* clientName, unsigned rate, unsigned frames, unsigned count, RenderFunction render,
            void* user, std::string* why);
  bool Start();
  // With `playQueued` what the server holds is played out first (unless the server has gone), for
  // a hand-over that neither drops nor repeats sound. The callback no longer runs once this returns.
  void Close(bool playQueued);
  bool IsLost() const { return lost.load(std::memory_order_acquire); }

  // The period and the number of periods the server granted.
  unsigned Frames() const { return frames; }
  unsigned Count() const { return count; }

 private:
  static void OnContextState(pa_context* context, void* self);
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnWrite(pa_stream* stream, std::size_t bytes, void* self);
  static void OnDrained(pa_stream* stream, int success, void* self);
  static void OnDrainTimeout(pa_mainloop_api* api, pa_time_event* event, const timeval* when, void* self);
  void Fill();
  bool WaitUntilReady(bool (*ready)(CPulseStream&), std::string* why);

  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;
  RenderFunction render = nullptr;
  void* user = nullptr;
  unsigned frames = 0;
  unsigned count = 0;
  // Both under the main loop's lock: the control thread takes it, its callbacks run under it.
  bool started = false;
  bool priorityAsked = false;
  bool drainTimedOut = false;
  std::atomic<bool>& lost;
};
