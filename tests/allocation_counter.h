// Counts a test program's allocations while counting is on, for the tests that show a path
// allocates nothing. Including this header replaces the program's global operator new and delete
// (over malloc, which a sanitizer still sees), so exactly one file of a test program includes it.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace allocation_counter {

inline std::atomic<bool> counting{false};
inline std::atomic<long> allocations{0};

inline void* Allocate(std::size_t size, bool mayThrow) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr && mayThrow) throw std::bad_alloc();
  return memory;
}

// Counts what is allocated between Start and Stop, added up over every such stretch.
inline void Start() { counting.store(true, std::memory_order_relaxed); }
inline void Stop() { counting.store(false, std::memory_order_relaxed); }
inline long Count() { return allocations.load(std::memory_order_relaxed); }

}  // namespace allocation_counter

void* operator new(std::size_t size) { return allocation_counter::Allocate(size, true); }
void* operator new[](std::size_t size) { return allocation_counter::Allocate(size, true); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocation_counter::Allocate(size, false); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocation_counter::Allocate(size, false); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
