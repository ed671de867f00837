// Statements: the dispatch on the first token, rebind against assignment,
// inserted `;`, `=`, names and placeholders, and the expressions that a
// statement leaves to its block or script as the trailing value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/parser/parser.h"
#include "core/parser/statements.h"
#include "tests/parser/support/cases.h"

namespace vaxo_core::parser {
namespace {

using testing::Case;
using testing::check_script;
using testing::Source;
using testing::sx;

TEST(Statement, RebindAgainstAssignment) {
  const Case cases[] = {
      {"a = 1;", "(rebind a 1); | => _"},
      {"a.b = 1;", "(= (. a b) 1); | => _"},
      {"a[0] = 1;", "(= (index a 0) 1); | => _"},
      {"a += 1;", "(+= a 1); | => _"},
      {"= 1;", "(rebind ? 1); | => _", {"PatternExpected 0..0"}},
      {"+= 1;", "(+= ? 1); | => _", {"ExpressionExpected 0..0"}},
      {"[a, b] = xs;", "(rebind ([] a b) xs); | => _"},
      {"a == 1;", "(== a 1); | => _"},
      {"a = 1 }", "(rebind a 1)<?;> | (unknown }) | => _", {"MissingSemicolon 5..5", "UnmatchedCloseBrace 6..7"}},
      {"a = ;", "(rebind a ?); | => _", {"ExpressionExpected 3..3"}},
      // A name directly followed by `.`, `[` or `(` is never a rebind target.
      {"a(x) = 1;", "(= (call a ( x )) 1); | => _"},
      {"@k.b = 1;", "(= (. @k b) 1); | => _"},
      {"a.b.c = d;", "(= (. (. a b) c) d); | => _"},
      {"a (x) = 1;", "(= (call a ( x )) 1); | => _"},
      {"a[b] = [c] = d;", "(= (index a b) (array c ]))<?;> | (rebind ? d); | => _",
       {"MissingSemicolon 10..10", "PatternExpected 10..10"}},
      {"mut a.b = 1;", "(= (unknown mut a . b) 1); | => _", {"UnknownExpression 0..7"}},
      {"a and b.c = 1;", "(= (and a (. b c)) 1); | => _"},
  };
  for (const Case& c : cases) check_script(c);
}

TEST(Statement, ExpressionStatementsAndTrailingValues) {
  const Case cases[] = {
      {"a", "=> a"},
      {"a;", "a; | => _"},
      {"a\nb", "a<?;> | => b", {"MissingSemicolon 1..1"}},
      {"a }", "a<?;> | (unknown }) | => _", {"MissingSemicolon 1..1", "UnmatchedCloseBrace 2..3"}},
      {"if c {} + 1;", "(if c ({} => _) _) | (+ 1); | => _"},
      {"if c {}", "=> (if c ({} => _) _)"},
      {"if c {};", "(if c ({} => _) _) | ; | => _"},
      {"{'a': 1}", "=> (json \"a\":1 })"},
      {"{'a': 1};", "(json \"a\":1 }); | => _"},
  };
  for (const Case& c : cases) check_script(c);
}

TEST(Statement, KeywordStatements) {
  const Case cases[] = {
      {"let x = 1;", "(let x = 1); | => _"},
      {"let x 1;", "(let x <?=> 1); | => _", {"MissingBindOperator 5..5"}},
      {"let x = ;", "(let x = ?); | => _", {"ExpressionExpected 7..7"}},
      {"let", "(let ? <?=> ?)<?;> | => _",
       {"PatternExpected 3..3", "MissingBindOperator 3..3", "ExpressionExpected 3..3", "MissingSemicolon 3..3"}},
      {"let ;", "(unknown let) | ; | => _", {"UnexpectedToken 0..3"}},
      {"const @a = 1;", "(const @a = 1); | => _"},
      {"const a = 1;", "(const <?a> = 1); | => _", {"InvalidConstantName 6..7"}},
      {"const _ = 1;", "(const <?_> = 1); | => _", {"UnexpectedUnderscore 6..7"}},
      {"const = 1;", "(unknown const) | (rebind ? 1); | => _", {"UnexpectedToken 0..5", "PatternExpected 5..5"}},
      {"fn f() {}", "(fn f 0 ({} => _)) | => _"},
      {"fn() {}", "(fn <?<name>> 0 ({} => _)) | => _", {"MissingFunctionName 2..2"}},
      {"fn {}", "(fn <?<name>> _ ({} => _)) | => _", {"MissingFunctionName 2..2"}},
      {"fn try() {}", "(fn <?_> 0 ({} => _)) | => _", {"InvalidReservedKeyword 3..6"}},
      {"return;", "(return _); | => _"},
      {"return 1;", "(return 1); | => _"},
      {"return", "(return _)<?;> | => _", {"MissingSemicolon 6..6"}},
      {"break 2;", "(break 2); | => _"},
      {"continue", "(continue)<?;> | => _", {"MissingSemicolon 8..8"}},
      {";;", "; | ; | => _"},
  };
  for (const Case& c : cases) check_script(c);
}

TEST(Statement, StatementFailsWhereTheExpressionEndsABlock) {
  for (const char* text : {"x }", "x", "x case", "x else"}) {
    SCOPED_TRACE(text);
    Source s(text);
    statements::TrailingValue trailing;
    EXPECT_FALSE(statements::statement(s.ctx(), &trailing));
    EXPECT_EQ(s.ctx().index, 0u);
    auto value = trailing.take_at(s.ctx());
    ASSERT_TRUE(value);
    EXPECT_EQ(sx(*value), "x");
    EXPECT_EQ(s.ctx().index, 1u);
  }
  Source s(")");
  EXPECT_FALSE(statements::statement(s.ctx()));
}

TEST(Statement, BlockLikeStatementsTakeNoSemicolon) {
  const Case cases[] = {
      {"loop {} x", "(loop ({} => _)) | => x"},
      {"while c {} x;", "(while c ({} => _) _) | x; | => _"},
      {"match x {} ;", "(match x { }) | ; | => _"},
      {"for a in b {}", "=> (for a b ({} => _) _)"},
      {"{ a } b", "({} => a) | => b"},
  };
  for (const Case& c : cases) check_script(c);
}

}  // namespace
}  // namespace vaxo_core::parser
