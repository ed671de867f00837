// Number and ordinal literals: everything that begins with an ASCII digit.
// A malformed literal still becomes one token: a recovery kind standing for
// the number or ordinal read, with its diagnostic over the whole literal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/lexer/identifier.h"
#include "core/lexer/input.h"
#include "core/lexer/token.h"

namespace vaxo_core::lexer::numeric {

// The reading of one integer digit string.
struct ParsedPart {
  std::uint64_t number = 0;     // UINT64_MAX when the digits form no value
  std::int32_t ordinal = 0;     // number, capped at INT32_MAX
  std::uint32_t radix = 10;
  bool integer_overflow = false;
  bool is_valid_ordinal = false;
  bool has_invalid_char = false;
  bool has_leading_underscore = false;
  bool has_trailing_underscore = false;
};

using DigitTest = bool (*)(unsigned char);

// Reads `text` (possibly empty) as digits of `radix`; `_` and stray bytes
// are dropped before converting and reported in the flags. Overflow is
// detected, never wrapped.
ParsedPart parse_part(std::string_view text, std::uint32_t radix, DigitTest is_digit);

// An Ordinal, or recovery kinds around one (at most two layers).
TokenKind handle_ordinal(std::string_view text, ByteRange range);

// One or more XID_Continue characters.
std::optional<std::string_view> number_part(LexerInput& in);
// One or more XID_Continue characters other than `e` and `E`.
std::optional<std::string_view> float_part(LexerInput& in);
// ASCII digits and `.`, `e`, `E`, `+`, `-`.
constexpr bool is_valid_float_char(unsigned char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

// At an ASCII digit: a number, a plain ordinal, or a recovery kind for one.
TokenKind number(LexerInput& in);
// At an ASCII digit right after `.`: an ordinal or a recovery kind for one.
TokenKind ordinal(LexerInput& in);

// Converts text of the form digits [`.` digits*] [(`e`|`E`) [`+`|`-`] digits]
// to the nearest double, locale-free; overflow gives infinity and underflow
// zero. Absent for any other text.
std::optional<double> parse_decimal(std::string_view text);

// True when an integer's digits that stop at `p` are the whole literal: no
// name character follows, nor a `.` that a fraction or a name could follow
// (after `.`, where the literal is an ordinal, no `.` continues it).
inline bool ends_integer(const char* data, std::size_t p, std::size_t size, bool dot) {
  if (p >= size) return true;
  const auto c = static_cast<unsigned char>(data[p]);
  if (c >= 0x80 || identifier::is_ascii_continue(c)) return false;
  if (c != '.' || dot || p + 1 >= size) return true;
  const auto next = static_cast<unsigned char>(data[p + 1]);
  return next < 0x80 && !identifier::is_ascii_continue(next);
}

// At the digit at `start`, an ordinal's when `dot` (the previous token is
// `.`): the literal, as ordinal() or number() reads it, stored into `out`,
// which holds no payload. Short ordinals and well-formed decimal and
// prefixed literals are converted here; the others go to those readers.
void number_into(LexerInput& in, std::size_t start, bool dot, TokenKind& out);

}  // namespace vaxo_core::lexer::numeric
