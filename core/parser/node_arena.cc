#include "core/parser/node_arena.h"

#include <new>

namespace vaxo_core::parser {
namespace {

thread_local NodeArena* t_current = nullptr;

// In front of every block: its arena, null for the heap.
struct Header {
  NodeArena* arena;
};
static_assert(sizeof(Header) == NodeArena::kAlign);

constexpr std::size_t kMaxChunk = std::size_t{64} << 10;

}  // namespace

void* NodeArena::allocate(std::size_t size) {
  const std::size_t grains = (size + sizeof(Header) + kGrain - 1) / kGrain;
  NodeArena* arena = t_current;
  void* start = arena != nullptr ? arena->take(grains) : ::operator new(grains * kGrain);
  auto* header = static_cast<Header*>(start);
  header->arena = arena;
  return header + 1;
}

void NodeArena::deallocate(void* block, std::size_t size) noexcept {
  if (block == nullptr) return;
  auto* header = static_cast<Header*>(block) - 1;
  NodeArena* arena = header->arena;
  if (arena == nullptr) {
    ::operator delete(header);
    return;
  }
  arena->give_back(header, (size + sizeof(Header) + kGrain - 1) / kGrain);
  arena->release_one();
}

void* NodeArena::take(std::size_t grains) {
  ++refs_;
  if (grains < kBuckets) {
    if (FreeBlock* f = free_[grains]) {
      free_[grains] = f->next;
      return f;
    }
  }
  const std::size_t bytes = grains * kGrain;
  if (static_cast<std::size_t>(end_ - cursor_) < bytes) {
    std::size_t chunk_bytes = next_chunk_;
    while (chunk_bytes < bytes + sizeof(Chunk) + kGrain) chunk_bytes *= 2;
    if (next_chunk_ < kMaxChunk) next_chunk_ *= 2;
    char* raw;
    try {
      raw = static_cast<char*>(::operator new(chunk_bytes));
    } catch (...) {
      --refs_;
      throw;
    }
    auto* chunk = reinterpret_cast<Chunk*>(raw);
    chunk->next = chunks_;
    chunks_ = chunk;
    cursor_ = raw + sizeof(Chunk);
    end_ = raw + chunk_bytes;
  }
  void* start = cursor_;
  cursor_ += bytes;
  return start;
}

void NodeArena::give_back(void* start, std::size_t grains) noexcept {
  if (grains >= kBuckets) return;  // rare large nodes stay until the arena goes
  auto* f = static_cast<FreeBlock*>(start);
  f->next = free_[grains];
  free_[grains] = f;
}

void NodeArena::release_one() noexcept {
  if (--refs_ == 0) delete this;
}

NodeArena::~NodeArena() {
  while (chunks_ != nullptr) {
    Chunk* next = chunks_->next;
    ::operator delete(chunks_);
    chunks_ = next;
  }
}

NodeArena::Scope::Scope() : arena_(new NodeArena()), outer_(t_current) { t_current = arena_; }

NodeArena::Scope::~Scope() {
  t_current = outer_;
  arena_->release_one();
}

}  // namespace vaxo_core::parser
