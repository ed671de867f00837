// The driver, function blocks, register frames and scope-exit reports.

#include <gtest/gtest.h>

#include "core/emitter/emitter.h"
#include "tests/emitter/support/tree.h"

namespace vaxo_core::emitter::testing {
namespace {

using parser::PatternItem;
using parser::Pattern;
using Param = parser::ArrayElementBase<Pattern, Pattern>;
using Strings = std::vector<std::string>;

TEST(Emit, EmptyScriptIsTheSmallestChunk) {
  std::string script = "  ";
  config::Config config;
  config.diagnostic_tag = true;
  config.diagnostic_sourcemap = true;
  diagnostic::DiagnosticsCollector collector(config, script);
  collector.push(DiagnosticCode::MissingSemicolon, {0, 1});  // an earlier stage's
  std::deque<lexer::Token> tokens;
  tokens.push_back(lexer::Token::make(lexer::TokenKind::Eof{}, {2, 2}));
  parser::Script tree{{}, nullptr, parser::TokenRef::borrow(tokens.back())};
  std::vector<std::uint8_t> bytes = emit(tree, collector);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 0x0A, 0, 0, 0, 0x5D, 0, 0, 1, 0x28, 1, 0, 0x60, 1,
                                               0x5F, 0, 0, 0, 0}));
  // The emitter's diagnostics come after what was already collected.
  std::vector<diagnostic::SourceDiagnostic> expected = {
      {{0, 1}, DiagnosticCode::MissingSemicolon}, {{0, 2}, DiagnosticCode::Scope},
      {{0, 0}, DiagnosticCode::SourceMap},        {{2, 2}, DiagnosticCode::SourceMap},
      {{2, 2}, DiagnosticCode::SourceMap},        {{2, 2}, DiagnosticCode::SourceMap}};
  EXPECT_EQ(collector.data(), expected);
  EXPECT_EQ(count_instructions(bytes), 4u);
}

TEST(Emit, AnInternalErrorLeavesTheCallersDiagnosticsAsTheyWere) {
  // The emitter appends to the caller's entries as it goes; when it gives up,
  // its own entries go and the earlier ones stay.
  Tree t("x; y;");
  config::Config config;
  diagnostic::DiagnosticsCollector collector(config, t.script);
  collector.push(DiagnosticCode::MissingSemicolon, {0, 1});
  parser::NodeList<parser::Statement> stmts;
  // A global read (reported), then a literal over a name: a shape the parser never builds.
  stmts.emplace_back(parser::Statement::Expression{t.box(t.var("x")), t.op(Operator::Semicolon, 0)});
  stmts.emplace_back(parser::Statement::Expression{t.box(Expression::Literal{t.id("y")}), t.op(Operator::Semicolon, 1)});
  parser::Script tree{std::move(stmts), nullptr, t.ref(lexer::TokenKind::Eof{}, {5, 5})};
  EXPECT_THROW(emit(tree, collector), InternalError);
  EXPECT_EQ(collector.data(),
            (std::vector<diagnostic::SourceDiagnostic>{{{0, 1}, DiagnosticCode::MissingSemicolon}}));
}

class FunctionTest : public EmitterFixture {
 protected:
  Expression fn(std::optional<parser::ParameterList> params, int nth = 0) {
    Tree& t = *tree;
    Expression body = Expression::Block{t.op(Operator::OpenBrace, nth), {}, nullptr, t.op(Operator::CloseBrace, nth)};
    return Expression::Function{t.kw(Keyword::Fn, nth), parser::boxed(std::move(params)), t.box(std::move(body))};
  }
  parser::ParameterList params(NodeList<PatternItem> items, int nth = 0) {
    return parser::ParameterList{tree->op(Operator::OpenParen, nth), std::move(items),
                                 tree->op(Operator::CloseParen, nth)};
  }
  PatternItem bind(std::string_view name, int nth = 0, bool mut = false, bool rest = false) {
    std::optional<parser::TokenRef> m;
    if (mut) m = tree->kw(Keyword::Mut);
    Pattern p = Pattern::Bind{std::move(m), tree->id(name, nth)};
    if (rest) return PatternItem::make(Param::spread(tree->op(Operator::SpreadRange), std::move(p)));
    return PatternItem::make(Param::element(std::move(p)));
  }
};

TEST_F(FunctionTest, WithoutParameterListTheParameterIsIt) {
  start("fn { }");
  emitter->emit_expression(fn(std::nullopt), emitter->closures.add_reg(), {});
  EXPECT_EQ(code(),
            "Func r1, 1, 2\n"
            "  Assign r2, r0\n"
            "  Return r2\n"
            "FuncEnd\n");
  // The scope runs from the end of `fn` to the start of `}`; `it` is never hinted.
  EXPECT_EQ(diagnostics(), (Strings{"Scope@2..5", "ParameterIt@2..2"}));
}

