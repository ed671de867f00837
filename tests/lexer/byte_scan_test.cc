// The byte scans, and the scanner's name end built on them, against a
// byte-at-a-time reading of the same text: every start and end around the
// sixteen-byte blocks, and every byte value in every lane (the class tests
// rest on signed compares, so the bytes next to each range and those from
// 0x80 up are where a fault would show).
#include "core/base/byte_scan.h"
#include "core/lexer/name_scan.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>

namespace vaxo_core::base::byte_scan {
namespace {

template <typename Set>
std::size_t naive_find(const std::string& s, std::size_t from, std::size_t to, const Set& set, bool in) {
  while (from < to && set.contains(static_cast<unsigned char>(s[from])) != in) ++from;
  return from;
}

// Bytes mostly from `pool`, some of any value.
std::string random_text(std::mt19937& rng, std::size_t n, const std::string& pool) {
  std::string s(n, '\0');
  for (auto& c : s) c = rng() % 4 == 0 ? static_cast<char>(rng()) : pool[rng() % pool.size()];
  return s;
}

template <typename Set>
void check_against_naive(const Set& set, const std::string& pool) {
  std::mt19937 rng(7);
  for (std::size_t n : {0, 1, 15, 16, 17, 31, 33, 70}) {
    const std::string s = random_text(rng, n, pool);
    for (std::size_t from = 0; from <= n; ++from) {
      for (std::size_t to = from; to <= n; ++to) {
        ASSERT_EQ(find(s.data(), from, to, set), naive_find(s, from, to, set, true)) << n << ' ' << from << ' ' << to;
      }
    }
  }
}

TEST(ByteScan, FindAgreesWithAByteAtATimeScan) {
  check_against_naive(any_of('\n'), "ab\n");
  check_against_naive(any_of('\n', '\r'), "a\r\n");
  check_against_naive(any_of('$', '\\', '"'), "x$\\\"");
  check_against_naive(any_of('\xff', '\x80', '\0'), std::string("a\xff\x80\x7f", 4) + '\0');
  check_against_naive(AsciiWord{}, "aZ09_@[`{/:\x80\xff");
}

// The scanner finds a name's end as the first byte outside AsciiWord, sixteen
// bytes at a time, and tells whether a byte from 0x80 up stops it.
TEST(ByteScan, NameEndIsTheFirstByteOutsideTheWordSet) {
  std::mt19937 rng(5);
  for (std::size_t n : {0, 1, 15, 16, 17, 31, 33, 70}) {
    const std::string s = random_text(rng, n, "aZ09_aZ09_@[`{/:\x80\xff");
    for (std::size_t from = 0; from <= n; ++from) {
      bool wide = false;
      const std::size_t end = lexer::scanner::ascii_continue_end(s.data(), from, n, wide);
      ASSERT_EQ(end, naive_find(s, from, n, AsciiWord{}, false)) << n << ' ' << from;
      ASSERT_EQ(wide, end < n && static_cast<unsigned char>(s[end]) >= 0x80) << n << ' ' << from;
    }
  }
}

template <typename Set>
void check_every_byte_in_every_lane(const Set& set) {
  for (int b = 0; b < 256; ++b) {
    const bool in = set.contains(static_cast<unsigned char>(b));
    // The other lanes hold a byte of the opposite class.
    int other = 0;
    while (set.contains(static_cast<unsigned char>(other)) == in) ++other;
    for (unsigned lane = 0; lane < 16; ++lane) {
      std::string block(16, static_cast<char>(other));
      block[lane] = static_cast<char>(b);
      const unsigned expected = in ? 1u << lane : 0xFFFFu & ~(1u << lane);
      ASSERT_EQ(mask16(block.data(), set), expected) << b << ' ' << lane;
    }
  }
}

TEST(ByteScan, EveryByteValueIsClassifiedInEveryLane) {
  check_every_byte_in_every_lane(AsciiWord{});
  check_every_byte_in_every_lane(any_of('_'));
  check_every_byte_in_every_lane(any_of('\n', '\r'));
  check_every_byte_in_every_lane(any_of('\xff', '$', '\x80'));
}

TEST(ByteScan, CountAgreesWithAByteAtATimeCount) {
  std::mt19937 rng(11);
  // Long enough that lanes are summed more than once (255 blocks at a time).
  for (std::size_t n : {0, 5, 16, 255 * 16, 255 * 16 + 17, 10000}) {
    const std::string s = random_text(rng, n, "\n\n\nab");
    for (std::size_t from : {std::size_t{0}, std::size_t{1}, n / 3}) {
      if (from > n) continue;
      std::size_t expected = 0;
      for (std::size_t i = from; i < n; ++i) expected += s[i] == '\n';
      EXPECT_EQ(count(s.data(), from, n, '\n'), expected) << n << ' ' << from;
    }
  }
}

}  // namespace
}  // namespace vaxo_core::base::byte_scan
