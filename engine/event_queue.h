// A bounded, lock-free queue of small events from any number of producer threads to one consumer,
// the audio thread. Producers never wait: Push fails when the queue is full, or, when asked to,
// when it would leave fewer free slots than a reserve kept for other events. The consumer never
// waits either: Pop fails when the next event has not been published yet. Events keep the order
// in which producers claimed their slots, so one thread's calls are replayed in the order made.
#pragma once

#include <atomic>
#include <cstdint>

template <typename T, std::uint32_t kCapacity>
class CEventQueue {
  static_assert(kCapacity >= 2 && (kCapacity & (kCapacity - 1)) == 0, "capacity is a power of two");

 public:
  CEventQueue() { Init(); }
  CEventQueue(const CEventQueue&) = delete;
  CEventQueue& operator=(const CEventQueue&) = delete;

  // Empties the queue. Only while no other thread uses it.
  void Init() {
    for (std::uint32_t i = 0; i < kCapacity; ++i) {
      cells[i].sequence.store(i, std::memory_order_relaxed);
      cells[i].item = T{};
    }
    tail.store(0, std::memory_order_relaxed);
    head.store(0, std::memory_order_relaxed);
  }

  // Also fails when it would leave fewer than `reserve` slots free. Positions are 32-bit and wrap:
  // only their differences are compared.
  bool Push(const T& item, std::uint32_t reserve = 0) {
    std::uint32_t pos = tail.load(std::memory_order_relaxed);
    Cell* cell;
    for (;;) {
      cell = &cells[pos & (kCapacity - 1)];
      const std::uint32_t sequence = cell->sequence.load(std::memory_order_acquire);
      const std::int32_t lag = static_cast<std::int32_t>(sequence - pos);
      if (lag == 0) {
        const auto used = static_cast<std::int32_t>(pos - head.load(std::memory_order_acquire));
        if (used >= static_cast<std::int32_t>(kCapacity - reserve)) return false;
        if (tail.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) break;
      } else if (lag < 0) {
        return false;
      } else {
        pos = tail.load(std::memory_order_relaxed);
      }
    }
    cell->item = item;
    cell->sequence.store(pos + 1, std::memory_order_release);
    return true;
  }

  // Consumer thread only.
  bool Pop(T& item) {
    const std::uint32_t at = head.load(std::memory_order_relaxed);
    Cell& cell = cells[at & (kCapacity - 1)];
    const std::uint32_t sequence = cell.sequence.load(std::memory_order_acquire);
    if (sequence != at + 1) return false;
    item = cell.item;
    cell.sequence.store(at + kCapacity, std::memory_order_release);
    head.store(at + 1, std::memory_order_release);
    return true;
  }

  // Where the next slot will be claimed: every slot claimed so far lies before it.
  std::uint32_t ClaimPosition() const { return tail.load(std::memory_order_acquire); }

  // Consumer thread only: whether every slot claimed before `position` has been popped.
  bool HasPoppedBefore(std::uint32_t position) const {
    return static_cast<std::int32_t>(head.load(std::memory_order_relaxed) - position) >= 0;
  }

  // Consumer thread only: whether every slot claimed so far has been popped. A failing Pop alone
  // does not say so: a producer may have claimed the next slot and not yet filled it.
  bool IsDrained() const {
    return tail.load(std::memory_order_acquire) == head.load(std::memory_order_relaxed);
  }

 private:
  struct Cell {
    std::atomic<std::uint32_t> sequence;
    T item;
  };

  Cell cells[kCapacity];
  alignas(64) std::atomic<std::uint32_t> tail;
  // Written by the consumer only; producers read it to keep the reserve.
  alignas(64) std::atomic<std::uint32_t> head;
};
