#include "core/parser/expressions.h"

#include <vector>

#include "core/parser/basic_expressions.h"
#include "core/parser/failure_memo.h"

namespace vaxo_core::parser::expressions {

bool is_expression_stop(const Token& token) {
  const TokenKind& kind = token.kind;
  if (kind.is_eof()) return true;
  if (auto* kw = kind.get_if<TokenKind::Keyword>()) {
    return lexer::stops_expression(kw->keyword);
  }
  if (auto* op = kind.get_if<TokenKind::Operator>()) {
    return lexer::stops_expression(op->op);
  }
  return false;
}

ExprBox unknown_expression(ParserContext& ctx) {
  // Most calls meet a stop at once (`return;`, `break;`): no scan for those.
  if (ctx.at_end() || is_expression_stop(ctx.tokens[ctx.index])) return nullptr;
  const std::size_t stop = memo::next_stop(ctx, memo::StopSet::Expression);
  if (stop == ctx.index) return nullptr;
  NodeList<TokenRef> tokens;
  tokens.reserve(stop - ctx.index);
  for (std::size_t i = ctx.index; i < stop; ++i) tokens.push_back(TokenRef::borrow(ctx.tokens[i]));
  ctx.index = stop;
  return std::make_unique<Expression>(Expression::unknown(std::move(tokens), DiagnosticCode::UnknownExpression));
}

}  // namespace vaxo_core::parser::expressions
