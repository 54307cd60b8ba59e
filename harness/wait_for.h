// Waiting in tests for something another thread or process brings about: the condition is polled
// every millisecond until it holds or the time limit passes. The limit only ends a hang: a loaded
// machine may take seconds for what an idle one does at once.
#pragma once

#include <chrono>
#include <thread>

template <typename Predicate>
bool WaitFor(Predicate predicate, std::chrono::milliseconds limit = std::chrono::milliseconds(30000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