TEST_F(FunctionTest, EmptyListRestParameterMutableAndDuplicate) {
  start("fn() { } fn(mut a, ..b) { } fn(c, c) { }");
  Register out = emitter->closures.add_reg();
  emitter->emit_expression(fn(params({})), out, {});
  NodeList<PatternItem> ab;
  ab.push_back(bind("a", 0, true));
  ab.push_back(bind("b", 0, false, true));
  emitter->emit_expression(fn(params(std::move(ab), 1), 1), out, {});
  NodeList<PatternItem> cc;
  cc.push_back(bind("c", 0));
  cc.push_back(bind("c", 1));
  emitter->emit_expression(fn(params(std::move(cc), 2), 2), out, {});
  EXPECT_EQ(code(),
            "Func r1, 0, 1\n  Assign r1, r0\n  Return r1\nFuncEnd\n"
            "FuncVarg r1, 2, 3\n  Assign r3, r0\n  Return r3\nFuncEnd\n"
            "Func r1, 2, 3\n  Assign r3, r0\n  Return r3\nFuncEnd\n");
  EXPECT_EQ(diagnostics(), (Strings{
                               "Scope@2..7",
                               "Scope@11..26",
                               "ParameterMutable@16..17", "UnusedLocalVariable@16..17",
                               "ParameterImmutableRest@21..22", "UnusedLocalVariable@21..22",
                               "Scope@30..39",
                               "DuplicateVariableDeclaration@34..35", "ParameterDeclaredHere@31..32",
                               "ParameterImmutable@31..32", "RedeclareLocal@34..35", "UnusedLocalVariable@31..32",
                           }));
}

TEST_F(FunctionTest, WideHeader) {
  start("fn { }");
  for (int i = 0; i < 299; ++i) emitter->closures.add_reg();
  Register out = emitter->closures.add_reg();
  ASSERT_EQ(out, r(300));
  emitter->emit_expression(fn(std::nullopt), out, {});
  EXPECT_EQ(code().substr(0, code().find('\n')), "Func.w r300, 1, 2");
}

TEST_F(FunctionTest, BlockValueIsNilWhenMissing) {
  start("{ }");
  Tree& t = *tree;
  Register out = emitter->closures.add_reg();
  emitter->emit_expression(Expression::Block{t.op(Operator::OpenBrace), {}, nullptr, t.op(Operator::CloseBrace)}, out,
                           {});
  emitter->emit_expression(Expression::Block{t.op(Operator::OpenBrace), {}, nullptr, t.op(Operator::CloseBrace)},
                           Register(), {});
  EXPECT_EQ(code(), "Assign r1, r0\n");
  EXPECT_EQ(diagnostics(), (Strings{"Scope@0..3", "Scope@0..3"}));
}

TEST_F(FunctionTest, RecursionBackstopIsAnInternalError) {
  start("((((x))))");
  Tree& t = *tree;
  Expression e = t.var("x");
  for (int i = 0; i < 4; ++i) {
    e = Expression::Grouping{t.op(Operator::OpenParen, 3 - i), t.box(std::move(e)), t.op(Operator::CloseParen, i)};
  }
  diagnostic::DiagnosticsCollector dc(config, t.script);
  Emitter shallow(dc, 3);
  shallow.closures.enter(true, 0);
  shallow.enter_scope({0, 1});
  EXPECT_THROW(shallow.emit_expression(e, Register(), {}), InternalError);
  Emitter deep(dc, 6);
  deep.closures.enter(true, 0);
  deep.enter_scope({0, 1});
  EXPECT_NO_THROW(deep.emit_expression(e, Register(), {}));
}

TEST_F(FunctionTest, UnreachableReportNamesBothEnds) {
  start("a b");
  try {
    Emitter::unreachable(tree->id("a").get(), tree->id("b").get());
    FAIL();
  } catch (const InternalError& e) {
    std::string what = e.what();
    EXPECT_EQ(what.rfind("Unreachable ", 0), 0u) << what;
    EXPECT_NE(what.find("(0) "), std::string::npos) << what;
    EXPECT_NE(what.find("(3) at "), std::string::npos) << what;
    EXPECT_NE(what.find("driver_test.cc:"), std::string::npos) << what;
  }
}

class ScopeTest : public EmitterFixture {};

TEST_F(ScopeTest, DuplicateLetIsReportedAndRedeclarationListedAtExit) {
  start("let x; let x; let f; fn g");
  const lexer::Token& first = tree->id("x").get();
  const lexer::Token& second = tree->id("x", 1).get();
  emitter->enter_scope({0, 13});
  EXPECT_TRUE(emitter->declare_variable(first, false, BindType::Let));
  EXPECT_FALSE(emitter->declare_variable(second, true, BindType::Let));
  EXPECT_EQ(emitter->scopes.current().variables().size(), 1u);
  emitter->exit_scope();
  EXPECT_EQ(diagnostics(), (Strings{"Scope@0..13", "DuplicateVariableDeclaration@11..12",
                                    "VariableDeclaredHere@4..5", "LocalImmutable@4..5", "RedeclareLocal@11..12",
                                    "UnusedLocalVariable@4..5"}));
}

