// The primary forms of the expression grammar: names, literals, `type(...)`,
// groupings and records, arrays, interpolated strings and the block-like forms.
#include <utility>

#include "core/diagnostic/internal_error.h"
#include "core/parser/array_helper.h"
#include "core/parser/basic_expressions.h"
#include "core/parser/basic_expressions_detail.h"
#include "core/parser/block_expressions.h"
#include "core/parser/expressions.h"
#include "core/parser/failure_memo.h"
#include "core/parser/helper.h"
#include "core/parser/record_helper.h"

namespace vaxo_core::parser::basic_expressions {

using detail::placeholder;
using detail::value_of;
using expressions::ExprBox;
using expressions::build;
using expressions::make;

namespace {

bool starts_block_like(const Token& t) {
  if (t == Operator::OpenBrace) return true;
  const auto* kw = t.kind.get_if<TokenKind::Keyword>();
  return kw != nullptr && lexer::starts_block_like(kw->keyword);
}

bool is_constant_keyword(const Token& t) {
  const auto* kw = t.kind.get_if<TokenKind::Keyword>();
  return kw != nullptr && lexer::is_constant(kw->keyword);
}

VAXO_NODE_BUILDER ExprBox type_call(ParserContext& ctx) {
  std::optional<CallParts> call = pseudo_function(ctx, false);
  if (!call) return nullptr;
  return make(ctx, Expression::Call{std::move(call->callee), std::move(call->open_paren), std::move(call->arguments),
                                    std::move(call->close_paren)});
}


VAXO_NODE_BUILDER ExprBox literal_primary(ParserContext& ctx) {
  std::optional<TokenRef> literal = helper::literal_token(ctx);
  if (!literal) return nullptr;
  return std::make_unique<Expression>(Expression::Literal{std::move(*literal)});
}

VAXO_NODE_BUILDER ExprBox variable_primary(ParserContext& ctx) {
  std::optional<TokenRef> name = helper::variable_token(ctx, false, true);
  if (!name) return nullptr;
  return std::make_unique<Expression>(Expression::Variable{std::move(*name)});
}

// A parenthesised list with exactly one positional member and no comma is a
// grouping; anything else a record.
VAXO_NODE_BUILDER ExprBox record_like_node(ParserContext& ctx, ListParts<RecordItem>& list) {
  auto& [open, members, close] = list;
  if (members.size() == 1 && !members.front().has_tail_comma() && members.front().element.is_unnamed()) {
    auto& unnamed = std::get<RecordElementBase<Expression, Expression>::Unnamed>(members.front().element.node);
    return make(ctx, Expression::Grouping{std::move(open), std::move(unnamed.value), std::move(close)});
  }
  return make(ctx, Expression::Record{std::move(open), std::move(members), std::move(close)});
}

VAXO_NODE_BUILDER ExprBox array_node(ParserContext& ctx, ListParts<ArrayLiteralItem>& list) {
  auto& [open, items, close] = list;
  return make(ctx, Expression::Array{std::move(open), std::move(items), std::move(close)});
}

}  // namespace

ExprBox detail::placeholder(std::size_t pos) {
  return std::make_unique<Expression>(expressions::expression_expected(pos));
}

ExprBox primary(ParserContext& ctx) {
  if (ExprBox kept = memo::take_kept(ctx)) return kept;
  // Each form starts with its own kind of token, so the first token picks
  // the one alternative that can succeed.
  const Token* t = ctx.peek();
  if (t == nullptr) return nullptr;
  const TokenKind& kind = t->kind;
  if (*t == Keyword::Type) return type_call(ctx);
  if (starts_block_like(*t)) return block_expressions::block_like_expression(ctx);
  if (kind.is_number() || kind.is_ordinal() || kind.is_string() || is_constant_keyword(*t)) {
    return literal_primary(ctx);
  }
  if (kind.is_interpolated_string()) return interpolation(ctx);
  if (*t == Operator::OpenParen) return record_like(ctx);
  if (*t == Operator::OpenBracket) return array(ctx);
  return variable_primary(ctx);
}

ExprBox record_like(ParserContext& ctx) {
  auto expression = [](ParserContext& c) { return expressions::expression(c); };
  auto list = record_helper::record_base(
      expression, [](ParserContext& c, const Token& key) { return interpolation_of(c, key); }, expression,
      expression, expression, placeholder)(ctx);
  if (!list) return nullptr;
  return record_like_node(ctx, *list);
}

ExprBox array(ParserContext& ctx) {
  auto spread_operand = [](ParserContext& c) -> ExprBox {
    std::size_t pos = c.previous_token_end();
    if (ExprBox e = expressions::expression(c)) return e;
    return std::make_unique<Expression>(
        Expression::unknown_range({}, ByteRange{pos, pos}, DiagnosticCode::BadArraySpread));
  };
  auto list = array_helper::array_base(
      helper::token(Operator::OpenBracket),
      helper::token_or_insert(Operator::CloseBracket, DiagnosticCode::MissingCloseBracket),
      [](ParserContext& c) { return iterable(c); }, spread_operand,
      [](std::size_t pos) { return value_of(expressions::expression_expected(pos)); })(ctx);
  if (!list) return nullptr;
  return array_node(ctx, *list);
}

ExprBox interpolation(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr || !t->kind.is_interpolated_string()) return nullptr;
  ctx.next();
  return interpolation_of(ctx, *t);
}

