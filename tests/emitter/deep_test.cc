// Deeply nested and very long inputs: what the parser accepts, the emitter
// writes without overflowing the stack, on any thread; on a small thread
// stack deeper input ends in the front end giving up, never in an internal
// error or a crash.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/emitter/support/disassembler.h"
#include "core/emitter/emitter.h"
#include "core/parser/parser_context.h"
#include "tests/emitter/support/front_end.h"
#include "tests/support/on_thread.h"

namespace vaxo_core::emitter::testing {
namespace {

std::string repeat(std::string_view s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// 1,000 levels of each kind of nesting, 10,000-term chains. The parser
// keeps stack back for every tree level, more in unoptimised and sanitized
// builds, so there it may refuse some of them; what it accepts must be
// emitted.
struct DeepCase {
  const char* name;
  std::string text;
};

#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__) && !VAXO_HAS_ADDRESS_SANITIZER
constexpr bool kMustParse = true;
#else
constexpr bool kMustParse = false;
#endif

std::vector<DeepCase> deep_cases() {
  return {
      {"Sum", "let a = 1; a" + repeat(" + a", 9999) + ";"},
      {"Parentheses", repeat("(", 1000) + "1" + repeat(")", 1000) + ";"},
      {"Blocks", repeat("{ ", 1000) + "1" + repeat(" }", 1000)},
      {"Functions", repeat("fn { ", 1000) + "it" + repeat(" }", 1000) + ";"},
      {"Calls", repeat("f(", 1000) + "1" + repeat(")", 1000) + ";"},
      {"Arrays", repeat("[", 1000) + repeat("]", 1000) + ";"},
      {"Records", repeat("(a: ", 1000) + "1" + repeat(")", 1000) + ";"},
      {"Suffixes", "f" + repeat("()", 10000) + ";"},
      {"Members", "o" + repeat(".m", 10000) + ";"},
  };
}

// Emits `text`; returns false when the front end gave up (allowed only on a
// small stack). An InternalError propagates.
bool emit_text(const std::string& text) {
  config::Config config;
  config.diagnostic_sourcemap = true;
  FrontEnd front(text, config);
  if (front.script() == nullptr) return false;
  std::size_t before = front.collector().size();
  std::vector<std::uint8_t> bytes = emit(*front.script(), front.collector());
  std::size_t source_map = 0;
  for (std::size_t i = before; i < front.collector().size(); ++i) {
    source_map += front.collector()[i].error == DiagnosticCode::SourceMap;
  }
  EXPECT_EQ(count_instructions(bytes), source_map);
  return true;
}

class DeepInput : public ::testing::TestWithParam<DeepCase> {};

TEST_P(DeepInput, EmitsOnTheMainThread) {
  bool emitted = false;
  EXPECT_NO_THROW(emitted = emit_text(GetParam().text));
  if (kMustParse) {
    EXPECT_TRUE(emitted) << "the parser should accept this input";
  }
}

TEST_P(DeepInput, SmallStackEndsCleanly) {
  int outcome = -1;  // 0 no tree, 1 emitted, 2 internal error
  test_support::on_thread(512 * 1024, [&] {
    try {
      outcome = emit_text(GetParam().text) ? 1 : 0;
    } catch (const InternalError&) {
      outcome = 2;
    }
  });
  EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
}

INSTANTIATE_TEST_SUITE_P(Cases, DeepInput, ::testing::ValuesIn(deep_cases()),
                         [](const ::testing::TestParamInfo<DeepCase>& info) { return std::string(info.param.name); });

// Nesting whose emission takes the most stack per level of the tree: just
// under the depth the parser accepts on a thread, the emitter finishes on it.
struct NestingCase {
  const char* name;
  const char* prefix;
  const char* open;
  const char* inner;
  const char* close;
  const char* suffix;

  std::string text(int n) const { return prefix + repeat(open, n) + inner + repeat(close, n) + suffix; }
};

const NestingCase kNestingCases[] = {
    {"Calls", "let v = ", "f(", "x", ")", ";"},
    {"MethodCalls", "let v = ", "a.m(", "x", ")", ";"},
    {"CallsOfArrays", "let v = ", "f([", "x", "])", ";"},
    {"Records", "let v = ", "(a: ", "1", ")", ";"},
    {"Arrays", "let v = ", "[", "x", "]", ";"},
    {"Indexes", "let v = ", "a[", "x", "]", ";"},
    {"Interpolations", "let v = ", "\"$(", "x", ")\"", ";"},
    {"RecordPatterns", "let ", "(a: ", "x", ")", " = v;"},
    {"ArrayPatterns", "let ", "[", "x", "]", " = v;"},
    {"ParameterPatterns", "fn f(", "(a: ", "x", ")", ") {}"},
    {"CasePatterns", "match v { case ", "(a: ", "x", ")", " {} }"},
    {"ForOverArrays", "", "for x in [", "1", "] { }", ""},
    {"RecoveredCalls", "let v = ", "f(", "1 +", ")", ";"},
    {"RecoveredArrays", "let v = ", "[", "1 +", "]", ";"},
};

TEST(DeepNesting, JustUnderTheAcceptedDepthEmitsOnSmallThreads) {
  for (std::size_t stack : {std::size_t{256} << 10, std::size_t{1} << 20}) {
    test_support::on_thread(stack, [&] {
      for (const NestingCase& c : kNestingCases) {
        SCOPED_TRACE(std::string(c.name) + " on " + std::to_string(stack >> 10) + " KiB");
        auto accepted = [&](int n) {
          config::Config config;
          FrontEnd front(c.text(n), config);
          return front.script() != nullptr;
        };
        // The deepest accepted nesting, by bisection: deeper input gives up
        // as a whole.
        int low = 1, high = 20000;
        ASSERT_TRUE(accepted(low));
        while (high - low > 1) {
          int mid = (low + high) / 2;
          (accepted(mid) ? low : high) = mid;
        }
        // Where the parse's own recursion gives up moves with the stack
        // depth it starts at: the band is checked for what it emits, not for
        // where the front end gives up.
        int emitted = 0;
        for (int n = std::max(1, low - 16); n <= low + 2; ++n) {
          try {
            emitted += emit_text(c.text(n));
          } catch (const InternalError& e) {
            ADD_FAILURE() << n << " levels: " << e.what();
          }
        }
        EXPECT_GT(emitted, 0);
      }
    });
  }
}

}  // namespace
}  // namespace vaxo_core::emitter::testing
