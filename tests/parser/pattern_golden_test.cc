// Golden files for the pattern grammar: tests/data/parser/patterns/{ok,err}.
//
// Each NAME.src is read as one pattern (rebind off), or, by name prefix, as
// the target of a rebind statement (`rebind_`) or as a parameter list
// (`params_`). NAME.expected holds the tree dump, the tokens left unread and
// the diagnostics the walker collects. The harness is tests/support/golden.h.
#include <gtest/gtest.h>

#include <string>

#include "core/parser/parameter_list.h"
#include "core/parser/patterns.h"
#include "tests/parser/support/golden_output.h"

namespace vaxo_core::parser {
namespace {

using testing::golden_output;
using testing::Source;

golden::Output pattern_golden(const golden::Case& c) {
  std::string text = c.text;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  Source src(std::move(text));
  if (c.name().starts_with("params_")) return golden_output(src, parameter_list::parameter_list(src.ctx()), true);
  return golden_output(src, patterns::pattern(src.ctx(), c.name().starts_with("rebind_")), true);
}

TEST(PatternGoldenTest, Files) { EXPECT_GE(golden::run("parser/patterns", pattern_golden), 109u); }

}  // namespace
}  // namespace vaxo_core::parser
