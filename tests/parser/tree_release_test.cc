// Releasing a tree with its arena: what the tree owns outside the arena (the
// payloads of owned tokens, deep inside faulty subtrees) is freed — the
// sanitizer build's leak check is the judge — and the thread's later nodes
// come from the heap again. Under a scope that joined an outer arena the tree
// is destroyed node by node and the outer arena frees the rest.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/config/config.h"
#include "core/diagnostic/diagnostics_collector.h"
#include "core/parser/ast_walker.h"
#include "core/parser/parser.h"
#include "core/parser/tree_release.h"
#include "tests/parser/support/source.h"

namespace vaxo_core::parser {
namespace {

using testing::Source;

// Well-formed, faulty in many places (inserted and flagged tokens with
// payloads: strings, numbers, interpolations), and faulty only deep down.
const char* const kScripts[] = {
    "let a = 1; fn f(x) { x + \"s${a}\" } f(a)",
    "let (..r, x: a, :1, .._) = (a b, , c;\nlet [1..5, ..a, ..b] = [1 2,, ..];\n",
    "let x = \"${a b}\" + \"${}\" + (a: 'q' 2.5 );\nlet r = -'a'..'z'; let q = x is == y;\n",
    ") ] } let = ; const x = 1; a.b = ; for in x {} match x { 1 { } case { } }",
    "fn g() { if a { while b { [1, 2, (3 4 \"five\")] } } }",
};

void release_once(const std::string& text, bool walk) {
  SCOPED_TRACE(text);
  Source src(text);
  NodeArena::Scope arena;
  auto script = parse(src.ctx());
  ASSERT_TRUE(script);
  if (walk) {
    config::Config cfg;
    diagnostic::DiagnosticsCollector collector(cfg, src.text());
    collect_diagnostics(*script, collector);
  }
  release_tree(*script, arena);
  EXPECT_TRUE(script->statements.empty());
  EXPECT_EQ(script->value, nullptr);
  // The arena is gone: new nodes on this thread must not go to it.
  auto later = std::make_unique<Expression>(Expression::Variable{TokenRef::make(src.tokens().front())});
  EXPECT_TRUE(later->is_variable());
}

TEST(TreeRelease, FreesWhatTheTreeOwnsOutsideItsArena) {
  for (const char* text : kScripts) {
    release_once(text, /*walk=*/false);
    release_once(text, /*walk=*/true);
  }
}

TEST(TreeRelease, UnderAJoinedScopeTheTreeIsDestroyedNodeByNode) {
  for (const char* text : kScripts) {
    SCOPED_TRACE(text);
    Source src(text);
    NodeArena::Scope outer;
    {
      NodeArena::Scope inner;
      auto script = parse(src.ctx());
      ASSERT_TRUE(script);
      release_tree(*script, inner);
      EXPECT_TRUE(script->statements.empty());
    }
    // Still the outer arena's: made and freed before it closes.
    auto node = std::make_unique<Expression>(Expression::Variable{TokenRef::make(src.tokens().front())});
    EXPECT_TRUE(node->is_variable());
  }
}

}  // namespace
}  // namespace vaxo_core::parser
