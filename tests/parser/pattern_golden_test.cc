// Golden files for the pattern grammar: tests/data/parser/patterns/{ok,err}.
//
// Each NAME.src is read as one pattern (rebind off), or, by name prefix, as
// the target of a rebind statement (`rebind_`) or as a parameter list
// (`params_`). NAME.expected holds the tree dump, the tokens left unread and
// the diagnostics the walker collects. The harness is tests/support/golden.h.
#include <gtest/gtest.h>

#include <string>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast_walker.h"
#include "core/parser/dump.h"
#include "core/parser/parameter_list.h"
#include "core/parser/patterns.h"
#include "tests/parser/support/source.h"
#include "tests/support/golden.h"

namespace vaxo_core::parser {
namespace {

using testing::Source;

template <typename Node>
golden::Output describe(Source& src, std::optional<Node> node) {
  golden::Output out;
  if (!node) {
    out.dump = "no result\nrest: " + src.rest() + "\n";
    return out;
  }
  ByteRange r = range(*node);
  if (r != ByteRange::absent() && (r.start > r.end || r.end > src.text().size())) {
    out.fault = "the node's range is outside the text";
  }
  out.dump = dump(*node);
  out.dump += "rest: " + src.rest() + "\n";
  config::Config cfg;
  diagnostic::DiagnosticsCollector collector(cfg, src.text());
  collect_diagnostics(*node, collector);
  out.diagnostics = collector.data();
  out.dump += collector.empty() ? "diagnostics: none\n" : "diagnostics:\n" + golden::list_diagnostics(out.diagnostics, "  ");
  return out;
}

golden::Output pattern_golden(const golden::Case& c) {
  std::string text = c.text;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  Source src(std::move(text));
  if (c.name().starts_with("params_")) return describe(src, parameter_list::parameter_list(src.ctx()));
  return describe(src, patterns::pattern(src.ctx(), c.name().starts_with("rebind_")));
}

TEST(PatternGoldenTest, Files) { EXPECT_GE(golden::run("parser/patterns", pattern_golden), 109u); }

}  // namespace
}  // namespace vaxo_core::parser
