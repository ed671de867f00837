// Golden files for whole scripts: tests/data/parser/{ok,err}/NAME.src. The
// .expected file holds the tree dump and the diagnostics the walker collects.
// ok/ scripts report no error; err/ scripts report at least one. Every node
// range lies inside the text.
#include <gtest/gtest.h>

#include <string>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast_walker.h"
#include "core/parser/dump.h"
#include "core/parser/parser.h"
#include "tests/parser/support/golden.h"
#include "tests/parser/support/source.h"

namespace vaxo_core::parser {
namespace {

struct Outcome {
  std::string text;
  std::size_t errors = 0;
};

Outcome run(std::string text) {
  testing::Source src(std::move(text));
  Outcome out;
  auto script = parse(src.ctx());
  if (!script) {
    out.text = "no result\n";
    return out;
  }
  ByteRange r = range(*script);
  EXPECT_LE(r.start, r.end);
  EXPECT_LE(r.end, src.text().size());
  out.text = dump(*script);
  config::Config config;
  diagnostic::DiagnosticsCollector collector(config, src.text());
  collect_diagnostics(*script, collector);
  out.text += "diagnostics:";
  if (collector.empty()) out.text += " none";
  out.text += "\n";
  for (const auto& d : collector) {
    EXPECT_LE(d.range.start, d.range.end);
    EXPECT_LE(d.range.end, src.text().size());
    if (diagnostic::is_error(d.error)) ++out.errors;
    out.text += "  " + std::string(diagnostic::name(d.error)) + " " + std::to_string(d.range.start) + ".." +
                std::to_string(d.range.end) + "\n";
  }
  return out;
}

void check_folder(const std::string& folder, bool expect_errors) {
  auto sources = testing::golden_sources("parser/" + folder);
  ASSERT_FALSE(sources.empty()) << "no golden files in " << folder;
  for (const auto& path : sources) {
    SCOPED_TRACE(path.string());
    Outcome out = run(testing::read_file(path));
    std::string failure = testing::check_golden(path, out.text);
    EXPECT_TRUE(failure.empty()) << failure;
    if (expect_errors) {
      EXPECT_GT(out.errors, 0u) << "an err/ script reports no error";
    } else {
      EXPECT_EQ(out.errors, 0u) << "an ok/ script reports an error";
    }
  }
}

TEST(ScriptGoldenTest, Ok) { check_folder("ok", false); }
TEST(ScriptGoldenTest, Err) { check_folder("err", true); }

}  // namespace
}  // namespace vaxo_core::parser
