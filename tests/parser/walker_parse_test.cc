// The walker over parsed scripts that hold every node kind, with and without
// faults: every stored diagnostic reaches the collector exactly once, and
// afterwards no recovery token, no recovered Unknown and no stored
// diagnostic is left in the tree, and every node's height and range are
// those of its children.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast_walker.h"
#include "core/parser/dump.h"
#include "core/parser/parser.h"
#include "tests/parser/support/source.h"

namespace vaxo_core::parser {
namespace {

using testing::Source;

// Counts the nodes whose recorded height, range or walker flag differs from
// what their children give now: the walker skips the nodes whose flag says
// nothing below needs it, and recomputes only above a replaced node.
struct StaleNodes {
  std::size_t count = 0;

  template <typename N>
  void node(const N& n) {
    const std::uint32_t summary = N::compute_summary(n.node);
    const bool holds = (summary & ast_detail::kHoldsRecovery) != 0;
    if (n.height != (summary & ~ast_detail::kHoldsRecovery) || n.cached_range() != N::compute_range(n.node) ||
        n.holds_recovery != holds) {
      ++count;
    }
    std::visit([&](const auto& alt) { part(alt); }, n.node);
  }
  void part(const Expression& e) { node(e); }
  void part(const Pattern& p) { node(p); }
  void part(const Statement& s) { node(s); }
  void part(const TokenRef&) {}
  void part(const OptionalTokenRef&) {}
  void part(const Token*) {}
  void part(std::size_t) {}
  void part(const SourceDiagnostic&) {}
  template <typename T>
  void part(const std::unique_ptr<T>& p) {
    if (p) part(*p);
  }
  template <typename T>
  void part(const ElementBox<T>& p) {
    if (p) part(*p);
  }
  template <typename T>
  void part(const std::optional<T>& p) {
    if (p) part(*p);
  }
  template <typename T>
  void part(const NodeList<T>& list) {
    for (const T& e : list) part(e);
  }
  template <typename T>
    requires requires(const T& t) { t.fields(); }
  void part(const T& t) {
    std::apply([&](const auto&... f) { (part(f), ...); }, t.fields());
  }
  template <typename T>
    requires requires(const T& t) { t.node.index(); } && (!requires(const T& t) { t.height; })
  void part(const T& t) {
    visit_node([&](const auto& alt) { part(alt); }, t.node);
  }
};

// Diagnostics the dump shows inside braces: {Code a..b, Code c..d}.
std::size_t stored_diagnostics(const std::string& dump_text) {
  static const std::regex kList(R"(\{([A-Z][A-Za-z]+ [0-9]+\.\.[0-9]+(, )?)+\})");
  std::size_t count = 0;
  for (auto it = std::sregex_iterator(dump_text.begin(), dump_text.end(), kList); it != std::sregex_iterator(); ++it) {
    const std::string list = it->str();
    count += 1 + static_cast<std::size_t>(std::count(list.begin(), list.end(), ','));
  }
  return count;
}

void check_walk(const std::string& text, bool faulty = true) {
  SCOPED_TRACE(text);
  Source src(text);
  auto script = parse(src.ctx());
  ASSERT_TRUE(script);
  ByteRange before = range(*script);
  EXPECT_LE(before.end, text.size());
  std::string dumped = dump(*script);
  std::size_t stored = stored_diagnostics(dumped);
  StaleNodes fresh;
  fresh.part(*script);
  EXPECT_EQ(fresh.count, 0u) << dumped;

  config::Config cfg;
  diagnostic::DiagnosticsCollector collector(cfg, src.text());
  collect_diagnostics(*script, collector);
  EXPECT_EQ(collector.size(), stored) << dumped;
  if (faulty) {
    EXPECT_GE(collector.size(), 2u);
  }
  for (const auto& d : collector) {
    EXPECT_LE(d.range.start, d.range.end);
    EXPECT_LE(d.range.end, text.size());
  }

  std::string after = dump(*script);
  EXPECT_EQ(after.find("<?"), std::string::npos) << after;
  EXPECT_EQ(after.find("recovered: Expression::"), std::string::npos) << after;
  EXPECT_EQ(after.find("recovered: Pattern::"), std::string::npos) << after;
  EXPECT_EQ(stored_diagnostics(after), 0u) << after;
  EXPECT_LE(range(*script).end, text.size());
  StaleNodes stale;
  stale.part(*script);
  EXPECT_EQ(stale.count, 0u) << after;
}

TEST(WalkerParseTest, EveryNodeKindWalks) {
  check_walk(
      "let (a, b: [c, ..d], :e, ..f) = (1, b: [2, 3], e: 'x', g: \"${a}!\");\n"
      "const @k = -1 + 2 * 3 ^ 4 ?? nil;\n"
      "fn add(x, y, ..rest) { return x + y; }\n"
      "a = add(1, ..[2, 3]);\n"
      "a += a.b.0[1][1..2][..<3]!;\n"
      "let v = a::add(1)::type(2) 'tag' \"t${a}\";\n"
      "let j = {'k': 1, \"${a}\": 2};\n"
      "let w = while a { break a; } else { 0 };\n"
      "for [x, y] in 1..10 { continue; }\n"
      "loop { break; }\n"
      "let m = match a { case 1 or 2 if a { 1 } case (x: > 1, y: 1..<5) { 2 } case not _ { 3 } };\n"
      "let c = a is mut z and @k ? if a { 1 } else if b { 2 } else { 3 } : fn(q) { q };\n"
      "{ a; b }\n"
      ";\n"
      "a",
      false);
}

TEST(WalkerParseTest, FaultsAreCollectedOnceAndResolved) {
  check_walk("let (..r, x: a, :1, .._) = (a b, , c;\n");
  check_walk("let [1..5, ..a, ..b] = [1 2,, ..];\n");
  check_walk("fn (..a, b { mut global }\n");
  check_walk("let mut @k = !1 + type(a, b);\n");
  check_walk("match x { 1 { } case { } }\n");
  check_walk("if { a } { b } else c\n");
  check_walk(") ] } let = ; const x = 1; a.b = ; for in x {}");
  check_walk("let x = \"${a b}\" + \"${}\" + (a: );\n");
  check_walk("let r = -'a'..'z'; let q = x is == y;\n");
}

}  // namespace
}  // namespace vaxo_core::parser
