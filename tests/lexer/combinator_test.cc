#include "core/lexer/combinator.h"
#include "tests/support/internal_error.h"

#include <gtest/gtest.h>

#include <string>

namespace vaxo_core::lexer {
namespace {

using test_support::internal_error_of;

LexerInput input(std::string_view text) { return LexerInput{text, 0, nullptr, nullptr}; }

auto letter(char32_t c) {
  return one_of([c](char32_t x) { return x == c; });
}

TEST(Combinator, AltTakesFirstSuccessNotLongest) {
  auto in = input("ab");
  auto r = alt(literal("a"), literal("ab"))(in);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, "a");
  EXPECT_EQ(in.position, 1u);
}

TEST(Combinator, AltRestartsEachAlternativeAndLeavesLastPositionOnFailure) {
  auto in = input("abx");
  auto r = alt(take(seq(literal("a"), literal("c"))), take(seq(literal("a"), literal("b"), literal("c"))))(in);
  EXPECT_FALSE(r);
  EXPECT_EQ(in.position, 2u);  // where the last alternative stopped
  in.reset(0);
  auto ok = alt(seq(literal("a"), literal("c")), seq(literal("a"), literal("b")))(in);
  EXPECT_TRUE(ok);
  EXPECT_EQ(in.position, 2u);
}

TEST(Combinator, OptRestoresAfterPartialConsumption) {
  auto in = input("abd");
  auto r = opt(seq(literal("a"), literal("b"), literal("c")))(in);
  ASSERT_TRUE(r);
  EXPECT_FALSE(*r);
  EXPECT_EQ(in.position, 0u);
}

TEST(Combinator, PeekAndNotConsumeNothing) {
  auto in = input("ab");
  EXPECT_TRUE(peek(literal("ab"))(in));
  EXPECT_EQ(in.position, 0u);
  EXPECT_FALSE(not_(literal("a"))(in));
  EXPECT_TRUE(not_(literal("b"))(in));
  EXPECT_EQ(in.position, 0u);
  EXPECT_FALSE(peek(literal("x"))(in));
}

TEST(Combinator, RepeatRanges) {
  struct Case {
    const char* text;
    Range range;
    bool ok;
    std::size_t count;
    std::size_t position;
  };
  const Case cases[] = {
      {"xy", kAny, true, 0, 0},        {"xy", kOneOrMore, false, 0, 0},
      {"aa", between(0, 1), true, 1, 1}, {"aaa", kOneOrMore, true, 3, 3},
      {"aab", exactly(2), true, 2, 2}, {"ab", exactly(2), false, 0, 1},
      {"aaab", at_least(2), true, 3, 3}, {"ab", at_least(2), false, 0, 1},
      {"aaaa", between(1, 3), true, 3, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto in = input(c.text);
    auto r = repeat(c.range, letter('a'))(in);
    EXPECT_EQ(r.has_value(), c.ok);
    if (r) {
      EXPECT_EQ(r->size(), c.count);
    }
    EXPECT_EQ(in.position, c.position);
  }
}

TEST(Combinator, RepeatInvariantsAreInternalErrors) {
  auto empty = [](LexerInput&) -> std::optional<Unit> { return Unit{}; };
  auto in = input("abc");
  EXPECT_TRUE(internal_error_of([&] { repeat(kAny, empty)(in); }).starts_with("`repeat` parsers must always consume"));
  // In 1.. the first element is not checked, the second is.
  int calls = 0;
  auto counting = [&calls](LexerInput&) -> std::optional<Unit> {
    ++calls;
    return Unit{};
  };
  EXPECT_THROW(repeat(kOneOrMore, counting)(in), InternalError);
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(internal_error_of([&] { repeat(between(3, 1), letter('a'))(in); })
                  .starts_with("range should be ascending, rather than descending"));
  EXPECT_TRUE(internal_error_of([&] { take_while(between(3, 1), [](char32_t) { return true; })(in); })
                  .starts_with("`occurrences` should be ascending, rather than descending"));
}

TEST(Combinator, FoldFromTheLeft) {
  auto in = input("123x");
  auto digit = one_of([](char32_t c) { return c >= '0' && c <= '9'; });
  auto r = fold(kAny, digit, [] { return 0; }, [](int acc, char32_t c) { return acc * 10 + int(c - '0'); })(in);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, 123);
}

TEST(Combinator, SeparatedFoldl1GivesBackTrailingSeparator) {
  auto in = input("a,a,");
  auto r = separated_foldl1(map(letter('a'), [](char32_t) { return 1; }), letter(','),
                            [](int acc, char32_t, int x) { return acc + x; })(in);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, 2);
  EXPECT_EQ(in.position, 3u);
  auto in2 = input("b");
  EXPECT_FALSE(separated_foldl1(letter('a'), letter(','), [](char32_t a, char32_t, char32_t) { return a; })(in2));
}

