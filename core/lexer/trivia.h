// Trivia: comments and line endings between tokens. Recognised and dropped;
// no token keeps them and no diagnostic is raised for them. Each parser
// starts with the blanks before it, so those blanks belong to it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
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
// Any run of comments and line endings; never fails.
std::optional<Unit> leading_trivia(LexerInput& in);
// Block comments followed by a line comment or line ending, or at most one
// line comment or line ending; never fails.
std::optional<Unit> tailing_trivia(LexerInput& in);

// Everything between two tokens after the blanks, in one pass: the previous
// token's tailing run, the next token's leading run and the blanks before the
// next token. The trivia parsers are told apart by their first two bytes, so
// each stop of a run is a stop of the single run of all of them; both runs
// together end where the leading run alone would.
void skip_trivia(LexerInput& in);

// The first byte at or after `p` that is no blank (space or tab).
inline std::size_t skip_blanks(const char* data, std::size_t p, std::size_t size) {
  for (;;) {
    if (p + 8 <= size) {
      std::uint64_t word;
      std::memcpy(&word, data + p, sizeof word);
      const std::uint64_t diff = word ^ 0x2020202020202020ull;  // zero bytes are spaces
      if (diff == 0) {
        p += 8;
        continue;
      }
      p += static_cast<std::size_t>(std::countr_zero(diff)) >> 3;
    } else {
      while (p < size && data[p] == ' ') ++p;
    }
    if (p >= size || data[p] != '\t') return p;
    ++p;
  }
}

}  // namespace vaxo_core::lexer::trivia
