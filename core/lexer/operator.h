// Operator: the closed one-byte vocabulary of operators and punctuation, with
// their texts, properties and binding powers. Single source: operator.def.
// The scanner's recogniser (`match_operator`) is generated from the same rows.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <ostream>
#include <string_view>

namespace vaxo_core::lexer {

enum class Operator : std::uint8_t {
#define X(variant, text, props, power, assoc, not_before) variant,
#include "core/lexer/operator.def"
#undef X
};

namespace operator_detail {
enum OperatorProperty : std::uint16_t {
  kArithmetic = 1 << 0,
  kLogical = 1 << 1,
  kNullCoalescing = 1 << 2,
  kEquality = 1 << 3,
  kComparison = 1 << 4,
  kInfix = 1 << 5,
  kPrefix = 1 << 6,
  kPostfix = 1 << 7,
  kCompound = 1 << 8,
  kOperand = 1 << 9,   // opens an operand: a bracket (prefix operators have kPrefix)
  kSuffix = 1 << 10,   // continues an operand: `::`, `!`, `.`, `[`, `(`
  kStopsExpression = 1 << 11,  // ends an Unknown expression stretch (with the kCompound ones)
};
enum Associativity : std::uint8_t { L, R };
struct OperatorInfo {
  Operator op;
  std::string_view text;
  std::uint16_t properties;
  std::uint8_t power;
  Associativity associativity;
  std::string_view not_before;
};
inline constexpr OperatorInfo kOperators[] = {
#define X(variant, text, props, power, assoc, not_before) {Operator::variant, text, props, power, assoc, not_before},
#include "core/lexer/operator.def"
#undef X
};
constexpr std::uint16_t props(Operator op) { return kOperators[static_cast<std::size_t>(op)].properties; }
}  // namespace operator_detail

static_assert(std::endian::native == std::endian::little);

inline constexpr std::size_t kOperatorCount = std::size(operator_detail::kOperators);
static_assert(kOperatorCount <= 256, "an Operator is one byte");

// The operator's text; empty for Operator::Unknown.
constexpr std::string_view text(Operator op) {
  return operator_detail::kOperators[static_cast<std::size_t>(op)].text;
}

// True when `op` has the property named `name`, absent otherwise (never
// false): "arithmetic", "logical", "null_coalescing", "equality",
// "comparison", "infix", "prefix", "postfix", "compound".
std::optional<bool> get_bool(Operator op, std::string_view name);

constexpr bool is_arithmetic(Operator op) { return operator_detail::props(op) & operator_detail::kArithmetic; }
constexpr bool is_logical(Operator op) { return operator_detail::props(op) & operator_detail::kLogical; }
constexpr bool is_equality(Operator op) { return operator_detail::props(op) & operator_detail::kEquality; }
constexpr bool is_comparison(Operator op) { return operator_detail::props(op) & operator_detail::kComparison; }
constexpr bool is_compound(Operator op) { return operator_detail::props(op) & operator_detail::kCompound; }
constexpr bool is_relation(Operator op) { return is_equality(op) || is_comparison(op); }
constexpr bool is_prefix(Operator op) { return operator_detail::props(op) & operator_detail::kPrefix; }
// A bracket that opens an operand, or a prefix operator.
constexpr bool starts_operand(Operator op) {
  return operator_detail::props(op) & (operator_detail::kOperand | operator_detail::kPrefix);
}
constexpr bool starts_suffix(Operator op) { return operator_detail::props(op) & operator_detail::kSuffix; }
// Brackets, braces, `;`, `=` and every compound assignment.
constexpr bool stops_expression(Operator op) {
  return operator_detail::props(op) & (operator_detail::kStopsExpression | operator_detail::kCompound);
}
// The binding power in the operator loop; 0 for none.
constexpr std::uint8_t binding_power(Operator op) {
  return operator_detail::kOperators[static_cast<std::size_t>(op)].power;
}
constexpr bool is_right_associative(Operator op) {
  return operator_detail::kOperators[static_cast<std::size_t>(op)].associativity == operator_detail::R;
}

// The recogniser of operator texts, generated from the rows: for each first
// byte, the candidate texts longest first, the last one the one-byte
// operator (if any). A row's `not_before` bytes become candidates of their
// own (its text and that byte) that yield the longest shorter match. Each
// first byte gets code of its own (`match_from<B>`), the candidates compared
// byte by byte as constants, and one jump on the first byte picks it: the
// code a hand-written scanner has, written by the compiler.
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
