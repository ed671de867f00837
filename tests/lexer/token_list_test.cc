// lex_list and lex_string_list read the tokens lex and lex_string read, and
// note every token that may own a payload: the list destroys those alone, so
// a token missing from the notes would leak (the sanitizer build catches it).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/lexer/lexer.h"

namespace vaxo_core::lexer {
namespace {

bool may_own(const Token& t) {
  using Tag = TokenKind::Tag;
  const Tag tag = t.kind.tag();
  return tag == Tag::Number || tag == Tag::String || tag == Tag::InterpolatedString || tag == Tag::Unknown;
}

// The list against the plain lexer's on the same text: same tokens, same
// ranges, and exactly the tokens that may own a payload noted, in order.
void expect_same_as_plain(const std::string& src, bool template_mode) {
  config::Config config;
  auto plain_in = to_input(src, config);
  auto plain = template_mode ? lex_string(plain_in) : lex(plain_in);
  auto list_in = to_input(src, config);
  auto list = template_mode ? lex_string_list(list_in) : lex_list(list_in);
  ASSERT_TRUE(plain.has_value());
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(list_in.position, plain_in.position);
  const auto tokens = list->tokens();
  ASSERT_EQ(tokens.size(), plain->size());
  std::vector<std::size_t> owners;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    ASSERT_EQ(tokens[i], (*plain)[i]) << i;
    ASSERT_EQ(tokens[i].range, (*plain)[i].range) << i;
    if (may_own(tokens[i])) owners.push_back(i);
  }
  const auto noted = list->owners();
  EXPECT_EQ(std::vector<std::size_t>(noted.begin(), noted.end()), owners);
}

TEST(TokenList, NotesEveryTokenThatMayOwnAPayload) {
  const std::string scripts[] = {
      "",
      "let x = a.b + c(1, 2) ;",
      // Recovery tokens of every source, nested ones included, and strings
      // with and without interpolations, errors and owned parts.
      "let x = 0x1G + 1_ + 'a\\q' + \"${ 'b\\z' + $(c:fmt) }\" @'raw'@ ? \xC3\xA9 ~ # \\ & | 'unterminated",
      "a.1_ + a.99999999999 + `x\\n${y}` + \"$(z)\" + 'plain' + '' + @\"\"@ + $w + @name + _n + $$",
      // Numbers: ordinals, folded ones, and ones boxed for a long text or a
      // large value.
      "1 2.5 3e3 0x10 0b101 0o17 1_000 007 1e999 0x20000000000000 " + std::string(70, '9') + ".5 9007199254740993",
      // Keywords retyped before `:` and `?:`, after a token of the full scanner.
      "(@a: if, 'k': let, 1.5 ?: while) \r\n x \r y // c\n /* d */ z",
  };
  for (const std::string& src : scripts) {
    SCOPED_TRACE(src);
    expect_same_as_plain(src, false);
  }
  for (const char* tpl : {"", "plain text", "a ${b} $(c:f) \\q $d", "${'${1__}'}"}) {
    SCOPED_TRACE(tpl);
    expect_same_as_plain(tpl, true);
  }
}

TEST(TokenList, NotesSurviveTheListGrowing) {
  // Far past the sample the list is first reserved for, so that it moves.
  std::string src;
  for (int i = 0; i < 6000; ++i) src += "let a = 'x\\q' + 1e999 + @b + 0x20000000000000 + # + `${c}`;\n";
  expect_same_as_plain(src, false);
}

TEST(TokenList, FailureReleasesTheTokensReadSoFar) {
  std::string deep;
  for (int i = 0; i < 6000; ++i) deep += "'${";
  const std::string src = "'a\\q' 1e999 # 'b' `${c}` " + std::string(70, '9') + ".5 " + deep;
  config::Config config;
  auto in = to_input(src, config);
  EXPECT_FALSE(lex_list(in).has_value());
  const std::string tpl = "x \\q ${'y'} " + deep;
  auto tpl_in = to_input(tpl, config);
  EXPECT_FALSE(lex_string_list(tpl_in).has_value());
}

}  // namespace
}  // namespace vaxo_core::lexer
