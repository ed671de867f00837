// Test support: the token loop with a stop rule of the test's own.
#pragma once

#include <cstddef>
#include <optional>
#include <type_traits>
#include <vector>

#include "core/lexer/input.h"
#include "core/lexer/token.h"
#include "core/lexer/tokens.h"

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

}  // namespace vaxo_core::lexer::testing
