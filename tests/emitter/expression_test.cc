// Expression code over hand-built trees: values, names, members, records,
// arrays and interpolated strings.

#include <gtest/gtest.h>

#include <bit>

#include "tests/emitter/support/emit_source.h"
#include "tests/emitter/support/tree.h"

namespace vaxo_core::emitter::testing {
namespace {

using parser::ArrayLiteralItem;
using parser::RecordItem;
using Member = parser::RecordElementBase<Expression, Expression>;
using Element = parser::ArrayElementBase<parser::Iterable, Expression>;
using Strings = std::vector<std::string>;

class ExpressionTest : public EmitterFixture {
 protected:
  // Declares `name` (the n-th occurrence) in the current scope and binds it.
  Variable& local(std::string_view name, int nth = 0) {
    const Token& t = tree->id(name, nth).get();
    EXPECT_TRUE(emitter->declare_variable(t, false, BindType::Let));
    Variable* v = emitter->scopes.find_local_variable(name);
    emitter->initialize_variable(*v);
    return *v;
  }
};

TEST_F(ExpressionTest, Literals) {
  start("nil true false 1.5 3 nan inf \"s\"");
  Tree& t = *tree;
  emitter->emit_expression(t.keyword(Keyword::Nil), r(1), {});
  emitter->emit_expression(t.keyword(Keyword::True), r(1), {});
  emitter->emit_expression(t.keyword(Keyword::False), r(1), {});
  emitter->emit_expression(t.number("1.5", 1.5), r(1), {});
  emitter->emit_expression(t.ordinal("3", 3), r(1), {});
  emitter->emit_expression(t.keyword(Keyword::Nan), r(1), {});
  emitter->emit_expression(t.keyword(Keyword::Inf), r(1), {});
  emitter->emit_expression(t.string("s"), r(1), {});
  emitter->emit_expression(t.number("1.5", 1.5), r(2), {});
  EXPECT_EQ(code(),
            "Assign r1, r0\n"
            "Constant r1, K0\n"
            "Constant r1, K1\n"
            "Constant r1, K2\n"
            "Constant r1, K3\n"
            "Constant r1, K4\n"
            "Constant r1, K5\n"
            "Constant r1, K6\n"
            "Constant r2, K2\n");
  // The ordinal becomes a Number, never an Ordinal constant.
  EXPECT_EQ(constants(),
            "  K0 True\n"
            "  K1 False\n"
            "  K2 Number 1.5\n"
            "  K3 Number 3\n"
            "  K4 Number NaN(0x7ff8000000000000)\n"
            "  K5 Number inf\n"
            "  K6 String \"s\"\n");
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(ExpressionTest, GlobalsAreReadByNameWithTagAndNilHint) {
  start("x; null; NIL; global");
  emitter->emit_expression(tree->var("x"), Register(), {});
  emitter->emit_expression(tree->var("null"), r(1), {});
  emitter->emit_expression(tree->var("NIL"), r(1), {});
  emitter->emit_expression(tree->global(), r(1), {});
  // A bare `global` is reported and writes nothing.
  EXPECT_EQ(code(),
            "GetGlobal r0, K0\n"
            "GetGlobal r1, K1\n"
            "GetGlobal r1, K2\n");
  EXPECT_EQ(diagnostics(), (Strings{"GlobalVariable@0..1", "GlobalVariable@3..7", "MisleadingNilVariable@3..7",
                                    "GlobalVariable@9..12", "MisuseOfGlobalKeyword@14..20"}));
}

TEST_F(ExpressionTest, EveryNilLikeNameAndOnlyThoseGetTheHint) {
  const std::vector<std::string> hinted = {"null", "Null", "NULL", "undefined", "None", "Nothing"};
  const std::vector<std::string> plain = {"nul", "nulls", "Undefined", "undefine", "NONE", "nothing", "Nothings"};
  for (const auto* names : {&hinted, &plain}) {
    for (const std::string& name : *names) {
      SCOPED_TRACE(name);
      start(name, /*tags=*/false);
      emitter->emit_expression(tree->var(name), r(1), {});
      Strings expected;
      if (names == &hinted) expected.push_back("MisleadingNilVariable@0.." + std::to_string(name.size()));
      EXPECT_EQ(diagnostics(), expected);
    }
  }
}

TEST_F(ExpressionTest, OperandRegistersOfLocalsOuterScopesAndOuterFrames) {
  start("a b c a b c");
  Variable& a = local("a");
  emitter->closures.add_reg();  // a later temporary
  // Innermost scope: its own register, no instruction.
  EXPECT_EQ(emitter->emit_expression_reg(tree->var("a", 1), {}), a.reg());
  EXPECT_EQ(code(), "");
  EXPECT_EQ(a.references().size(), 1u);

  // An outer scope of the same frame: copied into a fresh register.
  emitter->enter_scope({0, 1});
  Register copy = emitter->emit_expression_reg(tree->var("a", 1), {});
  EXPECT_EQ(copy, r(3));
  EXPECT_EQ(code(), "Assign r3, r1\n");

  // An outer frame: GetUpvalue with the frame distance.
  emitter->closures.enter(false, 0);
  emitter->closures.enter(true, 0);
  emitter->enter_scope({0, 1});
  Register up = emitter->emit_expression_reg(tree->var("a", 1), {});
  EXPECT_EQ(up, r(1));
  EXPECT_EQ(code(), "Assign r3, r1\nGetUpvalue r1, 2, r1\n");
}

TEST_F(ExpressionTest, UninitialisedReadIsReportedAndWritesNothing) {
  start("let a; a; fn { a }");
  const Token& decl = tree->id("a").get();
  ASSERT_TRUE(emitter->declare_variable(decl, false, BindType::Let));
  EXPECT_EQ(emitter->emit_expression_reg(tree->var("a", 1), {}), Register());
  emitter->emit_expression(tree->var("a", 1), r(2), {});
  EXPECT_EQ(code(), "");
  EXPECT_EQ(diagnostics(), (Strings{"UninitializedVariable@7..8", "VariableDeclaredHere@4..5",
                                    "UninitializedVariable@7..8", "VariableDeclaredHere@4..5"}));
  // From inside a function frame the read may come before the binding.
  emitter->closures.enter(true, 0);
  emitter->enter_scope({12, 18});
  emitter->emit_expression(tree->var("a", 2), r(1), {});
  EXPECT_EQ(code(), "GetUpvalue r1, 1, r1\n");
}

TEST_F(ExpressionTest, MembersIndexesAndSlices) {
  start("global.x global.0 p.m p.0 global[k] p[k] p[i..] p[..<j]");
  Tree& t = *tree;
  emitter->emit_expression(t.access(t.global(0), "x"), r(1), {});
  emitter->emit_expression(Expression::Access{t.box(t.global(1)), t.op(Operator::Dot, 1),
                                              t.ref(TokenKind::Ordinal{0}, t.at("0"))},
                           r(1), {});
  emitter->emit_expression(t.access(t.var("p"), "m", 0), r(2), {});
  emitter->emit_expression(Expression::Access{t.box(t.var("p", 1)), t.op(Operator::Dot, 3),
                                              t.ref(TokenKind::Ordinal{0}, t.at("0", 1))},
                           r(2), {});
  emitter->emit_expression(Expression::Index{t.box(t.global(2)), t.op(Operator::OpenBracket, 0),
                                             t.box(t.var("k")), t.op(Operator::CloseBracket, 0)},
                           r(3), {});
  emitter->emit_expression(Expression::Index{t.box(t.var("p", 2)), t.op(Operator::OpenBracket, 1),
                                             t.box(t.var("k", 1)), t.op(Operator::CloseBracket, 1)},
                           r(3), {});
  emitter->emit_expression(Expression::Slice{t.box(t.var("p", 3)), t.op(Operator::OpenBracket, 2),
                                             t.box(t.var("i")), t.op(Operator::SpreadRange, 0), nullptr,
                                             t.op(Operator::CloseBracket, 2)},
                           r(4), {});
  emitter->emit_expression(Expression::Slice{t.box(t.var("p", 4)), t.op(Operator::OpenBracket, 3), nullptr,
                                             t.op(Operator::HalfOpenRange, 0), t.box(t.var("j")),
                                             t.op(Operator::CloseBracket, 3)},
                           r(4), {});
  EXPECT_EQ(code(),
            "GetGlobal r1, K0\n"   // global.x
            "GetGlobal r1, K1\n"   // global.0: a number name
            "GetGlobal r2, K2\n"   // p, into ret itself
            "Get r2, r2, K3\n"     // .m
            "GetGlobal r2, K2\n"
            "GetIndex r2, r2, 0\n"
            "GetGlobal r1, K4\n"   // k, into a fresh register
            "GetGlobalDyn r3, r1\n"
            "GetGlobal r3, K2\n"
            "GetGlobal r2, K4\n"
            "GetDyn r3, r3, r2\n"
            "GetGlobal r3, K2\n"   // p[i..]: object, lower, and r0 for the upper bound
            "GetGlobal r4, K5\n"
            "SliceDyn r4, r3, r4, r0\n"
            "GetGlobal r5, K2\n"
            "GetGlobal r6, K6\n"
            "SliceExclusiveDyn r4, r5, r0, r6\n");
  EXPECT_EQ(constants(),
            "  K0 String \"x\"\n  K1 Number 0\n  K2 String \"p\"\n  K3 String \"m\"\n  K4 String \"k\"\n"
            "  K5 String \"i\"\n  K6 String \"j\"\n");
  Strings d = diagnostics();
  EXPECT_EQ(d[0], "GlobalVariable@7..8");
  EXPECT_EQ(d[1], "GlobalVariable@16..17");
  // global[k] tags the index expression.
  EXPECT_NE(std::find(d.begin(), d.end(), "GlobalDynamicAccess@33..34"), d.end());
}

TEST_F(ExpressionTest, InterpolatedStrings) {
  start("\"a$(x)b\" \"$(x:08)\" \"$(x)$(y)\" \"\" x y");
  Tree& t = *tree;
  Register ret = emitter->closures.add_reg();
  ASSERT_EQ(ret, r(1));
  NodeList<Expression> one;
  one.push_back(t.var("x", 3));
  emitter->emit_expression(t.interpolated("\"a$(x)b\"", {{"a", ""}, {"b", ""}}, std::move(one)), r(1), {});
  EXPECT_EQ(code(),
            "Constant r2, K0\n"
            "GetGlobal r3, K1\n"
            "Constant r4, K2\n"
            "Concat r1, [r2, r3, r4]\n");

  NodeList<Expression> formatted;
  formatted.push_back(t.var("x", 3));
  emitter->chunk = Chunk();
  emitter->emit_expression(t.interpolated("\"$(x:08)\"", {{"", "08"}, {"", ""}}, std::move(formatted)), r(1), {});
  EXPECT_EQ(code(), "GetGlobal r5, K0\nFormat r1, r5, K1\n");
  EXPECT_EQ(constants(), "  K0 String \"x\"\n  K1 String \"08\"\n");

  NodeList<Expression> two;
  two.push_back(t.var("x", 3));
  two.push_back(t.var("y", 1));
  emitter->chunk = Chunk();
  emitter->emit_expression(t.interpolated("\"$(x)$(y)\"", {{"", ""}, {"", ""}, {"", ""}}, std::move(two)), r(1),
                           {});
  EXPECT_EQ(code(), "GetGlobal r6, K0\nGetGlobal r7, K1\nConcat r1, [r6, r7]\n");

  emitter->chunk = Chunk();
  emitter->emit_expression(t.interpolated("\"\"", {{"", ""}}, {}), r(1), {});
  EXPECT_EQ(code(), "Constant r1, K0\n");
  EXPECT_EQ(constants(), "  K0 String \"\"\n");
}

// A piece read in place from a variable is formatted into a register of its
// own; a temporary is formatted where it is.
TEST(InterpolatedStringTest, AFormatLeavesTheVariableItReadsAlone) {
  struct Case {
    const char* source;
    const char* code;
  };
  const Case cases[] = {
      {"let x = 1; \"a$(x:2)\"; x",
       "Func r0, 0, 5\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  Constant r4, K1\n"
       "  Format r5, r1, K2\n"
       "  Concat r0, [r4, r5]\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n"},
      // Each format of the variable its own register; an unformatted piece
      // is read in place.
      {"let x = 1; \"$(x:2)$((x):3)$(x)\"; x",
       "Func r0, 0, 5\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  Format r4, r1, K1\n"
       "  Format r5, r1, K2\n"
       "  Concat r0, [r4, r5, r1]\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n"},
      {"let x = 1; \"a$(f(x):2)\"; x",
       "Func r0, 0, 5\n"
       "  Constant r3, K0\n"
       "  Assign r1, r3\n"
       "  Constant r4, K1\n"
       "  Call r5, K2, [r1], []\n"
       "  Format r5, r5, K3\n"
       "  Concat r0, [r4, r5]\n"
       "  Assign r2, r1\n"
       "  Return r2\n"
       "FuncEnd\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Emitted e(c.source, /*tags=*/false);
    EXPECT_EQ(e.code(), c.code);
    // Only the binding writes x's register.
    EXPECT_EQ(writes_to(e.code(), "r1"), (Strings{"Assign r1, r3"}));
  }
}

TEST_F(ExpressionTest, RecordLiteralValuesFirstThenMembers) {
  start("(a: u, \"k\": w, x, ?: z, ..s) {\"j\": v}");
  Tree& t = *tree;
  ASSERT_EQ(emitter->closures.add_reg(), r(1));
  NodeList<RecordItem> items;
  items.push_back(RecordItem::new_with_comma(
      Member{Member::Named{t.id("a"), t.op(Operator::Colon, 0), t.box(t.var("u"))}}, t.op(Operator::Comma, 0)));
  items.push_back(RecordItem::new_with_comma(
      Member{Member::Named{t.ref(TokenKind::String{lexer::CowText("k"), {}}, t.at("\"k\"")), t.op(Operator::Colon, 1),
                           t.box(t.var("w"))}},
      t.op(Operator::Comma, 1)));
  items.push_back(RecordItem::new_with_comma(Member{Member::Unnamed{t.box(t.var("x"))}}, t.op(Operator::Comma, 2)));
  items.push_back(RecordItem::new_with_comma(
      Member{Member::OmitNamed{t.op(Operator::QuestionColon, 0), t.box(t.var("z"))}}, t.op(Operator::Comma, 3)));
  items.push_back(RecordItem::make(Member{Member::Spread{t.op(Operator::SpreadRange, 0), t.box(t.var("s"))}}));
  emitter->emit_expression(Expression::Record{t.op(Operator::OpenParen), std::move(items), t.op(Operator::CloseParen)},
                           r(1), {});
  EXPECT_EQ(code(),
            "GetGlobal r2, K0\n"
            "GetGlobal r3, K1\n"
            "GetGlobal r4, K2\n"
            "GetGlobal r5, K3\n"
            "GetGlobal r6, K4\n"
            "Record r1\n"
            "  Field K5, r2\n"
            "  Field K6, r3\n"
            "  FieldIndex 2, r4\n"
            "  FieldOpt K3, r5\n"
            "  Spread r6\n"
            "Freeze\n");
  Strings tags;
  for (const std::string& d : diagnostics()) {
    if (d.rfind("GlobalVariable", 0) != 0) tags.push_back(d);
  }
  EXPECT_EQ(tags, (Strings{"RecordFieldIdName@1..2", "RecordFieldStringName@7..10", "UnnamedRecordField2@15..15",
                           "OmitNamedRecordField@18..20", "OmitNamedRecordFieldName@21..22"}));

  // A JSON-style literal is hinted towards parentheses.
  emitter->diagnostics.data().clear();
  NodeList<RecordItem> json;
  json.push_back(RecordItem::make(Member{Member::Named{
      t.ref(TokenKind::String{lexer::CowText("j"), {}}, t.at("\"j\"")), t.op(Operator::Colon, 3), t.box(t.var("v"))}}));
  emitter->emit_expression(
      Expression::Record{t.op(Operator::OpenBrace), std::move(json), t.op(Operator::CloseBrace)}, r(1), {});
  EXPECT_EQ(diagnostics().front(), "PreferParenthesesForRecordLiteral@29..37");
}

TEST_F(ExpressionTest, ElevenUnnamedMembersAndABadOmitKey) {
  start("(a, a, a, a, a, a, a, a, a, a, a) (:f)");
  Tree& t = *tree;
  ASSERT_EQ(emitter->closures.add_reg(), r(1));
  NodeList<RecordItem> items;
  for (int i = 0; i < 11; ++i) items.push_back(RecordItem::make(Member{Member::Unnamed{t.box(t.var("a", i))}}));
  emitter->emit_expression(Expression::Record{t.op(Operator::OpenParen), std::move(items), t.op(Operator::CloseParen)},
                           r(1), {});
  Strings tags;
  for (const std::string& d : diagnostics()) {
    if (d.rfind("Unnamed", 0) == 0) tags.push_back(d.substr(0, d.find('@')));
  }
  ASSERT_EQ(tags.size(), 11u);
  EXPECT_EQ(tags[0], "UnnamedRecordField0");
  EXPECT_EQ(tags[9], "UnnamedRecordField9");
  EXPECT_EQ(tags[10], "UnnamedRecordFieldN");
  EXPECT_NE(code().find("FieldIndex 10, r12\nFreeze\n"), std::string::npos);

  // A value without a key name: reported, and the record is left open.
  emitter->chunk = Chunk();
  emitter->diagnostics.data().clear();
  NodeList<RecordItem> bad;
  parser::NodeList<parser::ArgumentItem> no_args;
  Expression call = Expression::Call{parser::Callable{parser::Callable::Expression{t.box(t.var("f"))}},
                                     t.op(Operator::OpenParen, 1), std::move(no_args), t.op(Operator::CloseParen, 1)};
  bad.push_back(RecordItem::make(Member{Member::OmitNamed{t.op(Operator::Colon), t.box(std::move(call))}}));
  emitter->emit_expression(Expression::Record{t.op(Operator::OpenParen, 1), std::move(bad),
                                              t.op(Operator::CloseParen, 1)},
                           r(1), {});
  EXPECT_EQ(code().find("Freeze"), std::string::npos);
  EXPECT_EQ(diagnostics().back(), "BadOmitKeyRecordExpression@36..38");
}

TEST_F(ExpressionTest, TokenlessMemberValuesAreReportedAtTheirMember) {
  start("(:, x)");
  Tree& t = *tree;
  ASSERT_EQ(emitter->closures.add_reg(), r(1));
  auto tokenless = [] { return Expression::unknown_range({}, ByteRange{0, 0}, DiagnosticCode::UnknownExpression); };
  NodeList<RecordItem> items;
  items.push_back(RecordItem::make(Member{Member::Unnamed{t.box(tokenless())}}));
  items.push_back(RecordItem::new_with_comma(Member{Member::OmitNamed{t.op(Operator::Colon), t.box(tokenless())}},
                                             t.op(Operator::Comma)));
  emitter->emit_expression(Expression::Record{t.op(Operator::OpenParen), std::move(items), t.op(Operator::CloseParen)},
                           r(1), {});
  // Neither diagnostic may fall outside the text.
  EXPECT_EQ(diagnostics(), (Strings{"UnnamedRecordField0@1..1", "BadOmitKeyRecordExpression@2..2"}));
}

TEST_F(ExpressionTest, ArrayLiteralWithRangeAndSpread) {
  start("[a, 1..<2, ..xs]");
  Tree& t = *tree;
  ASSERT_EQ(emitter->closures.add_reg(), r(1));
  NodeList<ArrayLiteralItem> items;
  items.push_back(ArrayLiteralItem::new_with_comma(
      Element::element(parser::Iterable{parser::Iterable::Value{t.var("a")}}), t.op(Operator::Comma, 0)));
  items.push_back(ArrayLiteralItem::new_with_comma(
      Element::element(parser::Iterable{parser::Iterable::Range{
          parser::Range{t.box(t.ordinal("1", 1)), t.op(Operator::HalfOpenRange), t.box(t.ordinal("2", 2))}}}),
      t.op(Operator::Comma, 1)));
  items.push_back(ArrayLiteralItem::make(Element::spread(t.op(Operator::SpreadRange, 1), t.var("xs"))));
  emitter->emit_expression(
      Expression::Array{t.op(Operator::OpenBracket), std::move(items), t.op(Operator::CloseBracket)}, r(1), {});
  EXPECT_EQ(code(),
            "GetGlobal r2, K0\n"
            "Constant r3, K1\n"
            "Constant r4, K2\n"
            "GetGlobal r5, K3\n"
            "Array r1\n"
            "  Item r2\n"
            "  ItemRangeExclusiveDyn r3, r4\n"
            "  Spread r5\n"
            "Freeze\n");
}

TEST_F(ExpressionTest, TokenlessUnknownIsNilAtAnEmptyRange) {
  start("[..]");
  // The emitter reads the source-map switch when it is built.
  config.diagnostic_sourcemap = true;
  emitter = std::make_unique<Emitter>(*caller);
  emitter->closures.enter(true, 0);
  emitter->enter_scope(ByteRange{0, tree->script.size()});
  emitter->diagnostics.data().clear();
  Expression unknown = Expression::unknown_range({}, ByteRange{2, 2}, DiagnosticCode::BadArraySpread);
  ASSERT_EQ(parser::range(unknown), ByteRange::absent());
  emitter->op_nil({1, 3}, r(1));
  emitter->emit_expression(unknown, r(2), {});
  EXPECT_EQ(code(), "Assign r1, r0\nAssign r2, r0\n");
  ASSERT_EQ(emitter->diagnostics.size(), 2u);
  EXPECT_EQ(emitter->diagnostics[1].range, (ByteRange{3, 3}));
}

}  // namespace
}  // namespace vaxo_core::emitter::testing
