// The render tool's progress bar on stderr. It appears only when stderr is a terminal and the
// render has already run for half a second, so short renders and redirected output stay quiet.
#pragma once

#include <chrono>
#include <cstdint>

class CProgressBar {
 public:
  explicit CProgressBar(std::int64_t totalFrames);
  CProgressBar(const CProgressBar&) = delete;
  CProgressBar& operator=(const CProgressBar&) = delete;

  void Update(std::int64_t doneFrames);
  // Draws the final state and ends the line, if the bar was ever shown.
  void End(std::int64_t doneFrames);

 private:
  void Draw(std::int64_t doneFrames);

  std::int64_t total;
  bool enabled;
  bool shown;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point lastDrawn;
};
