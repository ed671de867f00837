#include "core/parser/node_list.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/parser/node_arena.h"

namespace vaxo_core::parser {
namespace {

// Counts live instances, so a lost or doubly destroyed element shows.
struct Tracked {
  static inline int live = 0;
  std::unique_ptr<std::string> text;
  explicit Tracked(std::string s) : text(std::make_unique<std::string>(std::move(s))) { ++live; }
  Tracked(Tracked&& other) noexcept : text(std::move(other.text)) { ++live; }
  Tracked& operator=(Tracked&&) noexcept = default;
  ~Tracked() { --live; }
};

std::vector<std::string> texts(const NodeList<Tracked>& list) {
  std::vector<std::string> out;
  for (const Tracked& t : list) out.push_back(t.text ? *t.text : "<moved>");
  return out;
}

// The same operations from the heap and from a parse's arena.
class NodeListTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    Tracked::live = 0;
    if (GetParam()) arena_.emplace();
  }
  void TearDown() override {
    arena_.reset();
    EXPECT_EQ(Tracked::live, 0);
  }
  std::optional<NodeArena::Scope> arena_;
};

TEST_P(NodeListTest, GrowsKeepingElementsInOrder) {
  NodeList<Tracked> list;
  EXPECT_TRUE(list.empty());
  std::vector<std::string> expected;
  for (int i = 0; i < 100; ++i) {
    list.emplace_back(std::to_string(i));
    expected.push_back(std::to_string(i));
    ASSERT_EQ(texts(list), expected);
    EXPECT_GE(list.capacity(), list.size());
  }
  EXPECT_EQ(Tracked::live, 100);
  EXPECT_EQ(*list.front().text, "0");
  EXPECT_EQ(*list.back().text, "99");
  list.pop_back();
  EXPECT_EQ(Tracked::live, 99);
  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(Tracked::live, 0);
  list.emplace_back("again");
  EXPECT_EQ(texts(list), std::vector<std::string>{"again"});
}

TEST_P(NodeListTest, ElementOfTheListItselfSurvivesGrowth) {
  NodeList<std::string> list;
  list.push_back("first");
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(list.size(), list.capacity()) << "the next push must grow";
    list.push_back(list.front());
    while (list.size() < list.capacity()) list.push_back("x");
  }
  EXPECT_EQ(list[1], "first");
}

TEST_P(NodeListTest, MovesTransferOwnership) {
  NodeList<Tracked> a;
  a.reserve(3);
  EXPECT_EQ(a.capacity(), 3u);
  for (const char* s : {"a", "b", "c"}) a.emplace_back(s);
  const Tracked* data = a.data();

  NodeList<Tracked> b(std::move(a));
  EXPECT_TRUE(a.empty());  // NOLINT: moved-from state is specified
  EXPECT_EQ(b.data(), data);
  EXPECT_EQ(texts(b), (std::vector<std::string>{"a", "b", "c"}));

  NodeList<Tracked> c;
  c.emplace_back("old");
  c = std::move(b);
  EXPECT_EQ(texts(c), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Tracked::live, 3);

  NodeList<Tracked>& alias = c;
  c = std::move(alias);  // a self-move keeps the elements
  EXPECT_EQ(Tracked::live, 3);

  a.emplace_back("reused");
  EXPECT_EQ(texts(a), std::vector<std::string>{"reused"});
}

TEST_P(NodeListTest, BracedListKeepsItsOrder) {
  NodeList<int> list = {1, 2, 3};
  EXPECT_EQ(std::vector<int>(list.begin(), list.end()), (std::vector<int>{1, 2, 3}));
  NodeList<int> none = {};
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.data(), nullptr);
}

TEST_P(NodeListTest, SizePastThirtyTwoBitsThrows) {
  NodeList<std::uint8_t> list;
  EXPECT_THROW(list.reserve(std::size_t{NodeList<std::uint8_t>::kMaxSize} + 1), std::length_error);
  EXPECT_TRUE(list.empty());
}

