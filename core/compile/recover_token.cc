#include "core/compile/recover_token.h"

#include <utility>

namespace vaxo_core::compile {

using diagnostic::DiagnosticCode;
using lexer::Token;
using lexer::TokenKind;

namespace {

// In place, so that nested wrappers and interpolation lists are unwrapped
// without copying their contents.
void recover(Token& t, diagnostic::DiagnosticsCollector& collector) {
  // Wrappers are unwrapped from the outside in: each level's errors land
  // before those of the level it holds.
  while (auto* unknown = t.kind.get_if<TokenKind::Unknown>()) {
    collector.extend(std::move(unknown->errors));
    TokenKind inner = std::move(*unknown->recovered);
    t.kind = std::move(inner);
  }
  if (t.kind.is_string()) {
    collector.push(DiagnosticCode::String, t.range);
  } else if (auto* interpolated = t.kind.get_if<TokenKind::InterpolatedString>()) {
    collector.push(DiagnosticCode::Interpolation, t.range);
    for (lexer::InterpolatedPart& part : interpolated->parts) {
      for (Token& inner : part.tokens) recover(inner, collector);
    }
  }
}

}  // namespace

std::optional<Token> recover_token(Token t, diagnostic::DiagnosticsCollector& diagnostics_collector) {
  recover(t, diagnostics_collector);
  return t;
}

}  // namespace vaxo_core::compile
