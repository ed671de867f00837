// The lexer's entry points: script text or template text to a token list.
//
// Data flow: to_input wraps the text; lex runs the token loop (trivia, then
// one token from tokens::token, repeatedly) until the end of the text, which
// gives the final `Eof`; lex_string reads the whole text as the body of one
// quote-less verbatim string and then the `Eof`. Interpolations run the same
// loop recursively with a stop predicate. Tokens borrow from the text, which
// must outlive the list.
//
// Bad input never fails: it becomes recovery tokens. The only failure is
// interpolation nesting past the lexer's budget (or the thread's stack); the
// caller reports it as LexerError.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <string_view>
#include <vector>

#include "core/config/config.h"
#include "core/base/nesting_budget.h"
#include "core/lexer/input.h"
#include "core/lexer/token.h"
#include "core/lexer/scanner.h"
#include "core/lexer/trivia.h"

namespace vaxo_core::lexer {

// Nested interpolation levels one lexer run accepts (the stack check of the
// budget may stop it earlier on a small thread stack).
inline constexpr std::size_t kMaxInterpolationDepth = 4096;

// An input over `text` at position 0 carrying `config`.
LexerInput to_input(std::string_view text, const config::Config& config);

// The script's tokens, ending with exactly one `Eof` at the end of the text;
// nullopt when interpolations nest too deeply.
std::optional<std::vector<Token>> lex(LexerInput& input);

// A template: [the String or InterpolatedString token over the whole text,
// `Eof`]; nullopt when interpolations nest too deeply.
std::optional<std::vector<Token>> lex_string(LexerInput& input);

// A token list that is released without a visit to every token: the lexer
// notes, in order, the tokens that may own a payload (numbers, strings and
// recovery tokens; the kinds of all the others own nothing), and the list
// destroys those alone before its storage goes. What the compile pipeline
// lexes into; the recovery pass visits the noted tokens only.
// A token may change in place only into a kind that owns nothing, unless it
// is noted.
class TokenList {
 public:
  TokenList() = default;
  TokenList(TokenList&&) noexcept = default;  // leaves `other` empty
  TokenList& operator=(TokenList&&) = delete;
  ~TokenList() {
    for (std::size_t i : owners_) std::destroy_at(&tokens_[i]);
  }

  std::span<Token> tokens() { return tokens_; }
  std::span<const Token> tokens() const { return tokens_; }
  // Indices into tokens(), ascending: every token whose kind may own a
  // payload, and so every recovery token and every string.
  std::span<const std::size_t> owners() const { return owners_; }

 private:
  friend struct TokenListAccess;
  scanner::KeptTokens tokens_;
  std::vector<std::size_t> owners_;
};

// lex and lex_string, into a TokenList.
std::optional<TokenList> lex_list(LexerInput& input);
std::optional<TokenList> lex_string_list(LexerInput& input);

}  // namespace vaxo_core::lexer
