// Trivia: comments and line endings between tokens. Recognised and dropped;
// no token keeps them and no diagnostic is raised for them. Each parser
// starts with the blanks before it, so those blanks belong to it.
#pragma once

#include <optional>

#include "core/lexer/combinator.h"
#include "core/lexer/input.h"

namespace vaxo_core::lexer::trivia {

// Blanks, `//`, the rest of the line and its line ending if any. A line
// whose text is stopped by a CR without LF is no comment.
std::optional<Unit> line_comment(LexerInput& in);
// Blanks, `/*`, then the text through the first `*/`, or the whole rest of
// the input when none follows. Block comments do not nest.
std::optional<Unit> block_comment(LexerInput& in);
// Blanks and one line ending ("\n" or "\r\n").
std::optional<Unit> new_line(LexerInput& in);
// False when no trivia can start after the blanks at the position (the
// common case of tokens separated by spaces), so callers may skip both runs.
bool may_start_trivia(const LexerInput& in);
// Consumes the blanks at the position (which every trivia parser and the
// token scanner would consume first anyway), then answers may_start_trivia.
bool skip_blanks_then_may_start_trivia(LexerInput& in);
// Any run of comments and line endings; never fails.
std::optional<Unit> leading_trivia(LexerInput& in);
// Block comments followed by a line comment or line ending, or at most one
// line comment or line ending; never fails.
std::optional<Unit> tailing_trivia(LexerInput& in);

}  // namespace vaxo_core::lexer::trivia
