#include "core/parser/node_arena.h"

#include <atomic>
#include <new>

namespace vaxo_core::parser {
namespace {

constexpr std::size_t kMaxChunk = std::size_t{64} << 10;
constexpr std::align_val_t kPageAlign{NodeArena::kPage};

std::uintptr_t address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// The chunks a finished arena gives back are kept for the thread's next
// arena, up to kCachedBytes: a small compile after another then takes no
// fresh memory, while a large tree's chunks go back to the allocator, so what
// the thread holds between compiles is small whatever the input's size.
constexpr std::size_t kCachedBytes = std::size_t{128} << 10;

struct CachedChunk {
  CachedChunk* next;
  std::size_t size;
};

struct ChunkCache {
  CachedChunk* list = nullptr;  // none larger than kMaxChunk
  std::size_t bytes = 0;
  bool closed = false;  // the thread is ending: free instead of keeping

  ~ChunkCache() {
    closed = true;
    while (list != nullptr) {
      CachedChunk* next = list->next;
      ::operator delete(list);
      list = next;
    }
    bytes = 0;
  }

  // The first of at least `wanted` bytes, or null: what a larger one has to
  // spare serves the arena's later blocks.
  CachedChunk* take(std::size_t wanted) noexcept {
    CachedChunk** link = &list;
    while (*link != nullptr && (*link)->size < wanted) link = &(*link)->next;
    CachedChunk* c = *link;
    if (c != nullptr) {
      *link = c->next;
      bytes -= c->size;
    }
    return c;
  }

  bool keep(void* raw, std::size_t size) noexcept {
    if (closed || size > kMaxChunk || bytes + size > kCachedBytes) return false;
    auto* c = static_cast<CachedChunk*>(raw);
    c->size = size;
    c->next = list;
    list = c;
    bytes += size;
    return true;
  }
};

thread_local ChunkCache t_chunks;

}  // namespace

constinit thread_local NodeArena* NodeArena::t_current = nullptr;

// Small blocks made outside any arena: a page counts its live blocks, plus one
// while it is the thread's page to carve from, and goes when that reaches
// zero, on whichever thread frees last.
struct NodeArena::HeapPage {
  PageHead head;  // names no arena
  std::atomic<std::size_t> live;

  static void drop(HeapPage* page) noexcept {
    if (page->live.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      page->~HeapPage();
      ::operator delete(page, kPageAlign);
    }
  }
};

struct NodeArena::HeapPages {
  HeapPage* page = nullptr;
  char* cursor = nullptr;
  char* end = nullptr;
  bool closed = false;  // the thread is ending: nothing holds a page for it

