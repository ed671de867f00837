// Golden files, lexer invariants over hostile input, and nesting bounds.
//
// tests/data/lexer/{ok,err}/NAME.src (script) or NAME.tpl (template) lex to
// NAME.expected. UPDATE_GOLDEN=1 rewrites the expected files for review.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <sstream>

#include "tests/lexer/support/lex_cases.h"

namespace vaxo_core::lexer {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool has_diagnostic(std::span<const Token> tokens);

bool kind_has_diagnostic(const TokenKind& k) {
  if (k.is_unknown()) return true;
  if (auto* is = k.get_if<TokenKind::InterpolatedString>()) {
    for (const auto& part : is->parts) {
      if (has_diagnostic(is->tokens_of(part))) return true;
    }
  }
  return false;
}

bool has_diagnostic(std::span<const Token> tokens) {
  for (const auto& t : tokens) {
    if (kind_has_diagnostic(t.kind)) return true;
  }
  return false;
}

TEST(Golden, Files) {
  fs::path root = fs::path(VAXO_SOURCE_DIR) / "tests" / "data" / "lexer";
  const bool update = std::getenv("UPDATE_GOLDEN") != nullptr;
  int seen = 0;
  for (const char* group : {"ok", "err"}) {
    for (const auto& entry : fs::directory_iterator(root / group)) {
      auto ext = entry.path().extension();
      if (ext != ".src" && ext != ".tpl") continue;
      ++seen;
      SCOPED_TRACE(entry.path().string());
      const bool template_mode = ext == ".tpl";
      std::string src = read_file(entry.path());
      config::Config config;
      auto in = to_input(src, config);
      auto tokens = template_mode ? lex_string(in) : lex(in);
      ASSERT_TRUE(tokens);
      EXPECT_EQ(testing::check_invariants(src, *tokens, template_mode), "");
      EXPECT_EQ(has_diagnostic(*tokens), std::string_view(group) == "err");
      std::string dump = testing::dump_tokens(*tokens);
      auto expected_path = fs::path(entry.path()).replace_extension(".expected");
      if (update) {
        std::ofstream(expected_path, std::ios::binary) << dump;
        continue;
      }
      ASSERT_TRUE(fs::exists(expected_path)) << "run with UPDATE_GOLDEN=1 to create it";
      EXPECT_EQ(dump, read_file(expected_path));
    }
  }
  EXPECT_GE(seen, 4);
}

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
    }
  }
}

// Runs `body` on a thread with the given stack size.
void on_stack(std::size_t stack_bytes, const std::function<void()>& body) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stack_bytes);
  pthread_t thread;
  auto* arg = const_cast<std::function<void()>*>(&body);
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* p) -> void* {
                  (*static_cast<std::function<void()>*>(p))();
                  return nullptr;
                },
                arg),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
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
    on_stack(8 << 20, [&] {
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
    on_stack(stack, [&] {
      EXPECT_FALSE(lex_text(deep));
      EXPECT_FALSE(lex_text(deep, true));
      EXPECT_FALSE(lex_text(unterminated));
      EXPECT_FALSE(lex_text(nested(100'000, "'$(", ")'")));
    });
  }
  // Just within the budget still lexes.
  on_stack(64 << 20, [&] { EXPECT_TRUE(lex_text(nested(kMaxInterpolationDepth - 1, "'${", "}'"))); });
}

TEST(Nesting, TheBoundIsExact) {
  // Every interpolation is one level: the bound's count of them lexes, one
  // more does not.
  on_stack(64 << 20, [&] {
    for (auto [open, close] : {std::pair{"'${", "}'"}, std::pair{"'$(", ")'"}}) {
      SCOPED_TRACE(open);
      EXPECT_TRUE(lex_text(nested(kMaxInterpolationDepth, open, close)));
      EXPECT_FALSE(lex_text(nested(kMaxInterpolationDepth + 1, open, close)));
    }
  });
}

}  // namespace
}  // namespace vaxo_core::lexer
