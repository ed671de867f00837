// Where tree nodes live: one arena per parse.
//
// Expression, Pattern, Statement and Iterable take their memory from here
// (class-level operator new/delete), so the tree keeps its one owner per node
// and its std::unique_ptr children while allocating costs a pointer bump and
// freeing a list push. Nodes made while a parse runs on this thread come from
// that parse's arena; any other node (tests build trees by hand) from the heap.
//
// Small blocks (nodes, tokens, short lists) carry no header: they are carved
// from pages aligned to kPage whose first word names the arena, found by
// masking the block's address. Small blocks made outside any arena get pages
// of their own, which count their live blocks. A larger block keeps one word
// in front naming its arena (null for the heap); the size `deallocate`
// receives tells the two kinds apart.
//
// The arena counts the blocks it handed out plus one for the parse that opened
// it and gives its chunks back when the count reaches zero, so a tree, or a
// node moved out of it, may outlive the parse and die on any thread, in any
// order. One arena is never used by two threads at once: a tree is.
//
// A scope opened while another is active on the thread joins its arena, so a
// parse inside a larger job (a whole compile) puts its tree where the job's
// other nodes go. The scope that opened an arena may also discard it: every
// chunk goes at once, without a destructor or a free per node, for a job that
// knows nothing it made is still alive.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vaxo_core::parser {

class NodeArena {
 public:
  // Blocks are aligned to kAlign; `size` must be the one allocated.
  static constexpr std::size_t kAlign = 8;
  static constexpr std::size_t kSmallMax = 512;
  static constexpr std::size_t kPage = 4096;

  // A block of `size` bytes: from the current arena (its free list for the
  // size, else its chunk), or outside a parse from the heap pages.
  [[gnu::always_inline]] static void* allocate(std::size_t size) {
    if (size > kSmallMax) [[unlikely]]
      return allocate_large(size);
    const std::size_t grains = grains_for(size);
    NodeArena* arena = t_current;
    if (arena == nullptr) [[unlikely]]
      return from_heap(grains);
    void* start;
    if (arena->free_[grains] != nullptr) {
      FreeBlock* f = arena->free_[grains];
      arena->free_[grains] = f->next;
      start = f;
    } else if (static_cast<std::size_t>(arena->end_ - arena->cursor_) >= grains * kGrain) {
      start = arena->cursor_;
      arena->cursor_ += grains * kGrain;
    } else {
      start = arena->from_new_page(grains);
    }
    ++arena->refs_;
    return start;
  }

  static void deallocate(void* block, std::size_t size) noexcept {
    if (block == nullptr) return;
    if (size > kSmallMax) [[unlikely]]
      return deallocate_large(block);
    NodeArena* arena = page_of(block)->arena;
    if (arena == nullptr) [[unlikely]]
      return to_heap(block);
    // Only the parse that owns the arena allocates from it: once it is over,
    // a freed block is never handed out again.
    if (arena == t_current) {
      auto* f = static_cast<FreeBlock*>(block);
      const std::size_t grains = grains_for(size);
      f->next = arena->free_[grains];
      arena->free_[grains] = f;
    }
    if (--arena->refs_ == 0) [[unlikely]]
      delete arena;
  }

  // RAII: while alive, nodes made on this thread come from a fresh arena,
  // or from the one already active on the thread.
  class Scope {
   public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    // Frees every chunk of the arena now and ends the scope; later nodes come
    // from the heap again (or the outer arena). Only the scope that opened
    // the arena may do this: false, and nothing done, for one that joined.
    // No block of the arena may be used or freed afterwards.
    bool discard() noexcept;

   private:
    NodeArena* arena_;  // null once discarded
    NodeArena* outer_;
    bool joined_;
  };

  NodeArena(const NodeArena&) = delete;
  NodeArena& operator=(const NodeArena&) = delete;

 private:
  static constexpr std::size_t kGrain = kAlign;
  static constexpr std::size_t kBuckets = kSmallMax / kGrain + 1;  // every small size is recycled

  // The first word of every page that holds small blocks: their arena, or
  // null for a page of heap blocks.
  struct PageHead {
    NodeArena* arena;
  };
  struct Chunk {
    Chunk* next;
    std::size_t size;  // bytes, this header included
  };
  struct FreeBlock {
    FreeBlock* next;
  };
  struct HeapPage;
  struct HeapPages;

  static constexpr std::size_t grains_for(std::size_t size) { return size == 0 ? 1 : (size + kGrain - 1) / kGrain; }
  static PageHead* page_of(void* block) {
    return reinterpret_cast<PageHead*>(reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{kPage - 1});
  }
  static void* from_heap(std::size_t grains);
  static void to_heap(void* block) noexcept;
  static void* allocate_large(std::size_t size);
  static void deallocate_large(void* block) noexcept;

  NodeArena() = default;
  ~NodeArena();
  void* from_new_page(std::size_t grains);
  void* large_block(std::size_t bytes);
  Chunk* new_chunk(std::size_t wanted);
  void keep_tail();
  void use_chunk(Chunk* chunk, char* from);
  static void release_chunk(Chunk* chunk) noexcept;

  static constinit thread_local NodeArena* t_current;
  static thread_local HeapPages t_heap;

  // Chunks need no alignment. The current one fills with pages of small
  // blocks up from its first page boundary, and with large blocks down from
  // its end, so neither wastes the other's room; large blocks first fill the
  // gap before that boundary.
  std::size_t refs_ = 1;
  char* cursor_ = nullptr;
  char* end_ = nullptr;  // of the current page, or `low_` if that comes first
  char* low_ = nullptr;  // the lowest large block at the chunk's end
  char* gap_ = nullptr;
  char* gap_end_ = nullptr;
  std::size_t next_chunk_ = kPage;
  Chunk* chunks_ = nullptr;
  FreeBlock* free_[kBuckets] = {};
};

// Class-level allocation for a node type.
#define VAXO_ARENA_NODE                                                                           \
  [[gnu::always_inline]] static void* operator new(std::size_t size) { return NodeArena::allocate(size); } \
  static void operator delete(void* block, std::size_t size) noexcept {                          \
    NodeArena::deallocate(block, size);                                                          \
  }

}  // namespace vaxo_core::parser
