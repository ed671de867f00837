// The operator and operand layers of the expression grammar.
//
// The operator loop climbs precedence over one constexpr table
// (`precedence_of`), entered as `basic_expression` (never a range) or
// `iterable` (a range position); its operands come from `postfix`: a primary
// form and any number of suffixes (`::` calls, tagged strings, `.name`,
// `[...]`, `!`, calls). Every rule returns a box (or a std::optional for the
// parts that are no node): a value is success, null a failure that leaves the
// context where the rule began. Nodes are built in their box and never moved after. Nesting
// past the parse's bounds throws ParseAborted (parser_context.h), which no
// rule here catches.
//
// The bracket suffix reads its content once and decides between index and
// slice on the result, so nested brackets cost linear time. Failures of
// the operator loop are remembered per position, so no rule retried at the same place
// repeats the work; what a failed loop read is kept, and a whole expression
// remembers where it is bound to fail (failure_memo.h), so no success is read
// again in another role either.
//
// The rules are in three files: the operator layer in basic_expressions.cc,
// the suffix chains in suffixes.cc, the primary forms in primaries.cc; what
// they share is in basic_expressions_detail.h.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "core/parser/ast.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::basic_expressions {

// The precedence entry of one token. `value` 0: no operator, ends a chain.
struct PrecedenceResult {
  std::uint8_t value = 0;
  bool can_be_prefix = false;
  bool right_associative = false;

  friend constexpr bool operator==(const PrecedenceResult&, const PrecedenceResult&) = default;
};

namespace precedence_detail {

// Generated from the binding powers and associativities of operator.def and
// keyword.def.
constexpr auto kOperators = [] {
  std::array<PrecedenceResult, lexer::kOperatorCount> t{};
  for (std::size_t i = 0; i < t.size(); ++i) {
    const auto op = static_cast<Operator>(i);
    t[i] = {lexer::binding_power(op), lexer::is_prefix(op), lexer::is_right_associative(op)};
  }
  return t;
}();
constexpr auto kKeywords = [] {
  std::array<PrecedenceResult, lexer::kKeywordCount> t{};
  for (std::size_t i = 0; i < t.size(); ++i) {
    const auto k = static_cast<Keyword>(i);
    t[i] = {lexer::binding_power(k), lexer::is_prefix(k), false};
  }
  return t;
}();

}  // namespace precedence_detail

constexpr PrecedenceResult precedence_of(Operator op) {
  return precedence_detail::kOperators[static_cast<std::size_t>(op)];
}
constexpr PrecedenceResult precedence_of(Keyword keyword) {
  return precedence_detail::kKeywords[static_cast<std::size_t>(keyword)];
}
// Only operator and keyword tokens have an entry; every other kind gets the
// default (value 0).
[[gnu::always_inline]] inline PrecedenceResult precedence_of(const TokenKind& kind) {
  if (auto* op = kind.get_if<TokenKind::Operator>()) return precedence_of(op->op);
  if (auto* kw = kind.get_if<TokenKind::Keyword>()) return precedence_of(kw->keyword);
  return {};
}

// What a call-like suffix yields: the callee with its parenthesised arguments.
struct CallParts {
  Callable callee;
  TokenRef open_paren;
  NodeList<ArgumentItem> arguments;
  TokenRef close_paren;
};

using ExprBox = std::unique_ptr<Expression>;

// The minimum of a slice bound: binds tighter than the range operators.
inline constexpr PrecedenceResult kSliceBound{
    static_cast<std::uint8_t>(precedence_of(Operator::SpreadRange).value + 2)};

// A prefix operation, or a postfix operand.
ExprBox pratt_prefix(ParserContext& ctx);

// An operator expression that is never a range.
ExprBox basic_expression(ParserContext& ctx);
// An operator expression that may be a range.
std::unique_ptr<Iterable> iterable(ParserContext& ctx);

// A primary form followed by its suffixes, folded from the left.
ExprBox postfix(ParserContext& ctx);
// A member, bracket or `!` suffix joined to `acc`; false, consuming nothing,
// when none follows.
bool access_suffix(ParserContext& ctx, ExprBox& acc);

// What follows `::`: a callee and its arguments, or `type` with its arguments.
std::optional<CallParts> extension_call(ParserContext& ctx);
// The `type` pseudo-call; `provided` after `::`, where the receiver is the argument.
std::optional<CallParts> pseudo_function(ParserContext& ctx, bool provided);

ExprBox primary(ParserContext& ctx);
// A parenthesised grouping or record literal.
ExprBox record_like(ParserContext& ctx);
ExprBox array(ParserContext& ctx);
// One InterpolatedString token, its interpolations parsed.
ExprBox interpolation(ParserContext& ctx);
// Parses every interpolation of `token` (which must be an InterpolatedString)
// on its own input; a plain function, consumes nothing of `ctx`.
ExprBox interpolation_of(const ParserContext& ctx, const Token& token);

}  // namespace vaxo_core::parser::basic_expressions
