// The PulseAudio server probe, over libpulse's own main loop, run here until the answers are in.
#include "platform/sound/pulse_server.h"

#include <pulse/pulseaudio.h>

#include <chrono>

namespace {

struct Query {
  PulseServerInfo info;
  // Replies still awaited once the context is ready.
  int pending = 0;
  bool failed = false;
};

void OnSink(pa_context*, const pa_sink_info* sink, int eol, void* user) {
  auto* query = static_cast<Query*>(user);
  if (eol != 0) {
    --query->pending;
    return;
  }
  if (sink != nullptr) query->info.sinkRate = sink->sample_spec.rate;
}

void OnServer(pa_context* context, const pa_server_info* server, void* user) {
  auto* query = static_cast<Query*>(user);
  --query->pending;
  if (server == nullptr) return;
  query->info.serverName = server->server_name != nullptr ? server->server_name : "";
  query->info.defaultSink = server->default_sink_name != nullptr ? server->default_sink_name : "";
  if (query->info.defaultSink.empty()) return;
  pa_operation* op = pa_context_get_sink_info_by_name(context, query->info.defaultSink.c_str(), &OnSink, query);
  if (op != nullptr) {
    ++query->pending;
    pa_operation_unref(op);
  }
}

}  // namespace

PulseServerInfo ProbePulseServer() {
  using Clock = std::chrono::steady_clock;
  Query query;
  pa_mainloop* loop = pa_mainloop_new();
  if (loop == nullptr) return query.info;
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Quembrel probe");
  if (context != nullptr && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
    const auto end = Clock::now() + std::chrono::milliseconds(500);
    bool asked = false;
    while (Clock::now() < end) {
      const pa_context_state_t state = pa_context_get_state(context);
      if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) break;
      if (state == PA_CONTEXT_READY && !asked) {
        asked = true;
        query.info.reachable = true;
        pa_operation* op = pa_context_get_server_info(context, &OnServer, &query);
        if (op == nullptr) break;
        ++query.pending;
        pa_operation_unref(op);
      }
      if (asked && query.pending == 0) break;
      // Waits at most 50 ms a round, so the deadline above holds against a server that says nothing.
      if (pa_mainloop_prepare(loop, 50000) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0) {
        break;
      }
    }
    if (asked && query.pending != 0) query.info.reachable = false;
    pa_context_disconnect(context);
  }
  if (context != nullptr) pa_context_unref(context);
  pa_mainloop_free(loop);
  return query.info;
}
