// Shows that converting a block allocates nothing, so it can run in a sound server's callback:
// this program replaces the C allocator and operator new with counting ones and converts a few
// thousand blocks of varying size at several rates, an odd one among them.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "output/rate_converter.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* memory, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void Count() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  Count();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  Count();
  return __libc_calloc(count, size);
}
void* realloc(void* memory, std::size_t size) {
  Count();
  return __libc_realloc(memory, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** memory, std::size_t alignment, std::size_t size) {
  Count();
  *memory = __libc_memalign(alignment, size);
  return *memory == nullptr ? ENOMEM : 0;
}
}

namespace {

void* Allocate(std::size_t size) {
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

TEST(RateConverterAllocationTest, ConvertingBlocksAllocatesNothing) {
  for (const int rate : {44100, 48000, 96000, 88200, 44056}) {
    SCOPED_TRACE(rate);
    CRateConverter converter;
    ASSERT_TRUE(converter.Init(rate, 256));
    std::vector<std::int16_t> engine(converter.MaxEngineFrames());
    std::vector<float> output(256);
    std::int64_t frame = 0;
    g_allocations = 0;
    g_counting = true;
    for (int call = 0; call < 4000; ++call) {
      const int frames = call % 2 == 0 ? 256 : 1 + (call * 37) % 256;
      const int engineFrames = converter.EngineFramesFor(frames);
      for (int i = 0; i < engineFrames; ++i, ++frame) {
        engine[i] = static_cast<std::int16_t>(10000.0 * std::sin(0.0627 * static_cast<double>(frame)));
      }
      converter.Process(engine.data(), output.data(), frames);
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
  }
}

}  // namespace
