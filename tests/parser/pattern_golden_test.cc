// Golden files for the pattern grammar: tests/data/parser/patterns/{ok,err}.
//
// Each NAME.src is read as one pattern (rebind off), or, by name prefix, as
// the target of a rebind statement (`rebind_`) or as a parameter list
// (`params_`). NAME.expected holds the tree dump, the tokens left unread and
// the diagnostics the walker collects. ok/ files report nothing; err/ files
// report at least one diagnostic.
#include <gtest/gtest.h>

#include <string>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast_walker.h"
#include "core/parser/dump.h"
#include "core/parser/parameter_list.h"
#include "core/parser/patterns.h"
#include "tests/parser/support/golden.h"
#include "tests/parser/support/source.h"

namespace vaxo_core::parser {
namespace {

using testing::Source;

struct Outcome {
  std::string text;
  std::size_t diagnostics = 0;
};

template <typename Node>
Outcome describe(Source& src, std::optional<Node> node) {
  Outcome out;
  if (!node) {
    out.text = "no result\nrest: " + src.rest() + "\n";
    return out;
  }
  ByteRange r = range(*node);
  EXPECT_TRUE(r == ByteRange::absent() || (r.start <= r.end && r.end <= src.text().size())) << "range out of text";
  out.text = dump(*node);
  out.text += "rest: " + src.rest() + "\n";
  config::Config cfg;
  diagnostic::DiagnosticsCollector collector(cfg, src.text());
  collect_diagnostics(*node, collector);
  out.text += "diagnostics:";
  if (collector.empty()) out.text += " none";
  out.text += "\n";
  for (const auto& d : collector) {
    EXPECT_LE(d.range.start, d.range.end);
    EXPECT_LE(d.range.end, src.text().size());
    out.text += "  " + std::string(diagnostic::name(d.error)) + " " + std::to_string(d.range.start) + ".." +
                std::to_string(d.range.end) + "\n";
  }
  out.diagnostics = collector.size();
  return out;
}

Outcome run(const std::string& name, std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  Source src(std::move(text));
  if (name.starts_with("params_")) return describe(src, parameter_list::parameter_list(src.ctx()));
  bool rebind = name.starts_with("rebind_");
  return describe(src, patterns::pattern(src.ctx(), rebind));
}

void check_folder(const std::string& folder, bool expect_diagnostics) {
  auto sources = testing::golden_sources("parser/patterns/" + folder);
  ASSERT_FALSE(sources.empty()) << "no golden files in " << folder;
  for (const auto& path : sources) {
    SCOPED_TRACE(path.string());
    Outcome out = run(path.stem().string(), testing::read_file(path));
    std::string failure = testing::check_golden(path, out.text);
    EXPECT_TRUE(failure.empty()) << failure;
    if (expect_diagnostics) {
      EXPECT_GT(out.diagnostics, 0u) << "an err/ file reports nothing";
    } else {
      EXPECT_EQ(out.diagnostics, 0u) << "an ok/ file reports a diagnostic";
    }
  }
}

TEST(PatternGoldenTest, Ok) { check_folder("ok", false); }
TEST(PatternGoldenTest, Err) { check_folder("err", true); }

}  // namespace
}  // namespace vaxo_core::parser
