// Hand-built syntax trees for emitter tests: tokens are placed at the n-th
// occurrence of their text in the fixture's script, so every range is real.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/emitter/support/disassembler.h"
#include "core/emitter/emitter.h"
#include "core/emitter/concat.h"

namespace vaxo_core::emitter::testing {

using lexer::Keyword;
using lexer::Operator;
using lexer::Token;
using lexer::TokenKind;
using parser::Expression;
using parser::TokenRef;
using parser::NodeList;

class Tree {
 public:
  explicit Tree(std::string script) : script(std::move(script)) {}

  // The range of the n-th occurrence of `text`.
  ByteRange at(std::string_view text, int nth = 0) const {
    std::size_t pos = script.find(text);
    for (int i = 0; i < nth && pos != std::string::npos; ++i) pos = script.find(text, pos + 1);
    if (pos == std::string::npos) throw std::runtime_error("no such text in the test script: " + std::string(text));
    return ByteRange{pos, pos + text.size()};
  }

  // A token of the (stable) token list.
  const Token& token(TokenKind kind, ByteRange range) {
    return tokens.emplace_back(Token::make(std::move(kind), range));
  }
  TokenRef ref(TokenKind kind, ByteRange range) { return TokenRef::borrow(token(std::move(kind), range)); }

  TokenRef id(std::string_view name, int nth = 0) {
    ByteRange r = at(name, nth);
    return ref(TokenKind::Identifier{std::string_view(script).substr(r.start, r.end - r.start)}, r);
  }
  TokenRef op(Operator o, int nth = 0) { return ref(o, at(lexer::text(o), nth)); }
  TokenRef kw(Keyword k, int nth = 0) { return ref(k, at(lexer::text(k), nth)); }

  Expression var(std::string_view name, int nth = 0) { return Expression::Variable{id(name, nth)}; }
  Expression global(int nth = 0) { return Expression::Variable{kw(Keyword::Global, nth)}; }
  Expression number(std::string_view text, double value, int nth = 0) {
    return Expression::Literal{ref(TokenKind::Number{value, {}}, at(text, nth))};
  }
  Expression ordinal(std::string_view text, std::int32_t value, int nth = 0) {
    return Expression::Literal{ref(TokenKind::Ordinal{value}, at(text, nth))};
  }
  // A string literal written with double quotes around `value`.
  Expression string(std::string_view value, int nth = 0) {
    return Expression::Literal{ref(TokenKind::String{lexer::CowText(value), {}},
                                   at(concat({"\"", value, "\""}), nth))};
  }
  Expression keyword(Keyword k, int nth = 0) { return Expression::Literal{kw(k, nth)}; }

  // An interpolated string token over `text`: parts (text before, format),
  // and one expression per part but the last.
  Expression interpolated(std::string_view text, std::vector<std::pair<std::string, std::string>> parts,
                          NodeList<Expression> expressions, int nth = 0) {
    TokenKind::InterpolatedString kind;
    for (auto& [before, format] : parts) {
      texts.push_back(before);
      texts.push_back(format);
      kind.add_part(lexer::CowText(std::string_view(texts[texts.size() - 2])), std::vector<Token>{},
                    std::string_view(texts.back()));
    }
    const Token& t = token(std::move(kind), at(text, nth));
    return Expression::InterpolatedString{&t, std::move(expressions)};
  }

  std::unique_ptr<Expression> box(Expression e) { return std::make_unique<Expression>(std::move(e)); }

  Expression access(Expression object, std::string_view name, int nth = 0) {
    return Expression::Access{box(std::move(object)), op(Operator::Dot, nth), id(name, nth)};
  }

  std::string script;
  std::deque<Token> tokens;
  std::deque<std::string> texts;
};

// An emitter inside the script's frame and scope, as the driver sets it up.
class EmitterFixture : public ::testing::Test {
 protected:
  void start(std::string script, bool tags = true) {
    tree = std::make_unique<Tree>(std::move(script));
    config.diagnostic_tag = tags;
    config.diagnostic_sourcemap = false;
    caller = std::make_unique<diagnostic::DiagnosticsCollector>(config, tree->script);
    emitter = std::make_unique<Emitter>(*caller);
    emitter->closures.enter(true, 0);
    emitter->enter_scope(ByteRange{0, tree->script.size()});
    emitter->diagnostics.data().clear();
  }

  // The instructions written so far, one per line, without offsets.
  std::string code() const {
    Chunk copy = emitter->chunk;
    std::vector<std::uint8_t> bytes = std::move(copy).into_bytes();
    std::string listing = disassemble(bytes);
    std::string out;
    std::size_t pos = listing.find('\n') + 1;  // "code:"
    std::size_t end = listing.find("constants:\n");
    while (pos < end) {
      std::size_t eol = listing.find('\n', pos);
      std::string line = listing.substr(pos, eol - pos);
      out += line.substr(7) + "\n";  // drop the offset column
      pos = eol + 1;
    }
    return out;
  }
  std::string constants() const {
    Chunk copy = emitter->chunk;
    std::vector<std::uint8_t> bytes = std::move(copy).into_bytes();
    std::string listing = disassemble(bytes);
    return listing.substr(listing.find("constants:\n") + 11);
  }
  // "Name@start..end" for each emitter diagnostic (source map excluded).
  std::vector<std::string> diagnostics() const {
    std::vector<std::string> out;
    for (const auto& d : emitter->diagnostics) {
      if (d.error == DiagnosticCode::SourceMap) continue;
      out.push_back(std::string(diagnostic::name(d.error)) + "@" + std::to_string(d.range.start) + ".." +
                    std::to_string(d.range.end));
    }
    return out;
  }

  Register r(std::size_t n) const { return Register::make(n); }

  config::Config config;
  std::unique_ptr<Tree> tree;
  std::unique_ptr<diagnostic::DiagnosticsCollector> caller;
  std::unique_ptr<Emitter> emitter;
};

}  // namespace vaxo_core::emitter::testing
