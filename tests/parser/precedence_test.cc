// The operator layer: binding strength, associativity, prefix operators, the
// conditional, `is`, and range operators with and without a range position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/parser/basic_expressions.h"
#include "core/parser/parser_context.h"
#include "tests/parser/support/cases.h"

namespace vaxo_core::parser {
namespace {

using testing::Case;
using testing::Diags;
using testing::Source;
using testing::sx;

// Each level binds tighter than the one below it: `?`, `??`, `or`/`||`,
// `and`/`&&`, equality, comparison and `in`, `is`, ranges, `+`/`-`, `*`/`/`/`%`,
// prefix `!`/`not`, `^`. Within a level operators group to the left.
TEST(Precedence, EveryLevelBindsTighterThanTheOneBelow) {
  const Case cases[] = {
      {"a ?? b ? c : d", "(? (?? a b) c : d)"},
      {"a || b ?? c", "(?? (|| a b) c)"},
      {"a ?? b or c", "(?? a (or b c))"},
      {"a && b || c", "(|| (&& a b) c)"},
      {"a and b or c", "(or (and a b) c)"},
      {"a == b && c", "(&& (== a b) c)"},
      {"a =~ b and c !~ d", "(and (=~ a b) (!~ c d))"},
      {"a < b == c", "(== (< a b) c)"},
      {"a != b in c", "(!= a (in b c))"},
      {"a >= b is c", "(>= a (is b c))"},
      {"a * b - c", "(- (* a b) c)"},
      {"a * b ^ c", "(* a (^ b c))"},
      {"a ^ b % c", "(% (^ a b) c)"},
      {"!a ^ b", "(! (^ a b))"},
      {"not a == b", "(== (not a) b)"},
      {"a == b != c", "(!= (== a b) c)"},
      {"a < b >= c <= d", "(<= (>= (< a b) c) d)"},
      {"a in b > c", "(> (in a b) c)"},
      {"a && b and c", "(and (&& a b) c)"},
      {"a || b or c", "(or (|| a b) c)"},
      {"a % b / c * d", "(* (/ (% a b) c) d)"},
      {"a + b - c + d", "(+ (- (+ a b) c) d)"},
  };
  for (const Case& c : cases) testing::check(c, basic_expressions::basic_expression);
}

// Every pair of binary operators of the tables, `a OP1 b OP2 c`, groups as
// their binding powers and associativities say. (`?`, `is`, the ranges and
// the prefix/postfix `!`, `not` have trees of their own, tested below.)
TEST(Precedence, EveryPairOfBinaryOperatorsFollowsTheTable) {
  struct Binary {
    std::string text;
    basic_expressions::PrecedenceResult precedence;
  };
  std::vector<Binary> binaries;
  for (std::size_t i = 0; i < lexer::kOperatorCount; ++i) {
    const auto op = static_cast<Operator>(i);
    if (lexer::get_bool(op, "infix")) {
      binaries.push_back({std::string(lexer::text(op)), basic_expressions::precedence_of(op)});
    }
  }
  for (std::size_t i = 0; i < lexer::kKeywordCount; ++i) {
    const auto k = static_cast<Keyword>(i);
    if (lexer::binding_power(k) != 0 && !lexer::is_prefix(k) && k != Keyword::Is) {
      binaries.push_back({std::string(lexer::text(k)), basic_expressions::precedence_of(k)});
    }
  }
  ASSERT_EQ(binaries.size(), 20u);
  for (const Binary& first : binaries) {
    ASSERT_NE(first.precedence.value, 0) << first.text;
    for (const Binary& second : binaries) {
      const bool left_first = first.precedence.value > second.precedence.value ||
                              (first.precedence.value == second.precedence.value && !first.precedence.right_associative);
      const std::string src = "a " + first.text + " b " + second.text + " c";
      const std::string tree = left_first ? "(" + second.text + " (" + first.text + " a b) c)"
                                          : "(" + first.text + " a (" + second.text + " b c))";
      testing::check(Case{src, tree}, basic_expressions::basic_expression);
    }
  }
}

// Tokens that are no infix operator end the chain after its first operand.
TEST(Precedence, OtherTokensEndTheChain) {
  const Case cases[] = {
      {"a , b", "a", {}, ", b ␃"},   {"a : b", "a", {}, ": b ␃"},    {"a ; b", "a", {}, "; b ␃"},
      {"a = b", "a", {}, "= b ␃"},   {"a += b", "a", {}, "+= b ␃"},  {"a } b", "a", {}, "} b ␃"},
      {"a ) b", "a", {}, ") b ␃"},   {"a -> b", "a", {}, "-> b ␃"},  {"a ?: b", "a", {}, "?: b ␃"},
      {"a if b", "a", {}, "if b ␃"}, {"a x", "a", {}, "x ␃"},
  };
  for (const Case& c : cases) testing::check(c, basic_expressions::basic_expression);
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
      {"a ! b", "(!! a)", {}, "b ␃"},
      {"a not b", "(not a b)"},
      {"a", "a"},
      {"?x", "fail", {}, "? x ␃"},
      {"a + ;", "fail", {}, "a + ; ␃"},
      {"a ? b;", "fail", {}, "a ? b ; ␃"},
      {"x is )", "fail", {}, "x is ) ␃"},
      {"", "fail"},
  };
  for (const Case& c : cases) testing::check(c, basic_expressions::basic_expression);
}

TEST(Precedence, MissingColonIsInsertedAfterTheThenBranch) {
  Source s("a ? b c");
  auto e = basic_expressions::basic_expression(s.ctx());
  ASSERT_TRUE(e);
  EXPECT_EQ(sx(*e), "(? a b <?:> c)");
  EXPECT_EQ(testing::diagnostics_of(*e, s.text()), (Diags{"MissingColon 5..5"}));
  EXPECT_EQ(sx(*e), "(? a b : c)");
}

TEST(Precedence, RangeOperatorOutsideARangeIsAFlaggedAddition) {
  Source s("a .. b");
  auto e = basic_expressions::basic_expression(s.ctx());
  ASSERT_TRUE(e);
  EXPECT_EQ(sx(*e), "(<?+> a b)");
  EXPECT_EQ(testing::diagnostics_of(*e, s.text()), (Diags{"UnexpectedToken 2..4"}));
  EXPECT_EQ(sx(*e), "(+ a b)");
  const auto& infix = std::get<Expression::Infix>(e->node);
  EXPECT_EQ(infix.op.range(), (ByteRange{2, 4}));
}

TEST(Precedence, IterableTrees) {
  const Case cases[] = {
      {"1..5", "(.. 1 5)"},
      {"1 + 2 .. 3 * 4", "(.. (+ 1 2) (* 3 4))"},
      {"a + 1 ..< b * 2", "(..< (+ a 1) (* b 2))"},
      {"a == b .. c", "(== a (<?+> b c))", {"UnexpectedToken 7..9"}},
      {"x ?? 0 .. 5", "(?? x (<?+> 0 5))", {"UnexpectedToken 7..9"}},
      {"1 .. 2 .. 3", "(.. 1 2)", {}, ".. 3 ␃"},
      {"xs", "xs"},
  };
  for (const Case& c : cases) testing::check(c, basic_expressions::iterable);
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
