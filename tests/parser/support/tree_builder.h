// Hand-built tokens for tree tests: a stable token store (addresses never
// move, so TokenRefs may borrow from it) and short constructors.
#pragma once

#include <cstddef>
#include <deque>
#include <string_view>
#include <vector>

#include "core/parser/ast.h"

namespace vaxo_core::parser::testing {

class TokenStore {
 public:
  // A token of the store; borrowed references to it stay valid.
  const Token& add(TokenKind kind, std::size_t start, std::size_t end) {
    return tokens_.emplace_back(Token::make(std::move(kind), ByteRange{start, end}));
  }

  TokenRef op(Operator o, std::size_t start) {
    return TokenRef::borrow(add(o, start, start + lexer::text(o).size()));
  }
  TokenRef kw(Keyword k, std::size_t start) {
    return TokenRef::borrow(add(k, start, start + lexer::text(k).size()));
  }
  TokenRef ident(std::string_view name, std::size_t start) {
    return TokenRef::borrow(add(TokenKind::Identifier{name}, start, start + name.size()));
  }
  TokenRef ordinal(std::int32_t value, std::size_t start, std::size_t end) {
    return TokenRef::borrow(add(TokenKind::Ordinal{value}, start, end));
  }

 private:
  std::deque<Token> tokens_;
};

// An owned recovery token standing for `o` at pos..pos (an inserted token).
inline TokenRef inserted(Operator o, std::size_t pos, DiagnosticCode code) {
  return TokenRef::make(Token::unknown(ByteRange{pos, pos}, o, code));
}

inline NodeList<TokenRef> refs(TokenRef a) {
  NodeList<TokenRef> v;
  v.push_back(std::move(a));
  return v;
}
inline NodeList<TokenRef> refs(TokenRef a, TokenRef b) {
  NodeList<TokenRef> v;
  v.push_back(std::move(a));
  v.push_back(std::move(b));
  return v;
}

inline Expression variable(TokenRef name) { return Expression::Variable{std::move(name)}; }
inline Expression literal(TokenRef token) { return Expression::Literal{std::move(token)}; }

}  // namespace vaxo_core::parser::testing
