// Heap accounting for the benchmarks' memory counters: the global allocation
// functions are replaced so that, while counting, the bytes malloc reports for
// each block are summed, with their peak. Counting is off inside timed loops
// and one thread counts at a time. Include in exactly one file of a benchmark
// executable: it defines the replacements.
#pragma once

#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace heap_count {

inline bool counting = false;
inline std::int64_t live = 0;
inline std::int64_t peak = 0;

inline void start() {
  live = 0;
  peak = 0;
  counting = true;
}
// Stops counting; the bytes live at the end are in `live`.
inline std::int64_t stop() {
  counting = false;
  return peak;
}

inline void* counted(void* p) {
  if (counting) [[unlikely]] {
    live += static_cast<std::int64_t>(malloc_usable_size(p));
    if (live > peak) peak = live;
  }
  return p;
}

}  // namespace heap_count

void* operator new(std::size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  return heap_count::counted(p);
}
// The node arena's heap pages are aligned.
void* operator new(std::size_t n, std::align_val_t align) {
  void* p = nullptr;
  if (posix_memalign(&p, static_cast<std::size_t>(align), n == 0 ? 1 : n) != 0) throw std::bad_alloc();
  return heap_count::counted(p);
}
void operator delete(void* p) noexcept {
  if (heap_count::counting && p != nullptr) [[unlikely]]
    heap_count::live -= static_cast<std::int64_t>(malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete(void* p, std::align_val_t) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { operator delete(p); }
