#include "core/lexer/identifier.h"

#include <unicode/uchar.h>

#include <array>

namespace vaxo_core::lexer::identifier {

namespace {

constexpr bool ascii_letter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

constexpr bool ascii_continue(unsigned char c) { return is_ascii_continue(c); }

}  // namespace

bool is_identifier_start(char32_t ch) {
  if (ch < 0x80) return ascii_letter(ch);
  return u_hasBinaryProperty(static_cast<UChar32>(ch), UCHAR_XID_START);
}

bool is_identifier_continue(char32_t ch) {
  if (ch < 0x80) return ascii_continue(static_cast<unsigned char>(ch));
  return u_hasBinaryProperty(static_cast<UChar32>(ch), UCHAR_XID_CONTINUE);
}

std::size_t skip_identifier_continue(LexerInput& in) {
  const std::size_t start = in.position;
  const char* data = in.text.data();
  const std::size_t size = in.text.size();
  for (;;) {
    std::size_t p = in.position;
    while (p < size && ascii_continue(static_cast<unsigned char>(data[p]))) ++p;
    in.position = p;
    if (p >= size || static_cast<unsigned char>(data[p]) < 0x80) break;
    auto d = in.peek();
    if (!is_identifier_continue(d.ch)) break;
    in.advance(d.len);
  }
  return in.position - start;
}

bool identifier_into(LexerInput& in, bool keyword, TokenKind& out) {
  if (in.at_end()) return false;
  auto start = in.checkpoint();
  auto first = static_cast<unsigned char>(in.text[start]);
  if (first < 0x80) {
    if (ascii_letter(first)) {
      in.advance(1);
    } else if (is_identifier_special(first)) {
      while (!in.at_end() && static_cast<unsigned char>(in.text[in.position]) == first) in.advance(1);
    } else {
      return false;
    }
  } else {
    auto d = in.peek();
    if (!is_identifier_start(d.ch)) return false;
    in.advance(d.len);
  }
  skip_identifier_continue(in);
  std::string_view name = in.slice(start);
  if (keyword) {
    if (auto kw = keyword_from_str(name)) {
      out.set<TokenKind::Keyword>(TokenKind::Keyword{*kw});
      return true;
    }
  }
  out.set<TokenKind::Identifier>(TokenKind::Identifier{name});
  return true;
}

std::optional<TokenKind> identifier(LexerInput& in, bool keyword) {
  TokenKind kind;
  if (!identifier_into(in, keyword, kind)) return std::nullopt;
  return kind;
}

}  // namespace vaxo_core::lexer::identifier
