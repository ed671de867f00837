// Operators and control flow: prefix folding, short-circuit operators,
// membership, `is`, if and the conditional, the three loops with their
// frames, result registers and else branches, and match.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/emitter/support/emit_source.h"

namespace vaxo_core::emitter::testing {
namespace {

using Strings = std::vector<std::string>;

TEST(ControlTest, PrefixOperators) {
  const Case cases[] = {
      {"-5", "Func r0, 0, 1\n  Constant r1, K0\n  Return r1\nFuncEnd\n", {}},
      {"+5", "Func r0, 0, 1\n  Constant r1, K0\n  Return r1\nFuncEnd\n", {}},
      // Only a bare numeric literal is folded.
      {"-(5)", "Func r0, 0, 2\n  Constant r2, K0\n  Neg r1, r2\n  Return r1\nFuncEnd\n",
       {"UnnecessaryParentheses@1..4"}},
      {"!5", "Func r0, 0, 2\n  Constant r2, K0\n  Not r1, r2\n  Return r1\nFuncEnd\n", {"NonBooleanInLogical@1..2"}},
      {"not a", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Not r1, r2\n  Return r1\nFuncEnd\n",
       {"PreferLogicalOperatorNot@0..3"}},
      {"+a", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Pos r1, r2\n  Return r1\nFuncEnd\n", {}},
  };
  for (const Case& c : cases) check(c);

  struct Row {
    const char* source;
    const char* constants;
  };
  const Row rows[] = {{"-5", "  K0 Number -5\n"},
                      {"-0", "  K0 Number -0\n"},
                      {"[0, -0]", "  K0 Number 0\n  K1 Number -0\n"},
                      {"-inf", "  K0 Number -inf\n"},
                      {"[nan, -nan]", "  K0 Number NaN(0x7ff8000000000000)\n  K1 Number NaN(0xfff8000000000000)\n"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    EXPECT_EQ(Emitted(row.source, false).constants(), row.constants);
  }
}

TEST(ControlTest, InfixOperators) {
  const Case cases[] = {
      {"a && b",
       "Func r0, 0, 1\n"
       "  GetGlobal r1, K0\n"
       "  If r1\n"
       "    GetGlobal r1, K1\n"
       "    ToBoolean r1, r1\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"a && b;",  // the value is dropped: a fresh register holds both
       "Func r0, 0, 2\n"
       "  GetGlobal r2, K0\n"
       "  If r2\n"
       "    GetGlobal r2, K1\n"
       "    ToBoolean r2, r2\n"
       "  IfEnd\n"
       "  Assign r1, r0\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"a or b",
       "Func r0, 0, 1\n"
       "  GetGlobal r1, K0\n"
       "  IfNot r1\n"
       "    GetGlobal r1, K1\n"
       "    ToBoolean r1, r1\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {"PreferLogicalOperatorOr@2..4"}},
      {"a ?? b",  // no ToBoolean
       "Func r0, 0, 1\n  GetGlobal r1, K0\n  IfNil r1\n    GetGlobal r1, K1\n  IfEnd\n  Return r1\nFuncEnd\n", {}},
      {"x in global", "Func r0, 0, 2\n  GetGlobal r2, K0\n  InGlobal r1, r2\n  Return r1\nFuncEnd\n", {}},
      {"x in xs", "Func r0, 0, 3\n  GetGlobal r2, K0\n  GetGlobal r3, K1\n  In r1, r2, r3\n  Return r1\nFuncEnd\n",
       {}},
      {"a ^ b", "Func r0, 0, 3\n  GetGlobal r2, K0\n  GetGlobal r3, K1\n  Pow r1, r2, r3\n  Return r1\nFuncEnd\n", {}},
      {"a !~ b", "Func r0, 0, 3\n  GetGlobal r2, K0\n  GetGlobal r3, K1\n  Naeq r1, r2, r3\n  Return r1\nFuncEnd\n",
       {}},
      // An infix `not` has no instruction: both operands, an error, nil.
      {"a not b", "Func r0, 0, 3\n  GetGlobal r2, K0\n  GetGlobal r3, K1\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UnexpectedToken@2..5"}},
  };
  for (const Case& c : cases) check(c);

  // `and` is `&&` with a hint.
  Emitted a("a and b", false);
  EXPECT_EQ(a.code(), Emitted("a && b", false).code());
  EXPECT_EQ(a.diagnostics(), (Strings{"PreferLogicalOperatorAnd@2..5"}));
  // InGlobal is mapped over `in global`.
  Emitted g("x in global", false, /*sourcemap=*/true);
  std::vector<ByteRange> map;
  for (const auto& d : g.raw_diagnostics()) {
    if (d.error == DiagnosticCode::SourceMap) map.push_back(d.range);
  }
  ASSERT_EQ(map.size(), 5u);
  EXPECT_EQ(map[2], (ByteRange{2, 11}));
}

TEST(ControlTest, IfAndConditional) {
  const Case cases[] = {
      {"if c { 1 }",  // the value is needed: nil without else
       "Func r0, 0, 2\n"
       "  GetGlobal r2, K0\n"
       "  If r2\n"
       "    Constant r1, K1\n"
       "  Else\n"
       "    Assign r1, r0\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"if c { 1 };",
       "Func r0, 0, 2\n"
       "  GetGlobal r2, K0\n"
       "  If r2\n"
       "    Constant r0, K1\n"
       "  IfEnd\n"
       "  Assign r1, r0\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"if a { 1 } else if b { 2 } else { 3 }",
       "Func r0, 0, 3\n"
       "  GetGlobal r2, K0\n"
       "  If r2\n"
       "    Constant r1, K1\n"
       "  Else\n"
       "    GetGlobal r3, K2\n"
       "    If r3\n"
       "      Constant r1, K3\n"
       "    Else\n"
       "      Constant r1, K4\n"
       "    IfEnd\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      // The condition's `is` names live in the if's scope, for both branches.
      {"if x is y { y } else { y }",
       "Func r0, 0, 4\n"
       "  GetGlobal r4, K0\n"
       "  Constant r3, K1\n"
       "  Assign r2, r4\n"
       "  If r3\n"
       "    Assign r1, r2\n"
       "  Else\n"
       "    Assign r1, r2\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"c ? 1 : 2",
       "Func r0, 0, 2\n"
       "  GetGlobal r2, K0\n"
       "  If r2\n"
       "    Constant r1, K1\n"
       "  Else\n"
       "    Constant r1, K2\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {"PreferIfExpression@0..9"}},
  };
  for (const Case& c : cases) check(c);
}

// A keyword right after the conditional's `?` is the literal, never a global
// of that name; before `:` elsewhere it is still a record name.
TEST(ControlTest, ConditionalBranchKeywordsAreLiterals) {
  struct Row {
    const char* source;
    const char* then_code;
    const char* else_code;
    const char* constants;
  };
  const Row rows[] = {
      {"c ? true : 0", "    Constant r1, K1\n", "    Constant r1, K2\n", "  K0 String \"c\"\n  K1 True\n  K2 Number 0\n"},
      {"c ? false : 1", "    Constant r1, K1\n", "    Constant r1, K2\n", "  K0 String \"c\"\n  K1 False\n  K2 Number 1\n"},
      {"c ? nil : 1", "    Assign r1, r0\n", "    Constant r1, K1\n", "  K0 String \"c\"\n  K1 Number 1\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    Emitted e(row.source, false);
    EXPECT_EQ(e.code(), std::string("Func r0, 0, 2\n  GetGlobal r2, K0\n  If r2\n") + row.then_code + "  Else\n" +
                            row.else_code + "  IfEnd\n  Return r1\nFuncEnd\n");
    EXPECT_EQ(e.constants(), row.constants);
  }
  Emitted names("(true: 1, if: 2)", false);
  EXPECT_EQ(names.constants(), "  K0 Number 1\n  K1 Number 2\n  K2 String \"true\"\n  K3 String \"if\"\n");
}

TEST(ControlTest, IsInConditionalBranchesAndMatchValuesIsDeclared) {
  // Each branch's name is declared in the conditional's scope: no undefined
  // assignment, and the outer immutable `y` is shadowed, not stored into
  // (the value is dropped, so the test is irrefutable: no success flag).
  const Case cases[] = {
      {"let y = 1; c ? (x is y) : 0; y",
       "Func r0, 0, 6\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  GetGlobal r5, K1\n"
       "  If r5\n"
       "    GetGlobal r6, K2\n"
       "    Assign r4, r6\n"
       "  Else\n"
       "    Constant r0, K3\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {"PreferIfExpression@11..27", "UnusedLocalVariable@21..22"}},
      {"match (v is w) { case 1 { w } }",
       "Func r0, 0, 6\n"
       "  GetGlobal r4, K0\n"
       "  Constant r3, K1\n"
       "  Assign r2, r4\n"
       "  Constant r5, K2\n"
       "  Assign r1, r0\n"
       "  IfNot r5\n"
       "    Constant r6, K3\n"
       "    Same r5, r6, r3\n"
       "    If r5\n"
       "      Assign r1, r2\n"
       "    IfEnd\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
  };
  for (const Case& c : cases) check(c);
}

TEST(ControlTest, Loops) {
  const Case cases[] = {
      {"while c { }",  // the value is needed: Uninit before, nil if no break set it
       "Func r0, 0, 1\n"
       "  Uninit r1\n"
       "  Loop 1\n"
       "    GetGlobal r1, K0\n"
       "    IfNot r1\n"
       "      Break\n"
       "    IfEnd\n"
       "  LoopEnd\n"
       "  IfNotInit r1\n"
       "    Assign r1, r0\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"while c { };",
       "Func r0, 0, 1\n"
       "  Loop 1\n"
       "    GetGlobal r1, K0\n"
       "    IfNot r1\n"
       "      Break\n"
       "    IfEnd\n"
       "  LoopEnd\n"
       "  Assign r1, r0\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      // A dropped value with an else branch: the result register is taken in
      // the enclosing frame, not counted in the loop's.
      {"while c { } else { 0 };",
       "Func r0, 0, 2\n"
       "  Loop 1\n"
       "    GetGlobal r1, K0\n"
       "    IfNot r1\n"
       "      Break\n"
       "    IfEnd\n"
       "  LoopEnd\n"
       "  IfNotInit r2\n"
       "    Constant r2, K1\n"
       "  IfEnd\n"
       "  Assign r1, r0\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"let x = while c { break 1; } else { 0 }; x",
       "Func r0, 0, 3\n"
       "  Uninit r3\n"
       "  Loop 2\n"
       "    GetGlobal r1, K0\n"
       "    IfNot r1\n"
       "      Break\n"
       "    IfEnd\n"
       "    Constant r2, K1\n"
       "    SetUpvalue r2, 1, r3\n"
       "    Break\n"
       "  LoopEnd\n"
       "  IfNotInit r3\n"
       "    Constant r3, K2\n"
       "  IfEnd\n"
       "  Assign r1, r3\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      // The item is the loop frame's r1; the name gets its register when bound.
      {"for x in xs { }",
       "Func r0, 0, 2\n"
       "  GetGlobal r2, K0\n"
       "  Uninit r1\n"
       "  LoopFor 2, r2, r0\n"
       "    Assign r2, r1\n"
       "  LoopEnd\n"
       "  IfNotInit r1\n"
       "    Assign r1, r0\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@4..5"}},
      {"for i in a..<b { };",
       "Func r0, 0, 3\n"
       "  GetGlobal r2, K0\n"
       "  GetGlobal r3, K1\n"
       "  LoopRangeExclusive 2, r2, r3\n"
       "    Assign r2, r1\n"
       "  LoopEnd\n"
       "  Assign r1, r0\n"
       "  Return r1\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@4..5"}},
      {"for x in xs { } else { 0 };",
       "Func r0, 0, 3\n"
       "  GetGlobal r2, K0\n"
       "  LoopFor 2, r2, r0\n"
       "    Assign r2, r1\n"
       "  LoopEnd\n"
       "  IfNotInit r3\n"
       "    Constant r3, K1\n"
       "  IfEnd\n"
       "  Assign r1, r0\n"
       "  Return r1\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@4..5"}},
      // A name bound in the iterable lives in the enclosing frame: the body
      // reads it one frame out.
      {"for a in (xs is y) { y; };",
       "Func r0, 0, 4\n"
       "  GetGlobal r3, K0\n"
       "  Constant r2, K1\n"
       "  Assign r4, r3\n"
       "  LoopFor 2, r2, r0\n"
       "    Assign r2, r1\n"
       "    GetUpvalue r0, 1, r4\n"
       "  LoopEnd\n"
       "  Assign r1, r0\n"
       "  Return r1\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@4..5"}},
      {"loop { loop { break 1; } }",  // an inner loop's break value goes one frame out
       "Func r0, 0, 1\n"
       "  Loop 0\n"
       "    Loop 1\n"
       "      Constant r1, K0\n"
       "      SetUpvalue r1, 1, r0\n"
       "      Break\n"
       "    LoopEnd\n"
       "  LoopEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
  };
  for (const Case& c : cases) check(c);
}

TEST(ControlTest, LoopHeadersWidenWithTheirOperands) {
  // 130 registers in the loop frame: the count no longer fits one byte.
  std::string many = "loop { [";
  for (int i = 0; i < 130; ++i) many += "x, ";
  many += "]; break; }";
  Emitted wide_loop(many, false);
  EXPECT_EQ(wide_loop.code().find("  Loop 130\n"), std::string::npos);
  EXPECT_NE(wide_loop.code().find("  Loop.w 130\n"), std::string::npos) << wide_loop.code().substr(0, 200);

  // An iterable register past 255 widens the whole header.
  std::string iterated = "[";
  for (int i = 0; i < 300; ++i) iterated += "x, ";
  iterated += "]; for i in xs { };";
  Emitted wide_for(iterated, false);
  EXPECT_NE(wide_for.code().find("  LoopFor.w 2, r302, r0\n"), std::string::npos)
      << wide_for.code().substr(wide_for.code().size() - 200);
}

TEST(ControlTest, Match) {
  const Case cases[] = {
      {"match v { }",
       "Func r0, 0, 3\n  GetGlobal r2, K0\n  Constant r3, K1\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"MatchExpressionHasNoCases@0..5"}},
      {"match v { };",  // no nil for a dropped value
       "Func r0, 0, 3\n  GetGlobal r2, K0\n  Constant r3, K1\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"MatchExpressionHasNoCases@0..5"}},
      {"match v { case x if x > 1 { x } case _ { 0 } }",
       "Func r0, 0, 5\n"
       "  GetGlobal r2, K0\n"
       "  Constant r3, K1\n"
       "  Assign r1, r0\n"
       "  IfNot r3\n"
       "    Constant r3, K2\n"
       "    Assign r4, r2\n"
       "    If r3\n"
       "      Constant r5, K3\n"
       "      Gt r3, r4, r5\n"
       "    IfEnd\n"
       "    If r3\n"
       "      Assign r1, r4\n"
       "    IfEnd\n"
       "  IfEnd\n"
       "  IfNot r3\n"
       "    Constant r3, K2\n"
       "    If r3\n"
       "      Constant r1, K4\n"
       "    IfEnd\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
  };
  for (const Case& c : cases) check(c);

  // The guard's IfEnd sits at the body's start, the case's two at its end.
  Emitted e("match v { case 1 if g { } }", false, true);
  std::vector<ByteRange> map;
  for (const auto& d : e.raw_diagnostics()) {
    if (d.error == DiagnosticCode::SourceMap) map.push_back(d.range);
  }
  // Func, GetGlobal, Constant, Assign, IfNot, Constant, Same, If, GetGlobal,
  // IfEnd, If, Assign (nil body), IfEnd, IfEnd, Return, FuncEnd
  ASSERT_EQ(map.size(), 16u);
  EXPECT_EQ(map[4], (ByteRange{10, 14}));   // IfNot at `case`
  EXPECT_EQ(map[7], (ByteRange{17, 19}));   // If at the guard's `if`
  EXPECT_EQ(map[9], (ByteRange{22, 22}));   // IfEnd at the body's start
  EXPECT_EQ(map[10], (ByteRange{10, 14}));  // If at `case`
  EXPECT_EQ(map[12], (ByteRange{25, 25}));
  EXPECT_EQ(map[13], (ByteRange{25, 25}));
}

TEST(ControlTest, DeepNestingStaysWithinTheBounds) {
  // A thousand levels of each nesting construct: whatever the parser
  // accepts (on a sanitizer's bigger frames it may give up earlier, which
  // is its own diagnostic) the emitter writes without an internal error.
  const std::pair<std::string, std::string> shapes[] = {
      {"if c { ", " }"},      {"loop { ", " }"}, {"while c { ", " }"}, {"match v { case [", "] { } }"},
      {"x is [", "]"},        {"(c ? ", " : 0)"}, {"for x in [", "] { }"}, {"let [", "] = v;"},
      {"x is not ", ""},      {"{ ", " }"},
  };
  int emitted = 0;
  for (const auto& [open, close] : shapes) {
    SCOPED_TRACE(open);
    std::string text;
    for (int i = 0; i < 1000; ++i) text += open;
    text += "1";
    for (int i = 0; i < 1000; ++i) text += close;
    try {
      Emitted e(text, false);
      EXPECT_FALSE(e.bytes().empty());
      ++emitted;
    } catch (const StageGaveUp&) {
    }
  }
  EXPECT_GT(emitted, 0);
}

}  // namespace
}  // namespace vaxo_core::emitter::testing
