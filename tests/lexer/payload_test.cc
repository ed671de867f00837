// Payload blocks: carved per thread, released from anywhere. A block or chunk
// lost or freed twice shows under the sanitizer build (leak or
// use-after-free report); these tests make each way of releasing happen.
#include "core/lexer/payload.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/lexer/token.h"

namespace vaxo_core::lexer {
namespace {

using K = TokenKind;

TEST(Payload, BlocksAreAlignedAndDisjointAcrossChunks) {
  struct Block {
    unsigned char* p;
    std::size_t size;
  };
  std::vector<Block> blocks;
  // Enough blocks of every size to fill many chunks.
  for (int round = 0; round < 40; ++round) {
    for (std::size_t size = 1; size <= payload::kMaxBlock; size += 7) {
      auto* p = static_cast<unsigned char*>(payload::allocate(size));
      ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u);
      std::memset(p, static_cast<int>(blocks.size() & 0xFF), size);
      blocks.push_back({p, size});
    }
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    for (std::size_t j = 0; j < blocks[i].size; ++j) ASSERT_EQ(blocks[i].p[j], i & 0xFF) << i;
  }
  // Released out of order: every other block first, then the rest backwards.
  for (std::size_t i = 0; i < blocks.size(); i += 2) payload::release(blocks[i].p);
  for (std::size_t i = blocks.size(); i-- > 0;) {
    if (i % 2 == 1) payload::release(blocks[i].p);
  }
  payload::release(nullptr);
}

// Kinds made on a thread that then ends, copied and destroyed on this one;
// and kinds made here destroyed on another thread.
TEST(Payload, KindsOutliveAndCrossTheirThread) {
  const std::string text(100, 't');
  std::vector<K> made;
  std::thread maker([&] {
    for (int i = 0; i < 5000; ++i) {
      // A value too big to fold into the tag word: boxed.
      made.emplace_back(K::Number{static_cast<double>(i), NumberInfo{NumberInfo::Hexadecimal{~0ull}}});
      made.emplace_back(K::String{CowText::owned(text), {}});
      made.push_back(K::unknown(Operator::Plus, {0, 1}, diagnostic::DiagnosticCode::UnexpectedToken));
    }
  });
  maker.join();
  std::vector<K> copies = made;
  for (std::size_t i = 0; i < made.size(); i += 3) {
    ASSERT_EQ(made[i].get_if<K::Number>()->value, static_cast<double>(i / 3));
    ASSERT_EQ(made[i + 1].get_if<K::String>()->value, text);
    ASSERT_EQ(*made[i + 2].get_if<K::Unknown>()->recovered, Operator::Plus);
  }
  made.clear();
  EXPECT_EQ(copies.size(), 15000u);
  std::thread destroyer([&] { copies.clear(); });
  destroyer.join();
  EXPECT_TRUE(copies.empty());
}

// A kind made while its thread exits (from a thread-local's destructor that
// runs after the carver's) still gets a block that is freed in the end.
std::vector<K>* g_late = nullptr;

struct LateMaker {
  ~LateMaker() { g_late->emplace_back(K::Number{7, NumberInfo{NumberInfo::Hexadecimal{~0ull}}}); }
};

TEST(Payload, KindsMadeWhileTheThreadExits) {
  std::vector<K> late;
  g_late = &late;
  std::thread t([] {
    thread_local LateMaker maker;  // constructed before the carver: destroyed after it
    (void)&maker;
    K early = K::Number{1, NumberInfo{NumberInfo::Hexadecimal{~0ull}}};
    (void)early;
  });
  t.join();
  ASSERT_EQ(late.size(), 1u);
  EXPECT_EQ(late[0].get_if<K::Number>()->value, 7);
  g_late = nullptr;
}

}  // namespace
}  // namespace vaxo_core::lexer
