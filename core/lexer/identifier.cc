#include "core/lexer/identifier.h"

#include <unicode/uchar.h>

namespace vaxo_core::lexer::identifier {

namespace {

constexpr bool ascii_letter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool ascii_continue(unsigned char c) {
  return ascii_letter(c) || (c >= '0' && c <= '9') || c == '_';
}

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
  std::size_t start = in.position;
  const std::size_t size = in.text.size();
  for (;;) {
    while (in.position < size && ascii_continue(static_cast<unsigned char>(in.text[in.position]))) ++in.position;
    if (in.position >= size || static_cast<unsigned char>(in.text[in.position]) < 0x80) break;
    auto d = in.peek();
    if (!is_identifier_continue(d.ch)) break;
    in.advance(d.len);
  }
  return in.position - start;
}

std::optional<TokenKind> identifier(LexerInput& in, bool keyword) {
  if (in.at_end()) return std::nullopt;
  auto start = in.checkpoint();
  auto first = in.peek();
  if (is_identifier_start(first.ch)) {
    in.advance(first.len);
  } else if (is_identifier_special(first.ch)) {
    char special = static_cast<char>(first.ch);
    while (!in.at_end() && in.text[in.position] == special) in.advance(1);
  } else {
    return std::nullopt;
  }
  skip_identifier_continue(in);
  std::string_view name = in.slice(start);
  if (keyword) {
    if (auto kw = keyword_from_str(name)) return TokenKind(*kw);
  }
  return TokenKind(TokenKind::Identifier{name});
}

}  // namespace vaxo_core::lexer::identifier
