// String literals, their escapes and `$` interpolations, and template mode.
//
// A literal is zero or more `@`, a quote (' " `), the body, the same quote and
// as many `@`. Without `@` a backslash starts an escape and `$` an
// interpolation; with N `@` the literal is verbatim and only a run of exactly
// N `$` interpolates. Interpolations are lexed in place by a nested token
// loop. All faults of one literal travel in one recovery token around it;
// faults of tokens inside an interpolation stay on those tokens.
#pragma once

#include <optional>
#include <string_view>

#include "core/lexer/input.h"
#include "core/lexer/token.h"

namespace vaxo_core::lexer::string {

// At an `@` or a quote: the literal's kind. Fails when no quote follows the
// `@` run (consuming nothing), or when the nesting budget is spent.
std::optional<TokenKind> string(LexerInput& in);

// Reads a body described by `info` (a template when `info.quote` is absent)
// up to its closing delimiter or the end of the input.
std::optional<TokenKind> string_content(LexerInput& in, StringInfo info);

// Right after a backslash: one escape.
StringFragment escaped_char_impl(LexerInput& in);

// Right after a `$` run: an interpolation, or the dollars as text.
std::optional<StringFragment> interpolation(LexerInput& in, std::string_view dollars);

// Right after a format colon: the raw format text up to the `)` that closes
// the interpolation (not consumed) or the end of the input.
std::string_view format_string(LexerInput& in);

}  // namespace vaxo_core::lexer::string
