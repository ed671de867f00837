// The token post-pass between lexer and parser: moves the diagnostics that
// the lexer left inside recovery tokens into the collector, puts in each
// recovery token's place the kind it stands for, and tags every string and
// interpolated string. Afterwards no token, inside interpolations included,
// is a recovery token.
#pragma once

#include <optional>
#include <span>

#include "core/diagnostic/diagnostics_collector.h"
#include "core/lexer/lexer.h"
#include "core/lexer/token.h"

namespace vaxo_core::compile {

// Always returns a token; the optional mirrors the stage interface.
std::optional<lexer::Token> recover_token(lexer::Token t, diagnostic::DiagnosticsCollector& diagnostics_collector);

// The same over a whole list, in place and in order: what recover_token
// would give for each token, without moving the tokens that need nothing.
void recover_tokens(std::span<lexer::Token> tokens, diagnostic::DiagnosticsCollector& diagnostics_collector);

// The same over a lexed list, visiting only the tokens it notes as owners:
// every token that can need recovery is one of them.
void recover_tokens(lexer::TokenList& tokens, diagnostic::DiagnosticsCollector& diagnostics_collector);

}  // namespace vaxo_core::compile
