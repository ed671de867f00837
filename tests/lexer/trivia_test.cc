// The token loop and trivia: comments and line endings vanish, nothing else.
#include <gtest/gtest.h>

#include "core/lexer/lexer.h"
#include "core/lexer/scanner.h"
#include "core/lexer/trivia.h"

#include <functional>
#include <random>
#include "tests/lexer/support/lex_cases.h"

namespace vaxo_core::lexer {
namespace {

using testing::LexCase;

TEST(TokenLoop, TriviaAreDropped) {
  const LexCase cases[] = {
      {"", "0..0 Eof\n"},
      {" \t// c\n/* b */\r\n  \n", "19..19 Eof\n"},
      {"a // note", "0..1 Identifier(a)\n9..9 Eof\n"},
      {"a\r\n\r\n\nb", "0..1 Identifier(a)\n6..7 Identifier(b)\n7..7 Eof\n"},
      {"a /* x */ b", "0..1 Identifier(a)\n10..11 Identifier(b)\n11..11 Eof\n"},
      {"a /* x */ // y\nb", "0..1 Identifier(a)\n15..16 Identifier(b)\n16..16 Eof\n"},
      // Block comments do not nest.
      {"/* a /* b */ c */", "13..14 Identifier(c)\n15..16 Operator(*)\n16..17 Operator(/)\n17..17 Eof\n"},
      // "*/" is searched after the opening "/*".
      {"/*/ x", "5..5 Eof\n"},
      {"/**/x", "4..5 Identifier(x)\n5..5 Eof\n"},
      {"x /* never closed", "0..1 Identifier(x)\n17..17 Eof\n"},
      // A lone CR stops a line comment from being one.
      {"// a\rb",
       "0..1 Operator(/)\n1..2 Operator(/)\n3..4 Identifier(a)\n"
       "4..5 Unknown(Empty; UnknownToken 4..5)\n5..6 Identifier(b)\n6..6 Eof\n"},
      {"// a\r", "0..1 Operator(/)\n1..2 Operator(/)\n3..4 Identifier(a)\n4..5 Unknown(Empty; UnknownToken 4..5)\n5..5 Eof\n"},
      {"// a\r\nb", "6..7 Identifier(b)\n7..7 Eof\n"},
      // CR alone, FF and VT are neither blanks nor line endings.
      {"a\rb\x0c\x0b",
       "0..1 Identifier(a)\n1..2 Unknown(Empty; UnknownToken 1..2)\n2..3 Identifier(b)\n"
       "3..4 Unknown(Empty; UnknownToken 3..4)\n4..5 Unknown(Empty; UnknownToken 4..5)\n5..5 Eof\n"},
  };
  testing::expect_lex_cases(cases);
}

TEST(TokenLoop, NoTriviaKept) {
  // Trivia fields are empty types: nothing can be stored in them.
  static_assert(std::is_empty_v<LeadingTrivia> && std::is_empty_v<TailingTrivia>);
  auto tokens = testing::lex_script("/* a */ x // b\n y");
  ASSERT_EQ(tokens.size(), 3u);
}

// The loop of `${`: the `}` that balances the brace ends the list, and the
// trivia after it stay unread; without that `}` the list runs to `Eof`.
TEST(TokenLoop, StopRuleEndsTheListAndLeavesTheTriviaAfterIt) {
  struct Case {
    std::string_view src;
    std::size_t tokens;    // in the list
    std::size_t position;  // where the loop leaves the input
    bool eof;              // whether the list ends with `Eof`
  };
  const Case cases[] = {
      {"{a {b} } // c\nd", 6, 8, false},
      {"{a} {b}", 3, 3, false},
      {"{a // c\n", 3, 8, true},
      {"{", 2, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.src);
    config::Config config;
    auto in = to_input(c.src, config);
    std::vector<Token> list;
    scanner::BraceRule rule;
    ASSERT_TRUE(scanner::scan_tokens(in, list, rule));
    EXPECT_EQ(list.size(), c.tokens);
    EXPECT_EQ(in.position, c.position);
    EXPECT_EQ(list.back().kind.is_eof(), c.eof);
  }
}

TEST(TokenLoop, LongRunsOfFailedLineCommentsStayLinear) {
  // Each `/` retries a line comment up to the lone CR; a cached search keeps
  // this linear (a naive scan takes minutes here).
  std::string src(200'000, '/');
  src += "\rx";
  auto tokens = testing::lex_script(src);
  EXPECT_EQ(tokens.size(), 200'000u + 3);
}

// The trivia runs written with the toolkit, exactly as specified; the
// lexer's hand-written runs must stop at the same places.
std::optional<Unit> reference_leading(LexerInput& in) {
  return repeat_void(kAny, alt(trivia::line_comment, trivia::block_comment, trivia::new_line))(in);
}
std::optional<Unit> reference_tailing(LexerInput& in) {
  auto comment_or_line = alt(trivia::line_comment, trivia::new_line);
  return alt(void_(seq(repeat_void(kOneOrMore, trivia::block_comment), comment_or_line)),
             repeat_void(between(0, 1), comment_or_line))(in);
}

void expect_same_trivia(std::string_view text) {
  for (std::size_t start = 0; start <= text.size(); ++start) {
    LexerInput a{text, start}, b{text, start}, c{text, start}, d{text, start};
    trivia::leading_trivia(a);
    reference_leading(b);
    trivia::tailing_trivia(c);
    reference_tailing(d);
    ASSERT_EQ(a.position, b.position) << "leading, \"" << debug_escape(text) << "\" from " << start;
    ASSERT_EQ(c.position, d.position) << "tailing, \"" << debug_escape(text) << "\" from " << start;
    // The token loop's one-pass skip between tokens stops where the blanks,
    // the tailing run, the leading run and the blanks before the next token
    // stop, and where the leading run alone and those blanks stop.
    LexerInput e{text, start}, f{text, start}, g{text, start};
    space0(e);
    trivia::skip_trivia(e);
    space0(f);
    reference_tailing(f);
    reference_leading(f);
    space0(f);
    reference_leading(g);
    space0(g);
    ASSERT_EQ(e.position, f.position) << "between tokens, \"" << debug_escape(text) << "\" from " << start;
    ASSERT_EQ(e.position, g.position) << "leading only, \"" << debug_escape(text) << "\" from " << start;
  }
}

TEST(Trivia, HandWrittenRunsMatchTheToolkitForms) {
  const std::string alphabet = " \t/*\n\ra";
  // Every text of up to five characters over the alphabet...
  std::string text;
  std::function<void(std::size_t)> all = [&](std::size_t len) {
    expect_same_trivia(text);
    if (len == 0) return;
    for (char ch : alphabet) {
      text.push_back(ch);
      all(len - 1);
      text.pop_back();
    }
  };
  all(5);
  // ...and longer random ones.
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) {
    std::string t(rng() % 40, ' ');
    for (char& ch : t) ch = alphabet[rng() % alphabet.size()];
    expect_same_trivia(t);
  }
}

}  // namespace
}  // namespace vaxo_core::lexer
