// Source-to-chunk fixture for emitter tests: lexes and parses a script the
// way the compile pipeline does (recovery tokens unwrapped, the tree's
// diagnostics collected), emits it, and renders the result as text.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "tests/emitter/support/disassembler.h"
#include "core/emitter/emitter.h"
#include "core/lexer/lexer.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"

namespace vaxo_core::emitter::testing {

// The lexer or the parser gave up as a whole (nesting past their bounds):
// a legitimate outcome, never an emitter fault.
struct StageGaveUp {
  const char* stage;
};

// One compilation of `text`: tokens, tree and collectors live as long as it.
class Emitted {
 public:
  explicit Emitted(std::string text, bool tags = true, bool sourcemap = false) : text_(std::move(text)) {
    config_.diagnostic_tag = tags;
    config_.diagnostic_sourcemap = sourcemap;
    lexer::LexerInput in = lexer::to_input(text_, config_);
    std::optional<std::vector<lexer::Token>> tokens = lexer::lex(in);
    if (!tokens) throw StageGaveUp{"lexer"};
    tokens_ = std::move(*tokens);
    for (lexer::Token& t : tokens_) unwrap(t);
    std::optional<parser::Script> script = parser::parse(tokens_);
    if (!script) throw StageGaveUp{"parser"};
    script_ = std::make_unique<parser::Script>(std::move(*script));
    parser_diagnostics_ = std::make_unique<DiagnosticsCollector>(config_, text_);
    parser::collect_diagnostics(*script_, *parser_diagnostics_);
    DiagnosticsCollector collector(config_, text_);
    bytes_ = emit(*script_, collector);
    diagnostics_ = std::move(collector).data();
  }

  // The instructions, one per line, indented by block, without offsets.
  std::string code() const {
    std::string listing = disassemble(bytes_);
    std::string out;
    std::size_t pos = listing.find('\n') + 1;  // "code:"
    std::size_t end = listing.find("constants:\n");
    while (pos < end) {
      std::size_t eol = listing.find('\n', pos);
      out += listing.substr(pos, eol - pos).substr(7) + "\n";
      pos = eol + 1;
    }
    return out;
  }
  std::string constants() const {
    std::string listing = disassemble(bytes_);
    return listing.substr(listing.find("constants:\n") + 11);
  }
  // "Name@start..end" of the emitter's diagnostics, source map excluded.
  std::vector<std::string> diagnostics() const {
    std::vector<std::string> out;
    for (const auto& d : diagnostics_) {
      if (d.error == DiagnosticCode::SourceMap) continue;
      out.push_back(std::string(diagnostic::name(d.error)) + "@" + std::to_string(d.range.start) + ".." +
                    std::to_string(d.range.end));
    }
    return out;
  }
  // The parser's diagnostics (what the source text itself gets wrong).
  std::vector<std::string> parser_diagnostics() const {
    std::vector<std::string> out;
    for (const auto& d : *parser_diagnostics_) out.push_back(std::string(diagnostic::name(d.error)));
    return out;
  }
  const std::vector<SourceDiagnostic>& raw_diagnostics() const { return diagnostics_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::string_view text() const { return text_; }

 private:
  static void unwrap(lexer::Token& token) {
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

  std::string text_;
  config::Config config_;
  std::vector<lexer::Token> tokens_;
  std::unique_ptr<parser::Script> script_;
  std::unique_ptr<DiagnosticsCollector> parser_diagnostics_;
  std::vector<std::uint8_t> bytes_;
  std::vector<SourceDiagnostic> diagnostics_;
};

// The lines of `code` (indentation dropped) whose first operand, the
// register they write, is `reg` ("r1").
inline std::vector<std::string> writes_to(const std::string& code, const std::string& reg) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < code.size()) {
    std::size_t eol = code.find('\n', pos);
    std::string line = code.substr(pos, eol - pos);
    line.erase(0, line.find_first_not_of(' '));
    std::size_t space = line.find(' ');
    if (space != std::string::npos && line.compare(space + 1, reg.size() + 1, reg + ",") == 0) out.push_back(line);
    pos = eol + 1;
  }
  return out;
}

// A script, the code it emits and its diagnostics with tags off (errors,
// warnings, hints, references).
struct Case {
  const char* source;
  const char* code;
  std::vector<std::string> diagnostics;
};

inline void check(const Case& c) {
  SCOPED_TRACE(c.source);
  Emitted e(c.source, /*tags=*/false);
  EXPECT_EQ(e.code(), c.code);
  EXPECT_EQ(e.diagnostics(), c.diagnostics);
}

}  // namespace vaxo_core::emitter::testing
