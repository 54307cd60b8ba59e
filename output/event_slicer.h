// CEventSlicer: renders one block in slices cut at its events' frames, so that everything before an
// event's frame is rendered before the event acts, as the riff player cuts its blocks at step
// boundaries. The plugin's host events and the low-latency output's JACK MIDI both come this way.
// Events are taken in the order given: one stamped before what is already rendered acts where the
// block has got to, and none acts past the block's end.
#pragma once

#include <algorithm>
#include <cstdint>

// `RenderFn` renders the block's frames [from, to) when called as render(from, to).
template <typename RenderFn>
class CEventSlicer {
 public:
  CEventSlicer(int frames, RenderFn renderFn) : total(frames), render(renderFn) {}

  // Renders up to where an event stamped `frame` acts, and returns that frame.
  int RenderToEvent(std::int64_t frame) {
    const int at = static_cast<int>(std::clamp<std::int64_t>(frame, done, total));
    if (at > done) render(done, at);
    done = at;
    return at;
  }
  // Renders the rest of the block.
  void Finish() { RenderToEvent(total); }

 private:
  const int total;
  int done = 0;
  RenderFn render;
};
