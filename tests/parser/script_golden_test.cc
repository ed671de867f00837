// Golden files for whole scripts: tests/data/parser/{ok,err}/NAME.src. The
// .expected file holds the tree dump and the diagnostics the walker collects;
// the tree's range lies inside the text. The harness is
// tests/support/golden.h.
#include <gtest/gtest.h>

#include <string>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast_walker.h"
#include "core/parser/dump.h"
#include "core/parser/parser.h"
#include "tests/parser/support/source.h"
#include "tests/support/golden.h"

namespace vaxo_core::parser {
namespace {

golden::Output parse_golden(const golden::Case& c) {
  testing::Source src(c.text);
  golden::Output out;
  if (c.mode != config::InputMode::Script) out.fault = "scripts only";
  auto script = parse(src.ctx());
  if (!script) {
    out.dump = "no result\n";
    return out;
  }
  ByteRange r = range(*script);
  if (r.start > r.end || r.end > src.text().size()) out.fault = "the tree's range is outside the text";
  out.dump = dump(*script);
  config::Config config;
  diagnostic::DiagnosticsCollector collector(config, src.text());
  collect_diagnostics(*script, collector);
  out.diagnostics = collector.data();
  out.dump += collector.empty() ? "diagnostics: none\n" : "diagnostics:\n" + golden::list_diagnostics(out.diagnostics, "  ");
  return out;
}

TEST(ScriptGoldenTest, Files) { EXPECT_GE(golden::run("parser", parse_golden), 8u); }

}  // namespace
}  // namespace vaxo_core::parser