TEST(Combinator, VerifyRestoresOnRejection) {
  auto in = input("ab");
  EXPECT_FALSE(verify(literal("ab"), [](std::string_view s) { return s.size() == 1; })(in));
  EXPECT_EQ(in.position, 0u);
  auto vm = verify_map(literal("ab"), [](std::string_view) -> std::optional<int> { return std::nullopt; });
  EXPECT_FALSE(vm(in));
  EXPECT_EQ(in.position, 0u);
  EXPECT_EQ(*value(literal("a"), 7)(in), 7);
}

TEST(Combinator, Scanners) {
  {
    auto in = input("\f\v\xc2\xa0\r");
    EXPECT_EQ(*space0(in), "");
    EXPECT_EQ(in.position, 0u);
  }
  for (const char* t : {"\r", "\rx"}) {
    auto in = input(t);
    EXPECT_FALSE(line_ending(in));
  }
  struct Case {
    std::string_view text;
    bool ok;
    std::string_view taken;
  };
  const Case lines[] = {{"abc", true, "abc"}, {"abc\r\nx", true, "abc"}, {"abc\nx", true, "abc"},
                        {"abc\rx", false, ""}, {"abc\r", false, ""}};
  for (const auto& c : lines) {
    auto in = input(c.text);
    auto r = till_line_ending(in);
    EXPECT_EQ(r.has_value(), c.ok);
    if (r) {
      EXPECT_EQ(*r, c.taken);
    }
    EXPECT_EQ(in.position, 3u);  // the line's text is consumed either way
  }
  {
    auto in = input("abc");
    EXPECT_FALSE(take_until("*/")(in));
    EXPECT_EQ(in.position, 0u);
  }
  {
    auto in = input("\xc3\xa9=x");
    EXPECT_EQ(*take_n(2)(in), "\xc3\xa9=");
    EXPECT_EQ(in.position, 3u);
    EXPECT_FALSE(take_n(2)(in));
  }
  {
    auto in = input("abc");
    auto r = with_span(opt(literal("x")))(in);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->second, (ByteRange{0, 0}));
    auto t = take(seq(literal("a"), literal("b")))(in);
    EXPECT_EQ(*t, "ab");
    EXPECT_EQ(*span(literal("c"))(in), (ByteRange{2, 3}));
    EXPECT_TRUE(eof(in));
  }
}

std::vector<Token> three_tokens() {
  return {Token::make(Keyword::If, {2, 4}), Token::make(Operator::Colon, {5, 6}), Token::make(TokenKind::Eof{}, {7, 7})};
}

TEST(Combinator, ParserInputPositions) {
  auto tokens = three_tokens();
  ParserInput in(tokens);
  EXPECT_EQ(in.previous_token_end(), 2u);
  EXPECT_EQ(in.current_token_start(), 2u);
  auto colon = one_of([](const Token* t) { return *t == Operator::Colon; });
  EXPECT_FALSE(colon(in));
  auto r = with_taken(seq(any, colon))(in);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->second.size(), 2u);
  EXPECT_EQ(in.previous_token_end(), 6u);
  EXPECT_FALSE(eof(in));  // the Eof token is an ordinary element
  EXPECT_TRUE(any(in));
  EXPECT_TRUE(eof(in));
  ParserInput none;
  EXPECT_EQ(none.previous_token_end(), 0u);

  ParserInput again(tokens);
  auto till = take_till(kOneOrMore, [](const Token* t) { return t->kind.is_eof(); })(again);
  ASSERT_TRUE(till);
  EXPECT_EQ(till->size(), 2u);
}

}  // namespace
}  // namespace vaxo_core::lexer
