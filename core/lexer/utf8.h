// UTF-8 decoding at a byte position. The text is expected to be valid UTF-8
// (it comes from a Python str), but decoding never reads past its end: a
// malformed or truncated sequence decodes as U+FFFD one byte long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vaxo_core::lexer::utf8 {

struct Decoded {
  char32_t ch;
  std::uint32_t len;  // bytes, 1 to 4
};

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes the character at `pos`, which must be < text.size().
inline Decoded decode(std::string_view text, std::size_t pos) {
  auto b0 = static_cast<unsigned char>(text[pos]);
  if (b0 < 0x80) return {b0, 1};
  std::size_t rest = text.size() - pos;
  auto cont = [&](std::size_t i) -> int {
    if (i >= rest) return -1;
    auto b = static_cast<unsigned char>(text[pos + i]);
    return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
  };
  if (b0 >= 0xC2 && b0 < 0xE0) {
    int c1 = cont(1);
    if (c1 < 0) return {kReplacement, 1};
    return {static_cast<char32_t>(((b0 & 0x1F) << 6) | c1), 2};
  }
  if (b0 >= 0xE0 && b0 < 0xF0) {
    int c1 = cont(1), c2 = cont(2);
    if (c1 < 0 || c2 < 0) return {kReplacement, 1};
    char32_t ch = static_cast<char32_t>(((b0 & 0x0F) << 12) | (c1 << 6) | c2);
    if (ch < 0x800 || (ch >= 0xD800 && ch <= 0xDFFF)) return {kReplacement, 1};
    return {ch, 3};
  }
  if (b0 >= 0xF0 && b0 < 0xF5) {
    int c1 = cont(1), c2 = cont(2), c3 = cont(3);
    if (c1 < 0 || c2 < 0 || c3 < 0) return {kReplacement, 1};
    char32_t ch = static_cast<char32_t>(((b0 & 0x07) << 18) | (c1 << 12) | (c2 << 6) | c3);
    if (ch < 0x10000 || ch > 0x10FFFF) return {kReplacement, 1};
    return {ch, 4};
  }
  return {kReplacement, 1};
}

// Appends the UTF-8 form of a Unicode scalar value.
template <typename String>
inline void append(String& out, char32_t ch) {
  if (ch < 0x80) {
    out.push_back(static_cast<char>(ch));
  } else if (ch < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (ch >> 6)));
    out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  } else if (ch < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (ch >> 12)));
    out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (ch >> 18)));
    out.push_back(static_cast<char>(0x80 | ((ch >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  }
}

}  // namespace vaxo_core::lexer::utf8
