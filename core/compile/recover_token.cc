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
    recover_tokens(interpolated->tokens, collector);  // every part's run, in order
  }
}

// The kinds recover() acts on; every other token passes through untouched.
constexpr unsigned kRecoveredTags = 1u << static_cast<unsigned>(TokenKind::Tag::Unknown) |
                                    1u << static_cast<unsigned>(TokenKind::Tag::String) |
                                    1u << static_cast<unsigned>(TokenKind::Tag::InterpolatedString);

}  // namespace

std::optional<Token> recover_token(Token t, diagnostic::DiagnosticsCollector& diagnostics_collector) {
  recover(t, diagnostics_collector);
  return t;
}

void recover_tokens(std::span<Token> tokens, diagnostic::DiagnosticsCollector& diagnostics_collector) {
  for (Token& t : tokens) {
    const auto tag = static_cast<unsigned>(t.kind.tag());
    if (tag < 32 && ((kRecoveredTags >> tag) & 1u)) recover(t, diagnostics_collector);
  }
}

void recover_tokens(lexer::TokenList& tokens, diagnostic::DiagnosticsCollector& diagnostics_collector) {
  const std::span<Token> all = tokens.tokens();
  for (std::size_t i : tokens.owners()) {
    Token& t = all[i];
    const auto tag = static_cast<unsigned>(t.kind.tag());
    if (tag < 32 && ((kRecoveredTags >> tag) & 1u)) recover(t, diagnostics_collector);
  }
}

}  // namespace vaxo_core::compile
