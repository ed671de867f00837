// The operator layer: binding strength, associativity, prefix operators, the
// conditional, `is`, and range operators with and without a range position.
#include <gtest/gtest.h>

#include <string>

#include "core/parser/basic_expressions.h"
#include "core/parser/parser_context.h"
#include "tests/parser/sexpr.h"
#include "tests/parser/support/source.h"

namespace vaxo_core::parser {
namespace {

using basic_expressions::precedence_of;
using testing::Source;
using testing::sx;

struct Case {
  const char* source;
  const char* tree;  // "fail" when the rule fails
  const char* rest = "␃";
};

std::string parse_basic(Source& s) {
  auto e = basic_expressions::basic_expression(s.ctx());
  return e ? sx(*e) : "fail";
}

std::string parse_iterable(Source& s) {
  auto it = basic_expressions::iterable(s.ctx());
  return it ? sx(*it) : "fail";
}

TEST(Precedence, TableEntries) {
  using O = Operator;
  EXPECT_EQ(precedence_of(O::Question).value, 30);
  EXPECT_TRUE(precedence_of(O::Question).right_associative);
  EXPECT_FALSE(precedence_of(O::Question).can_be_prefix);
  EXPECT_EQ(precedence_of(O::NullCoalescing).value, 50);
  EXPECT_EQ(precedence_of(Keyword::Or).value, 60);
  EXPECT_EQ(precedence_of(O::LogicalAnd).value, 70);
  EXPECT_EQ(precedence_of(O::TildeNotEqual).value, 90);
  EXPECT_EQ(precedence_of(Keyword::In).value, 100);
  EXPECT_EQ(precedence_of(Keyword::Is).value, 120);
  EXPECT_EQ(precedence_of(O::HalfOpenRange).value, 140);
  EXPECT_EQ(precedence_of(O::Minus), (basic_expressions::PrecedenceResult{170, true, false}));
  EXPECT_EQ(precedence_of(O::Percent).value, 180);
  EXPECT_EQ(precedence_of(Keyword::Not), (basic_expressions::PrecedenceResult{190, true, false}));
  EXPECT_EQ(precedence_of(O::Caret), (basic_expressions::PrecedenceResult{200, false, true}));
  for (O zero : {O::QuestionColon, O::ColonColon, O::Dot, O::Arrow, O::Comma, O::Colon, O::Semicolon, O::Assign,
                 O::PlusAssign, O::OpenParen, O::CloseBrace}) {
    EXPECT_EQ(precedence_of(zero), basic_expressions::PrecedenceResult{}) << lexer::text(zero);
  }
  EXPECT_EQ(precedence_of(Keyword::If), basic_expressions::PrecedenceResult{});
  EXPECT_EQ(precedence_of(TokenKind(TokenKind::Identifier{"or"})), basic_expressions::PrecedenceResult{});
}

TEST(Precedence, BasicExpressionTrees) {
  const Case cases[] = {
      {"1 + 2 * 3", "(+ 1 (* 2 3))"},
      {"a - b - c", "(- (- a b) c)"},
      {"a == b == c", "(== (== a b) c)"},
      {"a ?? b ?? c", "(?? (?? a b) c)"},
      {"a ^ b ^ c", "(^ a (^ b c))"},
      {"a ? b : c ? d : e", "(? a b : (? c d : e))"},
      {"a ? b ? c : d : e", "(? a (? b c : d) : e)"},
      {"a || b && c", "(|| a (&& b c))"},
      {"a or b and c", "(or a (and b c))"},
      {"a < b in c", "(in (< a b) c)"},
      {"-a * b", "(- (* a b))"},
      {"-a ^ 2", "(- (^ a 2))"},
      {"- - a", "(- (- a))"},
      {"!a == b", "(== (! a) b)"},
      {"not a and b", "(and (not a) b)"},
      {"a ^ -b", "(^ a (- b))"},
      {"2 ^ -2 ^ 2", "(^ 2 (- (^ 2 2)))"},
      {"a + b is c", "(is (+ a b) c)"},
      {"x is 1 or 2", "(is x (or 1 2))"},
      {"x is p and q", "(is x (and p q))"},
      {"a ! b", "(!! a)", "b ␃"},
      {"a not b", "(not a b)"},
      {"a", "a"},
      {"?x", "fail", "? x ␃"},
      {"a + ;", "fail", "a + ; ␃"},
      {"a ? b;", "fail", "a ? b ; ␃"},
      {"x is )", "fail", "x is ) ␃"},
      {"", "fail"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Source s(c.source);
    EXPECT_EQ(parse_basic(s), c.tree);
    EXPECT_EQ(s.rest(), c.rest);
  }
}

TEST(Precedence, MissingColonIsInsertedAfterTheThenBranch) {
  Source s("a ? b c");
  auto e = basic_expressions::basic_expression(s.ctx());
  ASSERT_TRUE(e);
  EXPECT_EQ(sx(*e), "(? a b <?:> c)");
  EXPECT_EQ(testing::diagnostics_of(*e, s.text()), (std::vector<std::string>{"MissingColon 5..5"}));
  EXPECT_EQ(sx(*e), "(? a b : c)");
}

TEST(Precedence, RangeOperatorOutsideARangeIsAFlaggedAddition) {
  Source s("a .. b");
  auto e = basic_expressions::basic_expression(s.ctx());
  ASSERT_TRUE(e);
  EXPECT_EQ(sx(*e), "(<?+> a b)");
  EXPECT_EQ(testing::diagnostics_of(*e, s.text()), (std::vector<std::string>{"UnexpectedToken 2..4"}));
  EXPECT_EQ(sx(*e), "(+ a b)");
  const auto& infix = std::get<Expression::Infix>(e->node);
  EXPECT_EQ(infix.op.range(), (ByteRange{2, 4}));
}

TEST(Precedence, IterableTrees) {
  const Case cases[] = {
      {"1..5", "(.. 1 5)"},
      {"1 + 2 .. 3 * 4", "(.. (+ 1 2) (* 3 4))"},
      {"a + 1 ..< b * 2", "(..< (+ a 1) (* b 2))"},
      {"a == b .. c", "(== a (<?+> b c))"},
      {"x ?? 0 .. 5", "(?? x (<?+> 0 5))"},
      {"1 .. 2 .. 3", "(.. 1 2)", ".. 3 ␃"},
      {"xs", "xs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Source s(c.source);
    EXPECT_EQ(parse_iterable(s), c.tree);
    EXPECT_EQ(s.rest(), c.rest);
  }
}

TEST(Precedence, LongLeftAssociativeChainsFoldWithoutRecursion) {
  // As tall as the tree-height bound allows in this build (see depth_test.cc).
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__) && !VAXO_HAS_ADDRESS_SANITIZER
  constexpr int kTerms = 10000;
#else
  constexpr int kTerms = 1500;
#endif
  std::string text = "a";
  for (int i = 1; i < kTerms; ++i) text += " + a";
  Source s(text);
  auto e = basic_expressions::basic_expression(s.ctx());
  ASSERT_TRUE(e);
  EXPECT_EQ(e->height, static_cast<std::uint32_t>(kTerms));
  EXPECT_EQ(s.rest(), "␃");
}

}  // namespace
}  // namespace vaxo_core::parser
