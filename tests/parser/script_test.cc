// The parser entry and the script loop: stray tokens become Unknown
// statements, the last expression or block-like statement becomes the value,
// the end token is borrowed or stands in owned, and a parse past the bounds
// has no result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/lexer/lexer.h"
#include "core/parser/parser.h"
#include "tests/parser/support/cases.h"

namespace vaxo_core::parser {
namespace {

using testing::Case;
using testing::diagnostics_of;
using testing::Diags;
using testing::Source;
using testing::sx;

// The root keeps its first statements in place and the rest in chunks: every
// count around their edges keeps each statement once and in order, the last
// block-like one taken off as the value, stray tokens among them.
TEST(Script, LongScriptsKeepEveryStatementInOrder) {
  for (int n : {3, 4, 5, 67, 68, 69, 132, 133, 200}) {
    SCOPED_TRACE(n);
    std::string source;
    std::string tree;
    for (int i = 0; i < n; ++i) {
      source += "s" + std::to_string(i) + "; ";
      tree += "s" + std::to_string(i) + "; | ";
      if (i % 50 == 49) {
        source += ") ";
        tree += "(unknown )) | ";
      }
    }
    source += "if c {}";
    tree += "=> (if c ({} => _) _)";
    Source s(source);
    auto script = parse(s.ctx());
    ASSERT_TRUE(script);
    EXPECT_EQ(sx(*script), tree);
  }
}

TEST(Script, Loop) {
  const Case cases[] = {
      {"", "=> _"},
      {"x", "=> x"},
      {"x }", "x<?;> | (unknown }) | => _", {"MissingSemicolon 1..1", "UnmatchedCloseBrace 2..3"}},
      {") ] }", "(unknown )) | (unknown ]) | (unknown }) | => _",
       {"UnmatchedCloseParen 0..1", "UnmatchedCloseBracket 2..3", "UnmatchedCloseBrace 4..5"}},
      {"if c {}", "=> (if c ({} => _) _)"},
      {"if c {};", "(if c ({} => _) _) | ; | => _"},
      {"{'a': 1}", "=> (json \"a\":1 })"},
      {"{'a': 1};", "(json \"a\":1 }); | => _"},
      {"let ; x", "(unknown let) | ; | => x", {"UnexpectedToken 0..3"}},
      {"a; b; c", "a; | b; | => c"},
      {"x = 1; ) y", "(rebind x 1); | (unknown )) | => y", {"UnmatchedCloseParen 7..8"}},
      {"a b", "a<?;> | => b", {"MissingSemicolon 1..1"}},
      {"else x", "=> (unknown else x)", {"UnknownExpression 0..6"}},
  };
  for (const Case& c : cases) testing::check_script(c);
}

TEST(Script, EmptyTokenListGetsAStandInEnd) {
  std::vector<Token> none;
  auto script = parse(none);
  ASSERT_TRUE(script);
  EXPECT_TRUE(script->statements.empty());
  EXPECT_FALSE(script->value);
  ASSERT_TRUE(script->eof.is_owned());
  EXPECT_EQ(script->eof.range(), (ByteRange{0, 0}));
  EXPECT_EQ(diagnostics_of(*script, ""), (Diags{"UnexpectedToken 0..0"}));
  EXPECT_TRUE(script->eof->kind.is_eof());
}

TEST(Script, ATokenListWithoutEofEndsWhenTheTokensRunOut) {
  config::Config config;
  std::string text = "a; b";
  lexer::LexerInput in = lexer::to_input(text, config);
  auto tokens = lexer::lex(in);
  ASSERT_TRUE(tokens);
  tokens->pop_back();
  auto script = parse(*tokens);
  ASSERT_TRUE(script);
  EXPECT_EQ(sx(*script), "a; | => b");
  EXPECT_TRUE(script->eof.is_owned());
}

TEST(Script, ThePreviousEndOfAnEmptyListIsZero) {
  std::vector<Token> none;
  ParserState state;
  ParserContext ctx = to_input(none, state);
  EXPECT_EQ(ctx.previous_token_end(), 0u);
  EXPECT_EQ(ctx.index, 0u);
}

TEST(Script, ALastBlockLikeStatementBecomesTheValue) {
  Source s("loop {} if a {}");
  auto [statements, value] = helper::statements_and_expression(s.ctx());
  ASSERT_EQ(statements.size(), 1u);
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->is<Expression::If>());
}

TEST(Script, ALastStatementThatIsNotBlockLikeStays) {
  Source s("loop {};");
  auto [statements, value] = helper::statements_and_expression(s.ctx());
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_TRUE(statements.back().is<Statement::Empty>());
  EXPECT_FALSE(value);
}

TEST(Script, NestingPastTheBoundHasNoResult) {
  std::string text(200000, '(');
  Source s(text);
  EXPECT_FALSE(parse(s.ctx()));
}

TEST(Script, CraftedReReadingParsesInFull) {
  // Every level's dangling `+ ;` makes the enclosing levels read the inner
  // stretch again in another role; the memo keeps that within the work bound.
  std::string text;
  for (int i = 0; i < 600; ++i) text += "a + (";
  text += "b";
  for (int i = 0; i < 600; ++i) text += ") + ;";
  Source s(text);
  EXPECT_TRUE(parse(s.ctx()));
  // The same shape a few levels deep parses.
  Source shallow("a + (a + (b) + ;) + ;");
  EXPECT_TRUE(parse(shallow.ctx()));
}

}  // namespace
}  // namespace vaxo_core::parser
