// The operator layer of the expression grammar: the precedence loop over
// operands from `postfix` (suffixes.cc), with `is`, the conditional and the
// range positions, and the failure memo's expression levels.
#include "core/parser/basic_expressions.h"

#include <utility>

#include "core/parser/basic_expressions_detail.h"
#include "core/parser/expressions.h"
#include "core/parser/failure_memo.h"
#include "core/parser/patterns.h"

namespace vaxo_core::parser::basic_expressions {

using detail::is_range_op;
using detail::LoopEnd;
using detail::operator_loop;
using detail::read_suffixes;
using detail::value_of;
using detail::in_level;
using detail::verified;
using expressions::ExprBox;
using expressions::make;

namespace {

// How a token can begin an operand: not at all, as a name or literal (one
// token unless a suffix follows), or otherwise (prefix operators, brackets,
// block-like forms, flagged names, interpolations).
enum class OperandStart : std::uint8_t { None, Leaf, Other };

constexpr auto kOperandOperators = [] {
  std::array<OperandStart, lexer::kOperatorCount> starts{};
  for (std::size_t i = 0; i < starts.size(); ++i) {
    if (lexer::starts_operand(static_cast<Operator>(i))) starts[i] = OperandStart::Other;
  }
  return starts;
}();
constexpr auto kOperandKeywords = [] {
  std::array<OperandStart, lexer::kKeywordCount> starts{};
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const auto k = static_cast<Keyword>(i);
    if (lexer::starts_other_operand(k)) starts[i] = OperandStart::Other;
    if (lexer::is_constant(k)) starts[i] = OperandStart::Leaf;
  }
  return starts;
}();

inline OperandStart operand_start(const Token& t) {
  switch (t.kind.tag()) {
    case TokenKind::Tag::Identifier:
    case TokenKind::Tag::Ordinal:
    case TokenKind::Tag::Number:
    case TokenKind::Tag::String:
      return OperandStart::Leaf;
    case TokenKind::Tag::InterpolatedString:
      return OperandStart::Other;
    case TokenKind::Tag::Operator:
      return kOperandOperators[static_cast<std::size_t>(t.kind.get_if<TokenKind::Operator>()->op)];
    case TokenKind::Tag::Keyword:
      return kOperandKeywords[static_cast<std::size_t>(t.kind.get_if<TokenKind::Keyword>()->keyword)];
    case TokenKind::Tag::Eof:
    case TokenKind::Tag::Unknown:
    case TokenKind::Tag::Empty:
      return OperandStart::None;
  }
  return OperandStart::None;
}

// True for the tokens an operand or a prefix operation can begin with.
inline bool can_start_operand(const Token& t) { return operand_start(t) != OperandStart::None; }

// The tokens `read_suffixes` continues an operand with.
bool starts_suffix(const Token& t) {
  switch (t.kind.tag()) {
    case TokenKind::Tag::String:
    case TokenKind::Tag::InterpolatedString:
      return true;
    case TokenKind::Tag::Operator:
      return lexer::starts_suffix(t.kind.get_if<TokenKind::Operator>()->op);
    case TokenKind::Tag::Eof:
    case TokenKind::Tag::Identifier:
    case TokenKind::Tag::Ordinal:
    case TokenKind::Tag::Number:
    case TokenKind::Tag::Keyword:
    case TokenKind::Tag::Unknown:
    case TokenKind::Tag::Empty:
      return false;
  }
  return false;
}

// The node of a name or literal token, consumed: what `primary` reads there,
// without its layers (half of all operands are one such token).
[[gnu::noinline, gnu::flatten]] ExprBox leaf_operand(ParserContext& ctx, const Token& first) {
  ctx.next();
  if (first.kind.is_identifier()) return std::make_unique<Expression>(Expression::Variable{TokenRef::borrow(first)});
  return std::make_unique<Expression>(Expression::Literal{TokenRef::borrow(first)});
}

// What `pratt_prefix` reads from a name or literal: its node, then the
// suffixes when one follows.
[[gnu::noinline]] ExprBox leaf_postfix(ParserContext& ctx, const Token& first, bool suffixed) {
  ExprBox operand = leaf_operand(ctx, first);
  if (suffixed) read_suffixes(ctx, operand);
  return operand;
}

// The token after the next, or null.
const Token* second(const ParserContext& ctx) {
  return ctx.index + 1 < ctx.tokens.size() ? &ctx.tokens[ctx.index + 1] : nullptr;
}

bool step_in_place(ParserContext& ctx, ExprBox& left, const Token& op, PrecedenceResult precedence);

VAXO_NODE_BUILDER void infix_in_place(ParserContext& ctx, ExprBox& left, const Token& op, ExprBox& right) {
  if (is_range_op(op)) {
    // Read as an addition once the diagnostics are collected.
    auto flagged = TokenRef::make(Token::unknown(op.range, Operator::Plus, DiagnosticCode::UnexpectedToken));
    left = make(ctx, Expression::Infix{std::move(left), std::move(flagged), std::move(right)});
    return;
  }
  left = make(ctx, Expression::Infix{std::move(left), TokenRef::borrow(op), std::move(right)});
}

VAXO_NODE_BUILDER void range_end(const Token& op, ExprBox& left, ExprBox& right, std::optional<Range>& range) {
  range.emplace(Range{std::move(left), TokenRef::borrow(op), std::move(right)});
}

}  // namespace

