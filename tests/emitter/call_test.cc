// Call code over hand-built trees: static and dynamic calls, spreads,
// extension calls, `type`, and tagged strings.

#include <gtest/gtest.h>

#include "tests/emitter/support/tree.h"

namespace vaxo_core::emitter::testing {
namespace {

using parser::ArgumentItem;
using parser::Callable;
using Arg = parser::ArrayElementBase<Expression, Expression>;
using Strings = std::vector<std::string>;

class CallTest : public EmitterFixture {
 protected:
  Callable callee(Expression e) { return Callable{Callable::Expression{tree->box(std::move(e))}}; }
  ArgumentItem arg(Expression e) { return ArgumentItem::make(Arg::element(std::move(e))); }
  ArgumentItem spread(Expression e, int nth) {
    return ArgumentItem::make(Arg::spread(tree->op(Operator::SpreadRange, nth), std::move(e)));
  }
  // A call whose parentheses are the nth pair of the script.
  Expression call(Callable c, NodeList<ArgumentItem> args, int nth = 0) {
    return Expression::Call{std::move(c), tree->op(Operator::OpenParen, nth), std::move(args),
                            tree->op(Operator::CloseParen, nth)};
  }
  Register ret() { return emitter->closures.add_reg(); }
};

TEST_F(CallTest, GlobalCalleeIsCalledByNameAfterItsArguments) {
  start("f() g(..xs) null(1)");
  Register out = ret();
  emitter->emit_expression(call(callee(tree->var("f")), {}), out, {});
  NodeList<ArgumentItem> args;
  args.push_back(spread(tree->var("xs"), 0));
  emitter->emit_expression(call(callee(tree->var("g")), std::move(args), 1), out, {});
  NodeList<ArgumentItem> one;
  one.push_back(arg(tree->ordinal("1", 1, 0)));
  emitter->emit_expression(call(callee(tree->var("null")), std::move(one), 2), out, {});
  EXPECT_EQ(code(),
            "Call r1, K0, [], []\n"
            "GetGlobal r2, K1\n"
            "Call r1, K2, [r2], [0]\n"
            "Constant r3, K3\n"
            "Call r1, K4, [r3], []\n");
  EXPECT_EQ(constants(),
            "  K0 String \"f\"\n  K1 String \"xs\"\n  K2 String \"g\"\n  K3 Number 1\n  K4 String \"null\"\n");
  EXPECT_EQ(diagnostics(), (Strings{"GlobalVariable@0..1", "GlobalVariable@4..5", "GlobalVariable@8..10",
                                    "GlobalVariable@12..16", "MisleadingNilVariable@12..16"}));
}

TEST_F(CallTest, LocalCalleeIsCalledFromItsRegisterWithoutGuard) {
  start("let f; f()");
  ASSERT_TRUE(emitter->declare_variable(tree->id("f").get(), false, BindType::Let));
  emitter->initialize_variable(*emitter->scopes.find_local_variable("f"));
  Register out = ret();
  emitter->emit_expression(call(callee(tree->var("f", 1)), {}), out, {});
  EXPECT_EQ(code(), "CallDyn r2, r1, [], []\n");
}

TEST_F(CallTest, ComputedCalleeIsGuarded) {
  start("f()(1)");
  Register out = ret();
  NodeList<ArgumentItem> one;
  one.push_back(arg(tree->ordinal("1", 1, 0)));
  emitter->emit_expression(call(callee(call(callee(tree->var("f")), {}, 0)), std::move(one), 1), out, {});
  EXPECT_EQ(code(),
            "Call r2, K0, [], []\n"
            "IfNotNil r2\n"
            "  Constant r3, K1\n"
            "  CallDyn r1, r2, [r3], []\n"
            "Else\n"
            "  Assign r1, r0\n"
            "IfEnd\n");
}

TEST_F(CallTest, ExtensionReceiverIsTheFirstArgument) {
  start("a::f(b, ..c)");
  Register out = ret();
  NodeList<ArgumentItem> args;
  args.push_back(arg(tree->var("b")));
  args.push_back(spread(tree->var("c"), 0));
  emitter->emit_expression(Expression::Extension{tree->box(tree->var("a")), tree->op(Operator::ColonColon),
                                                 callee(tree->var("f")), tree->op(Operator::OpenParen),
                                                 std::move(args), tree->op(Operator::CloseParen)},
                           out, {});
  EXPECT_EQ(code(),
            "GetGlobal r2, K0\n"
            "GetGlobal r3, K1\n"
            "GetGlobal r4, K2\n"
            "Call r1, K3, [r2, r3, r4], [2]\n");
}

TEST_F(CallTest, MembersOfGlobalAreCalledByTheirFieldName) {
  start("global.null(x) global.0(x)");
  Register out = ret();
  NodeList<ArgumentItem> args;
  args.push_back(arg(tree->var("x")));
  emitter->emit_expression(call(callee(tree->access(tree->global(), "null")), std::move(args)), out, {});
  NodeList<ArgumentItem> args2;
  args2.push_back(arg(tree->var("x", 1)));
  Expression zero = Expression::Access{tree->box(tree->global(1)), tree->op(Operator::Dot, 1),
                                       tree->ref(TokenKind::Ordinal{0}, tree->at("0"))};
  emitter->emit_expression(call(callee(std::move(zero)), std::move(args2), 1), out, {});
  EXPECT_EQ(code(),
            "GetGlobal r2, K0\n"
            "Call r1, K1, [r2], []\n"
            "GetGlobal r3, K0\n"
            "Call r1, K2, [r3], []\n");
  EXPECT_EQ(constants(), "  K0 String \"x\"\n  K1 String \"null\"\n  K2 String \"0\"\n");
  // No nil-like hint for a member of `global`.
  EXPECT_EQ(diagnostics(),
            (Strings{"GlobalVariable@7..11", "GlobalVariable@12..13", "GlobalVariable@22..23", "GlobalVariable@24..25"}));
}

TEST_F(CallTest, TypePseudoCall) {
  start("type(x) x::type() type()");
  Register out = ret();
  NodeList<ArgumentItem> args;
  args.push_back(arg(tree->var("x")));
  args.push_back(arg(tree->var("x", 1)));  // a second item is never emitted
  emitter->emit_expression(call(Callable{Callable::Type{tree->kw(Keyword::Type)}}, std::move(args)), out, {});
  emitter->emit_expression(Expression::Extension{tree->box(tree->var("x", 1)), tree->op(Operator::ColonColon),
                                                 Callable{Callable::Type{tree->kw(Keyword::Type, 1)}},
                                                 tree->op(Operator::OpenParen, 1), {},
                                                 tree->op(Operator::CloseParen, 1)},
                           out, {});
  emitter->emit_expression(call(Callable{Callable::Type{tree->kw(Keyword::Type, 2)}}, {}, 2), out, {});
  EXPECT_EQ(code(),
            "GetGlobal r2, K0\n"
            "Type r1, r2\n"
            "GetGlobal r3, K0\n"
            "Type r1, r3\n"
            "Type r1, r0\n");
}

TEST_F(CallTest, TaggedStrings) {
  start("tag\"plain\" tag\"a$(x:2)b\" tag\"$(x)\"");
  Register out = ret();
  emitter->emit_expression(Expression::TaggedString{tree->box(tree->var("tag")), tree->box(tree->string("plain"))},
                           out, {});
  EXPECT_EQ(code(),
            "Constant r3, K0\n"
            "Array r2\n"
            "  Item r3\n"
            "Freeze\n"
            "Call r1, K1, [r2], []\n");
  EXPECT_EQ(constants(), "  K0 String \"plain\"\n  K1 String \"tag\"\n");

  emitter->chunk = Chunk();
  NodeList<Expression> interpolations;
  interpolations.push_back(tree->var("x"));
  Expression text = tree->interpolated("\"a$(x:2)b\"", {{"a", "2"}, {"b", ""}}, std::move(interpolations));
  emitter->emit_expression(Expression::TaggedString{tree->box(tree->var("tag", 1)), tree->box(std::move(text))}, out,
                           {});
  EXPECT_EQ(code(),
            "GetGlobal r6, K0\n"
            "Constant r7, K1\n"
            "Record r5\n"
            "  FieldIndex 0, r6\n"
            "  FieldIndex 1, r7\n"
            "Freeze\n"
            "Constant r8, K2\n"
            "Constant r9, K3\n"
            "Array r4\n"
            "  Item r8\n"
            "  Item r9\n"
            "Freeze\n"
            "Call r1, K4, [r4, r5], []\n");
  EXPECT_EQ(constants(),
            "  K0 String \"x\"\n  K1 String \"2\"\n  K2 String \"a\"\n  K3 String \"b\"\n  K4 String \"tag\"\n");

  // The template always has one more text than there are packs.
  emitter->chunk = Chunk();
  NodeList<Expression> bare;
  bare.push_back(tree->var("x", 1));
  Expression only = tree->interpolated("\"$(x)\"", {{"", ""}, {"", ""}}, std::move(bare));
  emitter->emit_expression(Expression::TaggedString{tree->box(tree->var("tag", 2)), tree->box(std::move(only))}, out,
                           {});
  EXPECT_EQ(code(),
            "GetGlobal r12, K0\n"
            "Record r11\n"
            "  FieldIndex 0, r12\n"
            "Freeze\n"
            "Constant r13, K1\n"
            "Constant r14, K1\n"
            "Array r10\n"
            "  Item r13\n"
            "  Item r14\n"
            "Freeze\n"
            "Call r1, K2, [r10, r11], []\n");
}

}  // namespace
}  // namespace vaxo_core::emitter::testing
