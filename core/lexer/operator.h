// Operator: the closed one-byte vocabulary of operators and punctuation, with
// their texts and properties. Single source: operator.def. There is no
// conversion from text: the scanner builds values from the characters it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <ostream>
#include <string_view>

namespace vaxo_core::lexer {

enum class Operator : std::uint8_t {
#define X(variant, text, props) variant,
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
};
struct OperatorInfo {
  Operator op;
  std::string_view text;
  std::uint16_t properties;
};
inline constexpr OperatorInfo kOperators[] = {
#define X(variant, text, props) {Operator::variant, text, props},
#include "core/lexer/operator.def"
#undef X
};
constexpr std::uint16_t props(Operator op) { return kOperators[static_cast<std::size_t>(op)].properties; }
}  // namespace operator_detail

inline constexpr std::size_t kOperatorCount = std::size(operator_detail::kOperators);
static_assert(kOperatorCount == 45);

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

inline std::ostream& operator<<(std::ostream& os, Operator op) { return os << text(op); }

}  // namespace vaxo_core::lexer
