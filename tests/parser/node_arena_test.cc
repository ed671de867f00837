// Blocks of every size, from the heap and from arenas, made and freed in any
// order and on any thread. Each block is filled with its own pattern and
// checked before it is freed, so overlapping blocks or an owner's word written
// over a block show; the sanitizer build judges frees and leaks. Cases run on
// threads of their own: when such a thread ends, its cached chunks go too, so
// an arena whose count never reached zero leaks.
#include "core/parser/node_arena.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/parser/parser.h"
#include "tests/parser/support/source.h"

namespace vaxo_core::parser {
namespace {

// Small and large blocks around the sizes the arena treats differently, and
// some larger than a chunk.
const std::size_t kSizes[] = {1,    8,    24,   32,   64,   72,   200,  504,  512,
                              513,  520,  1000, 4000, 4096, 5000, 65536, 70000};

struct Block {
  unsigned char* data;
  std::size_t size;
  unsigned char fill;
};

class Blocks {
 public:
  Blocks() = default;
  Blocks(Blocks&&) = default;
  Blocks& operator=(Blocks&&) = default;
  ~Blocks() { free_all(); }

  void make(std::size_t size) {
    auto* data = static_cast<unsigned char*>(NodeArena::allocate(size));
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(data) % NodeArena::kAlign, 0u) << size;
    const auto fill = static_cast<unsigned char>(next_fill_++ | 1);
    std::memset(data, fill, size);
    blocks_.push_back({data, size, fill});
  }
  void make_each_size(int rounds = 1) {
    for (int r = 0; r < rounds; ++r)
      for (std::size_t size : kSizes) make(size);
  }

  std::size_t count() const { return blocks_.size(); }

  // Checks and frees the i-th block.
  void free_at(std::size_t i) {
    Block b = blocks_[i];
    blocks_[i] = blocks_.back();
    blocks_.pop_back();
    check(b);
    NodeArena::deallocate(b.data, b.size);
  }
  void free_all() {
    while (!blocks_.empty()) free_at(blocks_.size() - 1);
  }
  // For blocks whose arena was discarded.
  void forget() { blocks_.clear(); }
  void check_all() const {
    for (const Block& b : blocks_) check(b);
  }

 private:
  static void check(const Block& b) {
    for (std::size_t i = 0; i < b.size; ++i) {
      if (b.data[i] != b.fill) {
        ADD_FAILURE() << "block of " << b.size << " bytes overwritten at " << i;
        return;
      }
    }
  }

