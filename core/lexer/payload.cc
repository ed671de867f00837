#include "core/lexer/payload.h"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace vaxo_core::lexer::payload {

namespace {

// Small enough to come from the heap's own arena rather than a mapping of
// its own, large enough that taking one is rare.
constexpr std::size_t kChunkBytes = 32 * 1024;

// Counts of a chunk: blocks carved and not yet released, plus kOpen while a
// thread still carves from it. The count reaches zero exactly once, when the
// chunk is closed and its last block is back.
constexpr std::uint64_t kOpen = std::uint64_t{1} << 62;

struct alignas(16) Chunk {
  std::atomic<std::uint64_t> live{kOpen};
};

// Each block starts with the address of its chunk; the payload follows.
constexpr std::size_t kHeader = sizeof(Chunk*);

void drop(Chunk* chunk, std::uint64_t count) noexcept {
  if (chunk->live.fetch_sub(count, std::memory_order_acq_rel) == count) {
    chunk->~Chunk();
    ::operator delete(static_cast<void*>(chunk));
  }
}

// The chunk the calling thread carves from.
struct Carver {
  Chunk* chunk = nullptr;
  char* next = nullptr;
  char* end = nullptr;
  std::uint64_t carved = 0;
  bool ended = false;  // the thread is exiting: no chunk stays open any more

  ~Carver() {
    close();
    ended = true;
  }

  void close() noexcept {
    if (chunk == nullptr) return;
    drop(chunk, kOpen - carved);
    chunk = nullptr;
    next = end = nullptr;
    carved = 0;
  }

  [[gnu::noinline]] void refill(std::size_t size) {
    close();
    // A payload made while the thread exits gets a chunk of its own, closed
    // at once.
    const std::size_t bytes = ended ? sizeof(Chunk) + size : kChunkBytes;
    void* raw = ::operator new(bytes);
    chunk = new (raw) Chunk;
    next = static_cast<char*>(raw) + sizeof(Chunk);
    end = static_cast<char*>(raw) + bytes;
  }

  void* carve(std::size_t size) {
    if (static_cast<std::size_t>(end - next) < size) refill(size);
    char* block = next;
    next += size;
    ++carved;
    Chunk* owner = chunk;
    if (ended) close();
    std::memcpy(block, &owner, sizeof owner);
    return block + kHeader;
  }
};

thread_local Carver carver;

}  // namespace

void* allocate(std::size_t bytes) {
  const std::size_t size = (kHeader + bytes + 7) & ~std::size_t{7};
  return carver.carve(size);
}

void release(void* block) noexcept {
  if (block == nullptr) return;
  Chunk* chunk;
  std::memcpy(&chunk, static_cast<char*>(block) - kHeader, sizeof chunk);
  drop(chunk, 1);
}

}  // namespace vaxo_core::lexer::payload
