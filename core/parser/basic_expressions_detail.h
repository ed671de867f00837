// What the three parts of the expression grammar share: the operator layer
// (basic_expressions.cc), the suffix chains (suffixes.cc) and the primary
// forms (primaries.cc). Internal to the parser.
#pragma once

#include <cstdint>
#include <cstddef>
#include <memory>
#include <optional>

#include "core/parser/ast.h"
#include "core/parser/basic_expressions.h"
#include "core/parser/parser_context.h"

// The rules recurse with the nesting of the source. They keep their own
// frames small by building nodes in separate, non-inlined functions, so that
// the stack a nesting level costs stays low in every build mode.
#define VAXO_NODE_BUILDER [[gnu::noinline]]

namespace vaxo_core::parser::basic_expressions::detail {

inline bool is_range_op(const Token& t) { return t == Operator::SpreadRange || t == Operator::HalfOpenRange; }

inline Iterable value_of(Expression e) { return Iterable{Iterable::Value{std::move(e)}}; }

// The node that stands for a missing expression at `pos`.
ExprBox placeholder(std::size_t pos);

// An operand that may not be a range: the operator loop with minimum
// `precedence` over a first operand. It reads a whole expression level
// (memo::Level).
ExprBox verified(ParserContext& ctx, PrecedenceResult precedence);
// The same, read as part of the level being read (the right operand or
// prefix operand of one of its operators, or a bracket's bound), with no
// level of its own.
ExprBox in_level(ParserContext& ctx, PrecedenceResult precedence);
// A slice bound: an operand binding tighter than the range operators.
inline ExprBox additive(ParserContext& ctx) { return verified(ctx, kSliceBound); }

// How the operator loop ended.
enum class LoopEnd : std::uint8_t { Value, Range, Failed };

// The operator loop after a first operand: takes every operator stronger
// than `min`, folding into `left` in place. With `range` (range positions),
// the first range operator ends it and the range goes there; without, a
// range operator is a flagged `+`. On failure `left` is spent.
LoopEnd operator_loop(ParserContext& ctx, ExprBox& left, std::uint8_t min, std::optional<Range>* range);

// The suffixes of a postfix chain after `acc`, folded into it.
void read_suffixes(ParserContext& ctx, ExprBox& acc);

}  // namespace vaxo_core::parser::basic_expressions::detail
