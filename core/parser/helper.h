// The token parsers every grammar rule reads through, and the placeholder
// expression.
//
// token(k) matches one operator or keyword; token_or_insert(k, code) does
// the same but never fails: a missing token becomes a zero-width owned
// recovery token at previous_token_end carrying `code`. variable_token reads
// a name (repairing misused keywords), literal_token a literal. Accepted
// tokens are borrowed; only recovery tokens and placeholders are allocated.
//
// Each `token...` function returns a parser: a callable taking the
// ParserContext and returning std::optional<TokenRef>, so it can be handed to
// the combinators of core/lexer/combinator.h or called directly:
//   if (auto comma = helper::token(Operator::Comma)(ctx)) ...
#pragma once

#include <cstddef>
#include <optional>

#include "core/parser/ast.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser {

namespace helper {

// The next token, borrowed, when it equals `op` (by kind); else fails,
// consuming nothing.
inline auto token(Operator op) {
  return [op](ParserContext& ctx) -> std::optional<TokenRef> {
    const Token* t = ctx.peek();
    if (t == nullptr || !(*t == op)) return std::nullopt;
    ctx.next();
    return TokenRef::borrow(*t);
  };
}
inline auto token(Keyword keyword) {
  return [keyword](ParserContext& ctx) -> std::optional<TokenRef> {
    const Token* t = ctx.peek();
    if (t == nullptr || !(*t == keyword)) return std::nullopt;
    ctx.next();
    return TokenRef::borrow(*t);
  };
}

// token(k), or, consuming nothing, an owned recovery token standing for k at
// the zero-width range previous_token_end (taken before the attempt),
// carrying `error`. Never fails.
TokenRef inserted_token(const ParserContext& ctx, Operator op, DiagnosticCode error);
TokenRef inserted_token(const ParserContext& ctx, Keyword keyword, DiagnosticCode error);
inline auto token_or_insert(Operator op, DiagnosticCode error) {
  return [op, error](ParserContext& ctx) -> std::optional<TokenRef> {
    const Token* t = ctx.peek();
    if (t != nullptr && *t == op) [[likely]] {
      ctx.next();
      return TokenRef::borrow(*t);
    }
    return inserted_token(ctx, op, error);
  };
}
inline auto token_or_insert(Keyword keyword, DiagnosticCode error) {
  return [keyword, error](ParserContext& ctx) -> std::optional<TokenRef> {
    const Token* t = ctx.peek();
    if (t != nullptr && *t == keyword) [[likely]] {
      ctx.next();
      return TokenRef::borrow(*t);
    }
    return inserted_token(ctx, keyword, error);
  };
}

// A name: an identifier, `_`, `global` or a reserved keyword; fails,
// consuming nothing, on anything else. `_` without `include_underscore` is
// flagged UnexpectedUnderscore, `global` without `include_global`
// UnexpectedGlobal, a reserved keyword InvalidReservedKeyword (standing for
// `_`); those come back owned, everything else borrowed.
std::optional<TokenRef> variable_token(ParserContext& ctx, bool include_underscore, bool include_global);
inline auto variable_token(bool include_underscore, bool include_global) {
  return [include_underscore, include_global](ParserContext& ctx) {
    return variable_token(ctx, include_underscore, include_global);
  };
}

// An Ordinal, Number or String token, or one of the keywords true, false,
// nil, nan, inf; borrowed. Not an interpolated string, not an identifier.
std::optional<TokenRef> literal_token(ParserContext& ctx);

// Tests of the next token used by several rules.
// ) ] } Eof: an entry starting here ends the list.
inline bool is_list_closer(const Token& t) {
  return t == Operator::CloseParen || t == Operator::CloseBracket || t == Operator::CloseBrace || t.kind.is_eof();
}
// No comma is expected before these.
inline bool is_comma_free_follower(const Token& t) {
  if (t.kind.is_eof()) return true;
  if (t == Operator::CloseParen || t == Operator::CloseBracket || t == Operator::CloseBrace ||
      t == Operator::Semicolon) {
    return true;
  }
  return t == Keyword::Return || t == Keyword::Break || t == Keyword::Continue || t == Keyword::Case ||
         t == Keyword::Else || t == Keyword::In || t == Keyword::Let || t == Keyword::Const;
}
// ":" or "?:".
inline bool is_colon(const Token& t) { return t == Operator::Colon || t == Operator::QuestionColon; }

}  // namespace helper

namespace expressions {

// The placeholder for a missing expression: an Unknown holding one owned
// zero-width Empty token at `pos`, with ExpressionExpected over pos..pos.
// Not a parser; consumes nothing.
Expression expression_expected(std::size_t pos);

}  // namespace expressions
}  // namespace vaxo_core::parser