LoopEnd detail::operator_loop(ParserContext& ctx, ExprBox& left, std::uint8_t min, std::optional<Range>* range) {
  for (;;) {
    const Token* t = ctx.peek();
    if (t == nullptr) return LoopEnd::Value;
    PrecedenceResult p = precedence_of(t->kind);
    if (p.value <= min) return LoopEnd::Value;
    ctx.next();
    if (*t == Keyword::Is || *t == Operator::Question) {
      if (!step_in_place(ctx, left, *t, p)) return LoopEnd::Failed;
      continue;
    }
    PrecedenceResult right_precedence = p;
    if (p.right_associative) --right_precedence.value;
    if (is_range_op(*t)) memo::met_range(ctx);
    // The bound after a range position's range operator ends the position:
    // it is a level of its own, as a slice bound is.
    const bool ends_range = range != nullptr && is_range_op(*t);
    ExprBox right = ends_range ? verified(ctx, right_precedence) : in_level(ctx, right_precedence);
    if (!right) return LoopEnd::Failed;
    if (ends_range) {
      range_end(*t, left, right, *range);
      return LoopEnd::Range;
    }
    infix_in_place(ctx, left, *t, right);
  }
}

namespace {

// `verified` past its lone-operand case; the guard is held throughout. A
// doomed level fails without remembering it but at its entry (`level`).
[[gnu::noinline]] ExprBox verified_operand(ParserContext& ctx, PrecedenceResult precedence, bool leaf,
                                          bool suffixed, bool level) {
  auto guard = ctx.enter();
  memo::charge(ctx);
  const memo::Attempt attempt = memo::operator_loop(precedence.value, false);
  if (memo::failed(ctx, attempt)) return nullptr;
  memo::Level entered(ctx, level ? precedence.value : memo::Level::kNone);
  const auto start = ctx.checkpoint();
  ExprBox left = leaf ? leaf_postfix(ctx, *ctx.peek(), suffixed) : pratt_prefix(ctx);
  if (left && (memo::doomed(ctx) || operator_loop(ctx, left, precedence.value, nullptr) == LoopEnd::Failed)) {
    memo::keep(ctx, std::move(left));
  }
  if (!left) {
    ctx.reset(start);
    entered.failed();
    if (!memo::doomed(ctx)) memo::remember(ctx, attempt);
  }
  return left;
}

template <bool kLevel>
ExprBox operand_of(ParserContext& ctx, PrecedenceResult precedence) {
  const Token* first = ctx.peek();
  if (first == nullptr) return nullptr;
  const OperandStart kind = operand_start(*first);
  if (kind == OperandStart::None) return nullptr;
  const Token* after = second(ctx);
  const bool suffixed = after != nullptr && starts_suffix(*after);
  if (kind == OperandStart::Leaf && !suffixed &&
      (after == nullptr || precedence_of(after->kind).value <= precedence.value)) {
    // A lone operand: it recurses into nothing, so the guard is only
    // checked, and it cannot fail, so no failure can be remembered here.
    { auto guard = ctx.enter(); }
    memo::charge(ctx);
    return leaf_operand(ctx, *first);
  }
  return verified_operand(ctx, precedence, kind == OperandStart::Leaf, suffixed, kLevel);
}

}  // namespace

ExprBox detail::verified(ParserContext& ctx, PrecedenceResult precedence) {
  return operand_of<true>(ctx, precedence);
}

ExprBox detail::in_level(ParserContext& ctx, PrecedenceResult precedence) {
  return operand_of<false>(ctx, precedence);
}

