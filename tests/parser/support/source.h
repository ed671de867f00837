// Lex-then-parse fixture: owns a source text, its token list (as the compile
// pipeline hands it to the parser: recovery tokens of the lexer unwrapped)
// and a ParserContext over it. Not movable: the context and every borrowed
// TokenRef point into it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/config.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser::testing {

class Source {
 public:
  explicit Source(std::string text, std::size_t max_nesting = ParserState::kMaxNesting);
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  ParserContext& ctx() { return ctx_; }
  const std::vector<lexer::Token>& tokens() const { return tokens_; }
  std::string_view text() const { return text_; }

  // The text forms of the tokens not consumed yet, separated by spaces.
  std::string rest() const;

 private:
  std::string text_;
  config::Config config_;
  std::vector<lexer::Token> tokens_;
  ParserState state_;
  ParserContext ctx_;
};

}  // namespace vaxo_core::parser::testing
