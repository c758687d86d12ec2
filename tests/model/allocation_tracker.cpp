// Replaces the global operator new of the test program to note allocation sizes. Kept in its own
// file so the compiler never inlines it into code that frees the memory.
#include "allocation_tracker.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> g_tracking{false};
std::atomic<size_t> g_largest{0};
}  // namespace

void* operator new(size_t size) {
  if (g_tracking.load(std::memory_order_relaxed)) {
    size_t seen = g_largest.load(std::memory_order_relaxed);
    while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
    }
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
  std::free(p);
}

void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

LargestAllocation::LargestAllocation() {
  g_largest = 0;
  g_tracking = true;
}

LargestAllocation::~LargestAllocation() {
  g_tracking = false;
}

size_t LargestAllocation::bytes() const {
  return g_largest.load();
}
