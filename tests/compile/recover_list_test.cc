// The recovery pass over a lexed TokenList visits the noted tokens only: it
// must give the tokens and diagnostics, in order, of the pass over every token.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/compile/recover_token.h"
#include "core/lexer/lexer.h"

namespace vaxo_core::compile {
namespace {

using diagnostic::DiagnosticsCollector;

TEST(RecoverTokenList, AgreesWithThePassOverEveryToken) {
  const std::string texts[] = {
      "let x = 0x1G + 1_ + 'a\\q' + \"${ 'b\\z' + $(c:fmt) }\" @'raw' ? \xC3\xA9 ~ 'unterminated",
      "'${'${1__ + \"$(y:f)\"}' + 0b2}' `' x $ \"${\"${\"${)}\"}\"}\" 1e999 @ 12_ a.1_ a.99999999999",
      "a + 'b' * 2.5 - \"c$d\" # 0x20000000000000 `e` ",
      "",
  };
  config::Config tagged;
  tagged.diagnostic_tag = true;
  for (const bool template_mode : {false, true}) {
    for (const std::string& text : texts) {
      for (const config::Config& config : {config::Config{}, tagged}) {
        SCOPED_TRACE(text);
        auto in = lexer::to_input(text, config);
        auto lexed = template_mode ? lexer::lex_string(in) : lexer::lex(in);
        auto list_in = lexer::to_input(text, config);
        auto list = template_mode ? lexer::lex_string_list(list_in) : lexer::lex_list(list_in);
        ASSERT_TRUE(lexed.has_value());
        ASSERT_TRUE(list.has_value());
        DiagnosticsCollector every(config, text);
        recover_tokens(*lexed, every);
        DiagnosticsCollector noted(config, text);
        recover_tokens(*list, noted);
        if (!template_mode && !text.empty() && config.diagnostic_tag) {
          EXPECT_GE(every.size(), 3u);  // the texts do exercise recovery
        }
        EXPECT_EQ(std::move(noted).data(), std::move(every).data());
        const auto tokens = list->tokens();
        ASSERT_EQ(tokens.size(), lexed->size());
        for (std::size_t i = 0; i < tokens.size(); ++i) {
          EXPECT_EQ(tokens[i], (*lexed)[i]) << i;
          EXPECT_FALSE(tokens[i].kind.is_unknown()) << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vaxo_core::compile
