// Block-like expressions: blocks and loop bodies, if/else chains, while,
// loop, for-in, function expressions and match, with their inserted braces,
// `case` keywords, placeholders and the cases where the whole form fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/parser/block_expressions.h"
#include "core/parser/expressions.h"
#include "core/parser/parser.h"
#include "tests/parser/support/cases.h"

namespace vaxo_core::parser {
namespace {

using testing::Case;
using testing::Source;

void check(const Case& c) { testing::check(c, block_expressions::block_like_expression); }

TEST(Block, BlocksAndLoopBodies) {
  const Case cases[] = {
      {"{}", "({} => _)"},
      {"{\"a\"}", "({} => \"a\")"},
      {"{ a; b }", "({} a; => b)"},
      {"{ if c {} }", "({} => (if c ({} => _) _))"},
      {"{ if c {}; }", "({} (if c ({} => _) _) ; => _)"},
      {"{ a", "({<?}> => a)", {"MissingCloseBrace 3..3"}},
      {"while c { x }", "(while c ({} x<?;> => _) _)", {"MissingSemicolon 11..11"}},
      {"while c { if d {} }", "(while c ({} (if d ({} => _) _) => _) _)"},
      {"loop { }", "(loop ({} => _))"},
      {"loop x", "(loop (<?{><?}> x<?;> => _))",
       {"MissingOpenBrace 4..4", "MissingSemicolon 6..6", "MissingCloseBrace 6..6"}},
      {"loop { {'a': 1} }", "(loop ({} (json \"a\":1 })<?;> => _))", {"MissingSemicolon 15..15"}},
      {"{ {\"a\": 1}; x }", "({<?}> => (json \"a\":1 }))", {"MissingCloseBrace 10..10"}, "; x } ␃"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Block, IfAndElseChains) {
  const Case cases[] = {
      {"if a {} else if b {} else {}", "(if a ({} => _) (if b ({} => _) ({} => _)))"},
      {"if x {} else {\"a\": 1}", "fail", {}, "if x { } else { \"a\" : 1 } ␃"},
      {"if x {\"a\": 1}", "fail", {}, "if x { \"a\" : 1 } ␃"},
      {"if x {} else y }", "(if x ({} => _) (<?{>} => y))", {"MissingOpenBrace 12..12"}},
      {"if { a } { b }", "(if ({} => a) ({} => b) _)"},
      {"if", "(if ? (<?{><?}> => _) _)",
       {"ExpressionExpected 2..2", "MissingOpenBrace 2..2", "MissingCloseBrace 2..2"}},
      {"if c", "(if c (<?{><?}> => _) _)", {"MissingOpenBrace 4..4", "MissingCloseBrace 4..4"}},
      {"if a b else c", "(if a (<?{><?}> => b) (<?{><?}> => c))",
       {"MissingOpenBrace 4..4", "MissingCloseBrace 6..6", "MissingOpenBrace 11..11", "MissingCloseBrace 13..13"}},
      {"if x {} else if )", "(if x ({} => _) (<?{><?}> => _))",
       {"MissingOpenBrace 12..12", "MissingCloseBrace 12..12"}, "if ) ␃"},
      {"if ) {}", "fail", {}, "if ) { } ␃"},
      {"while c {} else {}", "(while c ({} => _) ({} => _))"},
      {"while", "(while ? (<?{><?}> => _) _)",
       {"ExpressionExpected 5..5", "MissingOpenBrace 5..5", "MissingCloseBrace 5..5"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(Block, ForInAndFunctions) {
  const Case cases[] = {
      {"for x in 0..10 {}", "(for x (.. 0 10) ({} => _) _)"},
      {"for x in xs {} else {}", "(for x xs ({} => _) ({} => _))"},
      {"for x of xs {}", "fail", {}, "for x of xs { } ␃"},
      {"for in xs {}", "fail", {}, "for in xs { } ␃"},
      {"fn { 1 }", "(fn _ ({} => 1))"},
      {"fn(a, b) { a }", "(fn 2 ({} => a))"},
      {"fn {'a': 1}", "fail", {}, "fn { \"a\" : 1 } ␃"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Block, ForPatternPlaceholderStandsWhereNoPatternCanBeRead) {
  // `{` stops a pattern: the placeholder goes in, and `in` must follow it.
  Source s("for {} in xs {}");
  EXPECT_FALSE(block_expressions::block_like_expression(s.ctx()));
  EXPECT_EQ(s.ctx().index, 0u);
  Source t("for = in xs {}");
  EXPECT_FALSE(block_expressions::block_like_expression(t.ctx()));
}

TEST(Block, MatchCases) {
  const Case cases[] = {
      {"match x {}", "(match x { })"},
      {"match x { case 1 {} case _ if y { 2 } }", "(match x { [case 1 ({} => _)] [case _ if y ({} => 2)] })"},
      {"match x { 1 {} }", "(match x { [<?case> 1 ({} => _)] })", {"MissingCase 9..9"}},
      {"match x { case {} }", "(match x { [case ? ({} => _)] })", {"PatternExpected 14..14"}},
      {"match x { case if y {} }", "(match x { [case ? if y ({} => _)] })", {"PatternExpected 14..14"}},
      {"match x { case 1 if {} }", "(match x { [case 1 if ({} => _) (<?{>} => _)] <?}>)",
       {"MissingOpenBrace 22..22", "MissingCloseBrace 24..24"}},
      {"match x { case 1 if ) {} }", "(match x { [case 1 (<?{><?}> => _)] <?}>)",
       {"MissingOpenBrace 16..16", "MissingCloseBrace 16..16", "MissingCloseBrace 16..16"}, "if ) { } } ␃"},
      {"match x", "(match x <?{> <?}>)", {"MissingOpenBrace 7..7", "MissingCloseBrace 7..7"}},
      {"match", "(match ? <?{> <?}>)", {"ExpressionExpected 5..5", "MissingOpenBrace 5..5", "MissingCloseBrace 5..5"}},
      {"match ) {}", "fail", {}, "match ) { } ␃"},
  };
  for (const Case& c : cases) check(c);
}

// A chain of conditions each of which fails at its end: without the memo
// every enclosing attempt would read the whole chain again.
std::string failing_condition_chain() {
  const int depth = 500;
  std::string text;
  for (int i = 0; i < depth; ++i) text += "if ";
  text += "x {} else {\"a\": 1}";
  for (int i = 0; i < depth; ++i) text += " {}";
  return text;
}

TEST(Block, FailedRulesAreRememberedNotRetried) {
  Source s(failing_condition_chain());
  auto script = parse(s.ctx());
  ASSERT_TRUE(script);
  EXPECT_GE(script->statements.size(), 1u);
}

TEST(Block, ChainsInInterpolationsParseWithinTheWorkBound) {
  // The same chain inside interpolations, whose token lists keep failures in
  // tables of their own, including strings that an enclosing rule reads
  // twice and a string nested in another's interpolation.
  const std::string chain = failing_condition_chain();
  const std::string cases[] = {
      "\"${" + chain + "}\"",
      "\"a ${1} b ${" + chain + "} c\"",
      "\"${\"${" + chain + "}\" + \"${" + chain + "}\"}\"",
      "(\"${" + chain + "}\")",
      "let [\"${" + chain + "}\"] = 1",
  };
  for (const std::string& text : cases) {
    Source s(text);
    auto script = parse(s.ctx());
    ASSERT_TRUE(script) << text.substr(0, 40);
    EXPECT_TRUE(script->value || !script->statements.empty()) << text.substr(0, 40);
  }
}

}  // namespace
}  // namespace vaxo_core::parser
