// The tree walker (collect_diagnostics, range), TokenRef, list items and the
// Unknown constructors, over hand-built trees.
#include <gtest/gtest.h>

#include <limits>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/diagnostic/internal_error.h"
#include "core/parser/ast.h"
#include "core/parser/ast_walker.h"
#include "core/parser/dump.h"
#include "core/parser/parser_context.h"
#include "tests/parser/support/tree_builder.h"
#include "tests/support/internal_error.h"

namespace vaxo_core::parser {
namespace {

using test_support::internal_error_of;

using diagnostic::DiagnosticsCollector;
using testing::inserted;
using testing::literal;
using testing::refs;
using testing::TokenStore;
using testing::variable;
using D = DiagnosticCode;

constexpr std::string_view kText = "0123456789abcdefghijklmnopqrstuvwxyz0123456789";

std::vector<D> codes(const DiagnosticsCollector& c) {
  std::vector<D> out;
  for (const auto& d : c) out.push_back(d.error);
  return out;
}

ByteRange R(std::size_t a, std::size_t b) { return ByteRange{a, b}; }

TEST(TokenRefTest, FlaggingABorrowedTokenCopiesItAndLeavesTheListAlone) {
  TokenStore s;
  TokenRef r = s.ident("ab", 3);
  const Token& original = *r;
  r.wrap_as_unknown(D::UnexpectedToken);
  EXPECT_TRUE(r.is_owned());
  EXPECT_TRUE(original.kind.is_identifier());
  const auto* u = r->kind.get_if<TokenKind::Unknown>();
  ASSERT_NE(u, nullptr);
  EXPECT_TRUE(u->recovered->is_identifier());
  ASSERT_EQ(u->errors.size(), 1u);
  EXPECT_EQ(u->errors[0], (SourceDiagnostic{R(3, 5), D::UnexpectedToken}));

  // Flagging again nests the recovery kinds.
  r.wrap_as_unknown(D::UnknownToken);
  const auto* outer = r->kind.get_if<TokenKind::Unknown>();
  ASSERT_NE(outer, nullptr);
  EXPECT_TRUE(outer->recovered->is_unknown());
}

TEST(TokenRefTest, EqualityComparesKindsOnly) {
  TokenStore s;
  TokenRef a = s.ident("x", 0);
  TokenRef b = TokenRef::make(Token::make(TokenKind::Identifier{"x"}, R(10, 11)));
  TokenRef c = s.ident("y", 0);
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a == c);
  EXPECT_TRUE(s.op(Operator::Comma, 4) == Operator::Comma);
  EXPECT_FALSE(inserted(Operator::Comma, 4, D::MissingComma) == Operator::Comma);
}

TEST(TokenRefTest, CopyIsDeepForOwnedAndSharedForBorrowed) {
  TokenStore s;
  TokenRef borrowed = s.ident("x", 0);
  TokenRef shared = borrowed.copy();
  EXPECT_TRUE(shared.is_borrowed());
  EXPECT_EQ(&*shared, &*borrowed);

  TokenRef owned = inserted(Operator::Comma, 2, D::MissingComma);
  TokenRef deep = owned.copy();
  EXPECT_TRUE(deep.is_owned());
  EXPECT_NE(&*deep, &*owned);
  EXPECT_TRUE(deep == owned);
}

TEST(WalkerTest, TokenWalkUnwrapsOneLevel) {
  config::Config cfg;
  DiagnosticsCollector c(cfg, kText);

  // Inserted: the diagnostic moves out and the token becomes what it stands for.
  TokenRef semi = inserted(Operator::Semicolon, 4, D::MissingSemicolon);
  collect_diagnostics(semi, c);
  EXPECT_TRUE(*semi == Operator::Semicolon);
  EXPECT_EQ(codes(c), std::vector<D>{D::MissingSemicolon});

  // A placeholder stays Empty and adds nothing.
  TokenRef empty = TokenRef::make(Token::empty(7));
  collect_diagnostics(empty, c);
  EXPECT_TRUE(empty->kind.is_empty());
  EXPECT_EQ(c.size(), 1u);

  // A borrowed token is never touched.
  TokenStore s;
  TokenRef borrowed = s.ident("x", 0);
  collect_diagnostics(borrowed, c);
  EXPECT_TRUE(borrowed->kind.is_identifier());

  // Twice flagged: one walk installs the inner recovery kind as it is.
  TokenRef twice = s.ident("y", 1);
  twice.wrap_as_unknown(D::UnexpectedToken);
  twice.wrap_as_unknown(D::UnknownToken);
  collect_diagnostics(twice, c);
  EXPECT_TRUE(twice->kind.is_unknown());
  EXPECT_EQ(codes(c), (std::vector<D>{D::MissingSemicolon, D::UnknownToken}));
}

TEST(WalkerTest, UnknownExpressionReportsInTreeOrderAndIsReplaced) {
  TokenStore s;
  config::Config cfg;
  DiagnosticsCollector c(cfg, kText);

  // Unknown(tokens: [flagged `x`], recovered: Grouping(`(`, Unknown(no recovered), inserted `)`)).
  TokenRef inner_token = s.ident("z", 6);
  Expression inner = Expression::unknown(refs(std::move(inner_token)), D::UnknownExpression);
  Expression grouping = Expression::Grouping{s.op(Operator::OpenParen, 5), boxed(std::move(inner)),
                                             inserted(Operator::CloseParen, 7, D::MissingCloseParen)};
  TokenRef flagged = s.ident("x", 0);
  flagged.wrap_as_unknown(D::UnexpectedToken);
  Expression outer = Expression::wrap_as_unknown(boxed(std::move(grouping)), refs(std::move(flagged)),
                                                 D::InvalidTypeCall);

  collect_diagnostics(outer, c);
  // The node's own diagnostic, then its tokens', then those inside what it wraps.
  EXPECT_EQ(codes(c), (std::vector<D>{D::InvalidTypeCall, D::UnexpectedToken, D::UnknownExpression,
                                      D::MissingCloseParen}));
  ASSERT_TRUE(outer.is_grouping());
  const auto& g = *outer.get_if<Expression::Grouping>();
  EXPECT_TRUE(*g.close_paren == Operator::CloseParen);
  // Without a recovered node the Unknown stays, with its errors gone.
  const auto* stays = g.expression->get_if<Expression::Unknown>();
  ASSERT_NE(stays, nullptr);
  EXPECT_TRUE(stays->errors.empty());
}

TEST(WalkerTest, ErrorsSwitchedOffStillConvertsTheTree) {
  TokenStore s;
  config::Config cfg;
  cfg.diagnostic_error = false;
  DiagnosticsCollector c(cfg, kText);
  Pattern bind = Pattern::Bind{std::nullopt, s.ident("a", 0)};
  Pattern wrapped = Pattern::wrap_as_unknown(boxed(std::move(bind)), refs(s.ident("a", 0)), D::ConstantInBindPattern);
  Statement stmt = Statement::Rebind{boxed(std::move(wrapped)), s.op(Operator::Assign, 2),
                                     boxed(literal(s.ordinal(1, 4, 5))),
                                     inserted(Operator::Semicolon, 5, D::MissingSemicolon)};
  collect_diagnostics(stmt, c);
  EXPECT_TRUE(c.empty());
  const auto& rebind = *stmt.get_if<Statement::Rebind>();
  EXPECT_TRUE(rebind.pattern->is_bind());
  EXPECT_TRUE(*rebind.semicolon == Operator::Semicolon);
}

TEST(WalkerTest, UnknownStatementKeepsItsTokens) {
  TokenStore s;
  config::Config cfg;
  DiagnosticsCollector c(cfg, kText);
  Statement stmt = Statement::unknown(s.op(Operator::CloseBrace, 3), D::UnmatchedCloseBrace);
  collect_diagnostics(stmt, c);
  EXPECT_EQ(codes(c), std::vector<D>{D::UnmatchedCloseBrace});
  EXPECT_EQ(c[0].range, R(3, 4));
  ASSERT_TRUE(stmt.is<Statement::Unknown>());
  EXPECT_TRUE(stmt.get_if<Statement::Unknown>()->errors.empty());
  EXPECT_EQ(range(stmt), R(3, 4));
}

TEST(UnknownTest, ConstructorsPlaceTheirDiagnostic) {
  TokenStore s;
  // First and last in list order, not min and max.
  Expression e = Expression::unknown(refs(s.ident("a", 1), s.ident("bc", 4)), D::UnknownExpression);
  EXPECT_EQ(e.get_if<Expression::Unknown>()->errors[0].range, R(1, 6));

  Expression empty = Expression::unknown_range({}, R(9, 9), D::BadArraySpread);
  EXPECT_EQ(empty.get_if<Expression::Unknown>()->errors[0].range, R(9, 9));
  EXPECT_EQ(range(empty), ByteRange::absent());

  Pattern two = Pattern::unknown(refs(s.kw(Keyword::Mut, 0), s.kw(Keyword::Underscore, 4)), D::MutInDiscardPattern);
  EXPECT_EQ(two.get_if<Pattern::Unknown>()->errors[0].range, R(0, 5));
  Pattern none = Pattern::unknown_errors(refs(s.ident("global", 0)), {});
  EXPECT_TRUE(none.get_if<Pattern::Unknown>()->errors.empty());

  EXPECT_THROW(Expression::unknown({}, D::UnknownExpression), InternalError);
  EXPECT_THROW(Pattern::wrap_as_unknown(boxed(Pattern(Pattern::Discard{s.kw(Keyword::Underscore, 0)})), {}, D::UnknownPattern),
               InternalError);
  EXPECT_EQ(internal_error_of([] { Statement::unknown(NodeList<TokenRef>{}, D::UnexpectedToken); }),
            "assertion failed: !tokens.is_empty()");
}

TEST(RangeTest, UnknownRangeIsMinMaxWidenedByTheRecoveredNode) {
  TokenStore s;
  NodeList<TokenRef> tokens = refs(s.ordinal(1, 4, 6), s.ordinal(2, 1, 2));
  EXPECT_EQ(helper::unknown_range(std::unique_ptr<Expression>(), tokens), R(1, 6));
  auto recovered = boxed(literal(s.ordinal(3, 0, 3)));
  EXPECT_EQ(helper::unknown_range(recovered, tokens), R(0, 6));
  EXPECT_EQ(helper::unknown_range(std::unique_ptr<Pattern>(), {}), ByteRange::absent());
}

TEST(RangeTest, NodesUseTheirTwoEnds) {
  TokenStore s;
  auto block = [&](std::size_t open, std::size_t close) {
    return boxed(Expression(Expression::Block{s.op(Operator::OpenBrace, open), {}, nullptr,
                                              s.op(Operator::CloseBrace, close)}));
  };
  Expression if_only = Expression::If{s.kw(Keyword::If, 0), boxed(variable(s.ident("c", 3))), block(5, 7),
                                     nullptr};
  EXPECT_EQ(range(if_only), R(0, 8));
  Expression if_else = Expression::If{s.kw(Keyword::If, 0), boxed(variable(s.ident("c", 3))), block(5, 7),
                                      boxed(ElseBlock{s.kw(Keyword::Else, 9), block(14, 20)})};
  EXPECT_EQ(range(if_else), R(0, 21));
  Expression loop_no_else = Expression::While{s.kw(Keyword::While, 2), boxed(variable(s.ident("c", 8))),
                                              block(10, 12), nullptr};
  EXPECT_EQ(range(loop_no_else), R(2, 13));

  // An inserted closer gives a zero-width end.
  Expression grouping = Expression::Grouping{s.op(Operator::OpenParen, 1), boxed(variable(s.ident("a", 2))),
                                             inserted(Operator::CloseParen, 3, D::MissingCloseParen)};
  EXPECT_EQ(range(grouping), R(1, 3));

  Pattern signed_literal = Pattern::Literal{s.op(Operator::Minus, 2), s.ordinal(1, 3, 4)};
  EXPECT_EQ(range(signed_literal), R(2, 4));
  Pattern plain_literal = Pattern::Literal{std::nullopt, s.ordinal(1, 3, 4)};
  EXPECT_EQ(range(plain_literal), R(3, 4));
  EXPECT_EQ(range(Pattern(Pattern::SpreadDiscard{7})), R(7, 7));
  Pattern mut_bind = Pattern::Bind{s.kw(Keyword::Mut, 0), s.ident("x", 4)};
  EXPECT_EQ(range(mut_bind), R(0, 5));

  // The optional value of return plays no part.
  Statement ret = Statement::Return{s.kw(Keyword::Return, 0), boxed(variable(s.ident("v", 7))),
                                    s.op(Operator::Semicolon, 9)};
  EXPECT_EQ(range(ret), R(0, 10));
}

TEST(RangeTest, RangesPastTheRecordedWidthsAreRecomputed) {
  // A node records a 32-bit start and length; any other range is worked out
  // from its children when asked for, and the result is the same.
  TokenStore s;
  constexpr std::size_t kFar = std::size_t{5} << 30;
  constexpr std::size_t kEdge = 0xffffffffu;
  const ByteRange rows[] = {R(kFar, kFar + 1), R(kEdge, kEdge + 1), R(kEdge - 1, kEdge), R(0, kEdge - 1),
                            R(3, kFar)};
  for (const ByteRange& r : rows) {
    SCOPED_TRACE(std::to_string(r.start) + ".." + std::to_string(r.end));
    Expression leaf = variable(s.ordinal(1, r.start, r.end));
    EXPECT_EQ(range(leaf), r);
    Expression prefix =
        Expression::Prefix{s.op(Operator::Minus, r.start), boxed(literal(s.ordinal(2, r.start, r.end)))};
    EXPECT_EQ(range(prefix), r);
    Pattern bind = Pattern::Bind{std::nullopt, s.ordinal(3, r.start, r.end)};
    EXPECT_EQ(range(bind), r);
  }
  Expression far_pair = Expression::Infix{boxed(variable(s.ordinal(1, 2, 3))), s.op(Operator::Plus, kFar),
                                          boxed(variable(s.ordinal(2, kFar + 2, kFar + 5)))};
  EXPECT_EQ(range(far_pair), R(2, kFar + 5));
  EXPECT_EQ(range(Statement(Statement::Unknown{{}, {}})), ByteRange::absent());
}

TEST(RangeTest, ListsAndListItems) {
  TokenStore s;
  NodeList<Expression> list;
  EXPECT_EQ(range(list), ByteRange::absent());
  list.push_back(variable(s.ident("a", 2)));
  EXPECT_EQ(range(list), R(2, 3));
  list.push_back(variable(s.ident("b", 5)));
  list.push_back(variable(s.ident("cd", 8)));
  EXPECT_EQ(range(list), R(2, 10));

  ArgumentItem plain = ArgumentItem::make(ArrayElementBase<Expression, Expression>::element(variable(s.ident("a", 2))));
  EXPECT_EQ(range(plain), R(2, 3));
  ArgumentItem with_inserted = ArgumentItem::new_with_comma(
      ArrayElementBase<Expression, Expression>::element(variable(s.ident("a", 2))),
      inserted(Operator::Comma, 3, D::MissingComma));
  EXPECT_EQ(range(with_inserted), R(2, 3));
  ArgumentItem spread = ArgumentItem::new_with_comma(
      ArrayElementBase<Expression, Expression>::spread(s.op(Operator::SpreadRange, 1), variable(s.ident("xs", 3))),
      s.op(Operator::Comma, 5));
  EXPECT_EQ(range(spread), R(1, 6));
  EXPECT_TRUE(spread->is_spread());
  EXPECT_TRUE(spread.has_tail_comma());
  EXPECT_TRUE(*spread.tail_comma() == Operator::Comma);

  RecordItem omit = RecordItem::make(RecordElementBase<Expression, Expression>{
      RecordElementBase<Expression, Expression>::OmitNamed{s.op(Operator::QuestionColon, 4),
                                                           boxed(variable(s.ident("x", 6)))}});
  EXPECT_EQ(range(omit), R(4, 7));
  ASSERT_NE(omit->colon(), nullptr);
  EXPECT_TRUE(*omit->colon() == Operator::QuestionColon);
  EXPECT_FALSE(omit->is_unnamed());
}

TEST(ListItemTest, ElementsAndSpreadsSurviveMovesAndGrowth) {
  // An array element tells a spread from an element by its first word; the
  // literal's two value types differ, so a mix-up would read the wrong one.
  TokenStore s;
  using Entry = ArrayElementBase<Iterable, Expression>;
  auto make = [&](std::size_t i) {
    const std::size_t at = 4 * i;
    if (i % 3 == 0) {
      return ArrayLiteralItem::make(Entry::spread(s.op(Operator::SpreadRange, at), variable(s.ident("x", at + 2))));
    }
    return ArrayLiteralItem::make(Entry::element(Iterable{Iterable::Value{variable(s.ident("y", at + 2))}}));
  };
  NodeList<ArrayLiteralItem> items;
  for (std::size_t i = 0; i < 40; ++i) items.push_back(make(i));
  for (std::size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(i);
    const bool spread = i % 3 == 0;
    EXPECT_EQ(items[i]->is_spread(), spread);
    EXPECT_EQ(items[i]->as_spread() != nullptr, spread);
    EXPECT_EQ(items[i]->as_element() != nullptr, !spread);
    EXPECT_EQ(range(items[i]), spread ? R(4 * i, 4 * i + 3) : R(4 * i + 2, 4 * i + 3));
  }

  ArrayLiteralItem taken = std::move(items[3]);
  ASSERT_TRUE(taken->is_spread());
  EXPECT_TRUE(taken->as_spread()->value->is_variable());
  EXPECT_EQ(range(taken), R(12, 15));
  ASSERT_NE(items[3]->as_element(), nullptr);  // NOLINT: moved from on purpose
  EXPECT_EQ(items[3]->as_element()->value, nullptr);

  // A spread whose token was moved out is replaced, as the pattern rules do.
  auto* spread = items[0]->as_spread();
  NodeList<TokenRef> dots;
  dots.push_back(std::move(spread->spread));
  items[0].element = Entry{Entry::Element{boxed(Iterable{Iterable::Value{std::move(*spread->value)}})}};
  ASSERT_FALSE(items[0]->is_spread());
  EXPECT_EQ(range(items[0]), R(2, 3));
}

TEST(ListItemTest, ASpreadWhoseTokenIsMovedOutIsStillASpread) {
  // Element and spread operands differ in type here: destroying one
  // alternative as the other would free a node as the wrong class.
  TokenStore s;
  using Entry = ArrayElementBase<Iterable, Expression>;
  ArrayLiteralItem item = ArrayLiteralItem::make(Entry::spread(s.op(Operator::SpreadRange, 0), variable(s.ident("x", 2))));
  TokenRef dots = std::move(item->as_spread()->spread);
  EXPECT_EQ(dots.range(), R(0, 2));
  ASSERT_TRUE(item->is_spread());
  ASSERT_NE(item->as_spread()->value, nullptr);
  EXPECT_TRUE(item->as_spread()->value->is_variable());
  EXPECT_EQ(item->as_element(), nullptr);

  ArrayLiteralItem moved = std::move(item);
  EXPECT_TRUE(moved->is_spread());
  EXPECT_TRUE(moved->as_spread()->value->is_variable());
  EXPECT_FALSE(item->is_spread());  // NOLINT: moved from on purpose
  EXPECT_EQ(item->as_element()->value, nullptr);
  item = std::move(moved);  // the empty element is replaced by the spread
  EXPECT_TRUE(item->is_spread());
  moved = ArrayLiteralItem::make(Entry::element(Iterable{Iterable::Value{variable(s.ident("y", 4))}}));
  moved = std::move(item);  // the element is freed as an element
  EXPECT_TRUE(moved->is_spread());
}

TEST(CallableTest, EachFormMovesAndIsFreedOnce) {
  TokenStore s;
  auto type_callee = [&] { return Callable{Callable::Type{s.kw(Keyword::Type, 0)}}; };
  auto expression_callee = [&] { return Callable{Callable::Expression{boxed(variable(s.ident("f", 6)))}}; };

  Callable type = type_callee();
  Callable expression = expression_callee();
  ASSERT_NE(type.node.as_type(), nullptr);
  EXPECT_EQ(type.node.expression(), nullptr);
  EXPECT_EQ(type.node.index(), 0u);
  ASSERT_NE(expression.node.expression(), nullptr);
  EXPECT_TRUE(expression.node.expression()->is_variable());
  EXPECT_EQ(expression.node.as_type(), nullptr);
  EXPECT_EQ(expression.node.index(), 1u);
  EXPECT_EQ(range(type), R(0, 4));
  EXPECT_EQ(range(expression), R(6, 7));

  // Each form assigned over each other form: the one it replaces is freed.
  Callable a = std::move(type);
  a = expression_callee();
  EXPECT_EQ(range(a), R(6, 7));
  a = type_callee();
  EXPECT_EQ(range(a), R(0, 4));
  a = type_callee();
  a = std::move(expression);
  EXPECT_EQ(range(a), R(6, 7));
  a = expression_callee();
  EXPECT_EQ(range(a), R(6, 7));

  // A moved-from callee holds no expression and is not visited.
  EXPECT_EQ(expression.node.index(), 1u);  // NOLINT: moved from on purpose
  EXPECT_EQ(expression.node.expression(), nullptr);
  EXPECT_EQ(type.node.expression(), nullptr);  // NOLINT: moved from on purpose
  EXPECT_THROW(range(expression), InternalError);
  expression = std::move(a);
  EXPECT_EQ(range(expression), R(6, 7));
}

TEST(RangeTest, ScriptAndRanges) {
  TokenStore s;
  Script only_eof{{}, nullptr, TokenRef::borrow(s.add(TokenKind::Eof{}, 12, 12))};
  EXPECT_EQ(range(only_eof), R(12, 12));
  Script with_value{{}, boxed(variable(s.ident("v", 3))), TokenRef::borrow(s.add(TokenKind::Eof{}, 12, 12))};
  EXPECT_EQ(range(with_value), R(3, 12));

  Range half{boxed(literal(s.ordinal(1, 0, 1))), s.op(Operator::HalfOpenRange, 1), boxed(literal(s.ordinal(5, 4, 5)))};
  EXPECT_TRUE(half.exclusive());
  EXPECT_EQ(range(half), R(0, 5));
  Range closed{boxed(literal(s.ordinal(1, 0, 1))), s.op(Operator::SpreadRange, 1), boxed(literal(s.ordinal(5, 3, 4)))};
  EXPECT_FALSE(closed.exclusive());
}

TEST(HeightTest, NodesRecordTheTallestChild) {
  TokenStore s;
  Expression leaf = variable(s.ident("a", 0));
  EXPECT_EQ(leaf.height, 1u);
  Expression prefix = Expression::Prefix{s.op(Operator::Minus, 0), boxed(std::move(leaf))};
  EXPECT_EQ(prefix.height, 2u);
  Expression wrapped = Expression::wrap_as_unknown(boxed(std::move(prefix)), refs(s.ident("a", 0)), D::UnknownExpression);
  EXPECT_EQ(wrapped.height, 2u + kTreeCost.unknown);
  NodeList<Statement> statements;
  statements.push_back(Statement::Expression{boxed(std::move(wrapped)), s.op(Operator::Semicolon, 3)});
  Expression block = Expression::Block{s.op(Operator::OpenBrace, 0), std::move(statements), nullptr,
                                       s.op(Operator::CloseBrace, 5)};
  EXPECT_EQ(block.height, 4u + kTreeCost.unknown);
}

TEST(HeightTest, ChangingTheAlternativeLeavesTheRecordedSummaryAlone) {
  // Height, flag and range share the bytes behind the variant's index: a
  // change of alternative must not touch them until refresh().
  TokenStore s;
  Expression e = Expression::Prefix{s.op(Operator::Minus, 4), boxed(variable(s.ident("a", 5)))};
  e.holds_recovery = true;
  e.node = Expression::Variable{s.ident("b", 9)};
  EXPECT_EQ(e.height, 2u);
  EXPECT_TRUE(e.holds_recovery);
  EXPECT_EQ(e.cached_range(), R(4, 6));
  e.node.emplace<Expression::Literal>(Expression::Literal{s.ordinal(1, 20, 21)});
  EXPECT_EQ(e.height, 2u);
  EXPECT_EQ(e.cached_range(), R(4, 6));
  e.refresh();
  EXPECT_EQ(e.height, 1u);
  EXPECT_FALSE(e.holds_recovery);
  EXPECT_EQ(e.cached_range(), R(20, 21));

  Pattern p = Pattern::Not{s.kw(Keyword::Not, 0), boxed(Pattern(Pattern::Discard{s.kw(Keyword::Underscore, 4)}))};
  p.node = Pattern::SpreadDiscard{30};
  EXPECT_EQ(p.height, 2u);
  EXPECT_EQ(p.cached_range(), R(0, 5));

  Statement st = Statement::Continue{s.kw(Keyword::Continue, 1), s.op(Operator::Semicolon, 9)};
  st.node = Statement::Empty{s.op(Operator::Semicolon, 40)};
  EXPECT_EQ(st.cached_range(), R(1, 10));
}

TEST(DumpTest, ShowsKindsTokensRangesAndDiagnostics) {
  TokenStore s;
  NodeList<RecordPatternItem> elements;
  elements.push_back(RecordPatternItem::new_with_comma(
      RecordElementBase<Pattern, Pattern>{RecordElementBase<Pattern, Pattern>::Unnamed{
          boxed(Pattern(Pattern::Bind{std::nullopt, s.ident("a", 1)}))}},
      inserted(Operator::Comma, 2, D::MissingComma)));
  elements.push_back(RecordPatternItem::make(RecordElementBase<Pattern, Pattern>{
      RecordElementBase<Pattern, Pattern>::Unnamed{boxed(Pattern::unknown(refs(s.op(Operator::Plus, 3)),
                                                                         D::UnknownPattern))}}));
  Pattern record = Pattern::Record{s.op(Operator::OpenParen, 0), std::move(elements),
                                   inserted(Operator::CloseParen, 4, D::MissingCloseParen)};
  EXPECT_EQ(dump(record),
            "Pattern::Record 0..4\n"
            "  open_paren: `(` 0..1\n"
            "  elements:\n"
            "    - ListItem 1..2\n"
            "        element: RecordElement::Unnamed 1..2\n"
            "          value: Pattern::Bind 1..2\n"
            "            mut_keyword: none\n"
            "            name: `a` 1..2\n"
            "        comma: owned `<?,>` 2..2 {MissingComma 2..2}\n"
            "    - ListItem 3..4\n"
            "        element: RecordElement::Unnamed 3..4\n"
            "          value: Pattern::Unknown 3..4\n"
            "            recovered: none\n"
            "            tokens:\n"
            "              - `+` 3..4\n"
            "            errors: {UnknownPattern 3..4}\n"
            "        comma: none\n"
            "  close_paren: owned `<?)>` 4..4 {MissingCloseParen 4..4}\n");
}

}  // namespace
}  // namespace vaxo_core::parser
