#include "core/parser/node_arena.h"

#include <new>

namespace vaxo_core::parser {
namespace {

constexpr std::size_t kMaxChunk = std::size_t{64} << 10;

// Chunks of the largest size that a finished arena gives back are kept for the
// thread's next arena, up to a bound: one compile after another then takes no
// fresh memory. Handing a tree's worth of chunks back to the allocator at once
// lets it return them to the system, and faulting them in again costs the next
// compile more than building its tree.
constexpr std::size_t kCachedChunks = 256;  // 16 MiB

struct ChunkCache {
  void* head = nullptr;  // each cached chunk's first word links the next
  std::size_t count = 0;
  bool closed = false;  // the thread is ending: free instead of keeping

  ~ChunkCache() {
    closed = true;
    while (head != nullptr) {
      void* next = *static_cast<void**>(head);
      ::operator delete(head);
      head = next;
    }
    count = 0;
  }
};

thread_local ChunkCache t_chunks;

}  // namespace

constinit thread_local NodeArena* NodeArena::t_current = nullptr;

void* NodeArena::from_heap(std::size_t grains) {
  void* start = ::operator new(grains * kGrain);
  *static_cast<NodeArena**>(start) = nullptr;
  return static_cast<char*>(start) + kGrain;
}

void NodeArena::to_heap(void* start) noexcept { ::operator delete(start); }

void* NodeArena::from_new_chunk(std::size_t grains) {
  const std::size_t bytes = grains * kGrain;
  char* raw;
  std::size_t chunk_bytes;
  ChunkCache& cache = t_chunks;
  if (cache.head != nullptr && bytes + sizeof(Chunk) <= kMaxChunk) {
    raw = static_cast<char*>(cache.head);
    cache.head = *static_cast<void**>(cache.head);
    --cache.count;
    chunk_bytes = kMaxChunk;
  } else {
    chunk_bytes = next_chunk_;
    while (chunk_bytes < bytes + sizeof(Chunk)) chunk_bytes *= 2;
    if (next_chunk_ < kMaxChunk) next_chunk_ *= 2;
    raw = static_cast<char*>(::operator new(chunk_bytes));
  }
  auto* chunk = reinterpret_cast<Chunk*>(raw);
  chunk->next = chunks_;
  chunk->size = chunk_bytes;
  chunks_ = chunk;
  cursor_ = raw + sizeof(Chunk) + bytes;
  end_ = raw + chunk_bytes;
  return raw + sizeof(Chunk);
}

void NodeArena::release_chunk(Chunk* chunk) noexcept {
  ChunkCache& cache = t_chunks;
  if (chunk->size == kMaxChunk && cache.count < kCachedChunks && !cache.closed) {
    *reinterpret_cast<void**>(chunk) = cache.head;
    cache.head = chunk;
    ++cache.count;
  } else {
    ::operator delete(chunk);
  }
}

NodeArena::~NodeArena() {
  while (chunks_ != nullptr) {
    Chunk* next = chunks_->next;
    release_chunk(chunks_);
    chunks_ = next;
  }
}

NodeArena::Scope::Scope() : arena_(t_current), outer_(t_current), joined_(t_current != nullptr) {
  if (joined_) {
    ++arena_->refs_;
  } else {
    arena_ = new NodeArena();
    t_current = arena_;
  }
}

NodeArena::Scope::~Scope() {
  if (arena_ == nullptr) return;
  t_current = outer_;
  if (--arena_->refs_ == 0) delete arena_;
}

bool NodeArena::Scope::discard() noexcept {
  if (joined_ || arena_ == nullptr) return false;
  t_current = outer_;
  delete arena_;
  arena_ = nullptr;
  return true;
}

}  // namespace vaxo_core::parser
