// Input that makes enclosing rules read the same stretch in new roles: an
// operand whose operator has no right side, nested in brackets, blocks and
// block-like forms. The parse keeps what such rules drop and remembers where
// an expression is bound to fail; these tests hold it to the tree a reading
// without either builds, and to finishing such input well below the work
// bound at a thousand levels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/lexer/lexer.h"
#include "core/parser/dump.h"
#include "core/parser/parser.h"
#include "core/parser/parser_context.h"

namespace vaxo_core::parser {
namespace {

std::string repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// `open` n times, `middle`, then `close` n times.
struct Shape {
  const char* open;
  const char* middle;
  const char* close;
  std::string make(int n) const { return repeat(open, n) + middle + repeat(close, n); }
};

const std::vector<Shape>& shapes() {
  static const std::vector<Shape> all = {
      {"a + (", "b", ") + ;"},          {"a * (", "b", ") == ;"},         {"a + [", "b", "] + ;"},
      {"a + {", "b", "} + ;"},          {"f(a + ", "b", ") + ;"},         {"(x: a + ", "b", ") + ;"},
      {"if a + (", "b", ") + ; {}"},    {"match a + (", "b", ") + ; {}"}, {"a ? (", "b", ") : ;"},
      {"-(a + ", "b", ") + ;"},         {"f(g(", "b", ") + ;"},           {"fn (a) { a + (", "b", ") + ; }"},
      {"[a + (", "b", ") + ;]"},        {"[a .. (", "b", ") + ;]"},       {"a[(b + ", "c", ") + ;..]"},
      {"a[f(", "b", ") + ;]"},          {"a[b + ", "c", "] + ;"},         {"a.b(a + ", "c", ") + ;"},
      {"{\"k\": a + (", "b", ") + ;}"}, {"\"${(a + ", "b", ") + ;}\""},   {"x = (a + ", "b", ") + ;"},
      {"a is (b) + (", "c", ") + ;"},   {"a = (b = ", "c", ") = ;"},      {"a + ( ) (", "b", ") + ;"},
      {"f({", "b", "} + ;)"},           {"not (a + ", "b", ") + ;"},      {"while a + (", "b", ") + ; {}"},
      {"if a {", "b", "} else + ;"},    {"a::(b + ", "c", ") + ;"},       {"(k: (", "b", ") + ;)"},
  };
  return all;
}

// Brackets left open at the end of input: each level's failed suffix holds
// the whole nest below it, which every enclosing level would read again.
const std::vector<const char*>& unclosed() {
  static const std::vector<const char*> all = {
      "a[f(", "f(a[", "a[(", "[f(a[", "{\"k\": a[f(", "a[{", "a[if a {f(", "a[fn (x) {f(", "a[x + (",
      "a::f(a[", "a.b[c(", "a[-(", "while a[f(", "a[[", "f(a[b..",
  };
  return all;
}

std::vector<lexer::Token> lex(const std::string& text) {
  config::Config config;
  lexer::LexerInput in = lexer::to_input(text, config);
  auto tokens = lexer::lex(in);
  EXPECT_TRUE(tokens.has_value()) << text;
  return tokens ? std::move(*tokens) : std::vector<lexer::Token>{};
}

// The script loop run on its own, outside `parse`: every rule reads afresh,
// with only the failures of its hash set remembered.
std::string plain_dump(const std::vector<lexer::Token>& tokens) {
  ParserState state;
  ParserContext ctx = to_input(tokens, state);
  return dump(scripts::script(ctx));
}

TEST(Reread, KeptAndDoomedReadingsBuildThePlainTree) {
  std::string all;
  for (const Shape& shape : shapes()) {
    for (int n : {1, 2, 3, 5}) {
      const std::string text = shape.make(n);
      SCOPED_TRACE(text);
      const auto tokens = lex(text);
      auto script = parse(tokens);
      ASSERT_TRUE(script.has_value());
      EXPECT_EQ(dump(*script), plain_dump(tokens));
    }
    // Each shape closing into the next one's brackets.
    all += shape.make(2);
  }
  const auto tokens = lex(all);
  auto script = parse(tokens);
  ASSERT_TRUE(script.has_value());
  EXPECT_EQ(dump(*script), plain_dump(tokens));
}

TEST(Reread, UnclosedNestsBuildThePlainTree) {
  for (const char* open : unclosed()) {
    // Ending at the end of input, before trailing text, and in a bracket
    // whose operator has no right side.
    for (const char* end : {"", "\n", ";", "a[b>(c)</"}) {
      for (int n : {1, 2, 5, 9}) {
        const std::string text = repeat(open, n) + end;
        SCOPED_TRACE(text);
        const auto tokens = lex(text);
        auto script = parse(tokens);
        ASSERT_TRUE(script.has_value());
        EXPECT_EQ(dump(*script), plain_dump(tokens));
      }
    }
  }
}

// Unoptimised and sanitized builds take several times more stack per level,
// and the nesting guard's stack check ends these shapes earlier there.
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__) && !VAXO_HAS_ADDRESS_SANITIZER
constexpr int kLevels = 1000;
#else
constexpr int kLevels = 250;
#endif

TEST(Reread, AThousandLevelsStayWithinTheWorkBound) {
  for (const Shape& shape : shapes()) {
    const std::string text = shape.make(kLevels);
    SCOPED_TRACE(shape.open);
    EXPECT_TRUE(parse(lex(text)).has_value());
    // Copies after one another share the allowance.
    const std::string copies = text + "\n" + text + "\n" + text + "\n" + text;
    EXPECT_TRUE(parse(lex(copies)).has_value());
  }
}

TEST(Reread, AThousandUnclosedLevelsStayWithinTheWorkBound) {
  for (const char* open : unclosed()) {
    SCOPED_TRACE(open);
    for (const char* end : {"", "\n", "a[b>(c)</"}) EXPECT_TRUE(parse(lex(repeat(open, kLevels) + end)).has_value());
  }
}

}  // namespace
}  // namespace vaxo_core::parser
