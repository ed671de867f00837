// The vocabulary tables: every operator and keyword text lexes back to
// exactly its own token, in the token loop and in the one-token reader, and
// the recogniser takes the longest text.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/lexer/keyword.h"
#include "core/lexer/operator.h"
#include "core/lexer/operator_match.h"
#include "core/lexer/scanner.h"
#include "tests/lexer/support/lex_cases.h"
#include "tests/lexer/support/token_loop.h"

namespace vaxo_core::lexer {
namespace {

// The tokens of `src` read one by one by scanner::token.
std::vector<Token> read_one_by_one(std::string_view src) {
  auto tokens = testing::read_one_by_one(src);
  if (!tokens) {
    ADD_FAILURE() << "the reader failed";
    return {};
  }
  return std::move(*tokens);
}

// Each text alone, then between names, read both ways.
template <typename T>
void expect_reads_back(std::string_view text, T expected) {
  SCOPED_TRACE(::testing::Message() << "\"" << text << "\"");
  const std::string alone(text);
  for (const auto& tokens : {testing::lex_script(alone), read_one_by_one(alone)}) {
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0], expected);
    EXPECT_EQ(tokens[0].range, (ByteRange{0, text.size()}));
  }
  const std::string between = "a " + alone + " b";
  for (const auto& tokens : {testing::lex_script(between), read_one_by_one(between)}) {
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[1], expected);
    EXPECT_EQ(tokens[1].range, (ByteRange{2, 2 + text.size()}));
  }
}

TEST(Vocabulary, EveryOperatorTextReadsBack) {
  for (std::size_t i = 1; i < kOperatorCount; ++i) expect_reads_back(text(static_cast<Operator>(i)), static_cast<Operator>(i));
}

TEST(Vocabulary, EveryKeywordTextReadsBack) {
  for (std::size_t i = 0; i < kKeywordCount; ++i) expect_reads_back(text(static_cast<Keyword>(i)), static_cast<Keyword>(i));
}

// Two operator texts written together read as the longest first text, like
// the reference below: a check of the generated candidates' order against a
// plain search of the rows.
TEST(Vocabulary, TheRecogniserTakesTheLongestText) {
  const auto longest = [](std::string_view s) {
    std::size_t best = 0;
    Operator op = Operator::Unknown;
    for (std::size_t i = 1; i < kOperatorCount; ++i) {
      const auto o = static_cast<Operator>(i);
      const std::string_view t = text(o);
      if (t.size() > best && s.substr(0, t.size()) == t) {
        // A refused follower makes the row give way to a shorter one.
        const std::string_view refused = operator_detail::kOperators[i].not_before;
        if (s.size() > t.size() && refused.find(s[t.size()]) != std::string_view::npos) continue;
        best = t.size();
        op = o;
      }
    }
    return OperatorMatch{op, static_cast<std::uint8_t>(best)};
  };
  for (std::size_t i = 1; i < kOperatorCount; ++i) {
    for (std::size_t j = 1; j < kOperatorCount; ++j) {
      const std::string s = std::string(text(static_cast<Operator>(i))) + std::string(text(static_cast<Operator>(j)));
      SCOPED_TRACE(s);
      const OperatorMatch got = match_operator(s.data(), 0, s.size());
      const OperatorMatch want = longest(s);
      EXPECT_EQ(got.op, want.op);
      EXPECT_EQ(got.size, want.size);
    }
  }
  // Nothing past the end is read as part of a text.
  const std::string_view cut = "..<";
  EXPECT_EQ(match_operator(cut.data(), 0, 2).op, Operator::SpreadRange);
  EXPECT_EQ(match_operator(cut.data(), 0, 1).op, Operator::Dot);
  EXPECT_EQ(match_operator("&&", 0, 1).size, 0u);
}

}  // namespace
}  // namespace vaxo_core::lexer
