// A readable dump of token lists and a checker of the invariants every lexer
// result must keep, for the lexer tests and the lexer fuzz target.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/lexer/token.h"

namespace vaxo_core::lexer::testing {

// One line per token: "start..end kind", nested lists inline.
std::string dump_tokens(const std::vector<Token>& tokens);
std::string dump_kind(const TokenKind& kind);

// Lexes `text` as a script (or template) and dumps the list, or "FAILED".
std::string lex_dump(std::string_view text, bool template_mode = false);

// Empty when the list is sound: ranges inside the text, on character
// boundaries, never running backwards, nested lists inside their token; a
// script list ends with exactly one Eof at the end of the text, a template
// list is [string, Eof]; every literal's info (read again from the text)
// opens and closes with the literal and spells its value or part texts.
// Otherwise the first fault found.
std::string check_invariants(std::string_view text, const std::vector<Token>& tokens, bool template_mode);

}  // namespace vaxo_core::lexer::testing
