// The PulseAudio output stream: connecting, the server's requests for sound, starting, draining and
// the flag a lost server raises.
#include "platform/sound/pulse_stream.h"

#include <pthread.h>
#include <pulse/pulseaudio.h>
#include <sched.h>

#include <algorithm>
#include <cstdint>

CPulseStream::~CPulseStream() { Close(false); }

bool CPulseStream::Open(const char* clientName, unsigned rate, unsigned periodFrames, unsigned periods,
                        RenderFunction renderFunction, void* renderUser, std::string* why) {
  Close(false);
  render = renderFunction;
  user = renderUser;
  frames = periodFrames;
  count = periods;
  lost.store(false, std::memory_order_release);
  loop = pa_threaded_mainloop_new();
  if (loop == nullptr) {
    *why = "libpulse cannot make its main loop";
    return false;
  }
  pa_threaded_mainloop_set_name(loop, "quembrel-pulse");
  context = pa_context_new(pa_threaded_mainloop_get_api(loop), clientName);
  if (context == nullptr || pa_threaded_mainloop_start(loop) < 0) {
    *why = "libpulse cannot start its main loop";
    Close(false);
    return false;
  }
  pa_threaded_mainloop_lock(loop);
  pa_context_set_state_callback(context, &CPulseStream::OnContextState, this);
  const bool connected =
      pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
      WaitUntilReady([](CPulseStream& s) { return pa_context_get_state(s.context) == PA_CONTEXT_READY; }, why);
  if (connected) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, rate, 1};
    stream = pa_stream_new(context, "Playback", &format, nullptr);
  }
  bool opened = false;
  if (stream != nullptr) {
    pa_stream_set_state_callback(stream, &CPulseStream::OnStreamState, this);
    pa_stream_set_write_callback(stream, &CPulseStream::OnWrite, this);
    // The whole latency asked for, the sink's share included. How much is asked for at a time is
    // left to the server: a period of its own choosing kept 21 ms gap-free where one of 256 frames
    // left a gap every few seconds.
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = periodFrames * periods * sizeof(float);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                      PA_STREAM_AUTO_TIMING_UPDATE);
    opened = pa_stream_connect_playback(stream, nullptr, &attr, flags, nullptr, nullptr) >= 0 &&
             WaitUntilReady([](CPulseStream& s) { return pa_stream_get_state(s.stream) == PA_STREAM_READY; }, why);
  }
  if (opened) {
    const pa_buffer_attr* granted = pa_stream_get_buffer_attr(stream);
    if (granted != nullptr && granted->minreq >= sizeof(float)) {
      frames = std::min<unsigned>(granted->minreq / sizeof(float), periodFrames);
      const unsigned periodBytes = frames * sizeof(float);
      count = std::max(1u, (granted->tlength + periodBytes / 2) / periodBytes);
    }
  } else if (why->empty()) {
    *why = pa_strerror(pa_context_errno(context));
  }
  pa_threaded_mainloop_unlock(loop);
  if (!opened) Close(false);
  return opened;
}

bool CPulseStream::WaitUntilReady(bool (*ready)(CPulseStream&), std::string* why) {
  while (!ready(*this)) {
    const bool contextDown = !PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
    const bool streamDown = stream != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream));
    if (contextDown || streamDown) {
      *why = pa_strerror(pa_context_errno(context));
      return false;
    }
    pa_threaded_mainloop_wait(loop);
  }
  return true;
}

bool CPulseStream::Start() {
  if (stream == nullptr) return false;
  pa_threaded_mainloop_lock(loop);
  started = true;
  // The server has been asking for its buffer's worth since the stream opened: the whole of it is
  // written at once, which is what the server waits for before it plays.
  Fill();
  pa_threaded_mainloop_unlock(loop);
  return !IsLost();
}

void CPulseStream::Close(bool playQueued) {
  if (loop == nullptr) return;
  pa_threaded_mainloop_lock(loop);
  const bool wasPlaying = started && stream != nullptr && pa_stream_get_state(stream) == PA_STREAM_READY;
  started = false;
  if (stream != nullptr) {
    if (playQueued && wasPlaying && !IsLost()) {
      // A server that never answers must not hold the caller: the wait ends after a second.
      drainTimedOut = false;
      pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
      timeval deadline{};
      pa_timeval_add(pa_gettimeofday(&deadline), PA_USEC_PER_SEC);
      pa_time_event* timer = api->time_new(api, &deadline, &CPulseStream::OnDrainTimeout, this);
      pa_operation* op = pa_stream_drain(stream, &CPulseStream::OnDrained, this);
      while (op != nullptr && pa_operation_get_state(op) == PA_OPERATION_RUNNING && !IsLost() && !drainTimedOut) {
        pa_threaded_mainloop_wait(loop);
      }
      if (op != nullptr) pa_operation_unref(op);
      if (timer != nullptr) api->time_free(timer);
    }
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
  }
  if (context != nullptr) {
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
  }
  pa_threaded_mainloop_unlock(loop);
  pa_threaded_mainloop_stop(loop);
  pa_threaded_mainloop_free(loop);
  loop = nullptr;
}

// Renders what the server may take now, a period at most per call of the callback.
void CPulseStream::Fill() {
  std::size_t writable = pa_stream_writable_size(stream);
  if (writable == static_cast<std::size_t>(-1)) return;
  while (writable >= sizeof(float)) {
    void* data = nullptr;
    std::size_t bytes = writable;
    if (pa_stream_begin_write(stream, &data, &bytes) < 0 || data == nullptr) return;
    const std::size_t total = std::min(bytes, writable) / sizeof(float);
    auto* out = static_cast<float*>(data);
    for (std::size_t done = 0; done < total;) {
      const auto n = static_cast<unsigned>(std::min<std::size_t>(total - done, frames));
      render(out + done, n, user);
      done += n;
    }
    if (pa_stream_write(stream, data, total * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
    writable -= total * sizeof(float);
  }
}

void CPulseStream::OnWrite(pa_stream*, std::size_t, void* arg) {
  auto* self = static_cast<CPulseStream*>(arg);
  if (!self->started) return;
  if (!self->priorityAsked) {
    // Real-time priority for libpulse's thread, which renders, where the system grants it (as root
    // or through rtkit's limits); otherwise it renders at the normal priority.
    self->priorityAsked = true;
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  }
  self->Fill();
}

void CPulseStream::OnContextState(pa_context* context, void* arg) {
  auto* self = static_cast<CPulseStream*>(arg);
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) self->lost.store(true, std::memory_order_release);
  pa_threaded_mainloop_signal(self->loop, 0);
}

void CPulseStream::OnStreamState(pa_stream* stream, void* arg) {
  auto* self = static_cast<CPulseStream*>(arg);
  if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) self->lost.store(true, std::memory_order_release);
  pa_threaded_mainloop_signal(self->loop, 0);
}

void CPulseStream::OnDrainTimeout(pa_mainloop_api*, pa_time_event*, const timeval*, void* arg) {
  auto* self = static_cast<CPulseStream*>(arg);
  self->drainTimedOut = true;
  pa_threaded_mainloop_signal(self->loop, 0);
}

void CPulseStream::OnDrained(pa_stream*, int, void* arg) {
  pa_threaded_mainloop_signal(static_cast<CPulseStream*>(arg)->loop, 0);
}
