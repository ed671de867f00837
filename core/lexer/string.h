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

// The rest of the input read as the body of a template (quote-less and
// verbatim with one `@`); fails when the nesting budget is spent.
std::optional<TokenKind> template_string(LexerInput& in);

// The info of the literal that string() (with a quote) or template_string()
// (without) read at `start` of `source`, read again: the token keeps only
// what describes it. Throws InternalError if the text cannot be read again
// (it was read once, so only a thread with less stack left can fail).
StringInfo read_info(std::string_view source, std::size_t start, std::size_t ats, std::optional<char32_t> quote);

}  // namespace vaxo_core::lexer::string