namespace {

// The first operand of a range position; a token must be there.
ExprBox first_operand(ParserContext& ctx) {
  const Token& first = *ctx.peek();
  const Token* after = second(ctx);
  return operand_start(first) == OperandStart::Leaf
             ? leaf_postfix(ctx, first, after != nullptr && starts_suffix(*after))
             : pratt_prefix(ctx);
}

// What the loop of a range position read, as an Iterable in its own box.
VAXO_NODE_BUILDER std::unique_ptr<Iterable> boxed_loop_result(LoopEnd end, ExprBox& left,
                                                              std::optional<Range>& range) {
  switch (end) {
    case LoopEnd::Value:
      return std::unique_ptr<Iterable>(new Iterable{Iterable::Value{std::move(*left)}});
    case LoopEnd::Range:
      return std::unique_ptr<Iterable>(new Iterable{Iterable::Range{std::move(*range)}});
    case LoopEnd::Failed:
      return nullptr;
  }
  return nullptr;
}

VAXO_NODE_BUILDER ExprBox prefix_node(ParserContext& ctx, const Token& op, ExprBox& operand) {
  return make(ctx, Expression::Prefix{TokenRef::borrow(op), std::move(operand)});
}

VAXO_NODE_BUILDER void is_node(ParserContext& ctx, ExprBox& left, const Token& op, patterns::PatBox& pattern) {
  left = make(ctx, Expression::Is{std::move(left), TokenRef::borrow(op), std::move(pattern)});
}

bool is_step(ParserContext& ctx, ExprBox& left, const Token& op) {
  patterns::PatBox pattern = patterns::pattern_box(ctx, false);
  if (!pattern) return false;
  is_node(ctx, left, op, pattern);
  return true;
}

VAXO_NODE_BUILDER void cond_node(ParserContext& ctx, ExprBox& left, const Token& op, ExprBox& then, TokenRef& colon,
                                 ExprBox& otherwise) {
  left = make(ctx, Expression::Cond{std::move(left), TokenRef::borrow(op), std::move(then), std::move(colon),
                                    std::move(otherwise)});
}

// The then-branch, or nothing when the conditional cannot be completed: a
// then-branch read as an Unknown stretch ends at a stop token, the `:` then
// goes in before it, and unless an operand starts there the else-branch is
// missing. Knowing that before building the stretch keeps a chain of
// unfinished conditionals linear.
ExprBox then_branch(ParserContext& ctx) {
  if (ExprBox e = verified(ctx, PrecedenceResult{})) return e;
  const std::size_t stop = memo::next_stop(ctx, memo::StopSet::Expression);
  if (stop == ctx.index || stop >= ctx.tokens.size() || !can_start_operand(ctx.tokens[stop])) return nullptr;
  return expressions::unknown_expression(ctx);
}

bool cond_step(ParserContext& ctx, ExprBox& left, const Token& op, PrecedenceResult otherwise_p) {
  ExprBox then = then_branch(ctx);
  if (!then) return false;
  std::optional<TokenRef> colon = helper::token_or_insert(Operator::Colon, DiagnosticCode::MissingColon)(ctx);
  ExprBox otherwise = in_level(ctx, otherwise_p);
  if (!otherwise) {
    memo::keep(ctx, std::move(then));
    return false;
  }
  cond_node(ctx, left, op, then, *colon, otherwise);
  return true;
}

// `is` and `?`, whose right side is no plain operand: one step into `left`.
bool step_in_place(ParserContext& ctx, ExprBox& left, const Token& op, PrecedenceResult precedence) {
  if (op == Keyword::Is) return is_step(ctx, left, op);
  PrecedenceResult right_precedence = precedence;
  if (precedence.right_associative) --right_precedence.value;
  return cond_step(ctx, left, op, right_precedence);
}

}  // namespace

ExprBox pratt_prefix(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr) return nullptr;
  PrecedenceResult p = precedence_of(t->kind);
  if (!p.can_be_prefix) return postfix(ctx);
  const auto start = ctx.checkpoint();
  ctx.next();
  // Every prefix operator binds tighter than a level's minimum: its operand
  // belongs to the level.
  ExprBox operand = in_level(ctx, p);
  if (!operand) {
    ctx.reset(start);
    return nullptr;
  }
  return prefix_node(ctx, *t, operand);
}

ExprBox basic_expression(ParserContext& ctx) { return verified(ctx, PrecedenceResult{}); }

}  // namespace vaxo_core::parser::basic_expressions

namespace vaxo_core::parser::expressions {

ExprBox expression(ParserContext& ctx) {
  if (ExprBox e = basic_expressions::basic_expression(ctx)) return e;
  return unknown_expression(ctx);
}

}  // namespace vaxo_core::parser::expressions

namespace vaxo_core::parser::basic_expressions {

std::unique_ptr<Iterable> iterable(ParserContext& ctx) {
  const Token* first = ctx.peek();
  if (first == nullptr || !can_start_operand(*first)) return nullptr;
  auto guard = ctx.enter();
  memo::charge(ctx);
  const memo::Attempt attempt = memo::operator_loop(0, true);
  if (memo::failed(ctx, attempt)) return nullptr;
  memo::Level entered(ctx, 0, true);
  const auto start = ctx.checkpoint();
  std::unique_ptr<Iterable> result;
  if (ExprBox left = first_operand(ctx)) {
    std::optional<Range> range;
    const LoopEnd end = memo::doomed(ctx) ? LoopEnd::Failed : operator_loop(ctx, left, 0, &range);
    if (end == LoopEnd::Failed) memo::keep(ctx, std::move(left));
    result = boxed_loop_result(end, left, range);
  }
  if (!result) {
    ctx.reset(start);
    entered.failed();
    memo::remember(ctx, attempt);
  }
  return result;
}

}  // namespace vaxo_core::parser::basic_expressions
