// The growth of a script's token list once the room the lexer reserved for
// it is used up.
#pragma once

#include <cstddef>

#include "core/lexer/input.h"

namespace vaxo_core::lexer::scanner {

// What the last growth saw, for the next one.
struct Growth {
  std::size_t from;      // where the list's text starts
  std::size_t tokens;    // list size at the last growth (0: none yet)
  std::size_t position;  // and the text position then
};

// Room for the rest of the script in `tokens` (a std::vector<Token> or
// KeptTokens), which is full: the density of tokens per byte read so far,
// over the text left, and a margin, in one copy of the list. Where the text
// has turned denser since the last growth, that density stands for the rest.
template <typename List>
[[gnu::noinline]] void grow_script_list(const LexerInput& in, List& tokens, Growth& last);

}  // namespace vaxo_core::lexer::scanner
