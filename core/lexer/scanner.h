// The scanner: the one-token reader, which picks a token's reader by the
// first character after the blanks, and the token loop, which reads blanks,
// line endings, names, keywords, ordinals and operators itself and hands
// everything else to the one-token reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/lexer/input.h"
#include "core/lexer/token.h"

namespace vaxo_core::lexer::scanner {

// Reads one token; `Eof` at the end of the input, and a one-character
// recovery token (UnknownToken) where no token begins. `prev_token` is the
// last token of the caller's list (or null): after `.` a digit run is an
// ordinal and a name never a keyword; and when the new token is `:` or `?:`,
// a keyword `prev_token` is retyped in place into an identifier with the
// keyword's text, unless `before_prev` (the token before it, or null) is the
// conditional `?`. Fails only when the lexer's nesting budget is spent.
std::optional<Token> token(LexerInput& in, Token* prev_token, const Token* before_prev = nullptr);

// The token loop: trivia, then one token, appended to `tokens`, until `Eof`
// (appended too). False when the nesting budget is spent.
bool scan_tokens(LexerInput& in, std::vector<Token>& tokens);

// std::allocator, except that a list using it destroys none of its elements:
// their owner destroys those that own something (lexer::TokenList).
template <typename T>
struct KeptAllocator : std::allocator<T> {
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = KeptAllocator<U>;
  };
  KeptAllocator() noexcept = default;
  template <typename U>
  KeptAllocator(const KeptAllocator<U>&) noexcept {}  // NOLINT: implicit on purpose
  template <typename U>
  void destroy(U*) noexcept {}
};
using KeptTokens = std::vector<Token, KeptAllocator<Token>>;

// The token loop without a stop rule into a list that destroys no token: the
// index of every token appended that may own a payload (the kinds Number,
// String, InterpolatedString and Unknown) is appended to `owners`, in order,
// before anything can fail; the other tokens own nothing.
bool scan_tokens(LexerInput& in, KeptTokens& tokens, std::vector<std::size_t>& owners);

// Stop rule of `${`: ends at the `}` that balances the opening brace.
struct BraceRule {
  std::int64_t depth = 0;
  bool operator()(const Token& t) {
    const auto* o = t.kind.get_if<TokenKind::Operator>();
    if (o != nullptr) {
      if (o->op == Operator::OpenBrace) {
        ++depth;
      } else if (o->op == Operator::CloseBrace) {
        --depth;
      }
    }
    return depth <= 0;
  }
};

// Stop rule of `$(`: ends at the balancing `)`, or at a `:` directly inside
// the parentheses (the start of a format text).
struct ParenRule {
  std::int64_t depth = 0;
  std::int64_t brace_depth = 0;
  bool has_format = false;
  bool operator()(const Token& t) {
    const auto* o = t.kind.get_if<TokenKind::Operator>();
    if (o != nullptr) {
      if (o->op == Operator::OpenParen) {
        ++depth;
      } else if (o->op == Operator::CloseParen) {
        --depth;
      } else if (o->op == Operator::OpenBrace) {
        ++brace_depth;
      } else if (o->op == Operator::CloseBrace) {
        --brace_depth;
      } else if (depth == 1 && brace_depth == 0 && o->op == Operator::Colon) {
        has_format = true;
        return true;
      }
    }
    return depth <= 0;
  }
};

// The token loop of an interpolation: as above, but the list also ends with
// the first token (never `Eof`) for which the rule answers true, and the
// trivia after that token stay unread.
bool scan_tokens(LexerInput& in, std::vector<Token>& tokens, BraceRule& rule);
bool scan_tokens(LexerInput& in, std::vector<Token>& tokens, ParenRule& rule);

}  // namespace vaxo_core::lexer::scanner
