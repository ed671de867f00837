#include "core/parser/failure_memo.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace vaxo_core::parser::memo {
namespace {

// Every bit a rule may use: the operator loop's slots and the named rules.
std::vector<int> all_bits() {
  std::vector<int> bits;
  for (int b = 0; b <= detail::kRangeSlot; ++b) bits.push_back(b);
  for (int b = static_cast<int>(Rule::IfExpression); b <= static_cast<int>(Rule::Kept); ++b) bits.push_back(b);
  return bits;
}

// A table answers exactly the failures it was told of, whichever rules share
// a position's byte or its page, and keeps them when it grows.
TEST(FailureMemoTable, AnswersExactlyWhatWasRemembered) {
  detail::Table table;
  table.grow(200);
  std::set<std::pair<std::size_t, int>> told;
  const std::vector<int> bits = all_bits();
  // Page edges, the first and last position, and a spread of others; at each,
  // a different mix of rules with a bit of their own and shared ones.
  const std::vector<std::size_t> places = {0, 1, 63, 64, 65, 127, 128, 150, 199};
  for (std::size_t i = 0; i < places.size(); ++i) {
    for (std::size_t j = 0; j < bits.size(); ++j) {
      if ((i + j) % 3 == 0) {
        table.remember(places[i], bits[j]);
        told.insert({places[i], bits[j]});
      }
    }
  }
  const auto check = [&](std::size_t size) {
    for (std::size_t at = 0; at < size; ++at) {
      for (int bit : bits) {
        EXPECT_EQ(table.failed(at, bit), told.contains({at, bit})) << "position " << at << ", bit " << bit;
      }
    }
  };
  check(200);

  // A string's block added later: new positions start clear, and a page
  // beyond the old end takes shared rules.
  table.grow(1000);
  table.remember(900, bits[1]);
  told.insert({900, bits[1]});
  table.remember(999, static_cast<int>(Rule::MatchExpression));
  told.insert({999, static_cast<int>(Rule::MatchExpression)});
  check(1000);
}

// Two different attempts never share a key in the hash set, nor a bit in
// the flat table; every minimum of an operator or keyword has a bit.
TEST(FailureMemoAttempt, KeysAndBitsTellAttemptsApart) {
  std::vector<Attempt> attempts;
  for (int r = static_cast<int>(Rule::IfExpression); r <= static_cast<int>(Rule::Kept); ++r) {
    attempts.emplace_back(static_cast<Rule>(r));
  }
  for (int min = 0; min < 256; ++min) {
    for (bool range : {false, true}) attempts.push_back(operator_loop(static_cast<std::uint8_t>(min), range));
  }
  std::set<std::uint32_t> keys;
  std::set<int> bits;
  for (const Attempt& a : attempts) {
    EXPECT_TRUE(keys.insert(a.key()).second) << "key " << a.key();
    if (a.bit() >= 0) {
      EXPECT_TRUE(bits.insert(a.bit()).second) << "bit " << a.bit();
    }
  }
  const auto has_bits = [](basic_expressions::PrecedenceResult p) {
    if (p.value == 0) return true;
    return operator_loop(p.value, false).bit() >= 0 &&
           (!p.right_associative || operator_loop(static_cast<std::uint8_t>(p.value - 1), false).bit() >= 0);
  };
  for (std::size_t i = 0; i < lexer::kOperatorCount; ++i) {
    EXPECT_TRUE(has_bits(basic_expressions::precedence_of(static_cast<lexer::Operator>(i)))) << "operator " << i;
  }
  for (std::size_t i = 0; i < lexer::kKeywordCount; ++i) {
    EXPECT_TRUE(has_bits(basic_expressions::precedence_of(static_cast<lexer::Keyword>(i)))) << "keyword " << i;
  }
  EXPECT_GE(operator_loop(basic_expressions::kSliceBound.value, false).bit(), 0);
  EXPECT_GE(operator_loop(0, true).bit(), 0);
}

}  // namespace
}  // namespace vaxo_core::parser::memo
