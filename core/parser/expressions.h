// The expression entry and its recovery.
//
// `expression` is an operator expression, or, where none can be read, the
// stretch of tokens up to the next stop token wrapped as one Unknown node
// (UnknownExpression). `expression_or_insert` puts the ExpressionExpected
// placeholder (helper.h) where an expression is missing and the next token
// shows it. Neither writes to a collector: diagnostics travel in the nodes.
#pragma once

#include <memory>
#include <optional>
#include <utility>

#include "core/parser/ast.h"
#include "core/parser/helper.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::expressions {

// The grammar's rules hand expressions around boxed, built once where they
// will stay: a node is never moved after it is made.
using ExprBox = std::unique_ptr<Expression>;

// True for the tokens at which an Unknown expression stretch ends: Eof and
// the keywords and operators whose rows say so (`lexer::stops_expression`):
// if fn loop while match for let const; ; { } [ ] ( ); `=` and the compound
// assignments.
bool is_expression_stop(const Token& token);

// basic_expression, else unknown_expression. Fails, consuming nothing, only
// at a stop token no expression starts with, or with no token left.
// Defined beside the operator loop, in basic_expressions.cc.
ExprBox expression(ParserContext& ctx);

// At least one token up to the next stop token, as an Unknown node.
ExprBox unknown_expression(ParserContext& ctx);

// An expression; else, when the next token is Eof or satisfies `insert_cond`,
// the placeholder at previous_token_end, consuming nothing; else fails.
template <typename Cond>
ExprBox expression_or_insert(ParserContext& ctx, Cond insert_cond) {
  if (ExprBox e = expression(ctx)) return e;
  std::size_t pos = ctx.previous_token_end();
  const Token* next = ctx.peek();
  if (next == nullptr) return nullptr;
  if (!next->kind.is_eof() && !insert_cond(*next)) return nullptr;
  return std::make_unique<Expression>(expression_expected(pos));
}

// Every node the grammar builds passes its height to the parse's bound.
inline Expression build(const ParserContext& ctx, Expression e) {
  ctx.check_height(e.height);
  return e;
}
inline Statement build(const ParserContext& ctx, Statement s) {
  ctx.check_height(s.height);
  return s;
}
// The node of `alt`, built in its box.
template <typename Alt>
ExprBox make(const ParserContext& ctx, Alt&& alt) {
  ExprBox e = std::make_unique<Expression>(std::forward<Alt>(alt));
  ctx.check_height(e->height);
  return e;
}

// Insert conditions used with expression_or_insert.
inline auto when_next_is(Operator op) {
  return [op](const Token& t) { return t == op; };
}

}  // namespace vaxo_core::parser::expressions
