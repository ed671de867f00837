// Compiler: one compilation from source text to (optional chunk bytes,
// diagnostic words).
//
// Stages run in a fixed order, each at most once: lex (with the token
// post-pass), parse (with the collection of the tree's diagnostics), emit.
// The first stage that yields nothing ends the compilation without a chunk;
// the diagnostics are encoded on every way out. The chunk is withheld when
// the kept diagnostics include an error.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/lexer/lexer.h"
#include "core/lexer/token.h"
#include "core/parser/ast.h"

namespace vaxo_core::compile {

struct CompileResult {
  std::optional<std::vector<std::uint8_t>> chunk;
  std::vector<std::uint32_t> diagnostics;
};

class Compiler {
 public:
  // The only entry point. Throws InternalError for a violated invariant,
  // never for bad source.
  static CompileResult compile(std::string_view input, const config::Config& config);
  // Optional, once a result is read: its buffers serve the thread's next
  // compile instead of new ones.
  static void recycle(CompileResult&& result) noexcept;

  // `script` and `config` are borrowed for the compiler's lifetime.
  Compiler(std::string_view script, const config::Config& config);

  std::optional<lexer::TokenList> lex();
  // `tokens` must outlive the returned Script, which borrows from it.
  std::optional<parser::Script> parse(std::span<const lexer::Token> tokens);
  std::optional<std::vector<std::uint8_t>> emit(const parser::Script& script);
  std::vector<std::uint32_t> encode_diagnostics() const;

  const diagnostic::DiagnosticsCollector& diagnostics_collector() const { return diagnostics_collector_; }

 private:
  std::string_view script_;
  const config::Config* config_;
  diagnostic::DiagnosticsCollector diagnostics_collector_;
};

}  // namespace vaxo_core::compile
