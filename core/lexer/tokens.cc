#include "core/lexer/tokens.h"

#include "core/lexer/combinator.h"
#include "core/lexer/identifier.h"
#include "core/lexer/numeric.h"
#include "core/lexer/string.h"

namespace vaxo_core::lexer::tokens {

namespace {

using Op = Operator;

// Consumes `n` bytes and yields the operator.
std::optional<TokenKind> op(LexerInput& in, std::size_t n, Op o) {
  in.advance(n);
  return TokenKind(o);
}

// The first-character dispatch. Within a row the first entry that matches
// wins; fails where no token begins (and at the end of the input).
std::optional<TokenKind> dispatch(LexerInput& in, bool dot) {
  if (in.at_end()) return std::nullopt;
  const int c = in.byte_at(0);
  const int c1 = in.byte_at(1);
  const int c2 = in.byte_at(2);
  switch (c) {
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      return dot ? numeric::ordinal(in) : numeric::number(in);
    case '"':
    case '\'':
    case '`':
      return string::string(in);
    case '@': {
      auto cp = in.checkpoint();
      if (auto s = string::string(in)) return s;
      if (in.nesting != nullptr && in.nesting->exhausted()) return std::nullopt;
      in.reset(cp);
      return identifier::identifier(in, !dot);
    }
    case '+':
      return c1 == '=' ? op(in, 2, Op::PlusAssign) : op(in, 1, Op::Plus);
    case '-':
      if (c1 == '=') return op(in, 2, Op::MinusAssign);
      if (c1 == '>') return op(in, 2, Op::Arrow);
      return op(in, 1, Op::Minus);
    case '*':
      return c1 == '=' ? op(in, 2, Op::AsteriskAssign) : op(in, 1, Op::Asterisk);
    case '/':
      return c1 == '=' ? op(in, 2, Op::SlashAssign) : op(in, 1, Op::Slash);
    case '%':
      return c1 == '=' ? op(in, 2, Op::PercentAssign) : op(in, 1, Op::Percent);
    case '^':
      return c1 == '=' ? op(in, 2, Op::CaretAssign) : op(in, 1, Op::Caret);
    case '=':
      if (c1 == '=') return op(in, 2, Op::Equal);
      if (c1 == '~') return op(in, 2, Op::TildeEqual);
      return op(in, 1, Op::Assign);
    case '!':
      // "!==" and "!=~" are `!` followed by "==" or "=~".
      if (c1 == '=' && (c2 == '=' || c2 == '~')) return op(in, 1, Op::Exclamation);
      if (c1 == '=') return op(in, 2, Op::NotEqual);
      if (c1 == '~') return op(in, 2, Op::TildeNotEqual);
      return op(in, 1, Op::Exclamation);
    case '>':
      return c1 == '=' ? op(in, 2, Op::GreaterEqual) : op(in, 1, Op::Greater);
    case '<':
      return c1 == '=' ? op(in, 2, Op::LessEqual) : op(in, 1, Op::Less);
    case '&':
      if (c1 != '&') return std::nullopt;
      return c2 == '=' ? op(in, 3, Op::LogicalAndAssign) : op(in, 2, Op::LogicalAnd);
    case '|':
      if (c1 != '|') return std::nullopt;
      return c2 == '=' ? op(in, 3, Op::LogicalOrAssign) : op(in, 2, Op::LogicalOr);
    case '?':
      if (c1 == ':') return op(in, 2, Op::QuestionColon);
      if (c1 == '?') return c2 == '=' ? op(in, 3, Op::NullCoalescingAssign) : op(in, 2, Op::NullCoalescing);
      return op(in, 1, Op::Question);
    case '(': return op(in, 1, Op::OpenParen);
    case ')': return op(in, 1, Op::CloseParen);
    case '[': return op(in, 1, Op::OpenBracket);
    case ']': return op(in, 1, Op::CloseBracket);
    case ':':
      return c1 == ':' ? op(in, 2, Op::ColonColon) : op(in, 1, Op::Colon);
    case ',': return op(in, 1, Op::Comma);
    case '.':
      if (c1 == '.') return c2 == '<' ? op(in, 3, Op::HalfOpenRange) : op(in, 2, Op::SpreadRange);
      return op(in, 1, Op::Dot);
    case ';': return op(in, 1, Op::Semicolon);
    case '{': return op(in, 1, Op::OpenBrace);
    case '}': return op(in, 1, Op::CloseBrace);
    default:
      break;
  }
  auto d = in.peek();
  if (identifier::is_identifier_start(d.ch) || identifier::is_identifier_special(d.ch)) {
    return identifier::identifier(in, !dot);
  }
  return std::nullopt;
}

}  // namespace

std::optional<Token> token(LexerInput& in, Token* prev_token) {
  const bool dot = prev_token != nullptr && *prev_token == Operator::Dot;
  space0(in);
  const std::size_t start = in.position;

  std::optional<TokenKind> kind = dispatch(in, dot);
  if (in.nesting != nullptr && in.nesting->exhausted()) return std::nullopt;
  if (!kind) {
    in.reset(start);
    if (in.at_end()) {
      kind = TokenKind(TokenKind::Eof{});
    } else {
      auto d = in.peek();
      in.advance(d.len);
      kind = TokenKind::unknown(TokenKind::Empty{}, ByteRange{start, in.position}, DiagnosticCode::UnknownToken);
    }
  }
  Token cur = Token::make(std::move(*kind), ByteRange{start, in.position});

  // A keyword right before `:` or `?:` is a name, whatever the context.
  if (prev_token != nullptr && (cur == Operator::Colon || cur == Operator::QuestionColon)) {
    if (auto kw = prev_token->kind.as_keyword()) prev_token->kind = TokenKind::Identifier{text(*kw)};
  }
  return cur;
}

}  // namespace vaxo_core::lexer::tokens
