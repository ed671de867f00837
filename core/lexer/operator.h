// Operator: the closed one-byte vocabulary of operators and punctuation, with
// their texts, properties and binding powers. Single source: operator.def.
// The scanner's recogniser, generated from the same rows, is operator_match.h.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <ostream>
#include <string_view>

#include "core/lexer/property.h"

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
  kStopsPattern = 1 << 12,     // ends an Unknown pattern stretch
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
inline constexpr PropertyName kPropertyNames[] = {
    {"arithmetic", kArithmetic}, {"logical", kLogical},       {"null_coalescing", kNullCoalescing},
    {"equality", kEquality},     {"comparison", kComparison}, {"infix", kInfix},
    {"prefix", kPrefix},         {"postfix", kPostfix},       {"compound", kCompound},
};
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
constexpr std::optional<bool> get_bool(Operator op, std::string_view name) {
  return property_answer(operator_detail::props(op), property_bit(operator_detail::kPropertyNames, name));
}
namespace operator_detail {
// get_bool of `name`, absent read as false.
consteval std::uint16_t bit(std::string_view name) { return known_property_bit(kPropertyNames, name); }
}  // namespace operator_detail

constexpr bool is_arithmetic(Operator op) { return operator_detail::props(op) & operator_detail::bit("arithmetic"); }
constexpr bool is_logical(Operator op) { return operator_detail::props(op) & operator_detail::bit("logical"); }
constexpr bool is_equality(Operator op) { return operator_detail::props(op) & operator_detail::bit("equality"); }
constexpr bool is_comparison(Operator op) { return operator_detail::props(op) & operator_detail::bit("comparison"); }
constexpr bool is_compound(Operator op) { return operator_detail::props(op) & operator_detail::bit("compound"); }
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
// Brackets, braces, `,`, `;` and `=`.
constexpr bool stops_pattern(Operator op) { return operator_detail::props(op) & operator_detail::kStopsPattern; }
// The binding power in the operator loop; 0 for none.
constexpr std::uint8_t binding_power(Operator op) {
  return operator_detail::kOperators[static_cast<std::size_t>(op)].power;
}
constexpr bool is_right_associative(Operator op) {
  return operator_detail::kOperators[static_cast<std::size_t>(op)].associativity == operator_detail::R;
}

}  // namespace vaxo_core::lexer
