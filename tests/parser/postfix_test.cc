// Primary forms and suffix chains: calls, tagged strings, member access,
// index and slice, non-nil, extension calls, `type` pseudo-calls, groupings,
// records, arrays and interpolations, with their inserted tokens and
// diagnostics.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/parser/basic_expressions.h"
#include "core/parser/expressions.h"
#include "tests/parser/support/cases.h"

namespace vaxo_core::parser {
namespace {

using testing::Case;
using testing::diagnostics_of;
using testing::Diags;
using testing::Source;

void check(const Case& c) { testing::check(c, expressions::expression); }

TEST(Postfix, SuffixChainsFoldFromTheLeft) {
  const Case cases[] = {
      {"f(a)(b)", "(call (call f ( a )) ( b ))"},
      {"f(a).b", "(. (call f ( a )) b)"},
      {"a.0.1", "(. (. a 0) 1)"},
      {"a.b(x)[y]!", "(!! (index (call (. a b) ( x )) y))"},
      {"a!", "(!! a)"},
      {"a!!", "(!! (!! a))"},
      {"a!.b", "(. (!! a) b)"},
      {"a !b", "(!! a)", {}, "b ␃"},
      {"a != b", "(!= a b)"},
      {"a.", "a", {}, ". ␃"},
      {"a.if", "(. a if)"},
      {"f\n(x)", "(call f ( x ))"},
      {"f 1", "f", {}, "1 ␃"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Postfix, TaggedStrings) {
  const Case cases[] = {
      {"f \"x\"", "(tag f \"x\")"},
      {"f \"a\" \"b\"", "(tag (tag f \"a\") \"b\")"},
      {"\"a\" \"b\"", "(tag \"a\" \"b\")"},
      {"print\n'hi'", "(tag print \"hi\")"},
      {"f \"x$y\"", "(tag f (str y))"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Postfix, IndexAndSliceForms) {
  const Case cases[] = {
      {"x[1]", "(index x 1)"},
      {"x[1..2]", "(slice x 1 .. 2)"},
      {"x[1..<2]", "(slice x 1 ..< 2)"},
      {"x[..]", "(slice x _ .. _)"},
      {"x[..2]", "(slice x _ .. 2)"},
      {"x[..<2]", "(slice x _ ..< 2)"},
      {"x[1..]", "(slice x 1 .. _)"},
      {"x[1..<]", "(slice x 1 ..< _)"},
      {"x[a + 1 ..]", "(slice x (+ a 1) .. _)"},
      {"x[a == b ..]", "x", {}, "[ a == b .. ] ␃"},
      {"x[a == b .. c]", "(index x (== a (<?+> b c)))", {"UnexpectedToken 9..11"}},
      {"x[1..2..3]", "x", {}, "[ 1 .. 2 .. 3 ] ␃"},
      {"a[1", "a", {}, "[ 1 ␃"},
      {"x[..y z]", "x", {}, "[ .. y z ] ␃"},
      {"x[i][j..]", "(slice (index x i) j .. _)"},
      {"x[f(a)[b..] .. c]", "(slice x (slice (call f ( a )) b .. _) .. c)"},
      {"x[a ? b : c]", "(index x (? a b : c))"},
      {"x[-1..]", "(slice x (- 1) .. _)"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Postfix, ExtensionCalls) {
  const Case cases[] = {
      {"x::f(1)", "(ext x f ( 1 ))"},
      {"x::f(1)(2)", "(call (ext x f ( 1 )) ( 2 ))"},
      {"x::a.b[0](1)", "(ext x (index (. a b) 0) ( 1 ))"},
      {"x::m.f!(1)", "(ext x (!! (. m f)) ( 1 ))"},
      {"x::(g)(1)", "(ext x (group g) ( 1 ))"},
      {"x::(a: 1)(2)", "(ext x (unknown ( a : 1 ) | (record a:1 ))) ( 2 ))", {"RecordLiteralInExtensionCaller 3..9"}},
      {"x::f", "(ext x f <?(> <?)>)", {"MissingOpenParenAfterExtension 4..4", "MissingCloseParen 4..4"}},
      {"x::f + 1", "(ext x f <?(> (+ 1) <?)>)", {"MissingOpenParenAfterExtension 4..4", "MissingCloseParen 8..8"}},
      {"x::1", "x", {}, ":: 1 ␃"},
      {"x::type()", "(ext x type ( ))"},
      {"x::type(y)", "(ext x type ( (unknown) ))", {"InvalidTypeCall 3..10"}},
      {"x::type", "(ext x type <?(> <?)>)", {"MissingOpenParenAfterType 7..7", "MissingCloseParen 7..7"}},
      {"x::_(1)", "(ext x <?_> ( 1 ))", {"UnexpectedUnderscore 3..4"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(Postfix, TypePseudoCalls) {
  const Case cases[] = {
      {"type(x)", "(call type ( x ))"},
      {"type()", "(call type ( (unknown) ))", {"InvalidTypeCall 0..6"}},
      {"type(a, b)", "(call type ( (unknown) ))", {"InvalidTypeCall 0..10"}},
      {"type(x,)", "(call type ( (unknown) ))", {"InvalidTypeCall 0..8"}},
      {"type(..x)", "(call type ( (unknown) ))", {"InvalidTypeCall 0..9"}},
      {"type(_, )", "(call type ( (unknown) ))", {"InvalidTypeCall 0..9"}},
      {"type x", "(call type <?(> x <?)>)", {"MissingOpenParenAfterType 4..4", "MissingCloseParen 6..6"}},
      {"type;", "(call type <?(> (unknown) <?)>)",
       {"MissingOpenParenAfterType 4..4", "InvalidTypeCall 0..4", "MissingCloseParen 4..4"}, "; ␃"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Postfix, GroupingsRecordsAndArrays) {
  const Case cases[] = {
      {"()", "(record ))"},
      {"(a)", "(group a)"},
      {"(a,)", "(record a ))"},
      {"(a, b)", "(record a b ))"},
      {"(..a)", "(record ..a ))"},
      {"(a: 1)", "(record a:1 ))"},
      {"(:a)", "(record :a ))"},
      {"(a b)", "(record a<,> b ))", {"MissingComma 2..2"}},
      {"(a", "(group a)", {"MissingCloseParen 2..2"}},
      {"[]", "(array ])"},
      {"[1, 2]", "(array 1 2 ])"},
      {"[1..3, ..xs]", "(array (.. 1 3) ..xs ])"},
      {"[..]", "(array ..(unknown) ])", {"BadArraySpread 3..3"}},
      {"[1, ..]", "(array 1 ..(unknown) ])", {"BadArraySpread 6..6"}},
      {"[1, 2)", "(array 1 2 <?]>)", {"MissingCloseBracket 5..5"}, ") ␃"},
      {"[,]", "(array ? ])", {"ExpressionExpected 1..1"}},
      {"f(: , 1)", "(call f ( (unknown : , 1) ))", {"UnknownExpression 2..7"}},
  };
  for (const Case& c : cases) check(c);
}

// Entries wait on one stack per entry type while inner lists read theirs on
// top: lists longer than its first room, open inside each other, keep every
// entry in its place as the stack grows under them.
TEST(Postfix, LongListsInsideLongLists) {
  std::string source = "[";
  std::string tree = "(array";
  for (int i = 0; i < 70; ++i) {
    source += "[";
    tree += " (array";
    for (int j = 0; j < 70; ++j) {
      source += "(k: " + std::to_string(i * 100 + j) + "), ";
      tree += " (record k:" + std::to_string(i * 100 + j) + " ))";
    }
    source += "], ";
    tree += " ])";
  }
  source += "]";
  tree += " ])";
  check(Case{source, tree});
}

TEST(Postfix, PrimaryForms) {
  const Case cases[] = {
      {"1", "1"},
      {"true", "true"},
      {"nan", "nan"},
      {"global", "global"},
      {"_", "<?_>", {"UnexpectedUnderscore 0..1"}},
      {"try", "<?_>", {"InvalidReservedKeyword 0..3"}},
      {"{}", "({} => _)"},
      {"{'a': 1}.a", "(. (json \"a\":1 }) a)"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Postfix, Interpolations) {
  const Case cases[] = {
      {"\"${a}${b}${c}\"", "(str ({} => a) ({} => b) ({} => c))"},
      {"\"$(a)$(b)\"", "(str a b)"},
      {"\"$(a b)\"", "(str (unknown b | a))", {"BadInterpolation 5..6"}},
      {"\"$()\"", "(str ?)", {"EmptyInterpolation 3..3"}},
      {"\"$(;)\"", "(str (unknown ;))", {"BadInterpolation 3..4"}},
      {"\"$(x + \"$(y)\")\"", "(str (+ x (str y)))"},
      {"\"${}\"", "(str ({} => _))"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Postfix, UnterminatedInterpolationKeepsItsTokens) {
  Source s("\"$(a");
  auto e = expressions::expression(s.ctx());
  ASSERT_TRUE(e);
  auto* str = e->get_if<Expression::InterpolatedString>();
  ASSERT_NE(str, nullptr);
  ASSERT_EQ(str->expressions.size(), 1u);
  auto* u = str->expressions[0].get_if<Expression::Unknown>();
  ASSERT_NE(u, nullptr);
  EXPECT_TRUE(u->tokens.back()->kind.is_eof());
  EXPECT_EQ(diagnostics_of(*e, s.text()), (Diags{"UnterminatedInterpolation 3..4"}));
}

}  // namespace
}  // namespace vaxo_core::parser
