// Drawing of the progress bar: at most ten redraws a second, each rewriting the same line.
#include "tools/render/progress_bar.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/sample_rate.h"

namespace {

constexpr int kWidth = 40;
constexpr auto kQuietTime = std::chrono::milliseconds(500);
constexpr auto kRedrawTime = std::chrono::milliseconds(100);

}  // namespace

CProgressBar::CProgressBar(std::int64_t totalFrames)
    : total(totalFrames),
      enabled(isatty(STDERR_FILENO) == 1),
      shown(false),
      start(std::chrono::steady_clock::now()),
      lastDrawn(start) {}

void CProgressBar::Update(std::int64_t doneFrames) {
  if (!enabled) {
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - start < kQuietTime || now - lastDrawn < kRedrawTime) {
    return;
  }
  lastDrawn = now;
  Draw(doneFrames);
}

void CProgressBar::End(std::int64_t doneFrames) {
  if (shown) {
    Draw(doneFrames);
    std::fputc('\n', stderr);
  }
}

void CProgressBar::Draw(std::int64_t doneFrames) {
  const double part = total > 0 ? static_cast<double>(doneFrames) / static_cast<double>(total) : 1.0;
  const int filled = static_cast<int>(part * kWidth);
  std::fprintf(stderr, "\rrendering [%s%s] %3d%%  %.1f of %.1f s", std::string(filled, '#').c_str(),
               std::string(kWidth - filled, '.').c_str(), static_cast<int>(part * 100.0),
               static_cast<double>(doneFrames) / kSampleRate, static_cast<double>(total) / kSampleRate);
  std::fflush(stderr);
  shown = true;
}
