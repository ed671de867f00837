#include "core/parser/node_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
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

TEST_P(NodeListTest, ComparesWithAnyRange) {
  NodeList<int> list = {1, 2, 3};
  EXPECT_EQ(list, (std::vector<int>{1, 2, 3}));
  EXPECT_NE(list, (std::vector<int>{1, 2}));
  EXPECT_NE(list, (std::vector<int>{1, 2, 4}));
}

TEST_P(NodeListTest, SizePastThirtyTwoBitsThrows) {
  NodeList<std::uint8_t> list;
  EXPECT_THROW(list.reserve(std::size_t{NodeList<std::uint8_t>::kMaxSize} + 1), std::length_error);
  EXPECT_TRUE(list.empty());
}

INSTANTIATE_TEST_SUITE_P(HeapAndArena, NodeListTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Arena" : "Heap"; });

}  // namespace
}  // namespace vaxo_core::parser
