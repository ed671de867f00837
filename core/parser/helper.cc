#include "core/parser/helper.h"

#include <vector>

namespace vaxo_core::parser {
namespace helper {

// A failed match consumes nothing, so the end is the one before the attempt.
TokenRef inserted_token(const ParserContext& ctx, Operator op, DiagnosticCode error) {
  const std::size_t pos = ctx.previous_token_end();
  return TokenRef::make(Token::unknown(ByteRange{pos, pos}, op, error));
}
TokenRef inserted_token(const ParserContext& ctx, Keyword keyword, DiagnosticCode error) {
  const std::size_t pos = ctx.previous_token_end();
  return TokenRef::make(Token::unknown(ByteRange{pos, pos}, keyword, error));
}

std::optional<TokenRef> variable_token(ParserContext& ctx, bool include_underscore, bool include_global) {
  const Token* t = ctx.peek();
  if (t == nullptr) return std::nullopt;
  if (t->kind.is_identifier()) {
    ctx.next();
    return TokenRef::borrow(*t);
  }
  const auto* keyword = t->kind.get_if<TokenKind::Keyword>();
  if (keyword == nullptr) return std::nullopt;
  Keyword k = keyword->keyword;
  if (k == Keyword::Underscore) {
    ctx.next();
    if (!include_underscore) {
      return TokenRef::make(Token::unknown(t->range, Keyword::Underscore, DiagnosticCode::UnexpectedUnderscore));
    }
    return TokenRef::borrow(*t);
  }
  if (k == Keyword::Global) {
    ctx.next();
    if (!include_global) {
      return TokenRef::make(Token::unknown(t->range, Keyword::Global, DiagnosticCode::UnexpectedGlobal));
    }
    return TokenRef::borrow(*t);
  }
  if (!lexer::is_reserved(k)) return std::nullopt;
  ctx.next();
  // A reserved word used as a name stands for `_` from here on.
  return TokenRef::make(Token::unknown(t->range, Keyword::Underscore, DiagnosticCode::InvalidReservedKeyword));
}

std::optional<TokenRef> literal_token(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr) return std::nullopt;
  bool literal = false;
  switch (t->kind.tag()) {
    case TokenKind::Tag::Ordinal:
    case TokenKind::Tag::Number:
    case TokenKind::Tag::String:
      literal = true;
      break;
    case TokenKind::Tag::Keyword: {
      literal = lexer::is_constant(t->kind.get_if<TokenKind::Keyword>()->keyword);
      break;
    }
    case TokenKind::Tag::Eof:
    case TokenKind::Tag::Identifier:
    case TokenKind::Tag::InterpolatedString:
    case TokenKind::Tag::Operator:
    case TokenKind::Tag::Unknown:
    case TokenKind::Tag::Empty:
      break;
  }
  if (!literal) return std::nullopt;
  ctx.next();
  return TokenRef::borrow(*t);
}

}  // namespace helper

namespace expressions {

Expression expression_expected(std::size_t pos) {
  NodeList<TokenRef> tokens;
  tokens.push_back(TokenRef::make(Token::empty(pos)));
  return Expression::unknown_range(std::move(tokens), ByteRange{pos, pos}, DiagnosticCode::ExpressionExpected);
}

}  // namespace expressions
}  // namespace vaxo_core::parser