ExprBox interpolation_of(const ParserContext& ctx, const Token& token) {
  const auto* string = token.kind.get_if<TokenKind::InterpolatedString>();
  if (string == nullptr) throw InternalError("internal error: entered unreachable code: Expected InterpolatedString");
  auto borrow_all = [](std::span<const Token> tokens) {
    NodeList<TokenRef> refs;
    refs.reserve(tokens.size());
    for (const Token& t : tokens) refs.push_back(TokenRef::borrow(t));
    return refs;
  };

  NodeList<Expression> expressions;
  const auto& parts = string->parts;
  if (!parts.empty()) expressions.reserve(parts.size() - 1);
  const std::size_t lists = parts.empty() ? 0 : parts.size() - 1;
  std::size_t all_tokens = 0;
  for (std::size_t i = 0; i < lists; ++i) all_tokens += parts[i].count;
  memo::StringTables tables(ctx, token, lists, all_tokens);
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::span<const Token> tokens = string->tokens_of(parts[i]);
    tables.next(tokens);
    if (tokens.empty()) throw InternalError("Expected non-empty tokens in interpolation " + token.to_string());
    bool all_empty = true;
    for (const Token& t : tokens) all_empty = all_empty && t.kind.is_empty();
    if (all_empty) {
      expressions.push_back(Expression::unknown(borrow_all(tokens), DiagnosticCode::EmptyInterpolation));
      continue;
    }
    if (tokens.back().kind.is_eof()) {
      expressions.push_back(Expression::unknown(borrow_all(tokens), DiagnosticCode::UnterminatedInterpolation));
      continue;
    }
    ParserContext part = ctx.nested(tokens);
    memo::grant(ctx, tokens.size());
    auto e = expressions::expression(part);
    if (!e) {
      expressions.push_back(Expression::unknown(borrow_all(tokens), DiagnosticCode::BadInterpolation));
    } else if (part.at_end()) {
      expressions.push_back(std::move(*e));
    } else {
      auto left_over = borrow_all(tokens.subspan(part.index));
      const ByteRange range{left_over.front()->range.start, left_over.back()->range.end};
      expressions.push_back(build(ctx, Expression::Unknown{std::move(e), std::move(left_over),
                                                           {SourceDiagnostic{range, DiagnosticCode::BadInterpolation}}}));
    }
  }
  return make(ctx, Expression::InterpolatedString{&token, std::move(expressions)});
}


}  // namespace vaxo_core::parser::basic_expressions
