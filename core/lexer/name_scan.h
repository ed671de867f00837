// Names and keywords as the scanner reads them: the ASCII run of a name read
// straight from the bytes, the general reader taking over at the first byte
// from 0x80 up, and the keyword a name spells found by the perfect hash of
// keyword.h.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "core/base/byte_scan.h"
#include "core/lexer/identifier.h"
#include "core/lexer/input.h"
#include "core/lexer/keyword.h"
#include "core/lexer/token.h"

namespace vaxo_core::lexer::scanner {

constexpr bool ascii_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The first byte at or after `p` that is no ASCII letter, digit or `_`;
// `wide` tells whether it is one from 0x80 up, where the general reader
// takes the name over.
[[gnu::always_inline]] inline std::size_t ascii_continue_end(const char* data, std::size_t p, std::size_t size,
                                                             bool& wide) {
  for (; p + 16 <= size; p += 16) {
    const unsigned stops = ~base::byte_scan::mask16(data + p, base::byte_scan::AsciiWord{}) & 0xFFFFu;
    if (stops == 0) continue;
    p += static_cast<std::size_t>(std::countr_zero(stops));
    wide = static_cast<unsigned char>(data[p]) >= 0x80;
    return p;
  }
  while (p < size && identifier::is_ascii_continue(static_cast<unsigned char>(data[p]))) ++p;
  wide = p < size && static_cast<unsigned char>(data[p]) >= 0x80;
  return p;
}

namespace name_detail {
// The mask that keeps the first `n` bytes of a little-endian word, n <= 8.
inline constexpr std::array<std::uint64_t, 9> kFirstBytes = {
    0, 0xff, 0xffff, 0xffffff, 0xffffffff, 0xffffffffff, 0xffffffffffff, 0xffffffffffffff, ~std::uint64_t{0}};
}  // namespace name_detail

// The keyword `name` (at `start` in `data`, of `size` bytes) spells, or -1.
[[gnu::always_inline]] inline int keyword_index(const char* data, std::size_t start, std::size_t size,
                                                std::string_view name) {
  if (start + 8 <= size) [[likely]] {
    // Every keyword fits in one word: the name's first bytes, at most eight,
    // are looked up whole. A longer name matches no slot, as its size does
    // not.
    using namespace keyword_detail;
    std::uint64_t word;
    std::memcpy(&word, data + start, 8);
    word &= name_detail::kFirstBytes[std::min<std::size_t>(name.size(), 8)];
    const std::size_t slot = hash_slot(word);
    if (kHashTable.words[slot] == word && kHashTable.sizes[slot] == name.size()) return kHashTable.keywords[slot];
  } else if (name.size() <= 8) {
    if (const std::optional<Keyword> k = keyword_from_str(name)) return static_cast<int>(*k);
  }
  return -1;
}

// The name from `start` whose first character ends before `p`: the rest is
// XID_Continue characters, ASCII ones read straight from the bytes. A name
// that spells a keyword is that Keyword when `keywords`. Stored into `out`,
// which holds no payload.
[[gnu::always_inline]] inline void name_from(LexerInput& in, std::size_t start, std::size_t p, bool keywords,
                                             TokenKind& out) {
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  bool wide;
  p = ascii_continue_end(data, p, size, wide);
  in.position = p;
  if (wide) identifier::skip_identifier_continue(in);
  const std::string_view name(data + start, in.position - start);
  if (keywords) {
    if (const int kw = keyword_index(data, start, size, name); kw >= 0) {
      out.set_unowned(TokenKind::Keyword{static_cast<Keyword>(kw)});
      return;
    }
  }
  out.set_unowned(TokenKind::Identifier{name});
}

// A run of `c` (`_`, `$` or `@`) and what continues it: a name.
void special_name(LexerInput& in, std::size_t start, char c, bool keywords, TokenKind& out);

// At an ASCII letter: the name there, a Keyword when it spells one, as the
// scanner reads it; stored into `out`, which holds no payload.
void ascii_name_into(LexerInput& in, TokenKind& out);

}  // namespace vaxo_core::lexer::scanner
