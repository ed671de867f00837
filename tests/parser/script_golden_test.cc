// Golden files for whole scripts: tests/data/parser/{ok,err}/NAME.src. The
// .expected file holds the tree dump and the diagnostics the walker collects;
// the tree's range lies inside the text. The harness is
// tests/support/golden.h.
#include <gtest/gtest.h>

#include "core/parser/parser.h"
#include "tests/parser/support/golden_output.h"

namespace vaxo_core::parser {
namespace {

golden::Output parse_golden(const golden::Case& c) {
  testing::Source src(c.text);
  golden::Output out = testing::golden_output(src, parse(src.ctx()), false);
  if (c.mode != config::InputMode::Script) out.fault = "scripts only";
  return out;
}

TEST(ScriptGoldenTest, Files) { EXPECT_GE(golden::run("parser", parse_golden), 8u); }

}  // namespace
}  // namespace vaxo_core::parser
