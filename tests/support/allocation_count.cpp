#include "tests/support/allocation_count.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<long> failing{-1};
// Counts the call; true when it is the one to fail.
bool Count() {
  if (!counting.load(std::memory_order_relaxed)) return false;
  const long index = allocations.fetch_add(1, std::memory_order_relaxed);
  if (index != failing.load(std::memory_order_relaxed)) return false;
  errno = ENOMEM;
  return true;
}
}  // namespace

void CountAllocations(bool on) { counting.store(on); }
long CountedAllocations() { return allocations.load(); }
void FailCountedAllocation(long index) { failing.store(index); }

extern "C" void* malloc(size_t size) { return Count() ? nullptr : __libc_malloc(size); }
extern "C" void* calloc(size_t n, size_t size) { return Count() ? nullptr : __libc_calloc(n, size); }
extern "C" void* realloc(void* p, size_t size) { return Count() ? nullptr : __libc_realloc(p, size); }
