#include "core/lexer/name_scan.h"

namespace vaxo_core::lexer::scanner {

void special_name(LexerInput& in, std::size_t start, char c, bool keywords, TokenKind& out) {
  std::size_t p = start;
  while (p < in.text.size() && in.text[p] == c) ++p;
  name_from(in, start, p, keywords, out);
}

void ascii_name_into(LexerInput& in, TokenKind& out) { name_from(in, in.position, in.position + 1, true, out); }

}  // namespace vaxo_core::lexer::scanner