  ~HeapPages() {
    closed = true;
    if (page != nullptr) HeapPage::drop(page);
    page = nullptr;
    cursor = end = nullptr;
  }
};

thread_local NodeArena::HeapPages NodeArena::t_heap;

void* NodeArena::from_heap(std::size_t grains) {
  static_assert(sizeof(HeapPage) % kGrain == 0 && sizeof(HeapPage) + kSmallMax <= kPage);
  const std::size_t bytes = grains * kGrain;
  HeapPages& h = t_heap;
  if (static_cast<std::size_t>(h.end - h.cursor) < bytes) {
    auto* fresh = new (::operator new(kPage, kPageAlign)) HeapPage{{nullptr}, {1}};
    char* first = reinterpret_cast<char*>(fresh) + sizeof(HeapPage);
    if (h.closed) return first;  // a page of its own, counting only this block
    if (h.page != nullptr) HeapPage::drop(h.page);
    h.page = fresh;
    h.cursor = first;
    h.end = reinterpret_cast<char*>(fresh) + kPage;
  }
  h.page->live.fetch_add(1, std::memory_order_relaxed);
  void* start = h.cursor;
  h.cursor += bytes;
  return start;
}

void NodeArena::to_heap(void* block) noexcept { HeapPage::drop(reinterpret_cast<HeapPage*>(page_of(block))); }

void* NodeArena::allocate_large(std::size_t size) {
  const std::size_t bytes = grains_for(size) * kGrain + kGrain;
  NodeArena* arena = t_current;
  if (arena == nullptr) {
    void* start = ::operator new(bytes);
    *static_cast<NodeArena**>(start) = nullptr;
    return static_cast<char*>(start) + kGrain;
  }
  return arena->large_block(bytes);
}

void NodeArena::deallocate_large(void* block) noexcept {
  void* start = static_cast<char*>(block) - kGrain;
  NodeArena* arena = *static_cast<NodeArena**>(start);
  if (arena == nullptr) return ::operator delete(start);
  if (--arena->refs_ == 0) delete arena;
}

NodeArena::Chunk* NodeArena::new_chunk(std::size_t wanted) {
  char* raw;
  std::size_t chunk_bytes;
  if (CachedChunk* cached = t_chunks.take(wanted)) {
    raw = reinterpret_cast<char*>(cached);
    chunk_bytes = cached->size;
  } else {
    if (wanted <= kMaxChunk) {
      chunk_bytes = next_chunk_;
      while (chunk_bytes < wanted) chunk_bytes *= 2;
      if (next_chunk_ < kMaxChunk) next_chunk_ *= 2;
    } else {
      chunk_bytes = wanted;
    }
    raw = static_cast<char*>(::operator new(chunk_bytes));
  }
  auto* chunk = reinterpret_cast<Chunk*>(raw);
  chunk->next = chunks_;
  chunk->size = chunk_bytes;
  chunks_ = chunk;
  return chunk;
}

void NodeArena::keep_tail() {
  // What the current page has left serves a later block of its size.
  const std::size_t tail = static_cast<std::size_t>(end_ - cursor_);
  if (tail >= kGrain && tail / kGrain < kBuckets) {
    auto* f = reinterpret_cast<FreeBlock*>(cursor_);
    f->next = free_[tail / kGrain];
    free_[tail / kGrain] = f;
  }
  cursor_ = end_;
}

void NodeArena::use_chunk(Chunk* chunk, char* from) {
  keep_tail();
  char* chunk_end = reinterpret_cast<char*>(chunk) + chunk->size;
  const std::uintptr_t first_page = (address(from) + kPage - 1) & ~std::uintptr_t{kPage - 1};
  gap_ = from;
  gap_end_ = first_page < address(chunk_end) ? from + (first_page - address(from)) : chunk_end;
  cursor_ = end_ = gap_end_;
  low_ = chunk_end;
}

void* NodeArena::from_new_page(std::size_t grains) {
  const std::size_t bytes = grains * kGrain;
  const std::size_t needed = sizeof(PageHead) + bytes;
  keep_tail();
  std::uintptr_t page_start = (address(end_) + kPage - 1) & ~std::uintptr_t{kPage - 1};
  if (page_start + needed > address(low_)) {
    Chunk* chunk = new_chunk(sizeof(Chunk) + kPage + needed);
    use_chunk(chunk, reinterpret_cast<char*>(chunk) + sizeof(Chunk));
    page_start = address(end_);
  }
  char* page = end_ + (page_start - address(end_));
  reinterpret_cast<PageHead*>(page)->arena = this;
  end_ = address(low_) - page_start < kPage ? low_ : page + kPage;
  cursor_ = page + needed;
  return page + sizeof(PageHead);
}

void* NodeArena::large_block(std::size_t bytes) {
  char* start;
  if (static_cast<std::size_t>(gap_end_ - gap_) >= bytes) {
    start = gap_;
    gap_ += bytes;
  } else if (static_cast<std::size_t>(low_ - cursor_) >= bytes) {
    low_ -= bytes;
    if (end_ > low_) end_ = low_;
    start = low_;
  } else {
    Chunk* chunk = new_chunk(sizeof(Chunk) + bytes);
    start = reinterpret_cast<char*>(chunk) + sizeof(Chunk);
    // Small blocks go on where more room is left.
    const std::size_t room = chunk->size - sizeof(Chunk) - bytes;
    if (room > kPage && room - kPage > static_cast<std::size_t>(low_ - cursor_)) use_chunk(chunk, start + bytes);
  }
  *reinterpret_cast<NodeArena**>(start) = this;
  ++refs_;
  return start + kGrain;
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
