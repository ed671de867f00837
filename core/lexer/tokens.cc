#include "core/lexer/tokens.h"

#include "core/lexer/combinator.h"
#include "core/lexer/identifier.h"
#include "core/lexer/numeric.h"
#include "core/lexer/string.h"

namespace vaxo_core::lexer::tokens {

namespace {

using Op = Operator;

// Consumes `n` bytes and stores the operator.
bool op(LexerInput& in, TokenKind& out, std::size_t n, Op o) {
  in.advance(n);
  out.set<TokenKind::Operator>(TokenKind::Operator{o});
  return true;
}

bool store(TokenKind& out, std::optional<TokenKind>&& kind) {
  if (!kind) return false;
  out = std::move(*kind);
  return true;
}

// The first-character dispatch. Within a row the first entry that matches
// wins; fails where no token begins (and at the end of the input).
bool dispatch(LexerInput& in, bool dot, TokenKind& out) {
  if (in.at_end()) return false;
  const int c = in.byte_at(0);
  const int c1 = in.byte_at(1);
  const int c2 = in.byte_at(2);
  switch (c) {
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      out = dot ? numeric::ordinal(in) : numeric::number(in);
      return true;
    case '"':
    case '\'':
    case '`':
      return store(out, string::string(in));
    case '@': {
      auto cp = in.checkpoint();
      if (store(out, string::string(in))) return true;
      if (in.nesting != nullptr && in.nesting->exhausted()) return false;
      in.reset(cp);
      return identifier::identifier_into(in, !dot, out);
    }
    case '+':
      return c1 == '=' ? op(in, out, 2, Op::PlusAssign) : op(in, out, 1, Op::Plus);
    case '-':
      if (c1 == '=') return op(in, out, 2, Op::MinusAssign);
      if (c1 == '>') return op(in, out, 2, Op::Arrow);
      return op(in, out, 1, Op::Minus);
    case '*':
      return c1 == '=' ? op(in, out, 2, Op::AsteriskAssign) : op(in, out, 1, Op::Asterisk);
    case '/':
      return c1 == '=' ? op(in, out, 2, Op::SlashAssign) : op(in, out, 1, Op::Slash);
    case '%':
      return c1 == '=' ? op(in, out, 2, Op::PercentAssign) : op(in, out, 1, Op::Percent);
    case '^':
      return c1 == '=' ? op(in, out, 2, Op::CaretAssign) : op(in, out, 1, Op::Caret);
    case '=':
      if (c1 == '=') return op(in, out, 2, Op::Equal);
      if (c1 == '~') return op(in, out, 2, Op::TildeEqual);
      return op(in, out, 1, Op::Assign);
    case '!':
      // "!==" and "!=~" are `!` followed by "==" or "=~".
      if (c1 == '=' && (c2 == '=' || c2 == '~')) return op(in, out, 1, Op::Exclamation);
      if (c1 == '=') return op(in, out, 2, Op::NotEqual);
      if (c1 == '~') return op(in, out, 2, Op::TildeNotEqual);
      return op(in, out, 1, Op::Exclamation);
    case '>':
      return c1 == '=' ? op(in, out, 2, Op::GreaterEqual) : op(in, out, 1, Op::Greater);
    case '<':
      return c1 == '=' ? op(in, out, 2, Op::LessEqual) : op(in, out, 1, Op::Less);
    case '&':
      if (c1 != '&') return false;
      return c2 == '=' ? op(in, out, 3, Op::LogicalAndAssign) : op(in, out, 2, Op::LogicalAnd);
    case '|':
      if (c1 != '|') return false;
      return c2 == '=' ? op(in, out, 3, Op::LogicalOrAssign) : op(in, out, 2, Op::LogicalOr);
    case '?':
      if (c1 == ':') return op(in, out, 2, Op::QuestionColon);
      if (c1 == '?') return c2 == '=' ? op(in, out, 3, Op::NullCoalescingAssign) : op(in, out, 2, Op::NullCoalescing);
      return op(in, out, 1, Op::Question);
    case '(': return op(in, out, 1, Op::OpenParen);
    case ')': return op(in, out, 1, Op::CloseParen);
    case '[': return op(in, out, 1, Op::OpenBracket);
    case ']': return op(in, out, 1, Op::CloseBracket);
    case ':':
      return c1 == ':' ? op(in, out, 2, Op::ColonColon) : op(in, out, 1, Op::Colon);
    case ',': return op(in, out, 1, Op::Comma);
    case '.':
      if (c1 == '.') return c2 == '<' ? op(in, out, 3, Op::HalfOpenRange) : op(in, out, 2, Op::SpreadRange);
      return op(in, out, 1, Op::Dot);
    case ';': return op(in, out, 1, Op::Semicolon);
    case '{': return op(in, out, 1, Op::OpenBrace);
    case '}': return op(in, out, 1, Op::CloseBrace);
    default:
      break;
  }
  auto d = in.peek();
  if (identifier::is_identifier_start(d.ch) || identifier::is_identifier_special(d.ch)) {
    return identifier::identifier_into(in, !dot, out);
  }
  return false;
}

}  // namespace

bool token_into(LexerInput& in, Token* prev_token, Token& out) {
  const bool dot = prev_token != nullptr && *prev_token == Operator::Dot;
  space0(in);
  const std::size_t start = in.position;

  if (!dispatch(in, dot, out.kind)) {
    if (in.nesting != nullptr && in.nesting->exhausted()) return false;
    in.reset(start);
    if (in.at_end()) {
      out.kind = TokenKind(TokenKind::Eof{});
    } else {
      auto d = in.peek();
      in.advance(d.len);
      out.kind = TokenKind::unknown(TokenKind::Empty{}, ByteRange{start, in.position}, DiagnosticCode::UnknownToken);
    }
  } else if (in.nesting != nullptr && in.nesting->exhausted()) {
    return false;
  }
  out.range = ByteRange{start, in.position};

  // A keyword right before `:` or `?:` is a name, whatever the context.
  if (prev_token != nullptr && (out == Operator::Colon || out == Operator::QuestionColon)) {
    if (auto kw = prev_token->kind.as_keyword()) prev_token->kind = TokenKind::Identifier{text(*kw)};
  }
  return true;
}

std::optional<Token> token(LexerInput& in, Token* prev_token) {
  std::optional<Token> out(std::in_place);
  if (!token_into(in, prev_token, *out)) return std::nullopt;
  return out;
}

}  // namespace vaxo_core::lexer::tokens