TEST_F(ScopeTest, HintsDependOnReadsAndBindTypes) {
  start("let x; let x; let f; fn g");
  emitter->diagnostics.data().clear();
  emitter->enter_scope({0, 1});
  const lexer::Token& x = tree->id("x").get();
  const lexer::Token& f = tree->id("f").get();
  const lexer::Token& g = tree->id("g").get();
  emitter->declare_variable(x, true, BindType::Let);
  emitter->declare_variable(f, false, BindType::LetFunc);
  emitter->declare_variable(g, false, BindType::Func);
  Variable* vx = emitter->scopes.find_local_variable("x");
  vx->mark_write(x);
  vx->mark_read_write(x);
  emitter->scopes.find_local_variable("g")->mark_read(g);
  emitter->exit_scope();
  // Written and updated but never read still counts as unused.
  EXPECT_EQ(diagnostics(),
            (Strings{"Scope@0..1", "LocalMutable@4..5", "WriteLocal@4..5", "ReadWriteLocal@4..5",
                     "UnusedLocalVariable@4..5", "LocalFunction@18..19", "UnusedLocalFunction@18..19",
                     "LocalFunction@24..25", "ReadLocal@24..25"}));
}

TEST_F(ScopeTest, EachVariableReportsItsOwnReferencesInTheOrderTheyCame) {
  // Uses of several variables interleave and an inner scope closes between
  // them, its references' room taken again by the outer ones.
  start("let a; let b; let c; a b c");
  emitter->diagnostics.data().clear();
  const lexer::Token& a = tree->id("a").get();
  const lexer::Token& b = tree->id("b").get();
  const lexer::Token& c = tree->id("c").get();
  const lexer::Token& use_a = tree->id("a", 1).get();
  const lexer::Token& use_b = tree->id("b", 1).get();
  const lexer::Token& use_c = tree->id("c", 1).get();
  emitter->enter_scope({0, 1});
  emitter->declare_variable(a, true, BindType::Let);
  emitter->declare_variable(b, false, BindType::Let);
  Variable* va = emitter->scopes.find_local_variable("a");
  Variable* vb = emitter->scopes.find_local_variable("b");
  va->mark_read(use_a);
  vb->mark_write(use_b);
  emitter->enter_scope({2, 3});
  emitter->declare_variable(c, false, BindType::Let);
  Variable* vc = emitter->scopes.find_local_variable("c");
  vc->mark_read(use_c);
  va->mark_read_write(use_a);
  vc->mark_write(use_c);
  emitter->exit_scope();
  vb->mark_read(use_b);
  va->mark_write(use_a);
  vb->mark_read_write(use_b);
  EXPECT_EQ(va->references().size(), 3u);
  emitter->exit_scope();
  EXPECT_EQ(diagnostics(),
            (Strings{"Scope@0..1", "Scope@2..3", "LocalImmutable@18..19", "ReadLocal@25..26", "WriteLocal@25..26",
                     "LocalMutable@4..5", "ReadLocal@21..22", "ReadWriteLocal@21..22", "WriteLocal@21..22",
                     "LocalImmutable@11..12", "WriteLocal@23..24", "ReadLocal@23..24", "ReadWriteLocal@23..24"}));
}

TEST_F(ScopeTest, KeywordNamesDeclareNothing) {
  start("fn global");
  const lexer::Token& kw = tree->kw(Keyword::Global).get();
  EXPECT_FALSE(emitter->declare_variable(kw, false, BindType::Func));
  EXPECT_TRUE(emitter->scopes.current().variables().empty());
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(ScopeTest, ForScopeVariableTakesItsRegisterWhereItIsBound) {
  start("for a in (xs is y) { y }");
  // The `for` scope is declared for the loop frame before that frame exists.
  emitter->enter_leveled_scope({3, 24}, emitter->closures.size() + 1);
  const lexer::Token& y = tree->id("y").get();
  ASSERT_TRUE(emitter->declare_variable(y, false, BindType::Init));
  Variable* v = emitter->scopes.find_local_variable("y");
  EXPECT_FALSE(v->has_register());
  // Bound by the iterable's code, in the enclosing frame.
  EXPECT_EQ(emitter->initialize_variable(*v), r(1));
  emitter->closures.enter(false, 0);
  emitter->closures.add_reg();  // the loop item
  // Read in the body: from the enclosing frame, not the loop frame's register 1.
  Register got = emitter->emit_expression_reg(tree->var("y", 1), {});
  EXPECT_EQ(got, r(2));
  EXPECT_EQ(code(), "GetUpvalue r2, 1, r1\n");
}

TEST_F(ScopeTest, ParameterTokenMustBeAnIdentifier) {
  start("fn(1)");
  const lexer::Token& one = tree->token(lexer::TokenKind::Ordinal{1}, tree->at("1"));
  EXPECT_THROW(emitter->declare_parameter(0, &one, one.range, false, BindType::Parameter), InternalError);
  EXPECT_THROW(emitter->enter_scope({3, 2}), InternalError);
}

}  // namespace
}  // namespace vaxo_core::emitter::testing
