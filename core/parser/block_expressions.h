// Block-like expressions: braced blocks, if/else chains, while, loop, for-in,
// function expressions and match.
//
// Each is chosen by its first token; once that token is there, missing braces
// and `case` keywords are inserted and a missing condition, subject or pattern
// becomes a placeholder where the next token shows it is missing. A rule fails
// (consuming nothing) only where the grammar has no repair: a then-, else- or
// case body that starts a JSON-style literal, a missing `in`, a condition that
// is missing before a token that allows no placeholder. Failures of the rules
// that callers retry at the same position are remembered.
#pragma once

#include <memory>
#include <optional>

#include "core/parser/ast.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::block_expressions {

using ExprBox = std::unique_ptr<Expression>;

// Dispatch on the next token: `{` (JSON-style literal, else block), if, fn,
// loop, while, match, for; anything else fails.
ExprBox block_like_expression(ParserContext& ctx);
// `{` statements [value] `}`; refuses the start of a JSON-style literal.
ExprBox block_expression(ParserContext& ctx);
// A loop body: its trailing value becomes a statement; never fails.
ExprBox block_expression_no_expr(ParserContext& ctx);
ExprBox if_expression(ParserContext& ctx);
// The outer optional is the rule's outcome; the inner one the else branch.
std::optional<std::optional<ElseBlock>> optional_else(ParserContext& ctx);
ExprBox while_expression(ParserContext& ctx);
ExprBox loop_expression(ParserContext& ctx);
ExprBox for_in_expression(ParserContext& ctx);
ExprBox fn_expression(ParserContext& ctx);
ExprBox match_expression(ParserContext& ctx);
// One `case` branch of a match.
std::optional<MatchCase> branch_parser(ParserContext& ctx);

}  // namespace vaxo_core::parser::block_expressions
