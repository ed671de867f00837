// Nesting and tree-height bounds: deep input of every recursive kind parses up
// to 1,000 levels, long left-associative chains up to 10,000 terms, and
// anything deeper ends in a failed parse, never in a crash; also on a thread
// with a 512 KiB stack. Each accepted tree is walked, ranged and destroyed,
// the passes that recurse once per tree level.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/diagnostic/diagnostics_collector.h"
#include "core/lexer/lexer.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"
#include "core/parser/parser_context.h"
#include "tests/support/on_thread.h"

namespace vaxo_core::parser {
namespace {

std::string repeat(std::string_view s, int n) {
  std::string out;
  out.reserve(s.size() * n);
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct Kind {
  const char* name;
  std::function<std::string(int)> make;
};

// Every construct the grammar nests through itself.
const std::vector<Kind>& nesting_kinds() {
  static const std::vector<Kind> kinds = {
      {"grouping", [](int n) { return "let v = " + repeat("(", n) + "x" + repeat(")", n) + ";"; }},
      {"record", [](int n) { return "let v = " + repeat("(a: ", n) + "1" + repeat(")", n) + ";"; }},
      {"array", [](int n) { return "let v = " + repeat("[", n) + "x" + repeat("]", n) + ";"; }},
      {"call", [](int n) { return "let v = " + repeat("f(", n) + "x" + repeat(")", n) + ";"; }},
      {"method call", [](int n) { return "let v = " + repeat("a.m(", n) + "x" + repeat(")", n) + ";"; }},
      {"call of an array", [](int n) { return "let v = " + repeat("f([", n) + "x" + repeat("])", n) + ";"; }},
      {"index", [](int n) { return "let v = a" + repeat("[a", n) + repeat("]", n) + ";"; }},
      {"slice", [](int n) { return "let v = a" + repeat("[a", n) + repeat("..]", n) + ";"; }},
      {"extension", [](int n) { return "let v = a" + repeat("::f(", n) + repeat(")", n) + ";"; }},
      {"prefix", [](int n) { return "let v = " + repeat("- ", n) + "x;"; }},
      {"not", [](int n) { return "let v = " + repeat("not ", n) + "x;"; }},
      {"power", [](int n) { return "let v = a" + repeat(" ^ a", n) + ";"; }},
      {"conditional", [](int n) { return "let v = " + repeat("a ? b : ", n) + "c;"; }},
      {"conditional then", [](int n) { return "let v = " + repeat("a ? ", n) + "b" + repeat(" : c", n) + ";"; }},
      {"interpolation", [](int n) { return "let v = " + repeat("\"$(", n) + "x" + repeat(")\"", n) + ";"; }},
      {"json", [](int n) { return "let v = " + repeat("{'a': ", n) + "1" + repeat("}", n) + ";"; }},
      {"block", [](int n) { return repeat("{", n) + "x" + repeat("}", n); }},
      {"statement block", [](int n) { return repeat("{ let a = 1; ", n) + repeat("}", n); }},
      {"if condition", [](int n) { return repeat("if ", n) + "x" + repeat(" {}", n); }},
      {"else if", [](int n) { return repeat("if a {} else ", n) + "{}"; }},
      {"loop", [](int n) { return repeat("loop {", n) + repeat("}", n); }},
      {"while", [](int n) { return repeat("while a {", n) + repeat("}", n); }},
      {"for", [](int n) { return repeat("for x in y {", n) + repeat("}", n); }},
      {"match", [](int n) { return repeat("match x { case 1 {", n) + repeat("} }", n); }},
      {"function", [](int n) { return repeat("fn() {", n) + repeat("}", n); }},
      {"for over an array", [](int n) { return repeat("for x in [", n) + "1" + repeat("] {}", n); }},
      {"let record pattern", [](int n) { return "let " + repeat("(a: ", n) + "x" + repeat(")", n) + " = v;"; }},
      {"let array pattern", [](int n) { return "let " + repeat("[", n) + "x" + repeat("]", n) + " = v;"; }},
      {"parameter pattern", [](int n) { return "fn f(" + repeat("(a: ", n) + "x" + repeat(")", n) + ") {}"; }},
      {"case pattern", [](int n) { return "match v { case " + repeat("(a: ", n) + "x" + repeat(")", n) + " {} }"; }},
      {"recovered array", [](int n) { return "let v = " + repeat("[", n) + "1 +" + repeat("]", n) + ";"; }},
  };
  return kinds;
}

// Left-associative chains build tall trees without recursing.
const std::vector<Kind>& chain_kinds() {
  static const std::vector<Kind> kinds = {
      {"sum", [](int n) { return "a" + repeat(" + a", n - 1); }},
      {"calls", [](int n) { return "f" + repeat("()", n); }},
      {"members", [](int n) { return "a" + repeat(".b", n); }},
      {"non-nil", [](int n) { return "a" + repeat("!", n); }},
      {"or", [](int n) { return "a" + repeat(" or a", n - 1); }},
      {"tagged", [](int n) { return "f" + repeat(" 's'", n); }},
      {"statements", [](int n) { return repeat("a = 1;", n); }},
  };
  return kinds;
}

// The tree-height bound leaves every later pass over the tree its stack; an
// unoptimised or sanitized pass takes several times more stack per level, so
// the bound is lower there.
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__) && !VAXO_HAS_ADDRESS_SANITIZER
constexpr int kLongChain = 10000;
#else
constexpr int kLongChain = 1500;
#endif

enum class Outcome { Parsed, Failed, LexerFailed };

// Lexes, parses, walks and ranges `text`; the tree is destroyed on return.
Outcome run(const std::string& text) {
  config::Config config;
  lexer::LexerInput in = lexer::to_input(text, config);
  auto tokens = lexer::lex(in);
  if (!tokens) return Outcome::LexerFailed;
  auto script = parse(*tokens);
  if (!script) return Outcome::Failed;
  ByteRange r = range(*script);
  EXPECT_LE(r.end, text.size());
  diagnostic::DiagnosticsCollector collector(config, text);
  collect_diagnostics(*script, collector);
  return Outcome::Parsed;
}

TEST(Depth, AThousandLevelsOfEveryKindParse) {
  for (const Kind& kind : nesting_kinds()) {
    SCOPED_TRACE(kind.name);
    EXPECT_EQ(run(kind.make(1000)), Outcome::Parsed);
  }
}

TEST(Depth, LongChainsParse) {
  for (const Kind& kind : chain_kinds()) {
    SCOPED_TRACE(kind.name);
    EXPECT_EQ(run(kind.make(kLongChain)), Outcome::Parsed);
  }
}

TEST(Depth, DeeperInputFailsAsAWhole) {
  for (const Kind& kind : nesting_kinds()) {
    SCOPED_TRACE(kind.name);
    Outcome o = run(kind.make(20000));
    // Interpolations nest in the lexer first, which has its own bound.
    EXPECT_TRUE(o == Outcome::Failed || (o == Outcome::LexerFailed && std::string(kind.name) == "interpolation"));
  }
  EXPECT_EQ(run("x" + repeat(" + x", 200000)), Outcome::Failed);
  EXPECT_EQ(run("f" + repeat("()", 200000)), Outcome::Failed);
}

TEST(Depth, ASmallThreadStackEndsInAFailedParseNotACrash) {
  test_support::on_thread(512 * 1024, [] {
    for (const Kind& kind : nesting_kinds()) {
      SCOPED_TRACE(kind.name);
      EXPECT_EQ(run(kind.make(20)), Outcome::Parsed);
      Outcome o = run(kind.make(5000));
      EXPECT_NE(o, Outcome::Parsed);
    }
    for (const Kind& kind : chain_kinds()) {
      SCOPED_TRACE(kind.name);
      EXPECT_EQ(run(kind.make(100)), Outcome::Parsed);
      run(kind.make(100000));  // parsed or failed, within the stack either way
    }
  });
}

// The nesting bound is exact: around the innermost expression the script
// takes two levels, each parenthesis one more. On a large stack, so that
// only the count decides.
TEST(Depth, ParenthesesNestExactlyToTheBound) {
  test_support::on_thread(64 * 1024 * 1024, [] {
    const int most = static_cast<int>(ParserState::kMaxNesting) - 2;
    EXPECT_EQ(run(repeat("(", most) + "x" + repeat(")", most)), Outcome::Parsed);
    EXPECT_EQ(run(repeat("(", most + 1) + "x" + repeat(")", most + 1)), Outcome::Failed);
  });
}

// The height bound a thread's stack allows is coarse, so that a few bytes'
// shift of the stack between runs (address-space layout) cannot move where an
// over-tall text stops; it still takes 10,000-term chains on a large stack.
TEST(Depth, TheStackDerivedHeightBoundIsCoarse) {
  auto check = [](std::size_t stack_size, std::uint32_t at_least) {
    test_support::on_thread(stack_size, [at_least] {
      std::uint32_t heights[2];
      // Made at two stack depths a few hundred bytes apart.
      heights[0] = ParserState().max_height();
      [&heights]() __attribute__((noinline)) {
        volatile char pad[512];
        pad[0] = 0;
        heights[1] = ParserState().max_height() + pad[0];
      }();
      for (std::uint32_t h : heights) {
        EXPECT_GE(h, at_least);
        EXPECT_LE(std::popcount(h), 5) << h;
      }
    });
  };
  check(512 * 1024, 64);
  check(8 * 1024 * 1024, 2000);
}

}  // namespace
}  // namespace vaxo_core::parser
