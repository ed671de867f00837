// Test support: table-driven lexer cases (source -> token dump).
#pragma once

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>

#include "core/lexer/lexer.h"
#include "testing/lex_dump.h"

namespace vaxo_core::lexer::testing {

struct LexCase {
  std::string_view src;
  std::string_view dump;  // dump_tokens of the result, Eof line included
};

inline void expect_lex_cases(std::span<const LexCase> cases, bool template_mode = false) {
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "source: \"" << debug_escape(c.src) << "\"");
    config::Config config;
    auto in = to_input(c.src, config);
    auto tokens = template_mode ? lex_string(in) : lex(in);
    ASSERT_TRUE(tokens.has_value());
    EXPECT_EQ(dump_tokens(*tokens), c.dump);
    EXPECT_EQ(check_invariants(c.src, *tokens, template_mode), "");
  }
}

// Lexes a script and returns its tokens (the test fails on a lexer failure).
inline std::vector<Token> lex_script(std::string_view src) {
  config::Config config;
  auto in = to_input(src, config);
  auto tokens = lex(in);
  EXPECT_TRUE(tokens.has_value());
  return tokens ? std::move(*tokens) : std::vector<Token>{};
}

}  // namespace vaxo_core::lexer::testing