TEST_P(NodeListTest, EmptyListsMoveAndDieWithoutStorage) {
  NodeList<Tracked> a;
  EXPECT_EQ(a.data(), nullptr);
  EXPECT_EQ(a.begin(), a.end());
  EXPECT_EQ(a.capacity(), 0u);

  NodeList<Tracked> b(std::move(a));
  EXPECT_EQ(b.data(), nullptr);
  b = std::move(a);
  NodeList<Tracked>& alias = b;
  b = std::move(alias);
  EXPECT_EQ(b.data(), nullptr);

  // An empty list moved over a full one frees the full one's elements and block.
  NodeList<Tracked> full;
  full.emplace_back("x");
  full = std::move(b);
  EXPECT_EQ(full.data(), nullptr);
  EXPECT_EQ(Tracked::live, 0);

  // Cleared keeps its block; moved away, the source is empty again.
  full.emplace_back("y");
  const std::size_t kept = full.capacity();
  full.clear();
  EXPECT_TRUE(full.empty());
  EXPECT_EQ(full.capacity(), kept);
  NodeList<Tracked> taken(std::move(full));
  EXPECT_EQ(taken.capacity(), kept);
  EXPECT_EQ(full.capacity(), 0u);  // NOLINT: moved-from state is specified
}

// The header shares the block with the elements: growth must keep both
// intact and the elements as aligned as an arena block. Pushes cost amortised
// constant time: the block moves a logarithmic number of times.
template <typename T>
void grow_and_check(T (*make)(int)) {
  constexpr int kCount = 300;
  NodeList<T> list;
  int moves = 0;
  for (int i = 0; i < kCount; ++i) {
    const T* before = list.data();
    list.push_back(make(i));
    if (list.data() != before) ++moves;
    ASSERT_EQ(list.size(), static_cast<std::size_t>(i) + 1);
    ASSERT_GE(list.capacity(), list.size());
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(list.data()) % NodeArena::kAlign, 0u);
  }
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(list[i], make(i)) << i;
  EXPECT_LE(moves, 2 * std::bit_width(static_cast<unsigned>(kCount)));
}

struct Odd {
  char bytes[3];
  bool operator==(const Odd&) const = default;
};

TEST_P(NodeListTest, GrowthKeepsHeaderElementsAndAlignment) {
  grow_and_check<std::uint8_t>([](int i) { return static_cast<std::uint8_t>(i * 7); });
  grow_and_check<Odd>([](int i) { return Odd{{static_cast<char>(i), static_cast<char>(~i), 'z'}}; });
  grow_and_check<double>([](int i) { return i * 0.5; });
  grow_and_check<std::string>(
      [](int i) { return std::string(static_cast<std::size_t>(i % 40), static_cast<char>('a' + i % 26)); });
}

