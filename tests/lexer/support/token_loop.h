// Test support: the token loop with a stop rule of the test's own.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/lexer/input.h"
#include "core/lexer/lexer.h"
#include "core/lexer/token.h"
#include "core/lexer/tokens.h"
#include "core/lexer/trivia.h"

namespace vaxo_core::lexer::testing {

// Trivia and tokens until `Eof` or until `should_break` answers true for a
// token (that token ends the list, and the trivia after it stay unread).
// `should_break` is never called with `Eof`.
template <typename ShouldBreak>
std::optional<std::vector<Token>> lex_until(LexerInput& in, ShouldBreak&& should_break) {
  using Rule = std::remove_reference_t<ShouldBreak>;
  std::vector<Token> tokens;
  tokens::BreakCheck check{[](void* rule, const Token& t) -> bool { return (*static_cast<Rule*>(rule))(t); },
                           const_cast<void*>(static_cast<const void*>(&should_break))};
  if (!tokens::scan_tokens(in, tokens, check)) return std::nullopt;
  return tokens;
}

// The tokens of `src` read one at a time by the one-token reader, each
// handed the two before it, up to and with `Eof`; nullopt when it fails.
inline std::optional<std::vector<Token>> read_one_by_one(std::string_view src) {
  config::Config config;
  auto in = to_input(src, config);
  NestingBudget budget(kMaxInterpolationDepth);
  LexerScratch scratch;
  in.nesting = &budget;
  in.scratch = &scratch;
  std::vector<Token> list;
  for (;;) {
    trivia::skip_between_tokens(in);
    auto token = tokens::token(in, list.empty() ? nullptr : &list.back(),
                               list.size() < 2 ? nullptr : &list[list.size() - 2]);
    if (!token) return std::nullopt;
    list.push_back(std::move(*token));
    if (list.back().kind.is_eof()) return list;
  }
}

}  // namespace vaxo_core::lexer::testing