  std::vector<Block> blocks_;
  unsigned next_fill_ = 0;
};

template <typename F>
void on_fresh_thread(F f) {
  std::thread(f).join();
}

// What the allocator has handed out and not got back, over every thread.
std::int64_t in_use() { return static_cast<std::int64_t>(mallinfo2().uordblks); }

TEST(NodeArena, HeapAndArenaBlocksMixAndFreeInAnyOrder) {
  on_fresh_thread([] {
    Blocks heap_before, arena, heap_after;
    heap_before.make_each_size(3);
    {
      NodeArena::Scope scope;
      arena.make_each_size(3);
      heap_before.free_at(0);  // a heap block freed while an arena is active
      arena.free_at(5);        // recycled by the arena
      arena.make_each_size();
      heap_before.check_all();
    }
    heap_after.make_each_size(3);
    arena.check_all();
    // Interleaved: arena blocks after their scope, heap blocks from either side.
    while (arena.count() + heap_before.count() + heap_after.count() != 0) {
      if (arena.count() != 0) arena.free_at(arena.count() / 2);
      if (heap_after.count() != 0) heap_after.free_at(0);
      if (heap_before.count() != 0) heap_before.free_at(heap_before.count() - 1);
    }
  });
}

TEST(NodeArena, ManyBlocksOfMixedSizesNeverOverlap) {
  // Enough to fill many pages and chunks, with frees along the way so that
  // recycled blocks and page tails are handed out again.
  for (bool in_arena : {false, true}) {
    SCOPED_TRACE(in_arena ? "arena" : "heap");
    on_fresh_thread([in_arena] {
      std::optional<NodeArena::Scope> scope;
      if (in_arena) scope.emplace();
      std::mt19937 random(7);
      std::uniform_int_distribution<std::size_t> pick(0, std::size(kSizes) - 1);
      Blocks blocks;
      for (int i = 0; i < 20000; ++i) {
        blocks.make(random() % 4 == 0 ? kSizes[pick(random)] : 8 * (1 + random() % 64));
        if (random() % 3 == 0) blocks.free_at(random() % blocks.count());
      }
      blocks.check_all();
      scope.reset();
      blocks.free_all();
    });
  }
}

// Each block still holds its pattern when another thread frees it, and the
// pages and chunks that held the blocks go back to the allocator with the
// last of them, on whichever thread that is.
TEST(NodeArena, BlocksDieOnOtherThreadsAfterTheirThreadEnds) {
  for (bool in_arena : {false, true}) {
    SCOPED_TRACE(in_arena ? "arena" : "heap");
    const std::int64_t before = in_use();
    {
      std::vector<Blocks> halves(2);
      on_fresh_thread([&] {
        std::optional<NodeArena::Scope> scope;
        if (in_arena) scope.emplace();
        for (Blocks& half : halves) half.make_each_size(50);  // about 15 MiB in all
      });
      // Heap blocks share pages across the halves: the two threads free into
      // the same pages at once. An arena's count is one thread's at a time (a
      // tree is never shared while alive), so its halves go one after the other.
      std::thread a([&] { halves[0].free_all(); });
      if (in_arena) a.join();
      std::thread b([&] { halves[1].free_all(); });
      if (!in_arena) a.join();
      b.join();
    }
    EXPECT_LT(in_use() - before, std::int64_t{512} << 10);
  }
}

TEST(NodeArena, TreeOutlivesItsParseAndDiesOnAnotherThread) {
  // Well-formed, and faulty (owned tokens, boxed in the arena too).
  for (const char* text : {"let a = [1, 2, 3]; fn f(x) { x + \"s${a}\" } f(a) + a[1..2]",
                           "let x = \"${a b}\" + (a: 'q' 2.5 ; let [1.., ..a, ..b] = [1 2,, ..]; x y"}) {
    SCOPED_TRACE(text);
    std::optional<testing::Source> src;  // the tree borrows its tokens
    std::optional<Script> script;
    Blocks stray;
    on_fresh_thread([&] {
      src.emplace(text);  // measures the stack of the thread that parses
      NodeArena::Scope scope;
      script = parse(src->ctx());
      stray.make_each_size();  // blocks of the same arena that outlive the tree
    });
    ASSERT_TRUE(script);
    ASSERT_NE(script->value, nullptr);
    std::unique_ptr<Expression> value = std::move(script->value);  // a node moved out of the tree
    on_fresh_thread([&] { script.reset(); });
    value.reset();
    on_fresh_thread([&] { stray.free_all(); });
  }
}

TEST(NodeArena, JoinedScopeKeepsItsBlocksInTheOuterArena) {
  on_fresh_thread([] {
    Blocks outer_blocks, inner_blocks;
    NodeArena::Scope outer;
    outer_blocks.make_each_size();
    {
      NodeArena::Scope inner;
      inner_blocks.make_each_size();
      EXPECT_FALSE(inner.discard());
      outer_blocks.free_at(0);
    }
    inner_blocks.check_all();
    outer_blocks.make_each_size();
    inner_blocks.free_all();
    outer_blocks.check_all();
    EXPECT_TRUE(outer.discard());
    outer_blocks.forget();
    // The blocks went with the arena; new ones come from the heap.
    Blocks heap;
    heap.make_each_size(2);
    heap.free_all();
  });
}

TEST(NodeArena, DiscardFreesEveryChunkAtOnce) {
  on_fresh_thread([] {
    Blocks heap, arena;
    heap.make_each_size();
    NodeArena::Scope scope;
    arena.make_each_size(200);  // several chunks, large ones included
    heap.free_at(0);
    heap.check_all();
    arena.check_all();
    EXPECT_TRUE(scope.discard());
    EXPECT_FALSE(scope.discard());
    arena.forget();
    // From the heap again, not from the discarded arena.
    heap.make_each_size();
    heap.check_all();
  });
}

TEST(NodeArena, ALargeArenaLeavesLittleToItsThread) {
  for (bool discard : {false, true}) {
    SCOPED_TRACE(discard ? "discarded" : "freed block by block");
    on_fresh_thread([discard] {
      const std::int64_t before = in_use();
      {
        Blocks blocks;
        NodeArena::Scope scope;
        blocks.make_each_size(400);  // about 60 MiB
        if (discard) {
          EXPECT_TRUE(scope.discard());
          blocks.forget();
        }
      }
      EXPECT_LT(in_use() - before, std::int64_t{512} << 10);
    });
  }
}

}  // namespace
}  // namespace vaxo_core::parser
