// The token parsers: token, token_or_insert, variable_token, literal_token,
// and the expression placeholder.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/parser/ast_walker.h"
#include "core/parser/expressions.h"
#include "core/parser/helper.h"
#include "core/parser/patterns.h"
#include "tests/parser/support/source.h"

namespace vaxo_core::parser {
namespace {

using testing::Source;
using D = DiagnosticCode;

// The single diagnostic a recovery token carries.
SourceDiagnostic only_error(const Token& t) {
  const auto* u = t.kind.get_if<TokenKind::Unknown>();
  EXPECT_NE(u, nullptr);
  if (u == nullptr || u->errors.size() != 1) return {};
  return u->errors[0];
}

TEST(TokenHelperTest, TokenMatchesByKindAndConsumesOnlyOnSuccess) {
  Source src("a ;");
  EXPECT_FALSE(helper::token(Operator::Semicolon)(src.ctx()));
  EXPECT_EQ(src.ctx().index, 0u);
  src.ctx().next();
  auto semi = helper::token(Operator::Semicolon)(src.ctx());
  ASSERT_TRUE(semi);
  EXPECT_TRUE(semi->is_borrowed());
  EXPECT_EQ(src.ctx().index, 2u);
  // Before Eof `;` fails; once Eof is consumed no token is left at all.
  EXPECT_FALSE(helper::token(Operator::Semicolon)(src.ctx()));
  src.ctx().next();
  EXPECT_FALSE(helper::token(Operator::Semicolon)(src.ctx()));
  EXPECT_FALSE(helper::variable_token(src.ctx(), true, true));
  EXPECT_FALSE(helper::literal_token(src.ctx()));
  auto inserted = helper::token_or_insert(Operator::Semicolon, D::MissingSemicolon)(src.ctx());
  ASSERT_TRUE(inserted);
  EXPECT_TRUE(inserted->is_owned());
  EXPECT_EQ(inserted->range(), (ByteRange{3, 3}));

  Source kw("in x");
  EXPECT_TRUE(helper::token(Keyword::In)(kw.ctx()));
  EXPECT_FALSE(helper::token(Keyword::In)(kw.ctx()));
}

TEST(TokenHelperTest, TokenOrInsertPlacesTheTokenAtPreviousTokenEnd) {
  {
    Source src("(abc ;");
    src.ctx().next();
    src.ctx().next();
    auto close = helper::token_or_insert(Operator::CloseParen, D::MissingCloseParen)(src.ctx());
    ASSERT_TRUE(close);
    EXPECT_TRUE(close->is_owned());
    EXPECT_EQ(close->range(), (ByteRange{4, 4}));
    const auto* u = close->get().kind.get_if<TokenKind::Unknown>();
    ASSERT_NE(u, nullptr);
    EXPECT_TRUE(*u->recovered == Operator::CloseParen);
    EXPECT_EQ(only_error(**close), (SourceDiagnostic{ByteRange{4, 4}, D::MissingCloseParen}));
    EXPECT_EQ(src.rest(), "; ␃");
  }
  {
    // Nothing consumed yet: the start of the first token.
    Source src("   x");
    auto comma = helper::token_or_insert(Operator::Comma, D::MissingComma)(src.ctx());
    EXPECT_EQ(comma->range(), (ByteRange{3, 3}));
  }
  {
    // An input without tokens: offset 0.
    Source src("x");
    ParserContext empty = src.ctx().nested({});
    auto keyword = helper::token_or_insert(Keyword::Case, D::MissingCase)(empty);
    EXPECT_EQ(keyword->range(), (ByteRange{0, 0}));
    EXPECT_TRUE(*keyword->get().kind.get_if<TokenKind::Unknown>()->recovered == Keyword::Case);
  }
  {
    // A present token is borrowed and consumed.
    Source src(")");
    auto close = helper::token_or_insert(Operator::CloseParen, D::MissingCloseParen)(src.ctx());
    EXPECT_TRUE(close->is_borrowed());
    EXPECT_EQ(src.ctx().index, 1u);
  }
}

TEST(TokenHelperTest, VariableTokenRepairsMisusedKeywords) {
  struct Row {
    std::string source;
    bool underscore;
    bool global;
    bool accepted;
    std::optional<D> error;  // a flagged, owned token
    std::string stands_for;  // text form of what the token stands for
  };
  const Row rows[] = {
      {"name", false, false, true, std::nullopt, "name"},
      {"@k", false, false, true, std::nullopt, "@k"},
      {"_", false, false, true, D::UnexpectedUnderscore, "_"},
      {"_", true, false, true, std::nullopt, "_"},
      {"global", true, false, true, D::UnexpectedGlobal, "global"},
      {"global", false, true, true, std::nullopt, "global"},
      {"mod", true, true, true, D::InvalidReservedKeyword, "_"},
      {"try", false, false, true, D::InvalidReservedKeyword, "_"},
      {"if", true, true, false, std::nullopt, ""},
      {"1", true, true, false, std::nullopt, ""},
      {"+", true, true, false, std::nullopt, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source + " " + std::to_string(row.underscore) + std::to_string(row.global));
    Source src(row.source);
    auto name = helper::variable_token(row.underscore, row.global)(src.ctx());
    ASSERT_EQ(name.has_value(), row.accepted);
    if (!name) {
      EXPECT_EQ(src.ctx().index, 0u);
      continue;
    }
    EXPECT_EQ(src.ctx().index, 1u);
    if (row.error) {
      ASSERT_TRUE(name->is_owned());
      EXPECT_EQ(only_error(**name), (SourceDiagnostic{src.tokens()[0].range, *row.error}));
      EXPECT_EQ(name->get().kind.get_if<TokenKind::Unknown>()->recovered->to_string(), row.stands_for);
    } else {
      EXPECT_TRUE(name->is_borrowed());
      EXPECT_EQ(name->to_string(), row.stands_for);
    }
  }
}

TEST(TokenHelperTest, LiteralTokenTakesLiteralsOnly) {
  struct Row {
    std::string source;
    bool accepted;
  };
  const Row rows[] = {
      {"1", true},     {"1.5", true},  {"'s'", true},    {"true", true},     {"false", true}, {"nil", true},
      {"nan", true},   {"inf", true},  {"\"${a}\"", false}, {"true: 1", false}, {"x", false},    {"-1", false},
      {"in", false},   {"", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    Source src(row.source);
    auto literal = helper::literal_token(src.ctx());
    EXPECT_EQ(literal.has_value(), row.accepted);
    EXPECT_EQ(src.ctx().index, row.accepted ? 1u : 0u);
    if (literal) {
      EXPECT_TRUE(literal->is_borrowed());
    }
  }
}

TEST(TokenHelperTest, ExpressionExpectedIsAZeroWidthPlaceholder) {
  Expression e = expressions::expression_expected(7);
  EXPECT_EQ(range(e), (ByteRange{7, 7}));
  const auto* u = e.get_if<Expression::Unknown>();
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->recovered, nullptr);
  ASSERT_EQ(u->tokens.size(), 1u);
  EXPECT_TRUE(u->tokens[0].is_owned());
  EXPECT_TRUE(u->tokens[0]->kind.is_empty());
  ASSERT_EQ(u->errors.size(), 1u);
  EXPECT_EQ(u->errors[0], (SourceDiagnostic{ByteRange{7, 7}, D::ExpressionExpected}));
}

TEST(TokenHelperTest, ListTokenClasses) {
  Source src(") ] } ; return break continue case else in let const , ( x if");
  std::string closers, followers;
  for (const Token& t : src.tokens()) {
    closers += helper::is_list_closer(t) ? '1' : '0';
    followers += helper::is_comma_free_follower(t) ? '1' : '0';
  }
  EXPECT_EQ(closers, "111" "0000000000000" "1");
  EXPECT_EQ(followers, "111111111111" "0000" "1");
}

// The operators and keywords `stop` accepts, in declared order, each
// followed by a space.
template <typename Stop>
std::pair<std::string, std::string> stop_set(Stop stop) {
  std::string operators, keywords;
  for (std::size_t i = 0; i < lexer::kOperatorCount; ++i) {
    const auto op = static_cast<Operator>(i);
    if (stop(Token::make(TokenKind(op), ByteRange{0, 0}))) operators += std::string(lexer::text(op)) + " ";
  }
  for (std::size_t i = 0; i < lexer::kKeywordCount; ++i) {
    const auto kw = static_cast<Keyword>(i);
    if (stop(Token::make(TokenKind(kw), ByteRange{0, 0}))) keywords += std::string(lexer::text(kw)) + " ";
  }
  return {operators, keywords};
}

// An Unknown stretch must end at exactly these, or recovery swallows a
// bracket or a statement; names never stop one, the end of input always does.
TEST(TokenHelperTest, StopSets) {
  const auto [expression_ops, expression_kws] = stop_set(expressions::is_expression_stop);
  EXPECT_EQ(expression_ops, "( ) [ ] += -= *= /= %= ^= &&= ||= ?\?= = ; { } ");
  EXPECT_EQ(expression_kws, "if match for while loop fn let const ");
  const auto [pattern_ops, pattern_kws] = stop_set(patterns::is_pattern_stop);
  EXPECT_EQ(pattern_ops, "( ) [ ] , = ; { } ");
  EXPECT_EQ(pattern_kws, "if match for while loop fn let const ");
  Source src("x");
  EXPECT_FALSE(expressions::is_expression_stop(src.tokens()[0]));
  EXPECT_TRUE(expressions::is_expression_stop(src.tokens()[1]));
  EXPECT_FALSE(patterns::is_pattern_stop(src.tokens()[0]));
  EXPECT_TRUE(patterns::is_pattern_stop(src.tokens()[1]));
}

}  // namespace
}  // namespace vaxo_core::parser
