// The token scanner: first-character dispatch, operators, names, keyword
// retyping and one-character recovery tokens.
#include <gtest/gtest.h>

#include "core/lexer/identifier.h"
#include "tests/lexer/support/lex_cases.h"

namespace vaxo_core::lexer {
namespace {

using testing::LexCase;

TEST(Scanner, RangesExcludeBlanks) {
  const LexCase cases[] = {
      {"a  ", "0..1 Identifier(a)\n3..3 Eof\n"},
      {" \tx", "2..3 Identifier(x)\n3..3 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(Scanner, OperatorRows) {
  struct Case {
    std::string_view src;
    std::vector<Operator> ops;
  };
  using O = Operator;
  const Case cases[] = {
      {"+= ++", {O::PlusAssign, O::Plus, O::Plus}},
      {"-= -> -", {O::MinusAssign, O::Arrow, O::Minus}},
      {"*= * /= / %= % ^= ^", {O::AsteriskAssign, O::Asterisk, O::SlashAssign, O::Slash, O::PercentAssign,
                               O::Percent, O::CaretAssign, O::Caret}},
      {"!==", {O::Exclamation, O::Equal}},
      {"!=~", {O::Exclamation, O::TildeEqual}},
      {"!= !~ !!", {O::NotEqual, O::TildeNotEqual, O::Exclamation, O::Exclamation}},
      {"!=!", {O::NotEqual, O::Exclamation}},
      {"?: ? : ??? ?::", {O::QuestionColon, O::Question, O::Colon, O::NullCoalescing, O::Question,
                          O::QuestionColon, O::Colon}},
      {"?\?= ??", {O::NullCoalescingAssign, O::NullCoalescing}},
      {"&&= && ||= ||", {O::LogicalAndAssign, O::LogicalAnd, O::LogicalOrAssign, O::LogicalOr}},
      {"... ..= ..< .", {O::SpreadRange, O::Dot, O::SpreadRange, O::Assign, O::HalfOpenRange, O::Dot}},
      {"=> === =~ =", {O::Assign, O::Greater, O::Equal, O::Assign, O::TildeEqual, O::Assign}},
      {">= > <= <", {O::GreaterEqual, O::Greater, O::LessEqual, O::Less}},
      {"()[]{}:: : , ;", {O::OpenParen, O::CloseParen, O::OpenBracket, O::CloseBracket, O::OpenBrace,
                          O::CloseBrace, O::ColonColon, O::Colon, O::Comma, O::Semicolon}},
      {"/", {O::Slash}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.src);
    auto tokens = testing::lex_script(c.src);
    ASSERT_EQ(tokens.size(), c.ops.size() + 1);
    for (std::size_t i = 0; i < c.ops.size(); ++i) EXPECT_EQ(tokens[i], c.ops[i]) << i;
  }
}

TEST(Scanner, CharactersThatStartNoToken) {
  const LexCase cases[] = {
      {"a&b", "0..1 Identifier(a)\n1..2 Unknown(Empty; UnknownToken 1..2)\n2..3 Identifier(b)\n3..3 Eof\n"},
      {"&&&", "0..2 Operator(&&)\n2..3 Unknown(Empty; UnknownToken 2..3)\n3..3 Eof\n"},
      {"|||", "0..2 Operator(||)\n2..3 Unknown(Empty; UnknownToken 2..3)\n3..3 Eof\n"},
      {"==~", "0..2 Operator(==)\n2..3 Unknown(Empty; UnknownToken 2..3)\n3..3 Eof\n"},
      {"#\\~",
       "0..1 Unknown(Empty; UnknownToken 0..1)\n1..2 Unknown(Empty; UnknownToken 1..2)\n"
       "2..3 Unknown(Empty; UnknownToken 2..3)\n3..3 Eof\n"},
      {std::string_view("\0x", 2), "0..1 Unknown(Empty; UnknownToken 0..1)\n1..2 Identifier(x)\n2..2 Eof\n"},
      // no-break space (2 bytes), BOM (3), emoji (4), a combining mark (2)
      {"\xc2\xa0" "a", "0..2 Unknown(Empty; UnknownToken 0..2)\n2..3 Identifier(a)\n3..3 Eof\n"},
      {"\xef\xbb\xbf" "a", "0..3 Unknown(Empty; UnknownToken 0..3)\n3..4 Identifier(a)\n4..4 Eof\n"},
      {"\xf0\x9f\x98\x80", "0..4 Unknown(Empty; UnknownToken 0..4)\n4..4 Eof\n"},
      {"\xcc\x81" "a", "0..2 Unknown(Empty; UnknownToken 0..2)\n2..3 Identifier(a)\n3..3 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(Scanner, Names) {
  const LexCase cases[] = {
      {"if If", "0..2 Keyword(if)\n3..5 Identifier(If)\n5..5 Eof\n"},
      {"_ __ _1 x_", "0..1 Keyword(_)\n2..4 Identifier(__)\n5..7 Identifier(_1)\n8..10 Identifier(x_)\n10..10 Eof\n"},
      {"a$b", "0..1 Identifier(a)\n1..3 Identifier($b)\n3..3 Eof\n"},
      {"$ $$x $_a $if", "0..1 Identifier($)\n2..5 Identifier($$x)\n6..9 Identifier($_a)\n10..13 Identifier($if)\n13..13 Eof\n"},
      {"_$", "0..1 Keyword(_)\n1..2 Identifier($)\n2..2 Eof\n"},
      {"@a @@b @1 @_ @", "0..2 Identifier(@a)\n3..6 Identifier(@@b)\n7..9 Identifier(@1)\n10..12 Identifier(@_)\n13..14 Identifier(@)\n14..14 Eof\n"},
      {"@x\"y\"", "0..2 Identifier(@x)\n2..5 String(\"y\")\n5..5 Eof\n"},
      // Greek and accented letters start names; a combining mark continues one.
      {"\xce\xbb\xc3\xa9" "1e\xcc\x81", "0..8 Identifier(\xce\xbb\xc3\xa9" "1e\xcc\x81)\n8..8 Eof\n"},
      {"1\xce\xbb", "0..3 Unknown(Number(1, Invalid); InvalidNumberLiteral 0..3)\n3..3 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(Scanner, AfterDot) {
  const LexCase cases[] = {
      {"x.if", "0..1 Identifier(x)\n1..2 Operator(.)\n2..4 Identifier(if)\n4..4 Eof\n"},
      {"x. /* c */\n if", "0..1 Identifier(x)\n1..2 Operator(.)\n12..14 Identifier(if)\n14..14 Eof\n"},
      {"x..if", "0..1 Identifier(x)\n1..3 Operator(..)\n3..5 Keyword(if)\n5..5 Eof\n"},
      {"a._", "0..1 Identifier(a)\n1..2 Operator(.)\n2..3 Identifier(_)\n3..3 Eof\n"},
      {".5", "0..1 Operator(.)\n1..2 Ordinal(5)\n2..2 Eof\n"},
      {"a.0.1", "0..1 Identifier(a)\n1..2 Operator(.)\n2..3 Ordinal(0)\n3..4 Operator(.)\n4..5 Ordinal(1)\n5..5 Eof\n"},
      // After `..` the digits are read as a number: 05 is no ordinal then.
      {"1..05", "0..1 Ordinal(1)\n1..3 Operator(..)\n3..5 Number(5, Decimal \"05\")\n5..5 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(Scanner, KeywordBeforeColonBecomesName) {
  const LexCase cases[] = {
      {"{ if: 1 }", "0..1 Operator({)\n2..4 Identifier(if)\n4..5 Operator(:)\n6..7 Ordinal(1)\n8..9 Operator(})\n9..9 Eof\n"},
      {"nil ?: 1", "0..3 Identifier(nil)\n4..6 Operator(?:)\n7..8 Ordinal(1)\n8..8 Eof\n"},
      // Right after the conditional's `?` a keyword stays one.
      {"c ? true : x", "0..1 Identifier(c)\n2..3 Operator(?)\n4..8 Keyword(true)\n9..10 Operator(:)\n11..12 Identifier(x)\n12..12 Eof\n"},
      {"c?nil:x", "0..1 Identifier(c)\n1..2 Operator(?)\n2..5 Keyword(nil)\n5..6 Operator(:)\n6..7 Identifier(x)\n7..7 Eof\n"},
      {"? /* c */ false\n:", "0..1 Operator(?)\n10..15 Keyword(false)\n16..17 Operator(:)\n17..17 Eof\n"},
      {"? if ?: x", "0..1 Operator(?)\n2..4 Keyword(if)\n5..7 Operator(?:)\n8..9 Identifier(x)\n9..9 Eof\n"},
      // Anything between them, or another operator before it, and it is a name.
      {"c ? (true: 1) : x",
       "0..1 Identifier(c)\n2..3 Operator(?)\n4..5 Operator(()\n5..9 Identifier(true)\n9..10 Operator(:)\n"
       "11..12 Ordinal(1)\n12..13 Operator())\n14..15 Operator(:)\n16..17 Identifier(x)\n17..17 Eof\n"},
      {"?\? true: x", "0..2 Operator(?\?)\n3..7 Identifier(true)\n7..8 Operator(:)\n9..10 Identifier(x)\n10..10 Eof\n"},
      {"_ : x", "0..1 Identifier(_)\n2..3 Operator(:)\n4..5 Identifier(x)\n5..5 Eof\n"},
      {"if :: x", "0..2 Keyword(if)\n3..5 Operator(::)\n6..7 Identifier(x)\n7..7 Eof\n"},
      {"for // c\n : 1", "0..3 Identifier(for)\n10..11 Operator(:)\n12..13 Ordinal(1)\n13..13 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(Scanner, IdentifierClasses) {
  using namespace identifier;
  EXPECT_TRUE(is_identifier_start(U'a'));
  EXPECT_FALSE(is_identifier_start(U'_'));
  EXPECT_FALSE(is_identifier_start(U'$'));
  EXPECT_FALSE(is_identifier_start(U'1'));
  EXPECT_TRUE(is_identifier_start(U'\u03bb'));
  EXPECT_FALSE(is_identifier_start(U'\u0301'));
  EXPECT_TRUE(is_identifier_continue(U'\u0301'));
  EXPECT_TRUE(is_identifier_continue(U'_'));
  EXPECT_FALSE(is_identifier_continue(U'$'));
  EXPECT_FALSE(is_identifier_continue(U'\u00a0'));
  EXPECT_TRUE(is_identifier_special(U'@'));
  EXPECT_FALSE(is_identifier_special(U'#'));
  // XID_Start is a subset of XID_Continue, across the whole code space.
  for (char32_t c = 0; c < 0x110000; ++c) {
    if (is_identifier_start(c)) {
      ASSERT_TRUE(is_identifier_continue(c)) << static_cast<std::uint32_t>(c);
    }
  }
}

}  // namespace
}  // namespace vaxo_core::lexer
