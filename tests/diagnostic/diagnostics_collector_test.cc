#include "core/diagnostic/diagnostics_collector.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/diagnostic/internal_error.h"
#include "tests/support/internal_error.h"

namespace vaxo_core::diagnostic {
namespace {

using test_support::internal_error_of;

using D = DiagnosticCode;
using config::Config;

SourceDiagnostic diag(std::size_t start, std::size_t end, D code) { return SourceDiagnostic{{start, end}, code}; }

TEST(SourceDiagnosticTest, DisplayText) {
  EXPECT_EQ(to_display_string(diag(3, 5, D::UnknownToken)), "UnknownToken(1007) at 3~5: Unknown token encountered");
  EXPECT_EQ(to_display_string(diag(0, 0, D::SourceMap)), "SourceMap(12000) at 0~0: Unknown error");
  EXPECT_EQ(*diag(1, 2, D::MissingComma), D::MissingComma);
}

TEST(DiagnosticsCollectorTest, PushAcceptsRangesUpToTheEndOfTheText) {
  Config config;
  DiagnosticsCollector c(config, "abcde");
  c.push(D::UnknownToken, {5, 5});
  c.push(D::UnknownToken, {0, 5});
  DiagnosticsCollector empty(config, "");
  empty.push(D::ParserError, {0, 0});
  EXPECT_EQ(c.data(), (std::vector{diag(5, 5, D::UnknownToken), diag(0, 5, D::UnknownToken)}));
  EXPECT_EQ(empty.data(), std::vector{diag(0, 0, D::ParserError)});
}

TEST(DiagnosticsCollectorTest, PushRejectsBadRangesBeforeFiltering) {
  Config none;
  none.diagnostic_error = none.diagnostic_warning = none.diagnostic_info = none.diagnostic_hint = false;
  none.diagnostic_reference = none.diagnostic_tag = none.diagnostic_sourcemap = false;
  for (const Config& config : {Config{}, none}) {
    DiagnosticsCollector c(config, "abcde");
    EXPECT_EQ(internal_error_of([&] { c.push(D::UnknownToken, {5, 3}); }),
              "Invalid diagnostic range UnknownToken(1007) at 5~3: Unknown token encountered");
    EXPECT_EQ(internal_error_of([&] { c.push(D::UnknownToken, {3, 2}); }),
              "Invalid diagnostic range UnknownToken(1007) at 3~2: Unknown token encountered");
    EXPECT_EQ(internal_error_of([&] { c.push(D::SourceMap, {0, 6}); }),
              "Invalid diagnostic range SourceMap(12000) at 0~6: Unknown error");
    EXPECT_EQ(internal_error_of([&] { c.push(D::LocalConst, ByteRange::absent()); }),
              "Invalid diagnostic range LocalConst(10001) at 18446744073709551615~0: Unknown error");
    EXPECT_TRUE(c.empty());
  }
  DiagnosticsCollector empty(Config{}, "");
  EXPECT_NE(internal_error_of([&] { empty.push(D::ParserError, {0, 1}); }), "");
}

// Each switch drops exactly its own category; markers outside every category always pass.
TEST(DiagnosticsCollectorTest, EachSwitchFiltersItsCategory) {
  const D samples[] = {D::ParserError, D::NonNumberInRange, D::InfoStart,  D::UnusedLocalVariable,
                       D::VariableDeclaredHere, D::String, D::Callable, D::SourceMap};
  bool Config::*switches[] = {&Config::diagnostic_error, &Config::diagnostic_warning,
                              &Config::diagnostic_info,  &Config::diagnostic_hint,
                              &Config::diagnostic_reference, &Config::diagnostic_tag,
                              &Config::diagnostic_tag, &Config::diagnostic_sourcemap};
  const D markers[] = {D::ErrorStart, D::ErrorEnd, D::WarningEnd, D::InfoEnd, D::HintEnd, D::ReferenceEnd, D::TagRefEnd};
  for (std::size_t on = 0; on < std::size(switches); ++on) {
    Config config;
    for (auto s : switches) config.*s = false;
    config.*switches[on] = true;
    DiagnosticsCollector c(config, "x");
    for (std::size_t i = 0; i < std::size(samples); ++i) {
      EXPECT_EQ(c.should_push(samples[i]), switches[i] == switches[on]) << name(samples[i]);
    }
    for (D m : markers) EXPECT_TRUE(c.should_push(m)) << name(m);
  }
}

TEST(DiagnosticsCollectorTest, DefaultConfigDropsTagsAndSourceMap) {
  Config config;
  DiagnosticsCollector c(config, "abc");
  c.push(D::LocalConst, {0, 1});
  c.push(D::SourceMap, {0, 1});
  c.push(D::Callable, {0, 1});
  c.push(D::TagRefEnd, {0, 1});
  c.push(D::TagEnd, {0, 1});
  EXPECT_EQ(c.data(), std::vector{diag(0, 1, D::TagRefEnd)});
  EXPECT_FALSE(c.has_error());

  Config no_errors;
  no_errors.diagnostic_error = false;
  DiagnosticsCollector e(no_errors, "abc");
  e.push(D::ParserError, {0, 3});
  e.push(D::LexerError, {0, 3});
  e.push(D::ErrorStart, {1, 2});
  EXPECT_EQ(e.data(), std::vector{diag(1, 2, D::ErrorStart)});
  EXPECT_FALSE(e.has_error());
}

TEST(DiagnosticsCollectorTest, KeepsArrivalOrderAndDuplicates) {
  Config config;
  DiagnosticsCollector c(config, "abcdef");
  c.push(D::UnknownToken, {4, 5});
  c.push(D::UnknownToken, {0, 1});
  c.push(D::UnknownToken, {4, 5});
  EXPECT_EQ(c.data(), (std::vector{diag(4, 5, D::UnknownToken), diag(0, 1, D::UnknownToken),
                                   diag(4, 5, D::UnknownToken)}));
  EXPECT_TRUE(c.has_error());
}

TEST(DiagnosticsCollectorTest, AppendFiltersInOrderEmptiesTheListAndSkipsRangeChecks) {
  Config config;
  DiagnosticsCollector c(config, "ab");
  c.push(D::UnusedLocalVariable, {0, 0});
  std::vector<SourceDiagnostic> list{diag(0, 9, D::UnknownToken), diag(1, 1, D::LocalConst),
                                     diag(7, 3, D::NonNumberInRange)};
  c.append(list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(c.data(), (std::vector{diag(0, 0, D::UnusedLocalVariable), diag(0, 9, D::UnknownToken),
                                   diag(7, 3, D::NonNumberInRange)}));
}

TEST(DiagnosticsCollectorTest, ExtendFromAListOptionalsAndAnotherCollector) {
  Config config;
  DiagnosticsCollector c(config, "abc");
  c.push(D::UnknownToken, {0, 1});
  c.extend(std::vector{diag(1, 2, D::MissingComma), diag(1, 2, D::String)});

  std::array<std::optional<SourceDiagnostic>, 4> optionals{
      std::nullopt, diag(2, 3, D::MatchExpression), diag(2, 2, D::MatchExpressionHasNoCases), std::nullopt};
  c.extend(optionals);

  // The other collector keeps tags; this one filters them again by its own Config.
  Config with_tags;
  with_tags.diagnostic_tag = true;
  DiagnosticsCollector other(with_tags, "a different text");
  other.push(D::LocalMutable, {0, 10});
  other.push(D::UnexpectedBreak, {5, 10});
  ASSERT_EQ(other.size(), 2u);
  c.extend(std::move(other));

  EXPECT_EQ(c.data(), (std::vector{diag(0, 1, D::UnknownToken), diag(1, 2, D::MissingComma),
                                   diag(2, 2, D::MatchExpressionHasNoCases), diag(5, 10, D::UnexpectedBreak)}));
}

// Feeding a collector its own list must not read a vector while it grows.
TEST(DiagnosticsCollectorTest, ExtendingFromItselfChangesNothing) {
  Config config;
  DiagnosticsCollector c(config, "abc");
  for (int i = 0; i < 100; ++i) c.push(D::UnknownToken, {0, 1});
  c.append(c.data());
  c.extend(std::move(c));
  EXPECT_EQ(c.size(), 100u);
}

TEST(DiagnosticsCollectorTest, ReadsAndConsumesAsAList) {
  Config config;
  DiagnosticsCollector c(config, "abc");
  EXPECT_EQ(c.script(), "abc");
  EXPECT_EQ(&c.config(), &config);
  c.push(D::UnknownToken, {0, 1});
  c.push(D::MissingComma, {1, 2});
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[1], diag(1, 2, D::MissingComma));
  c[1].range.end = 3;
  std::vector<D> seen;
  for (const SourceDiagnostic& d : c) seen.push_back(d.error);
  EXPECT_EQ(seen, (std::vector{D::UnknownToken, D::MissingComma}));
  std::vector<SourceDiagnostic> taken = std::move(c).data();
  EXPECT_EQ(taken, (std::vector{diag(0, 1, D::UnknownToken), diag(1, 3, D::MissingComma)}));
}

TEST(DiagnosticsCollectorTest, EncodeUsesTheBoundTextAndConfig) {
  Config config;
  config.diagnostic_position_encoding = config::DiagnosticPositionEncoding::None;
  DiagnosticsCollector c(config, "ab\ncd");
  EXPECT_TRUE(c.encode().empty());
  c.push(D::UnknownToken, {3, 5});
  EXPECT_EQ(c.encode(), (std::vector<std::uint32_t>{3, 5, 1007}));
  Config lines;
  DiagnosticsCollector l(lines, "ab\ncd");
  l.push(D::UnknownToken, {3, 5});
  EXPECT_EQ(l.encode(), (std::vector<std::uint32_t>{2, 1, 2, 3, 1007}));
}

}  // namespace
}  // namespace vaxo_core::diagnostic
