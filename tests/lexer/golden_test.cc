// Golden files, lexer invariants over hostile input, and nesting bounds.
//
// tests/data/lexer/{ok,err}/NAME.src (script) or NAME.tpl (template) lex to
// NAME.expected, the token dump; the harness is tests/support/golden.h. The
// diagnostics checked are those the Unknown tokens carry, nested ones too;
// a script's tokens must tile its text, leaving only trivia between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>

#include "tests/lexer/support/lex_cases.h"
#include "tests/support/golden.h"
#include "tests/support/on_thread.h"

namespace vaxo_core::lexer {
namespace {

void gather_errors(std::span<const Token> tokens, std::vector<SourceDiagnostic>& out) {
  for (const auto& t : tokens) {
    const TokenKind* k = &t.kind;
    while (const auto* u = k->get_if<TokenKind::Unknown>()) {
      out.insert(out.end(), u->errors.begin(), u->errors.end());
      k = u->recovered.get();
    }
    if (const auto* is = k->get_if<TokenKind::InterpolatedString>()) {
      for (const auto& part : is->parts) gather_errors(is->tokens_of(part), out);
    }
  }
}

// Empty when every byte of a script lies in a token or in a gap that lexes,
// on its own, to nothing but Eof (whitespace and comments).
std::string check_tiling(std::string_view text, const std::vector<Token>& tokens) {
  std::size_t covered = 0;
  for (const auto& t : tokens) {
    if (t.range.start > covered) {
      std::string_view gap = text.substr(covered, t.range.start - covered);
      config::Config config;
      auto in = to_input(gap, config);
      auto again = lex(in);
      if (!again || again->size() != 1) {
        return "bytes " + std::to_string(covered) + ".." + std::to_string(t.range.start) + " are neither token nor trivia";
      }
    }
    covered = std::max(covered, t.range.end);
  }
  return covered == text.size() ? std::string() : "the tokens stop before the end of the text";
}

golden::Output lex_golden(const golden::Case& c) {
  const bool template_mode = c.mode == config::InputMode::Template;
  config::Config config;
  auto in = to_input(c.text, config);
  auto tokens = template_mode ? lex_string(in) : lex(in);
  if (!tokens) return {"FAILED\n", {}, "the lexer gave up"};
  golden::Output out;
  out.dump = testing::dump_tokens(*tokens);
  gather_errors(*tokens, out.diagnostics);
  out.fault = testing::check_invariants(c.text, *tokens, template_mode);
  if (out.fault.empty() && !template_mode) out.fault = check_tiling(c.text, *tokens);
  return out;
}

TEST(Golden, Files) { EXPECT_GE(golden::run("lexer", lex_golden), 4u); }

TEST(Robustness, HostileInputsKeepTheInvariants) {
  const std::string_view inputs[] = {
      std::string_view("\0", 1), "\r", "\x0c", "\xef\xbb\xbf", "e\xcc\x81", "\xf0\x9f\x98\x80",
      "'abc", "'\\", "\\", "0x", "1e", "1e+", "'${'${'${", "'$('$('$(", "@", "@@@'", "@'", "'$(x:",
      "'$(x:\\", "$", "${", "'${}'", "/*", "//", "/", "'\\u{", "'\\u{1", "'\\x4", "`", "\"", ".", "..",
      "a.", "a.1_", "0b", "0o8", "9999999999999999999999999999999", "'$(:)'", "'$({:)'", "'$(}:)'",
      "'${)'", "'$()'", "'$(()'",
      // Not valid UTF-8: must still never read out of bounds.
      "\xff", "\xc3", "'\xe2\x82", "a\xf0\x9f\x98", "'\\\xc3", "1\xc3", "$(x:\\\xe2",
  };
  for (auto src : inputs) {
    for (bool template_mode : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "\"" << debug_escape(src) << "\" template=" << template_mode);
      config::Config config;
      auto in = to_input(src, config);
      auto tokens = template_mode ? lex_string(in) : lex(in);
      ASSERT_TRUE(tokens);
      EXPECT_EQ(testing::check_invariants(src, *tokens, template_mode), "");
      if (!template_mode) {
        EXPECT_EQ(check_tiling(src, *tokens), "");
      }
    }
  }
}

std::string nested(std::size_t depth, std::string_view open, std::string_view close) {
  std::string s;
  for (std::size_t i = 0; i < depth; ++i) s += open;
  s += "x";
  for (std::size_t i = 0; i < depth; ++i) s += close;
  return s;
}

std::optional<std::vector<Token>> lex_text(std::string_view src, bool template_mode = false) {
  config::Config config;
  auto in = to_input(src, config);
  return template_mode ? lex_string(in) : lex(in);
}

TEST(Nesting, ThousandLevelsLexOnAnEightMebibyteStack) {
  for (auto [open, close] : {std::pair{"'${", "}'"}, std::pair{"'$(", ")'"}, std::pair{"\"${'", "'}\""}}) {
    std::string src = nested(1000, open, close);
    test_support::on_thread(8 << 20, [&] {
      auto tokens = lex_text(src);
      ASSERT_TRUE(tokens);
      EXPECT_EQ(tokens->size(), 2u);
      EXPECT_EQ(testing::check_invariants(src, *tokens, false), "");
      auto tpl = lex_text(src, true);
      ASSERT_TRUE(tpl);
    });
  }
}

TEST(Nesting, TooDeepFailsInsteadOfCrashing) {
  const std::string deep = nested(100'000, "'${", "}'");
  std::string unterminated;
  for (int i = 0; i < 100'000; ++i) unterminated += "'${";
  for (std::size_t stack : {std::size_t{8} << 20, std::size_t{512} << 10}) {
    test_support::on_thread(stack, [&] {
      EXPECT_FALSE(lex_text(deep));
      EXPECT_FALSE(lex_text(deep, true));
      EXPECT_FALSE(lex_text(unterminated));
      EXPECT_FALSE(lex_text(nested(100'000, "'$(", ")'")));
    });
  }
  // Just within the budget still lexes.
  test_support::on_thread(64 << 20, [&] { EXPECT_TRUE(lex_text(nested(kMaxInterpolationDepth - 1, "'${", "}'"))); });
}

TEST(Nesting, TheBoundIsExact) {
  // Every interpolation is one level: the bound's count of them lexes, one
  // more does not.
  test_support::on_thread(64 << 20, [&] {
    for (auto [open, close] : {std::pair{"'${", "}'"}, std::pair{"'$(", ")'"}}) {
      SCOPED_TRACE(open);
      EXPECT_TRUE(lex_text(nested(kMaxInterpolationDepth, open, close)));
      EXPECT_FALSE(lex_text(nested(kMaxInterpolationDepth + 1, open, close)));
    }
  });
}

}  // namespace
}  // namespace vaxo_core::lexer
