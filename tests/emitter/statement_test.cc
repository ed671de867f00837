// Statement code: let, rebind, const, assignments (plain and compound, to
// names, upvalues, members and indexes), functions, return, break, continue,
// and the statements' declarations.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/emitter/support/emit_source.h"
#include "tests/emitter/support/tree.h"

namespace vaxo_core::emitter::testing {
namespace {

using Strings = std::vector<std::string>;

TEST(StatementTest, CompoundAssignmentToNames) {
  const Case cases[] = {
      {"let mut x = 0; x += 1; x",  // in place: no store afterwards
       "Func r0, 0, 4\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  Constant r4, K1\n"
       "  Add r1, r1, r4\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let mut x = 0; x &&= v; x",
       "Func r0, 0, 3\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  If r1\n"
       "    GetGlobal r1, K1\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      // Through the enclosing function's frame: read, combine, write back.
      {"let mut x = 0; fn f() { x -= 1; } f",
       "Func r0, 0, 4\n"
       "  Func r2, 0, 3\n"
       "    GetUpvalue r2, 1, r1\n"
       "    Constant r3, K0\n"
       "    Sub r2, r2, r3\n"
       "    SetUpvalue r2, 1, r1\n"
       "    Assign r1, r0\n"
       "    Return r1\n"
       "  FuncEnd\n"
       "  Constant r4, K1\n"
       "  Assign r1, r4\n"
       "  Assign r3, r2\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@8..9"}},  // an update is no read
      {"let mut x = 0; fn f() { x ?\?= 1; } f",
       "Func r0, 0, 4\n"
       "  Func r2, 0, 2\n"
       "    GetUpvalue r2, 1, r1\n"
       "    IfNil r2\n"
       "      Constant r2, K0\n"
       "    IfEnd\n"
       "    SetUpvalue r2, 1, r1\n"
       "    Assign r1, r0\n"
       "    Return r1\n"
       "  FuncEnd\n"
       "  Constant r4, K1\n"
       "  Assign r1, r4\n"
       "  Assign r3, r2\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@8..9"}},
      // Undeclared or immutable: the value is still written, into r0.
      {"y += 1;", "Func r0, 0, 2\n  Constant r2, K0\n  Add r0, r0, r2\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UndefinedVariableAssignment@0..1"}},
      {"let y = 0; y *= 2; y",
       "Func r0, 0, 4\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  Constant r4, K1\n"
       "  Mul r0, r0, r4\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {"ImmutableVariableAssignment@11..12", "VariableDeclaredHere@4..5"}},
  };
  for (const Case& c : cases) check(c);
}

// A guarded update whose value writes its destination before it has read
// everything (a short-circuit operator, a builder, an index after its
// object, a pattern test, `match`, a loop's result) computes the value in a
// register of its own: in the variable's, the value would read the variable
// already overwritten.
TEST(StatementTest, GuardedUpdateComputesAnOverwritingValueApart) {
  const Case cases[] = {
      {"let mut a = 1; a &&= b || a; a",
       "Func r0, 0, 4\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  If r1\n"
       "    GetGlobal r4, K1\n"
       "    IfNot r4\n"
       "      Assign r4, r1\n"
       "      ToBoolean r4, r4\n"
       "    IfEnd\n"
       "    Assign r1, r4\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let mut a = 1; a ||= b ?\? a; a",
       "Func r0, 0, 4\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  IfNot r1\n"
       "    GetGlobal r4, K1\n"
       "    IfNil r4\n"
       "      Assign r4, r1\n"
       "    IfEnd\n"
       "    Assign r1, r4\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      // Behind a grouping and inside a conditional's branch alike.
      {"let mut a = 1; a ?\?= c ? (b and a) : 0; a",
       "Func r0, 0, 5\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  IfNil r1\n"
       "    GetGlobal r5, K1\n"
       "    If r5\n"
       "      GetGlobal r4, K2\n"
       "      If r4\n"
       "        Assign r4, r1\n"
       "        ToBoolean r4, r4\n"
       "      IfEnd\n"
       "    Else\n"
       "      Constant r4, K3\n"
       "    IfEnd\n"
       "    Assign r1, r4\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {"PreferIfExpression@21..38", "PreferLogicalOperatorAnd@28..31"}},
      // The builder opens before its items read the variable.
      {"let mut a = 1; a ||= [a, 1]; a",
       "Func r0, 0, 5\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  IfNot r1\n"
       "    Constant r5, K0\n"
       "    Array r4\n"
       "      Item r1\n"
       "      Item r5\n"
       "    Freeze\n"
       "    Assign r1, r4\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let mut a = 1; a &&= b[a]; a",
       "Func r0, 0, 4\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  If r1\n"
       "    GetGlobal r4, K1\n"
       "    GetDyn r4, r4, r1\n"
       "    Assign r1, r4\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      // `match` sets its result to nil before its cases read the value.
      {"let mut a = 1; a &&= match a { case 1 { 2 } }; a",
       "Func r0, 0, 6\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  If r1\n"
       "    Constant r5, K1\n"
       "    Assign r4, r0\n"
       "    IfNot r5\n"
       "      Constant r6, K0\n"
       "      Same r5, r6, r1\n"
       "      If r5\n"
       "        Constant r4, K2\n"
       "      IfEnd\n"
       "    IfEnd\n"
       "    Assign r1, r4\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      // Values that read nothing after their first write keep the variable's
      // register: a literal, a builder of other values, a literal index.
      {"let mut a = 1; a ?\?= 5; a",
       "Func r0, 0, 3\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  IfNil r1\n"
       "    Constant r1, K1\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let mut a = 1; a ||= [b, 1]; a",
       "Func r0, 0, 5\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  IfNot r1\n"
       "    GetGlobal r4, K1\n"
       "    Constant r5, K0\n"
       "    Array r1\n"
       "      Item r4\n"
       "      Item r5\n"
       "    Freeze\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let mut a = 1; a &&= b[0]; a",
       "Func r0, 0, 4\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  If r1\n"
       "    GetGlobal r1, K1\n"
       "    Constant r4, K2\n"
       "    GetDyn r1, r1, r4\n"
       "  IfEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      // A member's update already works in a register of its own.
      {"let p = (); p.0 &&= b || p;",
       "Func r0, 0, 4\n"
       "  Record r3\n"
       "  Freeze\n"
       "  Assign r1, r3\n"
       "  GetIndex r4, r1, 0\n"
       "  If r4\n"
       "    GetGlobal r4, K0\n"
       "    IfNot r4\n"
       "      Assign r4, r1\n"
       "      ToBoolean r4, r4\n"
       "    IfEnd\n"
       "  IfEnd\n"
       "  SetIndex r4, r1, 0\n"
       "  Assign r2, r0\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
  };
  for (const Case& c : cases) check(c);

  // `b || a` is computed outside a's register: r1 is written only by the
  // binding and by the copy of the finished value.
  EXPECT_EQ(writes_to(Emitted("let mut a = 1; a &&= b || a; a", false).code(), "r1"),
            (Strings{"Assign r1, r3", "Assign r1, r4"}));
}

// Parameters, the rest parameter included, hold their values from the
// function's start: read at once, with no uninitialised-read report.
TEST(StatementTest, RestParameterIsReadyFromTheStart) {
  const Case cases[] = {
      {"fn f(a, ..xs) { [a, xs] } f",
       "Func r0, 0, 2\n"
       "  FuncVarg r1, 2, 3\n"
       "    Array r3\n"
       "      Item r1\n"
       "      Item r2\n"
       "    Freeze\n"
       "    Return r3\n"
       "  FuncEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"fn f(..mut xs) { xs } f",
       "Func r0, 0, 2\n"
       "  FuncVarg r1, 1, 2\n"
       "    Assign r2, r1\n"
       "    Return r2\n"
       "  FuncEnd\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
  };
  for (const Case& c : cases) check(c);
}

TEST(StatementTest, AssignmentToMembersAndIndexes) {
  const Case cases[] = {
      {"let a = (); a.b = v;",  // the key is interned although not compound
       "Func r0, 0, 4\n"
       "  Record r3\n"
       "  Freeze\n"
       "  Assign r1, r3\n"
       "  GetGlobal r4, K1\n"
       "  Set r4, r1, K0\n"
       "  Assign r2, r0\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let a = (); a.b += v;",
       "Func r0, 0, 5\n"
       "  Record r3\n"
       "  Freeze\n"
       "  Assign r1, r3\n"
       "  Get r4, r1, K0\n"
       "  GetGlobal r5, K1\n"
       "  Add r4, r4, r5\n"
       "  Set r4, r1, K0\n"
       "  Assign r2, r0\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let a = (); a.0 = v;",
       "Func r0, 0, 4\n"
       "  Record r3\n"
       "  Freeze\n"
       "  Assign r1, r3\n"
       "  GetGlobal r4, K0\n"
       "  SetIndex r4, r1, 0\n"
       "  Assign r2, r0\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let a = (); a.0 %= v;",
       "Func r0, 0, 5\n"
       "  Record r3\n"
       "  Freeze\n"
       "  Assign r1, r3\n"
       "  GetIndex r4, r1, 0\n"
       "  GetGlobal r5, K0\n"
       "  Mod r4, r4, r5\n"
       "  SetIndex r4, r1, 0\n"
       "  Assign r2, r0\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let a = (); a[i] = v;",
       "Func r0, 0, 5\n"
       "  Record r3\n"
       "  Freeze\n"
       "  Assign r1, r3\n"
       "  GetGlobal r4, K0\n"
       "  GetGlobal r5, K1\n"
       "  SetDyn r5, r1, r4\n"
       "  Assign r2, r0\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let a = (); a[i] ?\?= v;",
       "Func r0, 0, 5\n"
       "  Record r3\n"
       "  Freeze\n"
       "  Assign r1, r3\n"
       "  GetGlobal r4, K0\n"
       "  GetDyn r5, r1, r4\n"
       "  IfNil r5\n"
       "    GetGlobal r5, K1\n"
       "  IfEnd\n"
       "  SetDyn r5, r1, r4\n"
       "  Assign r2, r0\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
  };
  for (const Case& c : cases) check(c);

  // `&&=` and `||=` differ from the nil-coalescing form only in the opening instruction.
  Emitted a("let a = (); a[i] &&= v;", false);
  EXPECT_NE(a.code().find("  GetDyn r5, r1, r4\n  If r5\n"), std::string::npos) << a.code();
  Emitted o("let a = (); a[i] ||= v;", false);
  EXPECT_NE(o.code().find("  GetDyn r5, r1, r4\n  IfNot r5\n"), std::string::npos) << o.code();
}

TEST(StatementTest, UnassignableTargetsWriteNothing) {
  const Case cases[] = {
      {"global += 1;", "Func r0, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n", {"MisuseOfGlobalKeyword@0..6"}},
      {"global.x = 1;", "Func r0, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n", {"UnassignableExpression@0..8"}},
      {"global[k] += 1;", "Func r0, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UnassignableExpression@0..9"}},
      {"f() = 1;", "Func r0, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n", {"UnassignableExpression@0..3"}},
  };
  for (const Case& c : cases) check(c);
}

// A plain `=` to a name is parsed as a rebinding; the assignment form for it
// is built by hand.
class PlainAssignmentTest : public EmitterFixture {
 protected:
  Statement assign(std::string_view name, std::string_view value_text, double value) {
    Tree& t = *tree;
    return Statement::Assign{t.box(t.var(name)), t.op(Operator::Assign), t.box(t.number(value_text, value)),
                             t.op(Operator::Semicolon)};
  }
  Variable& declare(std::string_view name) {
    emitter->declare_variable(tree->id(name).get(), true, BindType::Let);
    Variable& v = *emitter->scopes.find_local_variable(name);
    emitter->initialize_variable(v);
    return v;
  }
};

TEST_F(PlainAssignmentTest, ToALocalOfTheCurrentFrameOnlyTheValue) {
  start("x = 1;");
  declare("x");
  emitter->diagnostics.data().clear();
  emitter->emit_statement(assign("x", "1", 1), std::nullopt);
  EXPECT_EQ(code(), "Constant r1, K0\n");
  EXPECT_EQ(diagnostics(), (std::vector<std::string>{}));
}

TEST_F(PlainAssignmentTest, ToALocalOfTheEnclosingFrameReadsItFirst) {
  start("x = 1;");
  declare("x");
  emitter->closures.enter(true, 0);
  emitter->enter_scope(ByteRange{0, 6});
  emitter->emit_statement(assign("x", "1", 1), std::nullopt);
  EXPECT_EQ(code(), "GetUpvalue r1, 1, r1\nConstant r1, K0\nSetUpvalue r1, 1, r1\n");
}

// A `for` name used inside its own iterable has no register yet: it is
// reported as uninitialised and never stored into.
TEST(StatementTest, ForNameWrittenInItsOwnIterable) {
  check({"for mut x in { x = 1; x += 2; [x] = [3]; [] } { x };",
         "Func r0, 0, 8\n"
         "  Constant r3, K0\n"
         "  Constant r4, K1\n"
         "  Add r0, r0, r4\n"
         "  Constant r6, K2\n"
         "  Array r5\n"
         "    Item r6\n"
         "  Freeze\n"
         "  IsArray r7, r5\n"
         "  If r7\n"
         "    GetIndex r8, r5, 0\n"
         "  Else\n"
         "  IfEnd\n"
         "  Array r2\n"
         "  Freeze\n"
         "  LoopFor 2, r2, r0\n"
         "    Assign r2, r1\n"
         "    Assign r0, r2\n"
         "  LoopEnd\n"
         "  Assign r1, r0\n"
         "  Return r1\n"
         "FuncEnd\n",
         {"UninitializedVariable@15..16", "VariableDeclaredHere@8..9", "UninitializedVariable@22..23",
          "VariableDeclaredHere@8..9", "UninitializedVariable@31..32", "VariableDeclaredHere@8..9"}});
}

TEST(StatementTest, ConstAndFunctionStatements) {
  const Case cases[] = {
      {"const @a = 1 + 2; @a",  // straight into the constant's register
       "Func r0, 0, 4\n"
       "  Constant r3, K0\n"
       "  Constant r4, K1\n"
       "  Add r1, r3, r4\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      // Keywords as names were reported by the parser: nothing is declared
      // or written.
      {"const global = 1;", "Func r0, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n", {}},
      {"fn global() { 1 }", "Func r0, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n", {}},
      {"fn mod() { 1 }", "Func r0, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n", {}},
      // A function statement is written before the statements around it.
      {"f(); fn f() { 1 }",
       "Func r0, 0, 2\n"
       "  Func r1, 0, 1\n"
       "    Constant r1, K0\n"
       "    Return r1\n"
       "  FuncEnd\n"
       "  CallDyn r0, r1, [], []\n"
       "  Assign r2, r0\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
  };
  for (const Case& c : cases) check(c);
}

TEST(StatementTest, ReturnTerminatesTheBlock) {
  const Case cases[] = {
      {"return;", "Func r0, 0, 1\n  Return r0\nFuncEnd\n", {}},
      {"return 1;", "Func r0, 0, 2\n  Constant r2, K0\n  Return r2\nFuncEnd\n", {}},
      // Statements after it are still written; no nil, no second Return.
      {"return 1; x;",
       "Func r0, 0, 2\n  Constant r2, K0\n  Return r2\n  GetGlobal r0, K1\nFuncEnd\n", {}},
  };
  for (const Case& c : cases) check(c);
}

TEST(StatementTest, BreakAndContinue) {
  const Case cases[] = {
      {"loop { break; };", "Func r0, 0, 1\n  Loop 0\n    Break\n  LoopEnd\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {}},
      // The loop's value is needed: nil or the value goes to it, one frame out.
      {"loop { break; }",
       "Func r0, 0, 1\n  Loop 0\n    SetUpvalue r0, 1, r1\n    Break\n  LoopEnd\n  Return r1\nFuncEnd\n", {}},
      {"loop { break 1; };",  // with a value also when the loop's is dropped
       "Func r0, 0, 1\n"
       "  Loop 1\n"
       "    Constant r1, K0\n"
       "    SetUpvalue r1, 1, r0\n"
       "    Break\n"
       "  LoopEnd\n"
       "  Assign r1, r0\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"loop { continue; }", "Func r0, 0, 1\n  Loop 0\n    Continue\n  LoopEnd\n  Return r1\nFuncEnd\n", {}},
      {"break 1;", "Func r0, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n", {"UnexpectedBreak@0..8"}},
      {"continue;", "Func r0, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n", {"UnexpectedContinue@0..9"}},
      // A function inside a loop is outside of it.
      {"loop { fn f() { continue; } break; };",
       "Func r0, 0, 1\n"
       "  Loop 1\n"
       "    Func r1, 0, 1\n"
       "      Assign r1, r0\n"
       "      Return r1\n"
       "    FuncEnd\n"
       "    Break\n"
       "  LoopEnd\n"
       "  Assign r1, r0\n"
       "  Return r1\n"
       "FuncEnd\n",
       {"UnexpectedContinue@16..25", "UnusedLocalFunction@10..11"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(StatementTest, LetDeclaresFunctionsAndVariables) {
  struct Row {
    const char* source;
    Strings diagnostics;
  };
  const Row rows[] = {
      {"let f = fn() { };", {"UnusedLocalFunction@4..5"}},
      {"let mut f = fn() { };", {"UnusedLocalVariable@8..9"}},
      {"let [f] = [fn() { }];", {"UnusedLocalVariable@5..6"}},
      {"let x = 1; let x = 2; x", {"DuplicateVariableDeclaration@15..16", "VariableDeclaredHere@4..5"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    EXPECT_EQ(Emitted(row.source, false).diagnostics(), row.diagnostics);
  }
  // Tags: the kind of each declaration, then its uses.
  Emitted e("let f = fn() { }; let mut g = 1; const @k = 2; g = @k; f");
  EXPECT_EQ(e.diagnostics(),
            (Strings{"Scope@0..56", "Scope@10..15", "LocalFunction@4..5", "ReadLocal@55..56", "LocalMutable@26..27",
                     "WriteLocal@47..48", "UnusedLocalVariable@26..27", "LocalConst@39..41", "ReadLocal@51..53"}));
}

}  // namespace
}  // namespace vaxo_core::emitter::testing
