#include "core/parser/node_arena.h"

#include <new>

namespace vaxo_core::parser {
namespace {

constexpr std::size_t kMaxChunk = std::size_t{64} << 10;

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
  std::size_t chunk_bytes = next_chunk_;
  while (chunk_bytes < bytes + sizeof(Chunk)) chunk_bytes *= 2;
  if (next_chunk_ < kMaxChunk) next_chunk_ *= 2;
  char* raw = static_cast<char*>(::operator new(chunk_bytes));
  auto* chunk = reinterpret_cast<Chunk*>(raw);
  chunk->next = chunks_;
  chunks_ = chunk;
  cursor_ = raw + sizeof(Chunk) + bytes;
  end_ = raw + chunk_bytes;
  return raw + sizeof(Chunk);
}

NodeArena::~NodeArena() {
  while (chunks_ != nullptr) {
    Chunk* next = chunks_->next;
    ::operator delete(chunks_);
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
