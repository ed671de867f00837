// The parser's entry: a frozen token list in, the Script out.
//
// `parse` runs the script loop, which never fails on bad input: whatever the
// statement and expression rules leave over becomes Unknown statements, one
// token each. There is no result only when the parse gave up as a whole
// because the source nests deeper, or builds a taller tree, than the bounds
// allow (see parser_context.h); the pipeline then reports ParserError.
//
// The token list must not change while the Script lives: the tree borrows it.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/parser/ast.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser {

// An input over the whole list, nothing consumed, bound to `state`.
ParserContext to_input(std::span<const Token> tokens, ParserState& state);

// The Script of `tokens`, or nullopt when the nesting or tree-height bound
// ended the parse.
std::optional<Script> parse(std::span<const Token> tokens);
// The same over an input the caller set up.
std::optional<Script> parse(ParserContext& input);

namespace helper {

using StatementsAndValue = std::pair<NodeList<Statement>, std::unique_ptr<Expression>>;

// Statements, then an optional trailing expression; never fails. With
// `room_for_value`, the list has room for one more statement when there is a
// value, for a caller that makes the value a statement.
StatementsAndValue statements_and_expression(ParserContext& ctx, bool room_for_value = false);

}  // namespace helper

namespace scripts {

// The root rule; never fails.
Script script(ParserContext& ctx);

}  // namespace scripts
}  // namespace vaxo_core::parser
