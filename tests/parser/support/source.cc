#include "tests/parser/support/source.h"

#include <stdexcept>

#include "testing/parser_tokens.h"

namespace vaxo_core::parser::testing {
namespace {

std::vector<lexer::Token> lex_all(std::string_view text, const config::Config& config) {
  auto tokens = lexer::testing::parser_tokens(text, config);
  if (!tokens) throw std::runtime_error("lexer failed");
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
