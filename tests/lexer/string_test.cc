// String literals and escapes.
#include <gtest/gtest.h>

#include "tests/lexer/support/lex_cases.h"

namespace vaxo_core::lexer {
namespace {

using testing::LexCase;

TEST(StringLiteral, Values) {
  const LexCase cases[] = {
      {"''", "0..2 String(\"\")\n2..2 Eof\n"},
      {"'a\"b' \"a'b\" `a'\"b`",
       "0..5 String(\"a\\\"b\")\n6..11 String(\"a\\'b\")\n12..18 String(\"a\\'\\\"b\")\n18..18 Eof\n"},
      {"'a\nb'", "0..5 String(\"a\\nb\")\n5..5 Eof\n"},
      {"'\\x41\\u{1F600}'", "0..15 String(\"A\xf0\x9f\x98\x80\")\n15..15 Eof\n"},
      {"'\\u{0000000041}'", "0..16 String(\"A\")\n16..16 Eof\n"},
      {"'\\0\\r\\n\\t\\b\\f\\v\\\\\\\"\\'\\`\\$'",
       "0..26 String(\"\\0\\r\\n\\t\\u{8}\\u{c}\\u{b}\\\\\\\"\\'`$\")\n26..26 Eof\n"},
      {"'\\$x'", "0..5 String(\"$x\")\n5..5 Eof\n"},
      {"'$'", "0..3 String(\"$\")\n3..3 Eof\n"},
      // Verbatim: backslashes are text.
      {"@'x\\y\\n'@", "0..9 String(\"x\\\\y\\\\n\")\n9..9 Eof\n"},
      {"@@'a'@b'@@", "0..10 String(\"a\\'@b\")\n10..10 Eof\n"},
      {"'a'@", "0..3 String(\"a\")\n3..4 Identifier(@)\n4..4 Eof\n"},
      {"@'a'@@", "0..5 String(\"a\")\n5..6 Identifier(@)\n6..6 Eof\n"},
      {"@@x", "0..3 Identifier(@@x)\n3..3 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(StringLiteral, Faults) {
  const LexCase cases[] = {
      {"'a\\qb'", "0..6 Unknown(String(\"ab\"); InvalidEscapeSequence 2..4)\n6..6 Eof\n"},
      {"'\\x80'", "0..6 Unknown(String(\"\"); InvalidHexEscapeSequence 1..5)\n6..6 Eof\n"},
      {"'\\x4g'", "0..6 Unknown(String(\"4g\"); InvalidEscapeSequence 1..3)\n6..6 Eof\n"},
      {"'\\u{D800}'", "0..10 Unknown(String(\"\"); InvalidUnicodeEscapeSequence 1..9)\n10..10 Eof\n"},
      {"'\\u{110000}'", "0..12 Unknown(String(\"\"); InvalidUnicodeEscapeSequence 1..11)\n12..12 Eof\n"},
      {"'\\u{100000000}'", "0..15 Unknown(String(\"\"); InvalidUnicodeEscapeSequence 1..14)\n15..15 Eof\n"},
      {"'\\u{ffffffffffffffffffffffff41}'",
       "0..32 Unknown(String(\"\"); InvalidUnicodeEscapeSequence 1..31)\n32..32 Eof\n"},
      {"'\\u{}'", "0..6 Unknown(String(\"{}\"); InvalidEscapeSequence 1..3)\n6..6 Eof\n"},
      {"'\\u{41'", "0..7 Unknown(String(\"{41\"); InvalidEscapeSequence 1..3)\n7..7 Eof\n"},
      {"'\\X41'", "0..6 Unknown(String(\"41\"); InvalidEscapeSequence 1..3)\n6..6 Eof\n"},
      {"'\\U{41}'", "0..8 Unknown(String(\"{41}\"); InvalidEscapeSequence 1..3)\n8..8 Eof\n"},
      {"'\\\n'", "0..4 Unknown(String(\"\"); InvalidEscapeSequence 1..3)\n4..4 Eof\n"},
      {"'\\\xc3\xa9'", "0..5 Unknown(String(\"\"); InvalidEscapeSequence 1..4)\n5..5 Eof\n"},
      {"'abc", "0..4 Unknown(String(\"abc\"); UnterminatedString 4..4)\n4..4 Eof\n"},
      {"'abc\\'", "0..6 Unknown(String(\"abc\\'\"); UnterminatedString 6..6)\n6..6 Eof\n"},
      {"'a\\", "0..3 Unknown(String(\"a\"); UnterminatedString 3..3)\n3..3 Eof\n"},
      {"'\\q\\w", "0..5 Unknown(String(\"\"); UnterminatedString 5..5; InvalidEscapeSequence 1..3; InvalidEscapeSequence 3..5)\n5..5 Eof\n"},
      {"@'abc'", "0..6 Unknown(String(\"abc\\'\"); UnterminatedString 6..6)\n6..6 Eof\n"},
      {"'", "0..1 Unknown(String(\"\"); UnterminatedString 1..1)\n1..1 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(StringLiteral, UnicodeEscapesEncodeAtEveryLengthBoundary) {
  struct Case {
    const char* src;
    std::string_view bytes;
  };
  const Case cases[] = {
      {"'\\u{7F}'", "\x7f"},
      {"'\\u{80}'", "\xc2\x80"},
      {"'\\u{E9}'", "\xc3\xa9"},
      {"'\\u{7FF}'", "\xdf\xbf"},
      {"'\\u{800}'", "\xe0\xa0\x80"},
      {"'\\u{20AC}'", "\xe2\x82\xac"},
      {"'\\u{FFFF}'", "\xef\xbf\xbf"},
      {"'\\u{10000}'", "\xf0\x90\x80\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.src);
    auto tokens = testing::lex_script(c.src);
    ASSERT_EQ(tokens.size(), 2u);
    const auto* s = tokens[0]->get_if<TokenKind::String>();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->value.view(), c.bytes);
  }
}

TEST(StringLiteral, ValueBorrowsOnlyForOnePlainRun) {
  auto tokens = testing::lex_script("'ab' 'a\\tb' ''");
  ASSERT_EQ(tokens.size(), 4u);
  EXPECT_FALSE(tokens[0]->get_if<TokenKind::String>()->value.is_owned());
  EXPECT_TRUE(tokens[1]->get_if<TokenKind::String>()->value.is_owned());
  EXPECT_TRUE(tokens[2]->get_if<TokenKind::String>()->value.is_owned());
}

TEST(StringLiteral, EqualityIgnoresHowItWasWritten) {
  auto tokens = testing::lex_script("\"ab\" 'ab' @'ab'@ 'a\\tb' 'a\tb'");
  ASSERT_EQ(tokens.size(), 6u);
  EXPECT_EQ(tokens[0], tokens[1]);
  EXPECT_EQ(tokens[0], tokens[2]);
  EXPECT_EQ(tokens[3], tokens[4]);
}

TEST(StringLiteral, InfoDescribesTheLiteral) {
  auto tokens = testing::lex_script("@@'a\\n'@@ 'x");
  ASSERT_EQ(tokens.size(), 3u);
  const auto& info = *tokens[0]->get_if<TokenKind::String>()->info;
  EXPECT_EQ(info.leading_range, (ByteRange{0, 3}));
  EXPECT_EQ(info.trailing_range, (ByteRange{6, 9}));
  EXPECT_EQ(info.ats, 2u);
  EXPECT_EQ(info.quote, std::optional<char32_t>(U'\''));
  ASSERT_EQ(info.content.size(), 1u);

  const auto* u = tokens[1]->get_if<TokenKind::Unknown>();
  ASSERT_TRUE(u);
  const auto& info2 = *u->recovered->get_if<TokenKind::String>()->info;
  EXPECT_EQ(info2.trailing_range, (ByteRange{0, 0}));

  auto esc = testing::lex_script("'\\u{41}'");
  const auto& content = esc[0]->get_if<TokenKind::String>()->info->content;
  ASSERT_EQ(content.size(), 1u);
  const auto* e = std::get_if<StringFragment::EscapedChar>(&content[0].value);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->text, "u{41}");
  EXPECT_EQ(e->value, U'A');
}

TEST(StringLiteral, PlainLiteralInfo) {
  struct Case {
    std::string_view src;
    std::size_t index;  // of the string token
    ByteRange leading, trailing;
    std::size_t ats;
    char32_t quote;
    std::string_view text;
  };
  const Case cases[] = {
      {"'ab'", 0, {0, 1}, {3, 4}, 0, U'\'', "ab"},
      {"x @@\"a\\\"@@", 1, {2, 5}, {7, 10}, 2, U'"', "a\\"},
      {"`\xce\xbb` 1", 0, {0, 1}, {3, 4}, 0, U'`', "\xce\xbb"},
      {"@'a'@@", 0, {0, 2}, {3, 5}, 1, U'\'', "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.src);
    auto tokens = testing::lex_script(c.src);
    ASSERT_GT(tokens.size(), c.index);
    // A copy taken before the info is first read describes the same literal.
    const Token copy = tokens[c.index];
    for (const Token* t : {static_cast<const Token*>(&tokens[c.index]), &copy}) {
      const auto* s = t->kind.get_if<TokenKind::String>();
      ASSERT_TRUE(s && s->info);
      EXPECT_FALSE(s->value.is_owned());
      EXPECT_EQ(s->info->leading_range, c.leading);
      EXPECT_EQ(s->info->trailing_range, c.trailing);
      EXPECT_EQ(s->info->ats, c.ats);
      EXPECT_EQ(s->info->quote, std::optional<char32_t>(c.quote));
      ASSERT_EQ(s->info->content.size(), 1u);
      const auto* lit = std::get_if<StringFragment::Literal>(&s->info->content[0].value);
      ASSERT_TRUE(lit);
      EXPECT_EQ(lit->text, c.text);
      EXPECT_EQ(lit->text.data(), s->value.view().data());
    }
  }
}

}  // namespace
}  // namespace vaxo_core::lexer
