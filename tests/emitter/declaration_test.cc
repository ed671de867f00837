// The declaration pass: static checks on literal operands, needless
// parentheses, call tags and the tags and keyword references of the
// scope-opening forms, in the order they are recorded.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/emitter/support/emit_source.h"

namespace vaxo_core::emitter::testing {
namespace {

using Strings = std::vector<std::string>;

struct Row {
  const char* source;
  Strings diagnostics;
};

// With tags off only the warnings and hints remain (no source names here).
void check_untagged(const Row& row) {
  SCOPED_TRACE(row.source);
  EXPECT_EQ(Emitted(row.source, false).diagnostics(), row.diagnostics);
}

// With tags on, less the scope tag and the global-name tags.
void check_tagged(const Row& row) {
  SCOPED_TRACE(row.source);
  Strings kept;
  for (const std::string& d : Emitted(row.source, true).diagnostics()) {
    if (d.rfind("Scope@", 0) == 0 || d.rfind("GlobalVariable@", 0) == 0) continue;
    kept.push_back(d);
  }
  EXPECT_EQ(kept, row.diagnostics);
}

TEST(DeclarationTest, LiteralOperandsOfTheWrongKind) {
  const Row rows[] = {
      {"a + \"s\"", {"NonNumberInArithmetic@4..7"}},
      {"\"s\" < 1", {}},
      {"true == 1", {}},
      {"x ?? 1", {}},
      {"nil > 1", {"NonNumberOrStringInComparison@0..3"}},
      {"true < 1", {"NonNumberOrStringInComparison@0..4"}},
      {"1 && x", {"NonBooleanInLogical@0..1"}},
      {"x || nil", {"NonBooleanInLogical@5..8"}},
      {"x and 1", {"NonBooleanInLogical@6..7", "PreferLogicalOperatorAnd@2..5"}},  // the hint comes from the code
      {"-\"s\"", {"NonNumberInArithmetic@1..4"}},
      {"-nil", {"NonNumberInArithmetic@1..4"}},
      {"!1", {"NonBooleanInLogical@1..2"}},
      {"not 1", {"NonBooleanInLogical@4..5", "PreferLogicalOperatorNot@0..3"}},
      {"1 + nan * inf", {}},
      {"1 + (2 * \"s\")", {"NonNumberInArithmetic@9..12"}},  // the grouping is no literal
      {"true + false", {"NonNumberInArithmetic@0..4", "NonNumberInArithmetic@7..12"}},
      {"\"$(1 + \"s\")\"", {"NonNumberInArithmetic@7..10"}},  // inside an interpolation
  };
  for (const Row& row : rows) check_untagged(row);
}

TEST(DeclarationTest, Conditions) {
  const Row rows[] = {
      {"if 1 { }", {"NonBooleanInLogical@3..4"}},
      {"while nil { }", {"NonBooleanInLogical@6..9"}},
      {"if true { }", {}},
      {"if (1) { }", {"UnnecessaryParentheses@3..6"}},
      {"c ? 1 : 2", {"PreferIfExpression@0..9"}},
      {"\"s\" ? 1 : 2", {"PreferIfExpression@0..11", "NonBooleanInLogical@0..3"}},
      {"match x { case _ if 1 { } }", {}},  // a guard is no condition
  };
  for (const Row& row : rows) check_untagged(row);
}

TEST(DeclarationTest, IndexingAndCallingLiterals) {
  const Row rows[] = {
      {"\"s\".x", {"LiteralNotIndexable@0..3"}},
      {"\"s\"[0]", {"LiteralNotIndexable@0..3"}},
      {"\"s\"[0..1]", {}},
      {"1()", {"LiteralNotCallable@0..1"}},
      {"\"a$(b)c\"()", {"LiteralNotCallable@0..8"}},
      {"1\"a\"", {"LiteralNotCallable@0..1"}},
      {"(f)(x)", {}},
      {"((f))(x)", {"UnnecessaryParentheses@1..4"}},
      {"(1)(x)", {"UnnecessaryParentheses@0..3"}},
      {"c ? 1() : 2", {"PreferIfExpression@0..11"}},  // the branches are not visited
  };
  for (const Row& row : rows) check_untagged(row);
}

TEST(DeclarationTest, NeedlessParentheses) {
  const Row rows[] = {
      {"({\"a\": 1})", {"PreferParenthesesForRecordLiteral@1..9"}},
      {"((a: 1))", {"UnnecessaryParentheses@0..8"}},
      {"(x)", {"UnnecessaryParentheses@0..3"}},
      {"(f(x))", {"UnnecessaryParentheses@0..6"}},
      {"(a.b)", {"UnnecessaryParentheses@0..5"}},
      {"([1])", {"UnnecessaryParentheses@0..5"}},
      {"(a!)", {"UnnecessaryParentheses@0..4"}},
      {"(a + b)", {}},
      {"(-1)", {}},
      {"(a[1..2])", {}},
      {"(x is 1)", {}},
      {"(fn() { })", {}},
  };
  for (const Row& row : rows) check_untagged(row);
}

TEST(DeclarationTest, CallTags) {
  // The tags, then the callee's and the arguments' own diagnostics.
  check_tagged({"a::f(1, ..b)",
                {"ExtensionCall@0..12", "ArgumentExtension@0..1", "Callable@3..4", "ArgumentStart@4..5",
                 "ArgumentComma@6..7", "ArgumentSpread@8..10", "ArgumentEnd@11..12"}});
  check_tagged({"type(1 + \"s\")",
                {"FunctionCall@0..13", "Callable@0..4", "ArgumentStart@4..5", "ArgumentEnd@12..13",
                 "NonNumberInArithmetic@9..12"}});
  // Tagged strings get no call tags.
  check_tagged({"f\"a\"", {}});
  // With tags off the declarations still run.
  check_untagged({"f(1 + \"s\")", {"NonNumberInArithmetic@6..9"}});
}

TEST(DeclarationTest, ScopeOpeningFormsRecordOnlyTheirTags) {
  const Row rows[] = {
      {"if a { } else if b { } else { }",
       {"IfExpression@0..31", "KeywordIf@0..2", "KeywordElse@9..13", "KeywordIf@14..16", "KeywordElse@23..27"}},
      {"c ? a : b", {"PreferIfExpression@0..9", "IfExpression@0..9", "KeywordIf@2..3", "KeywordElse@6..7"}},
      {"match x { case 1 { } case y if y { } }",
       {"MatchExpression@0..38", "KeywordMatch@0..5", "KeywordCase@10..14", "KeywordCase@21..25", "KeywordIf@28..30",
        "LocalImmutable@26..27", "ReadLocal@31..32"}},
      {"while c { } else { }",
       {"WhileExpression@0..20", "KeywordWhile@0..5", "KeywordElse@12..16"}},
      {"for x in xs { } else { }",
       {"ForExpression@0..24", "KeywordFor@0..3", "KeywordIn@6..8", "KeywordElse@16..20", "LocalImmutable@4..5",
        "UnusedLocalVariable@4..5"}},
      {"loop { }", {"LoopExpression@0..8", "KeywordLoop@0..4"}},
  };
  for (const Row& row : rows) check_tagged(row);

  // A form's contents are declared when its code is written, after the
  // enclosing block's pass.
  check_untagged({"if 1 { } + \"s\"", {"NonNumberInArithmetic@11..14", "NonBooleanInLogical@3..4"}});
}

TEST(DeclarationTest, IsPatternsDeclareInTheCurrentScope) {
  // The name is known in the whole block, also before the `is`.
  Emitted e("y; x is y;", true);
  EXPECT_EQ(e.diagnostics(), (Strings{"Scope@0..10", "UninitializedVariable@0..1", "VariableDeclaredHere@8..9",
                                      "GlobalVariable@3..4", "LocalImmutable@8..9", "ReadLocal@0..1"}));
}

}  // namespace
}  // namespace vaxo_core::emitter::testing
