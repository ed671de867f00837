#include "core/lexer/token.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace vaxo_core::lexer {
namespace {

using K = TokenKind;

TEST(Vocabulary, KeywordFromStr) {
  EXPECT_EQ(keyword_from_str("_"), Keyword::Underscore);
  EXPECT_EQ(keyword_from_str("true"), Keyword::True);
  EXPECT_EQ(keyword_from_str("resume"), Keyword::Resume);
  for (std::string_view s : {"True", "NIL", "if ", "", "__", "i", "continues"}) {
    EXPECT_FALSE(keyword_from_str(s)) << s;
  }
  // Zero bytes pad the packed words: a text holding some still needs its length to match.
  using namespace std::string_view_literals;
  for (std::string_view s : {"in\0"sv, "\0"sv, "nil\0\0"sv, "return\0\0"sv}) EXPECT_FALSE(keyword_from_str(s)) << s.size();
  for (std::size_t i = 0; i < kKeywordCount; ++i) {
    auto k = static_cast<Keyword>(i);
    EXPECT_EQ(keyword_from_str(text(k)), k);
  }
}

TEST(Vocabulary, KeywordProperties) {
  EXPECT_TRUE(is_constant(Keyword::Nan));
  EXPECT_TRUE(is_constant(Keyword::Inf));
  EXPECT_FALSE(is_constant(Keyword::Global));
  for (auto k : {Keyword::Fn, Keyword::Let, Keyword::Const, Keyword::Mut}) EXPECT_FALSE(is_reserved(k));
  EXPECT_TRUE(is_reserved(Keyword::Op));
  EXPECT_EQ(get_bool(Keyword::Return, "control"), std::optional<bool>(true));
  EXPECT_EQ(get_bool(Keyword::Nan, "numeric"), std::optional<bool>(true));
  EXPECT_EQ(get_bool(Keyword::True, "constant"), std::optional<bool>(true));
  EXPECT_EQ(get_bool(Keyword::Fn, "constant"), std::nullopt);
  EXPECT_EQ(get_bool(Keyword::True, "bogus"), std::nullopt);
}

TEST(Vocabulary, OperatorProperties) {
  EXPECT_TRUE(is_relation(Operator::TildeEqual));
  EXPECT_TRUE(is_relation(Operator::LessEqual));
  EXPECT_FALSE(is_relation(Operator::Assign));
  EXPECT_TRUE(is_compound(Operator::NullCoalescingAssign));
  EXPECT_FALSE(is_compound(Operator::Assign));
  EXPECT_FALSE(is_equality(Operator::TildeEqual));
  EXPECT_EQ(get_bool(Operator::LogicalAnd, "infix"), std::optional<bool>(true));
  EXPECT_EQ(get_bool(Operator::LogicalAndAssign, "infix"), std::nullopt);
  EXPECT_EQ(get_bool(Operator::Assign, "compound"), std::nullopt);
  EXPECT_EQ(get_bool(Operator::Exclamation, "postfix"), std::optional<bool>(true));
  EXPECT_EQ(get_bool(Operator::NullCoalescing, "null_coalescing"), std::optional<bool>(true));
  EXPECT_EQ(text(Operator::Unknown), "");
  EXPECT_EQ(text(Operator::HalfOpenRange), "..<");
  EXPECT_EQ(text(Operator::NullCoalescingAssign), "?\?=");
}

// The named predicates are get_bool of their names, absent read as false,
// for every row.
TEST(Vocabulary, PredicatesAreGetBoolOfTheirNames) {
  for (std::size_t i = 0; i < kKeywordCount; ++i) {
    const auto k = static_cast<Keyword>(i);
    SCOPED_TRACE(text(k));
    EXPECT_EQ(is_constant(k), get_bool(k, "constant").value_or(false));
    EXPECT_EQ(is_reserved(k), get_bool(k, "reserved").value_or(false));
  }
  for (std::size_t i = 0; i < kOperatorCount; ++i) {
    const auto o = static_cast<Operator>(i);
    SCOPED_TRACE(text(o));
    EXPECT_EQ(is_arithmetic(o), get_bool(o, "arithmetic").value_or(false));
    EXPECT_EQ(is_logical(o), get_bool(o, "logical").value_or(false));
    EXPECT_EQ(is_equality(o), get_bool(o, "equality").value_or(false));
    EXPECT_EQ(is_comparison(o), get_bool(o, "comparison").value_or(false));
    EXPECT_EQ(is_compound(o), get_bool(o, "compound").value_or(false));
  }
}

TEST(TokenModel, EachKindHasItsOwnTag) {
  EXPECT_EQ(K(K::Eof{}).tag(), K::Tag::Eof);
  EXPECT_EQ(K(K::Identifier{"a"}).tag(), K::Tag::Identifier);
  EXPECT_EQ(K(K::Operator{Operator::Dot}).tag(), K::Tag::Operator);
  EXPECT_EQ(K(Keyword::If).tag(), K::Tag::Keyword);
  EXPECT_EQ(K(K::Empty{}).tag(), K::Tag::Empty);
  EXPECT_EQ(K::unknown(K::Empty{}, {0, 1}, DiagnosticCode::UnknownToken).tag(), K::Tag::Unknown);
}

TEST(TokenModel, Equality) {
  auto num = [](double v) { return K(K::Number{v, {}}); };
  EXPECT_EQ(num(1.0), num(1.0));
  EXPECT_NE(num(1.0), K(K::Ordinal{1}));
  EXPECT_NE(num(0.0), num(-0.0));
  double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(num(nan), num(nan));
  EXPECT_EQ(K(K::String{CowText("ab"), {}}), K(K::String{CowText::owned("ab"), {}}));
  auto u1 = K::unknown(K::Ordinal{5}, {0, 1}, DiagnosticCode::InvalidOrdinalLiteral);
  auto u2 = K::unknown(K::Ordinal{5}, {3, 4}, DiagnosticCode::InvalidNumberLiteral);
  EXPECT_EQ(u1, u2);
  EXPECT_NE(u1, K(K::Ordinal{5}));
  EXPECT_EQ(Token::make(Keyword::If, {0, 2}), Token::make(Keyword::If, {7, 9}));
  EXPECT_EQ(Token::make(Keyword::If, {0, 2}), Keyword::If);
  EXPECT_NE(Token::unknown({0, 2}, Keyword::If, DiagnosticCode::UnexpectedToken), Keyword::If);
  EXPECT_NE(K(K::Identifier{"if"}), Keyword::If);
  EXPECT_EQ(K(Operator::Comma), Operator::Comma);
  EXPECT_EQ(K(K::Eof{}), K(K::Eof{}));

  K::InterpolatedString a;
  a.add_part(CowText("x"), {Token::make(K::Identifier{"b"}, {1, 2})}, "f");
  a.add_part(CowText(""), {}, {});
  K::InterpolatedString b = a;
  EXPECT_EQ(K(a), K(b));
  b.parts[0].format = "g";
  EXPECT_NE(K(a), K(b));
}

// Interpolated strings compare part by part (text, tokens, format), not by
// how their one token list happens to be cut, and a copy owns its tokens.
TEST(TokenModel, InterpolatedStringsCompareByPart) {
  using Run = std::vector<Token>;
  const auto id = [](std::string_view name) { return Token::make(K::Identifier{name}, {0, 1}); };
  const auto make = [](std::vector<std::tuple<std::string_view, Run, std::string_view>> parts) {
    K::InterpolatedString s;
    for (auto& [text, run, format] : parts) s.add_part(CowText(text), std::move(run), format);
    return s;
  };
  const K::InterpolatedString base = make({{"x", {id("b")}, "f"}, {"y", {id("c")}, ""}, {"", {}, ""}});
  struct Case {
    const char* name;
    K::InterpolatedString other;
    bool equal;
  };
  const Case cases[] = {
      {"same parts", make({{"x", {id("b")}, "f"}, {"y", {id("c")}, ""}, {"", {}, ""}}), true},
      {"same tokens cut elsewhere", make({{"x", {id("b"), id("c")}, "f"}, {"y", {}, ""}, {"", {}, ""}}), false},
      {"other token", make({{"x", {id("b")}, "f"}, {"y", {id("d")}, ""}, {"", {}, ""}}), false},
      {"other text", make({{"x", {id("b")}, "f"}, {"z", {id("c")}, ""}, {"", {}, ""}}), false},
      {"other format", make({{"x", {id("b")}, ""}, {"y", {id("c")}, ""}, {"", {}, ""}}), false},
      {"fewer parts", make({{"x", {id("b")}, "f"}, {"y", {id("c")}, ""}}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(K(base) == K(c.other), c.equal);
    EXPECT_EQ(K(c.other) == K(base), c.equal);
  }

  K copy(base);
  auto* s = copy.get_if<K::InterpolatedString>();
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->tokens.size(), 2u);
  EXPECT_NE(s->tokens.data(), base.tokens.data());
  EXPECT_EQ(copy, K(base));
  s->tokens_of(s->parts[1])[0] = id("e");
  EXPECT_NE(copy, K(base));
  EXPECT_EQ(base.tokens[1], id("c"));
}

TEST(TokenModel, Predicates) {
  EXPECT_TRUE(K(Keyword::Inf).is_number_literal());
  EXPECT_FALSE(K(Keyword::Nan).is_number_literal());
  EXPECT_TRUE(K(Keyword::Nan).is_number_nan_literal());
  EXPECT_TRUE(K(Keyword::Inf).is_number_nan_literal());
  EXPECT_FALSE(K(Keyword::Inf).is_finite_number_literal());
  EXPECT_TRUE(K(K::Number{std::numeric_limits<double>::infinity(), {}}).is_finite_number_literal());
  EXPECT_TRUE(K(Keyword::False).is_boolean_literal());
  EXPECT_FALSE(K(Keyword::Nil).is_boolean_literal());
  EXPECT_FALSE(K::unknown(K::Ordinal{1}, {0, 1}, DiagnosticCode::InvalidOrdinalLiteral).is_number_literal());
  EXPECT_FALSE(K(K::InterpolatedString{}).is_string());
}

TEST(TokenModel, Names) {
  EXPECT_EQ(K(K::Identifier{"ab"}).to_id_name(), std::optional<std::string_view>("ab"));
  EXPECT_FALSE(K(Keyword::If).to_id_name());
  auto f = K(K::Ordinal{0}).to_field_name();
  ASSERT_TRUE(f);
  EXPECT_EQ(f->code, DiagnosticCode::RecordFieldOrdinalName);
  EXPECT_EQ(f->name, "0");
  EXPECT_EQ(K(K::Ordinal{-12}).to_field_name()->name, "-12");
  f = K(Keyword::If).to_field_name();
  EXPECT_EQ(f->code, DiagnosticCode::RecordFieldIdName);
  EXPECT_EQ(f->name, "if");
  f = K(K::String{CowText("k"), {}}).to_field_name();
  EXPECT_EQ(f->code, DiagnosticCode::RecordFieldStringName);
  EXPECT_FALSE(K(K::Number{1.0, {}}).to_field_name());
  EXPECT_FALSE(K(K::InterpolatedString{}).to_field_name());
  EXPECT_FALSE(K::unknown(K::Identifier{"a"}, {0, 1}, DiagnosticCode::UnknownToken).to_field_name());
}

TEST(TokenModel, TextForm) {
  struct Case {
    K kind;
    std::string text;
  };
  K::InterpolatedString is;
  is.add_part(CowText("a "), {Token::make(K::Identifier{"x"}, {0, 1}), Token::make(Operator::Plus, {0, 1})}, "08");
  is.add_part(CowText("!"), {}, "");
  const Case cases[] = {
      {K::Eof{}, "\u2403"},
      {K::Empty{}, ""},
      {K::unknown(K::Ordinal{1}, {0, 1}, DiagnosticCode::InvalidOrdinalLiteral), "<?1>"},
      {K::unknown(K::unknown(K::Ordinal{1}, {0, 1}, DiagnosticCode::InvalidOrdinalLiteral), {0, 1},
                  DiagnosticCode::InvalidNumberLiteral),
       "<?<?1>>"},
      {K::Number{1.5, {}}, "1.5"},
      {K::Number{1e21, {}}, "1000000000000000000000"},
      {K::Number{100.0, {}}, "100"},
      {K::Number{std::numeric_limits<double>::infinity(), {}}, "inf"},
      {K::Number{std::numeric_limits<double>::quiet_NaN(), {}}, "NaN"},
      {K::String{CowText("a\"'\\\t\r\n"), {}}, "\"a\\\"\\'\\\\\\t\\r\\n\""},
      {K::String{CowText(std::string_view("\0\x01", 2)), {}}, "\"\\0\\u{1}\""},
      {K::String{CowText("\xcc\x81" "a\xcc\x81"), {}}, "\"\\u{301}a\xcc\x81\""},
      {is, "\"a $(x+:08)!\""},
      {Keyword::Underscore, "_"},
      {Operator::QuestionColon, "?:"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.kind.to_string(), c.text);
}

TEST(TokenModel, WrapAsUnknownNests) {
  auto t = Token::unknown({1, 3}, K(K::Ordinal{5}), DiagnosticCode::InvalidOrdinalLiteral);
  Token::wrap_as_unknown(t, DiagnosticCode::UnexpectedToken);
  EXPECT_EQ(t.range, (ByteRange{1, 3}));
  auto* outer = t->get_if<K::Unknown>();
  ASSERT_TRUE(outer);
  ASSERT_EQ(outer->errors.size(), 1u);
  EXPECT_EQ(outer->errors[0].error, DiagnosticCode::UnexpectedToken);
  EXPECT_EQ(outer->errors[0].range, (ByteRange{1, 3}));
  auto* inner = outer->recovered->get_if<K::Unknown>();
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->errors[0].error, DiagnosticCode::InvalidOrdinalLiteral);
  EXPECT_EQ(*inner->recovered, K(K::Ordinal{5}));

  // Tokens are deep-copied values.
  Token copy = t;
  Token::wrap_as_unknown(copy, DiagnosticCode::UnknownToken);
  EXPECT_EQ(t->get_if<K::Unknown>()->errors[0].error, DiagnosticCode::UnexpectedToken);
  auto e = Token::empty(4);
  EXPECT_TRUE(e->is_empty());
  EXPECT_EQ(e.range, (ByteRange{4, 4}));
  EXPECT_EQ(e.current_token_start(), 4u);
}

TEST(TokenModel, NumberInfoKeepsEveryKindAndValue) {
  // Short texts and small values fold into the tag word; the rest is boxed.
  // Either way the value and the info survive copies and moves.
  const std::string_view text = "1_000.5e3";
  const std::string long_text(64, '1');
  constexpr std::uint64_t kFoldLimit = std::uint64_t{1} << 53;
  const NumberInfo cases[] = {
      {NumberInfo::Invalid{}},         {NumberInfo::Decimal{text}},        {NumberInfo::Decimal{""}},
      {NumberInfo::Hexadecimal{~0ull}}, {NumberInfo::Octal{1ull << 63}},    {NumberInfo::Binary{0}},
      {NumberInfo::Hexadecimal{0}},     {NumberInfo::Octal{kFoldLimit - 1}}, {NumberInfo::Binary{kFoldLimit}},
      {NumberInfo::Decimal{std::string_view(long_text).substr(1)}},         {NumberInfo::Decimal{long_text}},
  };
  const auto expect_info = [](const NumberInfo& got, const NumberInfo& want) {
    ASSERT_EQ(got.value.index(), want.value.index());
    std::visit(
        [&](const auto& w) {
          using T = std::decay_t<decltype(w)>;
          const auto& have = std::get<T>(got.value);
          if constexpr (std::is_same_v<T, NumberInfo::Decimal>) {
            EXPECT_EQ(have.text.data(), w.text.data());
            EXPECT_EQ(have.text.size(), w.text.size());
          } else if constexpr (!std::is_same_v<T, NumberInfo::Invalid>) {
            EXPECT_EQ(have.value, w.value);
          }
        },
        want.value);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.index());
    K kind = K::Number{-1.5, c};
    expect_info(kind.number_info(), c);
    const K copy = kind;
    expect_info(copy.number_info(), c);
    ASSERT_NE(copy.get_if<K::Number>(), nullptr);
    EXPECT_EQ(copy.get_if<K::Number>()->value, -1.5);
    const K moved = std::move(kind);
    expect_info(moved.number_info(), c);
    EXPECT_EQ(moved.get_if<K::Number>()->value, -1.5);
    EXPECT_TRUE(kind.is_number());
    EXPECT_EQ(kind.get_if<K::Number>(), nullptr);  // NOLINT: moved from on purpose
    EXPECT_EQ(kind.number_info().value.index(), 0u);
  }
  EXPECT_EQ(K(Operator::Plus).number_info().value.index(), 0u);
}

TEST(TokenModel, OwnedTextsCopyDeeplyAndStayOwned) {
  const std::string_view borrowed_from = "abc";
  const CowText texts[] = {CowText(borrowed_from), CowText::owned("abc"), CowText::owned(""), CowText()};
  for (const auto& t : texts) {
    SCOPED_TRACE(t.view());
    CowText copy = t;
    EXPECT_EQ(copy, t);
    EXPECT_EQ(copy.is_owned(), t.is_owned());
    EXPECT_EQ(copy.size(), t.size());
    // An owned copy has bytes of its own; a borrowed one shares the source.
    if (t.is_owned()) {
      EXPECT_NE(copy.view().data(), t.view().data());
    } else {
      EXPECT_EQ(copy.view().data(), t.view().data());
    }
    CowText moved = std::move(copy);
    EXPECT_EQ(moved, t);
    EXPECT_EQ(moved.is_owned(), t.is_owned());
    EXPECT_FALSE(copy.is_owned());  // NOLINT: a moved-from text is empty
    EXPECT_TRUE(copy.empty());
    copy = moved;
    EXPECT_EQ(copy, t);
  }
}

TEST(TokenModel, CopyMoveAndAssignEveryKind) {
  K::InterpolatedString is;
  is.add_part(CowText::owned("a"), {Token::make(K::Identifier{"b"}, {1, 2})}, "f");
  is.add_part(CowText(""), {}, {});
  const K kinds[] = {K::Eof{}, K::Identifier{"x"}, K::Ordinal{3}, K::Number{2.5, {NumberInfo::Decimal{"2.5"}}},
                     K::String{CowText::owned("s"), Box<StringInfo>(StringInfo{})}, is, Operator::Dot, Keyword::If,
                     K::unknown(K::String{CowText::owned("u"), {}}, {0, 1}, DiagnosticCode::UnterminatedString),
                     K::Empty{}};
  for (const auto& a : kinds) {
    for (const auto& b : kinds) {
      K copy = a;
      EXPECT_EQ(copy, a);
      copy = b;
      EXPECT_EQ(copy, b);
      K moved = std::move(copy);
      EXPECT_EQ(moved, b);
      moved = K(a);
      EXPECT_EQ(moved, a);
    }
  }
  // Assigning a kind from a part of itself (unwrapping a recovery kind).
  K wrapped = K::unknown(K::String{CowText::owned("inner"), {}}, {0, 1}, DiagnosticCode::UnterminatedString);
  wrapped = std::move(*wrapped.get_if<K::Unknown>()->recovered);
  EXPECT_EQ(wrapped, K(K::String{CowText("inner"), {}}));
  K again = K::unknown(K::Ordinal{1}, {0, 1}, DiagnosticCode::InvalidOrdinalLiteral);
  again = *again.get_if<K::Unknown>()->recovered;
  EXPECT_EQ(again, K(K::Ordinal{1}));
  K self = is;
  const K& alias = self;
  self = alias;
  EXPECT_EQ(self, K(is));
}

}  // namespace
}  // namespace vaxo_core::lexer
