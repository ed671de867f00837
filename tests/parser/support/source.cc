#include "tests/parser/support/source.h"

#include <stdexcept>

#include "core/lexer/lexer.h"

namespace vaxo_core::parser::testing {
namespace {

// What the pipeline's token post-pass does before parsing: every recovery
// token of the lexer becomes the token it stands for (diagnostics dropped).
void unwrap(lexer::Token& token) {
  while (auto* u = token.kind.get_if<lexer::TokenKind::Unknown>()) {
    lexer::TokenKind inner = std::move(*u->recovered);
    token.kind = std::move(inner);
  }
  if (auto* s = token.kind.get_if<lexer::TokenKind::InterpolatedString>()) {
    for (auto& part : s->parts) {
      for (auto& t : s->tokens_of(part)) unwrap(t);
    }
  }
}

std::vector<lexer::Token> lex_all(std::string_view text, const config::Config& config) {
  lexer::LexerInput in = lexer::to_input(text, config);
  auto tokens = lexer::lex(in);
  if (!tokens) throw std::runtime_error("lexer failed");
  for (auto& t : *tokens) unwrap(t);
  return std::move(*tokens);
}

}  // namespace

Source::Source(std::string text, std::size_t max_nesting)
    : text_(std::move(text)),
      tokens_(lex_all(text_, config_)),
      state_(max_nesting),
      ctx_(tokens_, state_) {}

std::string Source::rest() const {
  std::string out;
  for (std::size_t i = ctx_.index; i < tokens_.size(); ++i) {
    if (!out.empty()) out += ' ';
    out += tokens_[i].to_string();
  }
  return out;
}

}  // namespace vaxo_core::parser::testing
