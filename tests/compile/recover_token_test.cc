#include "core/compile/recover_token.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/lexer/lexer.h"

namespace vaxo_core::compile {
namespace {

using diagnostic::DiagnosticCode;
using diagnostic::DiagnosticsCollector;
using diagnostic::SourceDiagnostic;
using lexer::Token;
using lexer::TokenKind;

constexpr std::string_view kText = "0123456789abcdefghij";

config::Config with_tags() {
  config::Config c;
  c.diagnostic_tag = true;
  return c;
}

std::vector<SourceDiagnostic> run(Token t, const config::Config& config, Token* out = nullptr) {
  DiagnosticsCollector collector(config, kText);
  auto result = recover_token(std::move(t), collector);
  EXPECT_TRUE(result.has_value());
  if (out != nullptr) *out = std::move(*result);
  return std::move(collector).data();
}

TEST(RecoverToken, UnwrapsNestedWrappersFromTheOutsideIn) {
  // Inner: an ordinal flagged with InvalidNumberLiteral; outer: UnknownToken.
  TokenKind inner = TokenKind::unknown(TokenKind::Ordinal{5}, {1, 2}, DiagnosticCode::InvalidNumberLiteral);
  Token t = Token::make(TokenKind::unknown(std::move(inner), {0, 3}, DiagnosticCode::UnknownToken), {0, 3});
  Token out;
  auto got = run(std::move(t), config::Config{}, &out);
  std::vector<SourceDiagnostic> want{{{0, 3}, DiagnosticCode::UnknownToken},
                                     {{1, 2}, DiagnosticCode::InvalidNumberLiteral}};
  EXPECT_EQ(got, want);
  EXPECT_EQ(out.kind, TokenKind(TokenKind::Ordinal{5}));
  EXPECT_EQ(out.range, (ByteRange{0, 3}));
}

TEST(RecoverToken, StringTagLandsAfterTheErrorsOfItsWrappers) {
  Token t = Token::make(TokenKind::unknown_errors(TokenKind::String{std::string_view("ab")},
                                                  {{{2, 4}, DiagnosticCode::InvalidEscapeSequence}}),
                        {0, 6});
  auto got = run(std::move(t), with_tags());
  std::vector<SourceDiagnostic> want{{{2, 4}, DiagnosticCode::InvalidEscapeSequence},
                                     {{0, 6}, DiagnosticCode::String}};
  EXPECT_EQ(got, want);
  // With the default switches the tag is filtered out and the error stays.
  auto plain = run(Token::make(TokenKind::unknown_errors(TokenKind::String{std::string_view("ab")},
                                                         {{{2, 4}, DiagnosticCode::InvalidEscapeSequence}}),
                               {0, 6}),
                   config::Config{});
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(plain[0].error, DiagnosticCode::InvalidEscapeSequence);
}

TEST(RecoverToken, InterpolationTagPrecedesTheDiagnosticsOfItsParts) {
  std::vector<Token> first;
  first.push_back(Token::make(TokenKind::unknown(TokenKind::Number{1.0, {}}, {3, 5}, DiagnosticCode::InvalidNumberLiteral),
                              {3, 5}));
  first.push_back(Token::make(TokenKind::String{std::string_view("x")}, {6, 9}));
  TokenKind::InterpolatedString s;
  s.add_part(lexer::CowText(std::string_view("a")), std::move(first), std::string_view());
  s.add_part(lexer::CowText(std::string_view("b")), std::vector<Token>{}, std::string_view());
  Token out;
  auto got = run(Token::make(TokenKind(std::move(s)), {0, 12}), with_tags(), &out);
  std::vector<SourceDiagnostic> want{{{0, 12}, DiagnosticCode::Interpolation},
                                     {{3, 5}, DiagnosticCode::InvalidNumberLiteral},
                                     {{6, 9}, DiagnosticCode::String}};
  EXPECT_EQ(got, want);
  const auto* result = out.kind.get_if<TokenKind::InterpolatedString>();
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(result->parts.size(), 2u);
  ASSERT_EQ(result->parts[0].count, 2u);
  EXPECT_TRUE(result->tokens_of(result->parts[0])[0].kind.is_number());
  EXPECT_TRUE(result->tokens_of(result->parts[0])[1].kind.is_string());
  EXPECT_EQ(result->parts[0].text, std::string_view("a"));
}

TEST(RecoverToken, OneCharacterRecoveryBecomesEmptyAndPlainTokensPass) {
  Token out;
  auto got = run(Token::unknown({4, 5}, TokenKind::Empty{}, DiagnosticCode::UnknownToken), config::Config{}, &out);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(out.kind.is_empty());
  EXPECT_EQ(out.range, (ByteRange{4, 5}));

  for (TokenKind kind : {TokenKind(TokenKind::Eof{}), TokenKind(lexer::Operator::Plus), TokenKind(lexer::Keyword::If),
                         TokenKind(TokenKind::Identifier{"x"})}) {
    Token plain;
    EXPECT_TRUE(run(Token::make(kind, {0, 1}), with_tags(), &plain).empty());
    EXPECT_EQ(plain.kind, kind);
  }
}

TEST(RecoverToken, WrapperErrorsAreFilteredButNotRangeChecked) {
  // Ranges inside recovery tokens come from the lexer and are not checked again.
  config::Config no_errors;
  no_errors.diagnostic_error = false;
  Token t = Token::unknown({0, 1}, TokenKind::Empty{}, DiagnosticCode::UnknownToken);
  EXPECT_TRUE(run(std::move(t), no_errors).empty());
}

// The whole-list pass skips the tokens that need nothing: on lexed text with
// every kind of recovery token, nested interpolations included, it must give
// the tokens and diagnostics of recovering each token on its own.
TEST(RecoverTokens, AgreesWithRecoveringEachToken) {
  const std::string texts[] = {
      "let x = 0x1G + 1_ + 'a\\q' + \"${ 'b\\z' + $(c:fmt) }\" @'raw' ? \xC3\xA9 ~ 'unterminated",
      "'${'${1__ + \"$(y:f)\"}' + 0b2}' `' x $ \"${\"${\"${)}\"}\"}\" 1e999 @ 12_",
      "",
  };
  for (const std::string& text : texts) {
    for (const config::Config& config : {config::Config{}, with_tags()}) {
      SCOPED_TRACE(text);
      auto in = lexer::to_input(text, config);
      auto lexed = lexer::lex(in);
      ASSERT_TRUE(lexed.has_value());
      std::vector<Token> one_by_one = *lexed;
      DiagnosticsCollector each(config, text);
      for (Token& t : one_by_one) t = *recover_token(std::move(t), each);
      DiagnosticsCollector whole(config, text);
      recover_tokens(*lexed, whole);
      if (!text.empty()) {
        EXPECT_GE(each.size(), 3u);  // the texts do exercise recovery
      }
      EXPECT_EQ(std::move(whole).data(), std::move(each).data());
      ASSERT_EQ(lexed->size(), one_by_one.size());
      for (std::size_t i = 0; i < one_by_one.size(); ++i) {
        EXPECT_EQ((*lexed)[i], one_by_one[i]) << i;
        EXPECT_EQ((*lexed)[i].range, one_by_one[i].range) << i;
        EXPECT_FALSE((*lexed)[i].kind.is_unknown()) << i;
      }
    }
  }
}

}  // namespace
}  // namespace vaxo_core::compile
