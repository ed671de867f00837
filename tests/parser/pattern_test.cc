// The pattern entry points: when a pattern fails, pattern_or_insert, and the
// recursion and tree-height bounds (deep input ends in ParseAborted, never in
// a crash, also on a thread with a small stack). The pattern forms themselves
// are covered by the golden files (pattern_golden_test.cc).
#include <gtest/gtest.h>

#include <string>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast_walker.h"
#include "core/parser/dump.h"
#include "core/parser/parameter_list.h"
#include "core/parser/parser.h"
#include "core/parser/patterns.h"
#include "tests/parser/support/source.h"
#include "tests/support/on_thread.h"

namespace vaxo_core::parser {
namespace {

using testing::Source;
using D = DiagnosticCode;

std::string repeat(std::string_view s, std::size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (std::size_t i = 0; i < n; ++i) out += s;
  return out;
}

// `open` n times, then `middle`, then `close` n times.
std::string nested(std::string_view open, std::string_view middle, std::string_view close, std::size_t n) {
  return repeat(open, n) + std::string(middle) + repeat(close, n);
}

// The passes the pipeline runs over a finished tree; the tree is destroyed
// on return.
void exercise(Pattern pattern, std::string_view text) {
  config::Config cfg;
  diagnostic::DiagnosticsCollector collector(cfg, text);
  ByteRange r = range(pattern);
  EXPECT_LE(r.end, text.size());
  collect_diagnostics(pattern, collector);
}

TEST(PatternTest, FailsOnlyAtStopTokensOtherThanOpeners) {
  struct Row {
    std::string source;
    bool parses;
  };
  const Row rows[] = {
      {"", false},      {"if", false},  {"fn", false},   {"loop", false}, {"while", false}, {"match", false},
      {"for", false},   {"let", false}, {"const", false}, {",", false},   {"=", false},     {";", false},
      {"{", false},     {"}", false},   {"]", false},    {")", false},    {"(", true},      {"[", true},
      {"in", true},     {"case", true}, {"else", true},  {":", true},     {"..", true},     {"and", true},
      {"or", true},     {"not", true},  {"?", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    Source src(row.source);
    auto p = patterns::pattern(src.ctx(), false);
    EXPECT_EQ(p.has_value(), row.parses);
    if (!p) {
      EXPECT_EQ(src.ctx().index, 0u);
    }
  }
}

TEST(PatternTest, PatternOrInsertPlacesThePlaceholderAfterTheLastToken) {
  auto before_equals = [](const Token& t) { return t == Operator::Assign; };
  {
    // `let = 1`: the placeholder sits at the end of `let`.
    Source src("let = 1");
    src.ctx().next();
    auto p = patterns::pattern_or_insert(src.ctx(), false, before_equals);
    ASSERT_TRUE(p);
    EXPECT_EQ(range(*p), (ByteRange{3, 3}));
    const auto* u = p->get_if<Pattern::Unknown>();
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->errors[0], (SourceDiagnostic{ByteRange{3, 3}, D::PatternExpected}));
    ASSERT_EQ(u->tokens.size(), 1u);
    EXPECT_TRUE(u->tokens[0]->kind.is_empty());
    EXPECT_EQ(src.rest(), "= 1 ␃");
  }
  {
    // `let ;`: `;` is not the insert condition.
    Source src("let ;");
    src.ctx().next();
    EXPECT_FALSE(patterns::pattern_or_insert(src.ctx(), false, before_equals));
    EXPECT_EQ(src.ctx().index, 1u);
  }
  {
    // Before Eof the placeholder comes whatever the condition; after it, nothing.
    Source src("let");
    src.ctx().next();
    auto p = patterns::pattern_or_insert(src.ctx(), false, [](const Token&) { return false; });
    ASSERT_TRUE(p);
    EXPECT_EQ(range(*p), (ByteRange{3, 3}));
    src.ctx().next();
    EXPECT_FALSE(patterns::pattern_or_insert(src.ctx(), false, [](const Token&) { return true; }));
  }
}

TEST(PatternTest, ParameterListNeedsAnOpenParen) {
  Source src("{ }");
  EXPECT_FALSE(parameter_list::parameter_list(src.ctx()));
  EXPECT_EQ(src.ctx().index, 0u);
}

TEST(PatternBoundsTest, DeepNestingAbortsTheParse) {
  constexpr std::size_t kDeep = 100000;
  const std::string inputs[] = {
      nested("(", "a", ")", kDeep),
      nested("[", "a", "]", kDeep),
      repeat("not ", kDeep) + "a",
      nested("[..", "a", "]", kDeep),
      nested("(..", "a", ")", kDeep),
      nested("(x: ", "a", ")", kDeep),
  };
  for (const std::string& text : inputs) {
    SCOPED_TRACE(text.substr(0, 12));
    Source src(text);
    EXPECT_THROW(patterns::pattern(src.ctx(), false), ParseAborted);
  }
}

TEST(PatternBoundsTest, LongChainsAbortPastTheHeightBound) {
  Source src(repeat("a or ", 100000) + "a");
  EXPECT_THROW(patterns::pattern(src.ctx(), false), ParseAborted);
  Source and_chain(repeat("a and ", 100000) + "a");
  EXPECT_THROW(patterns::pattern(and_chain.ctx(), false), ParseAborted);
}

TEST(PatternBoundsTest, ModerateDepthParsesAndEveryPassRuns) {
  const std::string inputs[] = {
      nested("(", "a", ")", 500),
      nested("[", "a", "]", 500),
      repeat("not ", 500) + "a",
      nested("[..", "a", "]", 500),
      repeat("a or ", 2000) + "a",
  };
  for (const std::string& text : inputs) {
    SCOPED_TRACE(text.substr(0, 12));
    Source src(text);
    auto p = patterns::pattern(src.ctx(), false);
    ASSERT_TRUE(p);
    EXPECT_EQ(src.rest(), "␃");
    EXPECT_FALSE(dump(*p).empty());
    exercise(std::move(*p), src.text());
  }
}

TEST(PatternBoundsTest, SmallThreadStackEndsInTheAbortNotACrash) {
  const std::string inputs[] = {
      nested("(", "a", ")", 100000),
      repeat("not ", 100000) + "a",
      repeat("a or ", 20000) + "a",
      nested("[", "a", "]", 60),
      repeat("a or ", 150) + "a",
  };
  for (const std::string& text : inputs) {
    SCOPED_TRACE(text.substr(0, 12));
    test_support::on_thread(512 * 1024, [&] {
      Source src(text);
      try {
        auto p = patterns::pattern(src.ctx(), false);
        ASSERT_TRUE(p);
        exercise(std::move(*p), src.text());
      } catch (const ParseAborted&) {
        // The bound: the parse gives up as a whole.
      }
    });
  }
}

TEST(PatternBoundsTest, TheAbortIsNotSwallowedByAlternatives) {
  // The innermost pattern sits behind alternatives that would otherwise fall
  // back to an Unknown pattern: the abort still reaches the caller.
  Source src("not " + nested("(:", "a", ")", 100000));
  EXPECT_THROW(patterns::pattern(src.ctx(), false), ParseAborted);
}

TEST(PatternBoundsTest, TheWholeParseGivesUpOnADeepPattern) {
  Source deep("let " + nested("(", "a", ")", 100000) + " = 1;");
  EXPECT_FALSE(parse(deep.ctx()).has_value());
  Source fine("let " + nested("(", "a", ")", 200) + " = 1;");
  EXPECT_TRUE(parse(fine.ctx()).has_value());
}

// Token soup: whatever the input, a pattern rule either fails without
// consuming or yields a tree whose every range and diagnostic lies in the
// text, and every pass over it runs.
TEST(PatternSoupTest, AnyInputYieldsAConsistentTreeOrAPlainFailure) {
  const char* pieces[] = {"(", ")", "[", "]", ",", "..", "..<", ":", "?:", "a", "@k", "_", "mut", "not", "and",
                          "or", "1", "-", "+", "!", "'s'", "nan", "==", ">", "global", "try", "{", "=", ";",
                          "in", "\"${x}\"", "true"};
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    std::size_t length = 1 + next() % 24;
    for (std::size_t i = 0; i < length; ++i) {
      text += pieces[next() % std::size(pieces)];
      text += ' ';
    }
    SCOPED_TRACE(text);
    for (int entry = 0; entry < 3; ++entry) {
      Source src(text);
      if (entry == 2) {
        auto list = parameter_list::parameter_list(src.ctx());
        if (!list) {
          EXPECT_EQ(src.ctx().index, 0u);
          continue;
        }
        EXPECT_LE(range(*list).end, text.size());
        config::Config cfg;
        diagnostic::DiagnosticsCollector collector(cfg, src.text());
        collect_diagnostics(*list, collector);
        for (const auto& d : collector) {
          EXPECT_LE(d.range.start, d.range.end);
          EXPECT_LE(d.range.end, text.size());
        }
        continue;
      }
      auto p = patterns::pattern(src.ctx(), entry == 1);
      if (!p) {
        EXPECT_EQ(src.ctx().index, 0u);
        continue;
      }
      EXPECT_GT(src.ctx().index, 0u);
      ByteRange r = range(*p);
      EXPECT_LE(r.start, r.end);
      EXPECT_LE(r.end, text.size());
      config::Config cfg;
      diagnostic::DiagnosticsCollector collector(cfg, src.text());
      EXPECT_FALSE(dump(*p).empty());
      collect_diagnostics(*p, collector);
      for (const auto& d : collector) {
        EXPECT_LE(d.range.start, d.range.end);
        EXPECT_LE(d.range.end, text.size());
      }
    }
  }
}

}  // namespace
}  // namespace vaxo_core::parser
