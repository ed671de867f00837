// Table cases for the grammar tests: a rule runs on a source, and the tree it
// gives (in the parenthesised form of sexpr.h), the tokens it leaves unread
// and the diagnostics the walker collects from the tree are compared.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/parser/parser.h"
#include "tests/parser/sexpr.h"
#include "tests/parser/support/source.h"

namespace vaxo_core::parser::testing {

using Diags = std::vector<std::string>;

struct Case {
  std::string source;
  std::string tree;         // "fail" when the rule gives nothing
  Diags diagnostics = {};   // none are compared when the rule fails
  std::string rest = "␃";  // the tokens left unread, the end token included
};

// A script's statements, `|`-separated, then `=> value`.
inline std::string sx(const Script& script) {
  std::string out;
  for (const Statement& s : script.statements) out += sx(s) + " | ";
  return out + "=> " + sx(script.value);
}

// `rule(ctx)` gives an optional node: Expression, Iterable or Script.
template <typename Rule>
void check(const Case& c, Rule rule) {
  SCOPED_TRACE(c.source);
  Source s(c.source);
  auto node = rule(s.ctx());
  EXPECT_EQ(node ? sx(*node) : "fail", c.tree);
  EXPECT_EQ(s.rest(), c.rest);
  if (node) {
    EXPECT_EQ(diagnostics_of(*node, s.text()), c.diagnostics);
  }
}

// A whole script: the parse always gives a tree within the bounds and reads
// up to and including the end token, which it borrows from the list.
inline void check_script(const Case& c) {
  SCOPED_TRACE(c.source);
  EXPECT_EQ(c.rest, "␃") << "a script reads all its tokens: give no rest";
  Source s(c.source);
  auto script = parse(s.ctx());
  ASSERT_TRUE(script.has_value());
  EXPECT_EQ(sx(*script), c.tree);
  EXPECT_EQ(s.rest(), "");
  EXPECT_TRUE(script->eof.is_borrowed());
  EXPECT_TRUE(script->eof->kind.is_eof());
  EXPECT_EQ(diagnostics_of(*script, s.text()), c.diagnostics);
}

}  // namespace vaxo_core::parser::testing
