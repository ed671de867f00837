#include "core/compile/compiler.h"


#include "core/compile/recover_token.h"
#include "core/diagnostic/internal_error.h"
#include "core/emitter/emitter.h"
#include "core/lexer/lexer.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"
#include "core/parser/tree_release.h"

namespace vaxo_core::compile {

using diagnostic::DiagnosticCode;

Compiler::Compiler(std::string_view script, const config::Config& config)
    : script_(script), config_(&config), diagnostics_collector_(config, script) {}

CompileResult Compiler::compile(std::string_view input, const config::Config& config) {
  Compiler compiler(input, config);
  CompileResult result;
  {
    auto tokens = compiler.lex();
    if (tokens) {
      // The tree borrows from the token list: it goes first, and both go
      // before the encoding, which needs neither. Every node of the parse,
      // the walk and the emission comes from one arena, which goes at once.
      parser::NodeArena::Scope arena;
      auto script = compiler.parse(tokens->tokens());
      if (script) {
        result.chunk = compiler.emit(*script);
        parser::release_tree(*script, arena);
      }
    }
  }
  result.diagnostics = compiler.encode_diagnostics();
  return result;
}

void Compiler::recycle(CompileResult&& result) noexcept {
  if (result.chunk) emitter::Chunk::recycle(std::move(*result.chunk));
}

std::optional<lexer::TokenList> Compiler::lex() {
  lexer::LexerInput input = lexer::to_input(script_, *config_);
  auto tokens =
      config_->input_mode == config::InputMode::Script ? lexer::lex_list(input) : lexer::lex_string_list(input);
  if (!tokens) {
    std::size_t start = input.current_token_start();
    ByteRange range = start >= script_.size() ? ByteRange{0, 0} : ByteRange{start, script_.size()};
    diagnostics_collector_.push(DiagnosticCode::LexerError, range);
    return std::nullopt;
  }
  recover_tokens(*tokens, diagnostics_collector_);
  return tokens;
}

std::optional<parser::Script> Compiler::parse(std::span<const lexer::Token> tokens) {
  if (tokens.empty()) throw InternalError("Cannot parse an empty token list");
  parser::ParserState state;
  parser::ParserContext input = parser::to_input(tokens, state);
  auto script = parser::parse(input);
  if (!script) {
    std::size_t consumed = input.index < tokens.size() ? input.index : tokens.size();
    ByteRange range = consumed == tokens.size()
                          ? tokens.back().range
                          : ByteRange{tokens[consumed].range.start, tokens.back().range.end};
    diagnostics_collector_.push(DiagnosticCode::ParserError, range);
    return std::nullopt;
  }
  parser::collect_diagnostics(*script, diagnostics_collector_);
  return script;
}

std::optional<std::vector<std::uint8_t>> Compiler::emit(const parser::Script& script) {
  std::vector<std::uint8_t> bytes = emitter::emit(script, diagnostics_collector_);
  if (diagnostics_collector_.has_error()) return std::nullopt;
  return bytes;
}

std::vector<std::uint32_t> Compiler::encode_diagnostics() const { return diagnostics_collector_.encode(); }

}  // namespace vaxo_core::compile
