#include "testing/parser_tokens.h"

#include <utility>

#include "core/lexer/lexer.h"

namespace vaxo_core::lexer::testing {

void unwrap_recovery(Token& token) {
  while (auto* u = token.kind.get_if<TokenKind::Unknown>()) {
    TokenKind inner = std::move(*u->recovered);
    token.kind = std::move(inner);
  }
  if (auto* s = token.kind.get_if<TokenKind::InterpolatedString>()) {
    for (auto& part : s->parts) {
      for (auto& t : s->tokens_of(part)) unwrap_recovery(t);
    }
  }
}

std::optional<std::vector<Token>> parser_tokens(std::string_view text, const config::Config& config) {
  LexerInput in = to_input(text, config);
  auto tokens = config.input_mode == config::InputMode::Template ? lex_string(in) : lex(in);
  if (tokens) {
    for (auto& t : *tokens) unwrap_recovery(t);
  }
  return tokens;
}

}  // namespace vaxo_core::lexer::testing
