// Heap blocks for the boxed payloads of token kinds (Number, String,
// InterpolatedString, Unknown).
//
// A lexer run makes tens of thousands of small payloads and the pipeline
// frees them all at once; from the general heap that costs a malloc and a
// free each, and the frees pile up for the heap to merge later. Here a thread
// carves blocks one after the other from a chunk it owns, and a chunk goes
// back to the heap once it is used up and every block carved from it has been
// released. Each block records its chunk, so a block may be released from
// anywhere (any thread, any time), as a token that was moved or copied
// anywhere may be destroyed there.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace vaxo_core::lexer::payload {

// The largest block allocate() gives.
inline constexpr std::size_t kMaxBlock = 256;

// An uninitialised block of `bytes` (at most kMaxBlock), aligned for any
// payload (8 bytes). Throws std::bad_alloc.
void* allocate(std::size_t bytes);

// Gives back a block of allocate(); null is ignored.
void release(void* block) noexcept;

// A T built in a fresh block from `args`.
template <typename T, typename... Args>
T* make(Args&&... args) {
  static_assert(sizeof(T) <= kMaxBlock && alignof(T) <= 8);
  void* block = allocate(sizeof(T));
  try {
    return new (block) T(std::forward<Args>(args)...);
  } catch (...) {
    release(block);
    throw;
  }
}

// Destroys a T of make() and releases its block; null is ignored.
template <typename T>
void destroy(T* p) noexcept {
  if (p == nullptr) return;
  p->~T();
  release(p);
}

}  // namespace vaxo_core::lexer::payload
