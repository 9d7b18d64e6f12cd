#include "tests/support/allocation_count.h"

#include <atomic>
#include <cstddef>

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
void Count() {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

void CountAllocations(bool on) { counting.store(on); }
long CountedAllocations() { return allocations.load(); }

extern "C" void* malloc(size_t size) {
  Count();
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t n, size_t size) {
  Count();
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t size) {
  Count();
  return __libc_realloc(p, size);
}
