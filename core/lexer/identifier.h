// Names: the identifier character classes and the name scanner.
#pragma once

#include <array>
#include <optional>

#include "core/lexer/input.h"
#include "core/lexer/token.h"

namespace vaxo_core::lexer::identifier {

namespace detail {
constexpr std::array<bool, 256> make_ascii_continue() {
  std::array<bool, 256> t{};
  for (int c = 0; c < 128; ++c) {
    t[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  }
  return t;
}
inline constexpr std::array<bool, 256> kAsciiContinue = make_ascii_continue();
}  // namespace detail

// XID_Continue among single bytes: ASCII letters, digits and `_` (bytes of
// multi-byte characters are never in it).
constexpr bool is_ascii_continue(unsigned char c) { return detail::kAsciiContinue[c]; }

// XID_Start (Unicode Standard Annex 31); ASCII letters on the fast path.
bool is_identifier_start(char32_t ch);
// `_`, `$` and `@`: each may begin a name as a run of itself.
constexpr bool is_identifier_special(char32_t ch) { return ch == U'_' || ch == U'$' || ch == U'@'; }
// XID_Continue; ASCII letters, digits and `_` on the fast path.
bool is_identifier_continue(char32_t ch);

// Reads one name: one XID_Start character or a run of one special character,
// then XID_Continue characters. A name spelling a keyword becomes a Keyword
// when `keyword` is true. Fails, consuming nothing, when no name begins here.
std::optional<TokenKind> identifier(LexerInput& in, bool keyword);
// The same, storing the kind into `out`; false (nothing stored) on failure.
bool identifier_into(LexerInput& in, bool keyword, TokenKind& out);

// Consumes XID_Continue characters from the position; returns how many bytes.
std::size_t skip_identifier_continue(LexerInput& in);

}  // namespace vaxo_core::lexer::identifier
