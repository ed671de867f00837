// The front end as the compile pipeline runs it: lex, unwrap the lexer's
// recovery tokens (token post-pass), parse, collect the tree's diagnostics.
// Not movable: the tree borrows the token list, and the collector the text.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/compile/recover_token.h"
#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/lexer/lexer.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"

namespace vaxo_core::emitter::testing {

class FrontEnd {
 public:
  FrontEnd(std::string text, const config::Config& config)
      : text_(std::move(text)), config_(config), collector_(config_, text_) {
    lexer::LexerInput input = lexer::to_input(text_, config_);
    std::optional<std::vector<lexer::Token>> lexed = lexer::lex(input);
    if (!lexed) return;
    lexed_ = true;
    tokens_.reserve(lexed->size());
    for (lexer::Token& t : *lexed) tokens_.push_back(*compile::recover_token(std::move(t), collector_));
    script_ = parser::parse(tokens_);
    if (script_) parser::collect_diagnostics(*script_, collector_);
  }
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  bool lexed() const { return lexed_; }
  // None when the lexer or the parser gave up.
  const parser::Script* script() const { return script_ ? &*script_ : nullptr; }
  diagnostic::DiagnosticsCollector& collector() { return collector_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  config::Config config_;
  diagnostic::DiagnosticsCollector collector_;
  bool lexed_ = false;
  std::vector<lexer::Token> tokens_;
  std::optional<parser::Script> script_;
};

}  // namespace vaxo_core::emitter::testing
