// Number and ordinal literals.
#include "core/lexer/numeric.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <clocale>
#include <random>
#include <string>
#include <vector>

#include "tests/lexer/support/lex_cases.h"

namespace vaxo_core::lexer {
namespace {

using testing::LexCase;

TEST(Numeric, Literals) {
  const LexCase cases[] = {
      {"0", "0..1 Ordinal(0)\n1..1 Eof\n"},
      {"2147483647", "0..10 Ordinal(2147483647)\n10..10 Eof\n"},
      {"2147483648", "0..10 Number(2147483648, Decimal \"2147483648\")\n10..10 Eof\n"},
      {"007", "0..3 Number(7, Decimal \"007\")\n3..3 Eof\n"},
      {"00", "0..2 Number(0, Decimal \"00\")\n2..2 Eof\n"},
      {"1_000", "0..5 Number(1000, Decimal \"1_000\")\n5..5 Eof\n"},
      {"1_", "0..2 Unknown(Number(1, Invalid); InvalidNumberLiteralUnderscore 0..2)\n2..2 Eof\n"},
      {"1.5", "0..3 Number(1.5, Decimal \"1.5\")\n3..3 Eof\n"},
      // A fraction ends the literal only where no name character follows.
      {"10.25;", "0..5 Number(10.25, Decimal \"10.25\")\n5..6 Operator(;)\n6..6 Eof\n"},
      {"1.5x", "0..4 Unknown(Number(1.5, Invalid); InvalidNumberLiteral 0..4)\n4..4 Eof\n"},
      {"1.5\xcc\x81", "0..5 Unknown(Number(1.5, Invalid); InvalidNumberLiteral 0..5)\n5..5 Eof\n"},
      {"1.5_", "0..4 Unknown(Number(1.5, Invalid); InvalidNumberLiteralUnderscore 0..4)\n4..4 Eof\n"},
      {"1.5e3", "0..5 Number(1500, Decimal \"1.5e3\")\n5..5 Eof\n"},
      {"1e5", "0..3 Number(100000, Decimal \"1e5\")\n3..3 Eof\n"},
      {"1e+5", "0..4 Number(100000, Decimal \"1e+5\")\n4..4 Eof\n"},
      {"2E-3", "0..4 Number(0.002, Decimal \"2E-3\")\n4..4 Eof\n"},
      {"1e-400", "0..6 Number(0, Decimal \"1e-400\")\n6..6 Eof\n"},
      {"1e400", "0..5 Unknown(Number(inf, Invalid); OverflowNumberLiteral 0..5)\n5..5 Eof\n"},
      {"1e", "0..2 Unknown(Number(0, Invalid); InvalidNumberLiteral 0..2)\n2..2 Eof\n"},
      {"1e+", "0..2 Unknown(Number(0, Invalid); InvalidNumberLiteral 0..2)\n2..3 Operator(+)\n3..3 Eof\n"},
      {"1e-x", "0..4 Unknown(Number(0, Invalid); InvalidNumberLiteral 0..4)\n4..4 Eof\n"},
      {"1.foo", "0..5 Unknown(Number(1, Invalid); InvalidNumberLiteral 0..5)\n5..5 Eof\n"},
      {"12abc", "0..5 Unknown(Number(12, Invalid); InvalidNumberLiteral 0..5)\n5..5 Eof\n"},
      {"3px", "0..3 Unknown(Number(3, Invalid); InvalidNumberLiteral 0..3)\n3..3 Eof\n"},
      {"1..5", "0..1 Ordinal(1)\n1..3 Operator(..)\n3..4 Ordinal(5)\n4..4 Eof\n"},
      {"1.e5", "0..1 Ordinal(1)\n1..2 Operator(.)\n2..4 Identifier(e5)\n4..4 Eof\n"},
      {"1.5e", "0..3 Number(1.5, Decimal \"1.5\")\n3..4 Identifier(e)\n4..4 Eof\n"},
      {"1.2.3", "0..3 Number(1.2, Decimal \"1.2\")\n3..4 Operator(.)\n4..5 Ordinal(3)\n5..5 Eof\n"},
      {"1.5_e1_0", "0..8 Number(15000000000, Decimal \"1.5_e1_0\")\n8..8 Eof\n"},
      {"1._", "0..3 Unknown(Number(1, Invalid); InvalidNumberLiteralUnderscore 0..3)\n3..3 Eof\n"},
      {"9007199254740993", "0..16 Number(9007199254740992, Decimal \"9007199254740993\")\n16..16 Eof\n"},
      {"0x1F 0X1f", "0..4 Number(31, Hexadecimal 31)\n5..9 Number(31, Hexadecimal 31)\n9..9 Eof\n"},
      {"0o17", "0..4 Number(15, Octal 15)\n4..4 Eof\n"},
      {"0b101", "0..5 Number(5, Binary 5)\n5..5 Eof\n"},
      {"0x_1", "0..4 Number(1, Hexadecimal 1)\n4..4 Eof\n"},
      {"0x1_", "0..4 Unknown(Number(1, Hexadecimal 1); InvalidNumberLiteralUnderscore 0..4)\n4..4 Eof\n"},
      {"0x", "0..2 Unknown(Number(18446744073709551616, Hexadecimal 18446744073709551615); InvalidNumberLiteral 0..2)\n2..2 Eof\n"},
      {"0b102", "0..5 Unknown(Number(2, Binary 2); InvalidNumberLiteral 0..5)\n5..5 Eof\n"},
      {"0x10000000000000000",
       "0..19 Unknown(Number(18446744073709551616, Hexadecimal 18446744073709551615); OverflowIntegerLiteral 0..19)\n19..19 Eof\n"},
      {"0xFFFFFFFFFFFFFFFF", "0..18 Number(18446744073709551616, Hexadecimal 18446744073709551615)\n18..18 Eof\n"},
      {"0x20000000000001", "0..16 Number(9007199254740992, Hexadecimal 9007199254740993)\n16..16 Eof\n"},
      {"0x1.5", "0..3 Number(1, Hexadecimal 1)\n3..4 Operator(.)\n4..5 Ordinal(5)\n5..5 Eof\n"},
      {"a.0", "0..1 Identifier(a)\n1..2 Operator(.)\n2..3 Ordinal(0)\n3..3 Eof\n"},
      {"a.01", "0..1 Identifier(a)\n1..2 Operator(.)\n2..4 Unknown(Ordinal(1); InvalidOrdinalLiteral 2..4)\n4..4 Eof\n"},
      {"a.1_0", "0..1 Identifier(a)\n1..2 Operator(.)\n2..5 Unknown(Ordinal(10); InvalidOrdinalLiteral 2..5)\n5..5 Eof\n"},
      {"a.10_",
       "0..1 Identifier(a)\n1..2 Operator(.)\n"
       "2..5 Unknown(Unknown(Ordinal(10); InvalidOrdinalLiteral 2..5); InvalidNumberLiteralUnderscore 2..5)\n5..5 Eof\n"},
      {"a.1e5", "0..1 Identifier(a)\n1..2 Operator(.)\n2..5 Unknown(Ordinal(15); InvalidNumberLiteral 2..5)\n5..5 Eof\n"},
      {"a.3000000000",
       "0..1 Identifier(a)\n1..2 Operator(.)\n2..12 Unknown(Ordinal(2147483647); InvalidOrdinalLiteral 2..12)\n12..12 Eof\n"},
      {"a.0x1",
       "0..1 Identifier(a)\n1..2 Operator(.)\n"
       "2..5 Unknown(Unknown(Ordinal(1); InvalidOrdinalLiteral 2..5); InvalidNumberLiteral 2..5)\n5..5 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(Numeric, CorrectlyRounded) {
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"0.1", 0.1},
      {"123456789012345678901234567890", 123456789012345678901234567890.0},
      {"2.2250738585072011e-308", 2.2250738585072011e-308},
      {"1.7976931348623157e308", 1.7976931348623157e308},
      {"4.9e-324", 4.9e-324},
      {"0.000000000000000000000000000000000000000000000000000000001e57", 1.0},
      {"0e99999999999999999999", 0.0},
  };
  for (const auto& c : cases) {
    auto v = numeric::parse_decimal(c.text);
    ASSERT_TRUE(v) << c.text;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*v), std::bit_cast<std::uint64_t>(c.value)) << c.text;
  }
  EXPECT_EQ(numeric::parse_decimal("1.8e308"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(numeric::parse_decimal("1e99999999999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(numeric::parse_decimal("0.0001e-99999999999"), 0.0);
  for (const char* bad : {"", "1e", "1e+", ".5", "1.5.5", "1e5e5", "+1", "1 ", "inf", "nan", "0x10"}) {
    EXPECT_FALSE(numeric::parse_decimal(bad)) << bad;
  }
}

// Short literals take an exact shortcut; every literal must give the
// correctly rounded double of the library conversion, on both sides of the
// shortcut's bounds (19 digits, 2^53, powers of ten up to 22).
TEST(Numeric, DecimalConversionIsCorrectlyRounded) {
  std::mt19937_64 rng(11);
  auto digits = [&](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
    return s;
  };
  std::vector<std::string> texts = {"9007199254740992", "9007199254740993", "9007199254740993e1", "1e22",
                                    "1e23",             "1e-22",            "1e-23",              "0.1",
                                    "1234567890123456789", "12345678901234567890", "0.0000000000000000000001"};
  for (int i = 0; i < 20000; ++i) {
    std::string t = digits(1 + rng() % 12);
    if (rng() % 2) t += "." + digits(rng() % 12);
    if (rng() % 2) t += (rng() % 2 ? "e-" : "e") + std::to_string(rng() % 40);
    texts.push_back(std::move(t));
  }
  for (const auto& t : texts) {
    double expected = 0.0;
    auto res = std::from_chars(t.data(), t.data() + t.size(), expected, std::chars_format::general);
    ASSERT_EQ(res.ec, std::errc()) << t;
    auto v = numeric::parse_decimal(t);
    ASSERT_TRUE(v) << t;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*v), std::bit_cast<std::uint64_t>(expected)) << t;
  }
}

TEST(Numeric, ConversionIgnoresTheLocale) {
  // A host may switch the C locale to one with a decimal comma.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE locale";
  auto tokens = testing::lex_script("1.5");
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(tokens[0], TokenKind(TokenKind::Number{1.5, {}}));
}

TEST(Numeric, ParsePart) {
  auto is_dec = [](unsigned char c) { return c >= '0' && c <= '9'; };
  auto p = numeric::parse_part("", 16, [](unsigned char c) { return std::isxdigit(c) != 0; });
  EXPECT_TRUE(p.has_invalid_char);
  EXPECT_EQ(p.number, std::numeric_limits<std::uint64_t>::max());
  p = numeric::parse_part("18446744073709551616", 10, is_dec);
  EXPECT_TRUE(p.integer_overflow);
  EXPECT_FALSE(p.is_valid_ordinal);
  EXPECT_EQ(p.ordinal, 2147483647);
  p = numeric::parse_part("_12", 10, is_dec);
  EXPECT_TRUE(p.has_leading_underscore);
  EXPECT_EQ(p.number, 12u);
  p = numeric::parse_part("0", 10, is_dec);
  EXPECT_TRUE(p.is_valid_ordinal);
}

TEST(Numeric, EqualityAcrossSpellings) {
  auto tokens = testing::lex_script("1.0 1e0 0x1 1");
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens[0], tokens[1]);
  EXPECT_EQ(tokens[0], tokens[2]);
  EXPECT_NE(tokens[0], tokens[3]);
}

}  // namespace
}  // namespace vaxo_core::lexer