TEST_P(NodeListTest, ReserveThenPushFillsWithoutMoving) {
  NodeList<Tracked> list;
  list.reserve(5);
  list.reserve(2);  // never shrinks
  ASSERT_EQ(list.capacity(), 5u);
  EXPECT_TRUE(list.empty());
  const Tracked* data = list.data();
  for (const char* s : {"a", "b", "c", "d", "e"}) list.emplace_back(s);
  EXPECT_EQ(list.data(), data);
  EXPECT_EQ(list.capacity(), 5u);
  list.emplace_back("f");
  EXPECT_GE(list.capacity(), 6u);
  EXPECT_EQ(texts(list), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
  list.reserve(20);
  EXPECT_EQ(texts(list), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
  EXPECT_EQ(Tracked::live, 6);

  NodeList<Tracked> unused;
  unused.reserve(4);  // a block holding no element is still released
}

// Nested lists share one buffer, each taking its own top part into a list
// of exactly its count: every element changes owner once, in order, and an
// argument held by the buffer itself survives the buffer's growth.
TEST_P(NodeListTest, BufferHandsItsTopOverToAListOnce) {
  GrowingBuffer<Tracked> buffer;
  for (int i = 0; i < 3; ++i) buffer.emplace_back("outer" + std::to_string(i));
  const std::size_t inner_base = buffer.size();
  for (int i = 0; i < 200; ++i) buffer.emplace_back(std::to_string(i));
  while (buffer.size() < buffer.capacity()) buffer.emplace_back("pad");
  buffer.push_back(Tracked(*buffer.data()[0].text));  // grows with the source inside
  EXPECT_EQ(*buffer.back().text, "outer0");
  const std::string* first_inner = buffer.data()[inner_base].text.get();
  const int live = Tracked::live;

  NodeList<Tracked> inner;
  inner.reserve(buffer.size() - inner_base);
  buffer.move_into(inner, inner_base);
  EXPECT_EQ(buffer.size(), inner_base);
  EXPECT_EQ(inner.size(), inner.capacity());
  EXPECT_EQ(inner.front().text.get(), first_inner);
  EXPECT_EQ(*inner[199].text, "199");
  EXPECT_EQ(*inner.back().text, "outer0");
  EXPECT_EQ(Tracked::live, live);  // each moved exactly once: none lost, none doubled

  buffer.pop_back();
  NodeList<Tracked> outer;
  outer.reserve(buffer.size());
  buffer.move_into(outer);
  EXPECT_EQ(texts(outer), (std::vector<std::string>{"outer0", "outer1"}));
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(Tracked::live, static_cast<int>(inner.size() + outer.size()));

  buffer.emplace_back("left");  // dies with the buffer
}

// Lists of lists, as tree nodes hold: every element dies once, at the end.
TEST_P(NodeListTest, NestedListsDestroyEachElementOnce) {
  {
    NodeList<NodeList<Tracked>> outer;
    for (int i = 0; i < 9; ++i) {
      NodeList<Tracked>& inner = outer.emplace_back();
      for (int j = 0; j < i; ++j) inner.emplace_back(std::to_string(i * 10 + j));
    }
    EXPECT_EQ(Tracked::live, 36);
    EXPECT_EQ(texts(outer[3]), (std::vector<std::string>{"30", "31", "32"}));
    outer.pop_back();
    EXPECT_EQ(Tracked::live, 28);
    outer[2] = std::move(outer[7]);
    EXPECT_EQ(Tracked::live, 26);
    EXPECT_TRUE(outer[7].empty());
  }
  EXPECT_EQ(Tracked::live, 0);
}

INSTANTIATE_TEST_SUITE_P(HeapAndArena, NodeListTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Arena" : "Heap"; });

// A tree may outlive its parse, and a hand-built one may die inside one.
TEST(NodeListArenaTest, ListCrossesTheArenaScope) {
  Tracked::live = 0;
  std::optional<NodeList<Tracked>> from_arena;
  {
    NodeArena::Scope scope;
    from_arena.emplace();
    from_arena->emplace_back("made in the parse");
    NodeList<Tracked> short_lived;
    for (int i = 0; i < 20; ++i) short_lived.emplace_back(std::to_string(i));
  }
  for (int i = 0; i < 20; ++i) from_arena->emplace_back(std::to_string(i));  // grows onto the heap
  EXPECT_EQ(*from_arena->front().text, "made in the parse");
  EXPECT_EQ(from_arena->size(), 21u);

  NodeList<Tracked> from_heap;
  from_heap.emplace_back("made outside");
  {
    NodeArena::Scope scope;
    from_heap.emplace_back("grown inside");
    NodeList<Tracked> dies_inside(std::move(*from_arena));
    from_arena.reset();
    EXPECT_EQ(dies_inside.size(), 21u);
  }
  EXPECT_EQ(texts(from_heap), (std::vector<std::string>{"made outside", "grown inside"}));
  from_heap = NodeList<Tracked>();
  EXPECT_EQ(Tracked::live, 0);
}

}  // namespace
}  // namespace vaxo_core::parser
