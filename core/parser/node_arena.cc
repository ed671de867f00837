#include "core/parser/node_arena.h"

#include <new>

namespace vaxo_core::parser {
namespace {

constexpr std::size_t kMaxChunk = std::size_t{64} << 10;

// The chunks a finished arena gives back are kept for the thread's next
// arena, up to a bound: one compile after another then takes no fresh memory.
// Handing a tree's worth of chunks back to the allocator at once lets it
// return them to the system, and faulting them in again costs the next compile
// more than building its tree.
constexpr std::size_t kCachedBytes = std::size_t{32} << 20;

struct CachedChunk {
  CachedChunk* next;
  std::size_t size;
};

struct ChunkCache {
  CachedChunk* regular = nullptr;  // kMaxChunk bytes each
  CachedChunk* large = nullptr;    // any other size
  std::size_t bytes = 0;
  bool closed = false;  // the thread is ending: free instead of keeping

  static void free_all(CachedChunk*& list) noexcept {
    while (list != nullptr) {
      CachedChunk* next = list->next;
      ::operator delete(list);
      list = next;
    }
  }
  ~ChunkCache() {
    closed = true;
    free_all(regular);
    free_all(large);
    bytes = 0;
  }

  // A chunk of at least `wanted` bytes (kMaxChunk or more), or null.
  CachedChunk* take(std::size_t wanted) noexcept {
    CachedChunk** link = wanted <= kMaxChunk ? &regular : &large;
    // The first that fits: what a larger one has to spare serves the arena's
    // later blocks.
    while (*link != nullptr && (*link)->size < wanted) link = &(*link)->next;
    CachedChunk* c = *link;
    if (c != nullptr) {
      *link = c->next;
      bytes -= c->size;
    }
    return c;
  }

  bool keep(void* raw, std::size_t size) noexcept {
    if (closed || size < kMaxChunk || bytes + size > kCachedBytes) return false;
    auto* c = static_cast<CachedChunk*>(raw);
    c->size = size;
    CachedChunk*& list = size == kMaxChunk ? regular : large;
    c->next = list;
    list = c;
    bytes += size;
    return true;
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
  const std::size_t wanted = bytes + sizeof(Chunk);
  char* raw;
  std::size_t chunk_bytes;
  if (CachedChunk* cached = t_chunks.take(wanted < kMaxChunk ? kMaxChunk : wanted)) {
    raw = reinterpret_cast<char*>(cached);
    chunk_bytes = cached->size;
  } else {
    chunk_bytes = next_chunk_;
    while (chunk_bytes < wanted) chunk_bytes *= 2;
    if (next_chunk_ < kMaxChunk) next_chunk_ *= 2;
    raw = static_cast<char*>(::operator new(chunk_bytes));
  }
  auto* chunk = reinterpret_cast<Chunk*>(raw);
  chunk->next = chunks_;
  chunk->size = chunk_bytes;
  chunks_ = chunk;
  cursor_ = raw + wanted;
  end_ = raw + chunk_bytes;
  return raw + sizeof(Chunk);
}

void NodeArena::release_chunk(Chunk* chunk) noexcept {
  if (!t_chunks.keep(chunk, chunk->size)) ::operator delete(chunk);
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
