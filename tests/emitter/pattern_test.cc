// Pattern code: tests into a success register, binds, the irrefutable
// context, record and array destructuring, and the pattern's declarations.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/emitter/support/emit_source.h"

namespace vaxo_core::emitter::testing {
namespace {

using Strings = std::vector<std::string>;

// As the script's value, `x is P` tests P into the result register r1.
TEST(PatternTest, LiteralConstantRelationAndRangeTests) {
  const Case cases[] = {
      {"x is nil",  // no constant for nil
       "Func r0, 0, 2\n  GetGlobal r2, K0\n  Same r1, r0, r2\n  Return r1\nFuncEnd\n", {}},
      {"x is not nil",
       "Func r0, 0, 2\n  GetGlobal r2, K0\n  Nsame r1, r0, r2\n  Return r1\nFuncEnd\n", {}},
      {"x is not (5)",  // one negated identity test, no Not
       "Func r0, 0, 3\n  GetGlobal r2, K0\n  Constant r3, K1\n  Nsame r1, r3, r2\n  Return r1\nFuncEnd\n",
       {"UnnecessaryParentheses@9..12"}},
      {"x is < 5",  // the constant is loaded before the guard
       "Func r0, 0, 3\n"
       "  GetGlobal r2, K0\n"
       "  Constant r3, K1\n"
       "  IsNumber r1, r2\n"
       "  If r1\n"
       "    Lt r1, r2, r3\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"x is <= \"s\"",
       "Func r0, 0, 3\n"
       "  GetGlobal r2, K0\n"
       "  Constant r3, K1\n"
       "  IsString r1, r2\n"
       "  If r1\n"
       "    Lte r1, r2, r3\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"x is < true",  // reported, still written
       "Func r0, 0, 3\n"
       "  GetGlobal r2, K0\n"
       "  Constant r3, K1\n"
       "  IsBoolean r1, r2\n"
       "  If r1\n"
       "    Lt r1, r2, r3\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {"NonNumberOrStringInComparison@7..11"}},
      {"x is != 1",  // equality needs no guard; value before constant
       "Func r0, 0, 3\n  GetGlobal r2, K0\n  Constant r3, K1\n  Neq r1, r2, r3\n  Return r1\nFuncEnd\n", {}},
      {"const @k = 1; x is == @k",
       "Func r0, 0, 4\n"
       "  Constant r1, K0\n"
       "  GetGlobal r3, K1\n"
       "  Assign r4, r1\n"
       "  Eq r2, r3, r4\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"const @k = 1; x is < @k",  // a constant's type is compared at run time
       "Func r0, 0, 6\n"
       "  Constant r1, K0\n"
       "  GetGlobal r3, K1\n"
       "  Assign r4, r1\n"
       "  Type r5, r4\n"
       "  Type r6, r3\n"
       "  Same r2, r5, r6\n"
       "  If r2\n"
       "    Lt r2, r3, r4\n"
       "  IfEnd\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"x is 1..<5",  // both bound registers taken before the guard
       "Func r0, 0, 4\n"
       "  GetGlobal r2, K0\n"
       "  IsNumber r1, r2\n"
       "  If r1\n"
       "    Constant r3, K1\n"
       "    Constant r4, K2\n"
       "    Lte r3, r3, r2\n"
       "    Gt r4, r4, r2\n"
       "    And r1, r3, r4\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"x is 1..5",
       "Func r0, 0, 4\n"
       "  GetGlobal r2, K0\n"
       "  IsNumber r1, r2\n"
       "  If r1\n"
       "    Constant r3, K1\n"
       "    Constant r4, K2\n"
       "    Lte r3, r3, r2\n"
       "    Gte r4, r4, r2\n"
       "    And r1, r3, r4\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      {"x is _", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Constant r1, K1\n  Return r1\nFuncEnd\n", {}},
  };
  for (const Case& c : cases) check(c);
}

TEST(PatternTest, SignedLiteralsInternTheirOwnConstants) {
  struct Row {
    const char* source;
    const char* constant;
  };
  const Row rows[] = {{"x is -0", "K1 Number -0"},
                      {"x is 0", "K1 Number 0"},
                      {"x is -inf", "K1 Number -inf"},
                      {"x is +5", "K1 Number 5"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    Emitted e(row.source, false);
    EXPECT_NE(e.constants().find(row.constant), std::string::npos) << e.constants();
  }
}

TEST(PatternTest, BindsAndCombinations) {
  const Case cases[] = {
      {"x is y",  // y is declared first, so it has r1; the value is r3
       "Func r0, 0, 3\n  GetGlobal r3, K0\n  Constant r2, K1\n  Assign r1, r3\n  Return r2\nFuncEnd\n",
       {"UnusedLocalVariable@5..6"}},
      {"x is y or z",  // both sides are written and both bind
       "Func r0, 0, 5\n"
       "  GetGlobal r4, K0\n"
       "  Constant r3, K1\n"
       "  Assign r1, r4\n"
       "  Constant r5, K1\n"
       "  Assign r2, r4\n"
       "  Or r3, r5, r3\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@5..6", "UnusedLocalVariable@10..11"}},
      {"x is y and z",
       "Func r0, 0, 5\n"
       "  GetGlobal r4, K0\n"
       "  Constant r3, K1\n"
       "  Assign r1, r4\n"
       "  Constant r5, K1\n"
       "  Assign r2, r4\n"
       "  And r3, r5, r3\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@5..6", "UnusedLocalVariable@11..12"}},
      {"x is not y",
       "Func r0, 0, 3\n  GetGlobal r3, K0\n  Constant r2, K1\n  Assign r1, r3\n  Not r2, r2\n  Return r2\nFuncEnd\n",
       {"UnusedLocalVariable@9..10"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(PatternTest, IrrefutableContextReportsWhatCouldFail) {
  const Case cases[] = {
      {"let 5 = x;", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UnnecessaryIrrefutablePattern@4..5"}},
      // The declaration pass reports the parentheses; the test the literal alone.
      {"let (5) = x;", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UnnecessaryParentheses@4..7", "UnnecessaryIrrefutablePattern@5..6"}},
      {"let not 5 = x;", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UnnecessaryIrrefutablePattern@4..7", "UnnecessaryIrrefutablePattern@8..9"}},
      {"let < 5 = x;", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UnnecessaryIrrefutablePattern@4..7"}},
      {"let 1..5 = x;", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UnnecessaryIrrefutablePattern@4..8"}},
      {"let () = x;", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UnnecessaryIrrefutablePattern@4..6"}},
      // An `is` whose value is dropped matches irrefutably.
      {"x is 5;", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UnnecessaryIrrefutablePattern@5..6"}},
      {"let _ = x;", "Func r0, 0, 2\n  GetGlobal r2, K0\n  Assign r1, r0\n  Return r1\nFuncEnd\n", {}},
  };
  for (const Case& c : cases) check(c);
}

TEST(PatternTest, Rebinding) {
  const Case cases[] = {
      {"let mut y = 0; y = 1; y",
       "Func r0, 0, 4\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  Constant r4, K1\n"
       "  Assign r1, r4\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {}},
      {"let y = 0; y = 1; y",  // nothing stored
       "Func r0, 0, 4\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  Constant r4, K1\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n",
       {"ImmutableVariableAssignment@11..12", "VariableDeclaredHere@4..5"}},
      {"y = 1;", "Func r0, 0, 2\n  Constant r2, K0\n  Assign r1, r0\n  Return r1\nFuncEnd\n",
       {"UndefinedVariableAssignment@0..1"}},
      {"y = 1; let mut y = 0;",  // before its `let`: refused, nothing stored
       "Func r0, 0, 4\n  Constant r3, K0\n  Constant r4, K1\n  Assign r1, r4\n  Assign r2, r0\n  Return r2\nFuncEnd\n",
       {"UninitializedVariable@0..1", "VariableDeclaredHere@15..16", "UnusedLocalVariable@15..16"}},
      // Into the enclosing function's frame; a failed match gives it nil there.
      {"let mut a = 0; fn f() { [a] = v; }",
       "Func r0, 0, 4\n"
       "  Func r2, 0, 4\n"
       "    GetGlobal r2, K0\n"
       "    IsArray r3, r2\n"
       "    If r3\n"
       "      GetIndex r4, r2, 0\n"
       "      SetUpvalue r4, 1, r1\n"
       "    Else\n"
       "      SetUpvalue r0, 1, r1\n"
       "    IfEnd\n"
       "    Assign r1, r0\n"
       "    Return r1\n"
       "  FuncEnd\n"
       "  Constant r4, K1\n"
       "  Assign r1, r4\n"
       "  Assign r3, r0\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@8..9", "UnusedLocalFunction@18..19"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(PatternTest, RecordPatterns) {
  const Case cases[] = {
      // An unnamed then a named member: each fetch guarded, nil on failure.
      {"v is (a, b: x)",
       "Func r0, 0, 7\n"
       "  GetGlobal r4, K0\n"
       "  IsRecord r3, r4\n"
       "  HasIndex r5, r4, 0\n"
       "  If r5\n"
       "    GetIndex r6, r4, 0\n"
       "    Constant r5, K1\n"
       "    Assign r1, r6\n"
       "  Else\n"
       "    Assign r1, r0\n"
       "  IfEnd\n"
       "  And r3, r3, r5\n"
       "  Has r5, r4, K2\n"
       "  If r5\n"
       "    Get r7, r4, K2\n"
       "    Constant r5, K1\n"
       "    Assign r2, r7\n"
       "  Else\n"
       "    Assign r2, r0\n"
       "  IfEnd\n"
       "  And r3, r3, r5\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@6..7", "UnusedLocalVariable@12..13"}},
      {"v is (b?: x)",  // optional: no Has, no If
       "Func r0, 0, 5\n"
       "  GetGlobal r3, K0\n"
       "  IsRecord r2, r3\n"
       "  Get r5, r3, K1\n"
       "  Constant r4, K2\n"
       "  Assign r1, r5\n"
       "  And r2, r2, r4\n"
       "  Return r2\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@10..11"}},
      {"v is ()", "Func r0, 0, 2\n  GetGlobal r2, K0\n  IsRecord r1, r2\n  Return r1\nFuncEnd\n", {}},
      // The rest leaves out the keys taken so far (an ordinal for a position).
      {"let (a, ..rest) = v;",
       "Func r0, 0, 6\n"
       "  GetGlobal r4, K0\n"
       "  GetIndex r5, r4, 0\n"
       "  Assign r1, r5\n"
       "  Omit r6, r4, [K1]\n"
       "  Assign r2, r6\n"
       "  Assign r3, r0\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@5..6", "UnusedLocalVariable@10..14"}},
      {"let (b: x, ..rest) = v;",
       "Func r0, 0, 6\n"
       "  GetGlobal r4, K0\n"
       "  Get r5, r4, K1\n"
       "  Assign r1, r5\n"
       "  Omit r6, r4, [K1]\n"
       "  Assign r2, r6\n"
       "  Assign r3, r0\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@8..9", "UnusedLocalVariable@13..17"}},
      // A spread that is not last collects no keys.
      {"let (a, ..r, b) = v;",
       "Func r0, 0, 8\n"
       "  GetGlobal r5, K0\n"
       "  GetIndex r6, r5, 0\n"
       "  Assign r1, r6\n"
       "  Omit r7, r5, []\n"
       "  Assign r2, r7\n"
       "  GetIndex r8, r5, 2\n"
       "  Assign r3, r8\n"
       "  Assign r4, r0\n"
       "  Return r4\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@5..6", "UnusedLocalVariable@10..11", "UnusedLocalVariable@13..14"}},
      // `:1` is no bind: the member is skipped, its position still counts.
      {"let (:x, :1, c) = v;",
       "Func r0, 0, 6\n"
       "  GetGlobal r4, K0\n"
       "  Get r5, r4, K1\n"
       "  Assign r1, r5\n"
       "  GetIndex r6, r4, 2\n"
       "  Assign r2, r6\n"
       "  Assign r3, r0\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@6..7", "UnusedLocalVariable@13..14"}},
      // An interpolated name fetches nothing but still folds the flag in.
      {"v is (\"$q\": x)",
       "Func r0, 0, 4\n  GetGlobal r3, K0\n  IsRecord r2, r3\n  And r2, r2, r4\n  Return r2\nFuncEnd\n",
       {"UnusedLocalVariable@12..13"}},
      // A spread without operand still omits, and matches like a discard.
      {"v is (x, ..)",
       "Func r0, 0, 6\n"
       "  GetGlobal r3, K0\n"
       "  IsRecord r2, r3\n"
       "  HasIndex r4, r3, 0\n"
       "  If r4\n"
       "    GetIndex r5, r3, 0\n"
       "    Constant r4, K1\n"
       "    Assign r1, r5\n"
       "  Else\n"
       "    Assign r1, r0\n"
       "  IfEnd\n"
       "  And r2, r2, r4\n"
       "  Omit r6, r3, [K2]\n"
       "  Constant r4, K1\n"
       "  And r2, r2, r4\n"
       "  Return r2\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@6..7"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(PatternTest, RecordMemberTags) {
  Emitted e("let (a, b: x, :y, 'k': z, 0: w) = v;");
  Strings tags;
  for (const std::string& d : e.diagnostics()) {
    if (d.rfind("Record", 0) == 0 || d.rfind("Unnamed", 0) == 0 || d.rfind("OmitNamed", 0) == 0) tags.push_back(d);
  }
  EXPECT_EQ(tags, (Strings{"UnnamedRecordField0@5..5", "RecordFieldIdName@8..9", "OmitNamedRecordField@14..15",
                           "OmitNamedRecordFieldName@15..16", "RecordFieldStringName@18..21",
                           "RecordFieldOrdinalName@26..27"}));
  EXPECT_NE(e.constants().find("String \"0\""), std::string::npos) << e.constants();

  // The eleventh member is tagged N and fetched with index 10.
  Emitted many("let (a, b, c, d, e, f, g, h, i, j, k) = v;");
  Strings unnamed;
  for (const std::string& d : many.diagnostics()) {
    if (d.rfind("Unnamed", 0) == 0) unnamed.push_back(d.substr(0, d.find('@')));
  }
  ASSERT_EQ(unnamed.size(), 11u);
  EXPECT_EQ(unnamed[1], "UnnamedRecordField1");
  EXPECT_EQ(unnamed[9], "UnnamedRecordField9");
  EXPECT_EQ(unnamed[10], "UnnamedRecordFieldN");
  EXPECT_NE(many.code().find("GetIndex r24, r13, 10\n"), std::string::npos) << many.code();
}

TEST(PatternTest, ArrayPatterns) {
  const Case cases[] = {
      // Leading by position, trailing from the end (last first), then the rest.
      {"v is [a, ..r, b]",
       "Func r0, 0, 11\n"
       "  GetGlobal r5, K0\n"
       "  IsArray r4, r5\n"
       "  If r4\n"
       "    GetIndex r7, r5, 0\n"
       "    Constant r6, K1\n"
       "    Assign r1, r7\n"
       "    And r4, r4, r6\n"
       "    GetIndex r8, r5, -1\n"
       "    Constant r6, K1\n"
       "    Assign r3, r8\n"
       "    And r4, r4, r6\n"
       "    Slice r9, r5, 1, -2\n"
       "    Constant r6, K1\n"
       "    Assign r2, r9\n"
       "    And r4, r4, r6\n"
       "  Else\n"
       "    Assign r1, r0\n"
       "    Assign r2, r0\n"
       "    Assign r3, r0\n"
       "  IfEnd\n"
       "  If r4\n"
       "    Length r10, r5\n"
       "    Constant r11, K2\n"
       "    Gte r4, r10, r11\n"
       "  IfEnd\n"
       "  Return r4\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@6..7", "UnusedLocalVariable@11..12", "UnusedLocalVariable@14..15"}},
      {"v is [..]",  // a lone spread needs no length check
       "Func r0, 0, 3\n  GetGlobal r2, K0\n  IsArray r1, r2\n  If r1\n  Else\n  IfEnd\n  Return r1\nFuncEnd\n", {}},
      {"v is [..r]",
       "Func r0, 0, 5\n"
       "  GetGlobal r3, K0\n"
       "  IsArray r2, r3\n"
       "  If r2\n"
       "    Assign r5, r3\n"
       "    Constant r4, K1\n"
       "    Assign r1, r5\n"
       "    And r2, r2, r4\n"
       "  Else\n"
       "    Assign r1, r0\n"
       "  IfEnd\n"
       "  Return r2\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@8..9"}},
      {"v is []",
       "Func r0, 0, 5\n"
       "  GetGlobal r2, K0\n"
       "  IsArray r1, r2\n"
       "  If r1\n"
       "  Else\n"
       "  IfEnd\n"
       "  If r1\n"
       "    Length r4, r2\n"
       "    Constant r5, K1\n"
       "    Eq r1, r4, r5\n"
       "  IfEnd\n"
       "  Return r1\n"
       "FuncEnd\n",
       {}},
      // Irrefutable: the type test goes into a fresh register; no And, no length.
      {"let [a, b] = v;",
       "Func r0, 0, 7\n"
       "  GetGlobal r4, K0\n"
       "  IsArray r5, r4\n"
       "  If r5\n"
       "    GetIndex r6, r4, 0\n"
       "    Assign r1, r6\n"
       "    GetIndex r7, r4, 1\n"
       "    Assign r2, r7\n"
       "  Else\n"
       "    Assign r1, r0\n"
       "    Assign r2, r0\n"
       "  IfEnd\n"
       "  Assign r3, r0\n"
       "  Return r3\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@5..6", "UnusedLocalVariable@8..9"}},
      {"let [a, ..r, b, c] = v;",
       "Func r0, 0, 11\n"
       "  GetGlobal r6, K0\n"
       "  IsArray r7, r6\n"
       "  If r7\n"
       "    GetIndex r8, r6, 0\n"
       "    Assign r1, r8\n"
       "    GetIndex r9, r6, -1\n"
       "    Assign r4, r9\n"
       "    GetIndex r10, r6, -2\n"
       "    Assign r3, r10\n"
       "    Slice r11, r6, 1, -3\n"
       "    Assign r2, r11\n"
       "  Else\n"
       "    Assign r1, r0\n"
       "    Assign r2, r0\n"
       "    Assign r3, r0\n"
       "    Assign r4, r0\n"
       "  IfEnd\n"
       "  Assign r5, r0\n"
       "  Return r5\n"
       "FuncEnd\n",
       {"UnusedLocalVariable@5..6", "UnusedLocalVariable@10..11", "UnusedLocalVariable@13..14",
        "UnusedLocalVariable@16..17"}},
  };
  for (const Case& c : cases) check(c);
}

TEST(PatternTest, RestSlicesByTheElementsAroundIt) {
  struct Row {
    const char* source;
    const char* slice;
  };
  const Row rows[] = {{"let [a, ..r] = v;", "SliceEnd r7, r4, 1\n"},
                      {"let [..r, a] = v;", "SliceStart r7, r4, -2\n"},
                      {"let [a, ..r, b] = v;", "Slice r9, r5, 1, -2\n"},
                      {"let [..r] = v;", "Assign r5, r3\n"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    Emitted e(row.source, false);
    EXPECT_NE(e.code().find(row.slice), std::string::npos) << e.code();
  }
}

TEST(PatternTest, DeclarationsOfPatterns) {
  // Needless parentheses, inner pair included; a rebind declares nothing.
  Emitted e("let ((a)) = 1; (b) = 2; a");
  EXPECT_EQ(e.diagnostics(), (Strings{"Scope@0..25", "UnnecessaryParentheses@4..9", "UnnecessaryParentheses@5..8",
                                      "UnnecessaryParentheses@15..18", "UndefinedVariableAssignment@16..17",
                                      "LocalImmutable@6..7", "ReadLocal@24..25"}));
  // `mut` makes the variable mutable; sub-patterns of records declare too.
  Emitted m("let (x: mut a, ..b) = v; a");
  EXPECT_EQ(m.diagnostics(), (Strings{"Scope@0..26", "GlobalVariable@22..23", "RecordFieldIdName@5..6",
                                      "LocalMutable@12..13", "ReadLocal@25..26", "LocalImmutable@17..18",
                                      "UnusedLocalVariable@17..18"}));
}

}  // namespace
}  // namespace vaxo_core::emitter::testing
