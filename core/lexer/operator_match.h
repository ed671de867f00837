// The recogniser of operator texts, generated from the rows of operator.def:
// the operator spelled by the longest text at a position, where the rows'
// `not_before` bytes do not refuse it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "core/lexer/operator.h"

namespace vaxo_core::lexer {

// For each first byte, the candidate texts longest first, the last one the
// one-byte operator (if any). A row's `not_before` bytes become candidates of
// their own (its text and that byte) that yield the longest shorter match.
// Each first byte gets code of its own (`match_from<B>`) that compares its
// candidates as constants; one switch on the first byte picks it.
namespace operator_detail {

inline constexpr std::size_t kMaxOperatorLength = 3;
inline constexpr std::size_t kMaxCandidates = 6;
struct Candidate {
  std::array<char, kMaxOperatorLength + 1> text{};  // the bytes to compare
  std::size_t size = 0;
  Operator op = Operator::Unknown;  // the result and its size
  std::size_t op_size = 0;
};
struct Candidates {
  std::array<Candidate, kMaxCandidates> list{};
  std::size_t count = 0;
  bool fits = true;
};

// The longest row shorter than `text` that `text` starts with (0: none).
constexpr std::size_t longest_below(std::string_view text) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < std::size(kOperators); ++i) {
    const std::string_view t = kOperators[i].text;
    if (t.size() < text.size() && text.substr(0, t.size()) == t && t.size() > kOperators[best].text.size()) best = i;
  }
  return best;
}

constexpr Candidates candidates_of(unsigned char first) {
  Candidates c;
  const auto add = [&c](std::string_view text, char follower, const OperatorInfo& result) {
    if (c.count == kMaxCandidates) {
      c.fits = false;
      return;
    }
    Candidate& e = c.list[c.count++];
    for (std::size_t i = 0; i < text.size(); ++i) e.text[i] = text[i];
    e.size = text.size();
    if (follower != '\0') e.text[e.size++] = follower;
    e.op = result.op;
    e.op_size = result.text.size();
  };
  // Longest first: refusals (a text and one byte) ahead of the texts.
  for (std::size_t size = kMaxOperatorLength + 1; size >= 1; --size) {
    for (std::size_t i = 1; i < std::size(kOperators); ++i) {
      const OperatorInfo& row = kOperators[i];
      if (row.text.empty() || static_cast<unsigned char>(row.text[0]) != first) continue;
      if (row.text.size() == size) add(row.text, '\0', row);
      if (row.text.size() + 1 == size) {
        for (char follower : row.not_before) add(row.text, follower, kOperators[longest_below(row.text)]);
      }
    }
  }
  return c;
}

constexpr bool all_fit() {
  std::array<std::size_t, 256> count{};
  for (std::size_t i = 1; i < std::size(kOperators); ++i) {
    const std::string_view t = kOperators[i].text;
    if (t.empty() || t.size() > kMaxOperatorLength || static_cast<unsigned char>(t[0]) >= 0x80) return false;
    count[static_cast<unsigned char>(t[0])] += 1 + kOperators[i].not_before.size();
  }
  for (std::size_t n : count) {
    if (n > kMaxCandidates) return false;
  }
  return true;
}
static_assert(all_fit(), "operator texts of 1 to 3 ASCII bytes, at most six candidates per first byte");

template <unsigned char B>
inline constexpr Candidates kCandidates = candidates_of(B);

// True when candidate `I` of byte B is written at `data[p]` (whose first byte is B).
template <unsigned char B, std::size_t I>
[[gnu::always_inline]] inline bool written(const char* data, std::size_t p, std::size_t size) {
  constexpr Candidate c = kCandidates<B>.list[I];
  if constexpr (c.size > 1) {
    if (size - p < c.size) return false;
    for (std::size_t k = 1; k < c.size; ++k) {
      if (data[p + k] != c.text[k]) return false;
    }
  }
  return true;
}

struct Match {
  Operator op = Operator::Unknown;
  std::uint8_t size = 0;
};

// The first candidate from `I` on that is written at `data[p]`.
template <unsigned char B, std::size_t I = 0>
[[gnu::always_inline]] inline Match match_from(const char* data, std::size_t p, std::size_t size) {
  if constexpr (I == kCandidates<B>.count) {
    return {};
  } else {
    constexpr Candidate c = kCandidates<B>.list[I];
    if (written<B, I>(data, p, size)) return {c.op, static_cast<std::uint8_t>(c.op_size)};
    return match_from<B, I + 1>(data, p, size);
  }
}

// Bit b: some operator text begins with byte b.
inline constexpr auto kFirstBytes = [] {
  std::array<bool, 256> first{};
  for (std::size_t i = 1; i < std::size(kOperators); ++i) first[static_cast<unsigned char>(kOperators[i].text[0])] = true;
  return first;
}();

}  // namespace operator_detail

constexpr bool starts_operator(unsigned char c) { return operator_detail::kFirstBytes[c]; }

// The operator spelled by the longest text at `data[p]` (the input ends at
// `size`, past `p`), and its size; size 0 where none begins there.
using OperatorMatch = operator_detail::Match;
[[gnu::always_inline]] inline OperatorMatch match_operator(const char* data, std::size_t p, std::size_t size) {
  using operator_detail::match_from;
#define VAXO_OP_CASE(n) \
  case (n):             \
    return match_from<(n)>(data, p, size);
#define VAXO_OP_CASE4(n) VAXO_OP_CASE(n) VAXO_OP_CASE(n + 1) VAXO_OP_CASE(n + 2) VAXO_OP_CASE(n + 3)
#define VAXO_OP_CASE16(n) VAXO_OP_CASE4(n) VAXO_OP_CASE4(n + 4) VAXO_OP_CASE4(n + 8) VAXO_OP_CASE4(n + 12)
#define VAXO_OP_CASE64(n) VAXO_OP_CASE16(n) VAXO_OP_CASE16(n + 16) VAXO_OP_CASE16(n + 32) VAXO_OP_CASE16(n + 48)
  switch (static_cast<unsigned char>(data[p])) {
    VAXO_OP_CASE64(0)
    VAXO_OP_CASE64(64)
    default:
      return {};
  }
#undef VAXO_OP_CASE64
#undef VAXO_OP_CASE16
#undef VAXO_OP_CASE4
#undef VAXO_OP_CASE
}

}  // namespace vaxo_core::lexer
