#include "core/parser/basic_expressions.h"

#include <string>
#include <utility>

#include "core/diagnostic/internal_error.h"
#include "core/parser/block_expressions.h"
#include "core/parser/expressions.h"
#include "core/parser/failure_memo.h"
#include "core/parser/helper.h"
#include "core/parser/array_helper.h"
#include "core/parser/patterns.h"
#include "core/parser/record_helper.h"

namespace vaxo_core::parser::basic_expressions {
namespace {

using expressions::build;

using expressions::ExprBox;
using expressions::make;

bool is_range_op(const Token& t) { return t == Operator::SpreadRange || t == Operator::HalfOpenRange; }

Iterable value_of(Expression e) { return Iterable{Iterable::Value{std::move(e)}}; }

template <typename E>
std::unique_ptr<E> box(E value) {
  return std::make_unique<E>(std::move(value));
}

// An operand that may not be a range: `pratt` without range positions, run
// on the boxed expression itself rather than through an Iterable. `verified`
// reads a whole expression level (memo::Level); `in_level` the right operand
// or prefix operand of the level being read.
ExprBox verified(ParserContext& ctx, PrecedenceResult precedence);
ExprBox in_level(ParserContext& ctx, PrecedenceResult precedence);

ExprBox additive(ParserContext& ctx) { return verified(ctx, kSliceBound); }

ExprBox placeholder(std::size_t pos) { return std::make_unique<Expression>(expressions::expression_expected(pos)); }

// `(` arguments `)`, with `open` as the opener; never fails once `open` matched.
template <typename Open>
std::optional<ListParts<ArgumentItem>> arg_list(ParserContext& ctx, Open open) {
  auto expression = [](ParserContext& c) { return expressions::expression_box(c); };
  return array_helper::array_base(open, helper::token_or_insert(Operator::CloseParen, DiagnosticCode::MissingCloseParen),
                                  expression, expression, placeholder)(ctx);
}


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
// Flattened: the node's construction is this function's whole work, and
// left to itself the compiler calls out for it.
[[gnu::noinline, gnu::flatten]] ExprBox leaf_operand(ParserContext& ctx, const Token& first) {
  ctx.next();
  if (first.kind.is_identifier()) return std::make_unique<Expression>(Expression::Variable{TokenRef::borrow(first)});
  return std::make_unique<Expression>(Expression::Literal{TokenRef::borrow(first)});
}

void read_suffixes(ParserContext& ctx, ExprBox& acc);

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

// The rules below recurse with the nesting of the source. They keep their
// own frames small by building nodes in separate, non-inlined functions, so
// that the stack a nesting level costs stays low in every build mode.
#define VAXO_NODE_BUILDER [[gnu::noinline]]

// How the operator loop ended.
enum class LoopEnd : std::uint8_t { Value, Range, Failed };

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

// The loop of `pratt` after its first operand: takes every operator stronger
// than `min`, folding into `left` in place. With `range` (range positions),
// the first range operator ends it and the range goes there; without, a
// range operator is a flagged `+`. On failure `left` is spent.
LoopEnd operator_loop(ParserContext& ctx, ExprBox& left, std::uint8_t min, std::optional<Range>* range) {
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

// What the loop read, as an Iterable.
VAXO_NODE_BUILDER std::optional<Iterable> loop_result(LoopEnd end, ExprBox& left, std::optional<Range>& range) {
  switch (end) {
    case LoopEnd::Value:
      return value_of(std::move(*left));
    case LoopEnd::Range:
      return Iterable{Iterable::Range{std::move(*range)}};
    case LoopEnd::Failed:
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<Iterable> pratt_loop(ParserContext& ctx, ExprBox left, std::uint8_t min, bool allow_range) {
  std::optional<Range> range;
  LoopEnd end = operator_loop(ctx, left, min, allow_range ? &range : nullptr);
  if (end == LoopEnd::Failed) memo::keep(ctx, std::move(left));
  return loop_result(end, left, range);
}

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
  // As `pratt` with allow_range false, sharing its memo entries.
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

ExprBox verified(ParserContext& ctx, PrecedenceResult precedence) { return operand_of<true>(ctx, precedence); }
ExprBox in_level(ParserContext& ctx, PrecedenceResult precedence) { return operand_of<false>(ctx, precedence); }

// The first operand of `pratt`; a token must be there.
ExprBox first_operand(ParserContext& ctx) {
  const Token& first = *ctx.peek();
  const Token* after = second(ctx);
  return operand_start(first) == OperandStart::Leaf
             ? leaf_postfix(ctx, first, after != nullptr && starts_suffix(*after))
             : pratt_prefix(ctx);
}

std::optional<Iterable> pratt_from_prefix(ParserContext& ctx, std::uint8_t min, bool allow_range) {
  ExprBox left = first_operand(ctx);
  if (!left) return std::nullopt;
  if (memo::doomed(ctx)) {
    memo::keep(ctx, std::move(left));
    return std::nullopt;
  }
  return pratt_loop(ctx, std::move(left), min, allow_range);
}

// What the loop of a range position read, in its own box: the expression
// is moved once, where an optional Iterable would carry it through several
// moves before it is boxed.
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
  return expressions::unknown_expression_box(ctx);
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

// The suffixes of a postfix chain. Each one either joins its node to `acc`
// and returns true, or consumes nothing and returns false.
VAXO_NODE_BUILDER void extension_node(ParserContext& ctx, ExprBox& acc, const Token& colon_colon, CallParts& parts) {
  acc = make(ctx, Expression::Extension{std::move(acc), TokenRef::borrow(colon_colon), std::move(parts.callee),
                                        std::move(parts.open_paren), std::move(parts.arguments),
                                        std::move(parts.close_paren)});
}

bool extension_suffix(ParserContext& ctx, ExprBox& acc, const Token& colon_colon) {
  const auto here = ctx.checkpoint();
  ctx.next();
  std::optional<CallParts> parts = extension_call(ctx);
  if (!parts) {
    ctx.reset(here);
    return false;
  }
  extension_node(ctx, acc, colon_colon, *parts);
  return true;
}

VAXO_NODE_BUILDER void tagged_string_node(ParserContext& ctx, ExprBox& acc, ExprBox string) {
  acc = make(ctx, Expression::TaggedString{std::move(acc), std::move(string)});
}

VAXO_NODE_BUILDER void call_node(ParserContext& ctx, ExprBox& acc, ListParts<ArgumentItem>& args) {
  auto& [open, arguments, close] = args;
  acc = make(ctx, Expression::Call{Callable{Callable::Expression{std::move(acc)}}, std::move(open),
                                   std::move(arguments), std::move(close)});
}

bool call_suffix(ParserContext& ctx, ExprBox& acc) {
  std::optional<ListParts<ArgumentItem>> args = arg_list(ctx, helper::token(Operator::OpenParen));
  if (!args) return false;
  call_node(ctx, acc, *args);
  return true;
}

VAXO_NODE_BUILDER void read_suffixes(ParserContext& ctx, ExprBox& acc) {
  // After a suffix with a reading of its own inside (arguments, brackets,
  // interpolations), the chain asks whether its level is bound to fail from
  // here (memo::Level); a name or `!` costs nothing to read again.
  for (;;) {
    const Token* t = ctx.peek();
    if (t == nullptr) return;
    if (*t == Operator::ColonColon) {
      if (!extension_suffix(ctx, acc, *t)) return;
    } else if (t->kind.is_string()) {
      ctx.next();
      tagged_string_node(ctx, acc, std::make_unique<Expression>(Expression::Literal{TokenRef::borrow(*t)}));
      continue;
    } else if (t->kind.is_interpolated_string()) {
      tagged_string_node(ctx, acc, interpolation(ctx));
    } else if (*t == Operator::Exclamation || *t == Operator::Dot) {
      if (access_suffix(ctx, acc)) continue;
      return;
    } else if (*t == Operator::OpenBracket) {
      if (!access_suffix(ctx, acc)) return;
    } else if (!(*t == Operator::OpenParen && call_suffix(ctx, acc))) {
      return;
    }
    if (memo::chain_fails(ctx)) return;
  }
}

bool starts_block_like(const Token& t) {
  if (t == Operator::OpenBrace) return true;
  const auto* kw = t.kind.get_if<TokenKind::Keyword>();
  return kw != nullptr && lexer::starts_block_like(kw->keyword);
}

bool is_constant_keyword(const Token& t) {
  const auto* kw = t.kind.get_if<TokenKind::Keyword>();
  return kw != nullptr && lexer::is_constant(kw->keyword);
}

VAXO_NODE_BUILDER ExprBox type_call(ParserContext& ctx) {
  std::optional<CallParts> call = pseudo_function(ctx, false);
  if (!call) return nullptr;
  return make(ctx, Expression::Call{std::move(call->callee), std::move(call->open_paren), std::move(call->arguments),
                                    std::move(call->close_paren)});
}


VAXO_NODE_BUILDER ExprBox literal_primary(ParserContext& ctx) {
  std::optional<TokenRef> literal = helper::literal_token(ctx);
  if (!literal) return nullptr;
  return std::make_unique<Expression>(Expression::Literal{std::move(*literal)});
}

VAXO_NODE_BUILDER ExprBox variable_primary(ParserContext& ctx) {
  std::optional<TokenRef> name = helper::variable_token(ctx, false, true);
  if (!name) return nullptr;
  return std::make_unique<Expression>(Expression::Variable{std::move(*name)});
}

// A parenthesised list with exactly one positional member and no comma is a
// grouping; anything else a record.
VAXO_NODE_BUILDER ExprBox record_like_node(ParserContext& ctx, ListParts<RecordItem>& list) {
  auto& [open, members, close] = list;
  if (members.size() == 1 && !members.front().has_tail_comma() && members.front().element.is_unnamed()) {
    auto& unnamed = std::get<RecordElementBase<Expression, Expression>::Unnamed>(members.front().element.node);
    return make(ctx, Expression::Grouping{std::move(open), std::move(unnamed.value), std::move(close)});
  }
  return make(ctx, Expression::Record{std::move(open), std::move(members), std::move(close)});
}

VAXO_NODE_BUILDER ExprBox array_node(ParserContext& ctx, ListParts<ArrayLiteralItem>& list) {
  auto& [open, items, close] = list;
  return make(ctx, Expression::Array{std::move(open), std::move(items), std::move(close)});
}

}  // namespace

std::optional<Iterable> pratt(ParserContext& ctx, PrecedenceResult precedence, bool allow_range) {
  // A token no operand starts with fails at once: nothing to remember.
  const Token* first = ctx.peek();
  if (first == nullptr || !can_start_operand(*first)) return std::nullopt;
  auto guard = ctx.enter();
  memo::charge(ctx);
  const memo::Attempt attempt = memo::operator_loop(precedence.value, allow_range);
  if (memo::failed(ctx, attempt)) return std::nullopt;
  memo::Level entered(ctx, precedence.value, allow_range);
  const auto start = ctx.checkpoint();
  std::optional<Iterable> result = pratt_from_prefix(ctx, precedence.value, allow_range);
  if (!result) {
    ctx.reset(start);
    entered.failed();
    memo::remember(ctx, attempt);
  }
  return result;
}

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

ExprBox basic_expression_box(ParserContext& ctx) { return verified(ctx, PrecedenceResult{}); }

}  // namespace vaxo_core::parser::basic_expressions

namespace vaxo_core::parser::expressions {

ExprBox expression_box(ParserContext& ctx) {
  if (ExprBox e = basic_expressions::verified(ctx, basic_expressions::PrecedenceResult{})) return e;
  return unknown_expression_box(ctx);
}

}  // namespace vaxo_core::parser::expressions

namespace vaxo_core::parser::basic_expressions {

std::optional<Expression> basic_expression(ParserContext& ctx) {
  ExprBox e = basic_expression_box(ctx);
  if (!e) return std::nullopt;
  return std::move(*e);
}

std::optional<Iterable> iterable(ParserContext& ctx) { return pratt(ctx, PrecedenceResult{}, true); }

std::unique_ptr<Iterable> iterable_box(ParserContext& ctx) {
  // As `pratt` with minimum 0 and ranges allowed, sharing its memo entries.
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

ExprBox postfix(ParserContext& ctx) {
  ExprBox operand = primary(ctx);
  if (operand) read_suffixes(ctx, operand);
  return operand;
}

namespace {

VAXO_NODE_BUILDER void index_node(ParserContext& ctx, ExprBox& acc, const Token& open, ExprBox& index,
                                  TokenRef& close) {
  acc = make(ctx, Expression::Index{std::move(acc), TokenRef::borrow(open), std::move(index), std::move(close)});
}

VAXO_NODE_BUILDER void slice_node(ParserContext& ctx, ExprBox& acc, const Token& open, ExprBox& start, TokenRef op,
                                  ExprBox& end, TokenRef& close) {
  acc = make(ctx, Expression::Slice{std::move(acc), TokenRef::borrow(open), std::move(start), std::move(op),
                                    std::move(end), std::move(close)});
}

// `[` ... `]` after `acc`: a slice or an index, joined to it. False,
// consuming nothing, when no form matches.
bool bracket_suffix(ParserContext& ctx, ExprBox& acc) {
  const auto start = ctx.checkpoint();
  const Token* t = ctx.next();
  auto fail = [&]() {
    ctx.reset(start);
    return false;
  };
  auto close_bracket = helper::token(Operator::CloseBracket);

  // `[..e]`, `[..]`: no other form can start with a range operator.
  const Token* first = ctx.peek();
  if (first == nullptr) return fail();
  if (is_range_op(*first)) {
    ctx.next();
    const auto before_end = ctx.checkpoint();
    ExprBox end = additive(ctx);
    if (!end) ctx.reset(before_end);
    auto close = close_bracket(ctx);
    if (!close) {
      memo::keep(ctx, std::move(end));
      return fail();
    }
    ExprBox none;
    slice_node(ctx, acc, *t, none, TokenRef::borrow(*first), end, *close);
    return true;
  }

  // The content is read once: its part that binds tighter than a range
  // operator is the same in every bracket form, so the forms are told apart
  // by what follows it. `[s..]` is the one form whose continuation cannot
  // parse (no operand follows the range operator); every other form is the
  // operator loop continued from the bound, followed by `]`.
  ExprBox bound = additive(ctx);
  if (!bound) return fail();
  const Token* after = ctx.peek();
  if (after != nullptr && is_range_op(*after) && ctx.index + 1 < ctx.tokens.size() &&
      ctx.tokens[ctx.index + 1] == Operator::CloseBracket) {
    ctx.next();
    auto close = close_bracket(ctx);
    ExprBox none;
    slice_node(ctx, acc, *t, bound, TokenRef::borrow(*after), none, *close);
    return true;
  }
  std::optional<Range> range;
  LoopEnd end;
  {
    // The loop after the bound belongs to the bracket, not to the level
    // the bracketed operand is in.
    memo::Level apart(ctx, memo::Level::kApart);
    end = operator_loop(ctx, bound, 0, &range);
  }
  if (end == LoopEnd::Failed) {
    memo::keep(ctx, std::move(bound));
    return fail();
  }
  auto close = close_bracket(ctx);
  if (!close) {
    if (end == LoopEnd::Value) {
      memo::keep(ctx, std::move(bound));
    } else {
      memo::keep(ctx, std::move(range->start));
      memo::keep(ctx, std::move(range->end));
    }
    return fail();
  }
  if (end == LoopEnd::Value) {
    index_node(ctx, acc, *t, bound, *close);
  } else {
    slice_node(ctx, acc, *t, range->start, std::move(range->op), range->end, *close);
  }
  return true;
}

}  // namespace

bool access_suffix(ParserContext& ctx, ExprBox& acc) {
  const Token* t = ctx.peek();
  if (t == nullptr) return false;
  const auto start = ctx.checkpoint();

  if (*t == Operator::Exclamation) {
    ctx.next();
    acc = make(ctx, Expression::NonNil{std::move(acc), TokenRef::borrow(*t)});
    return true;
  }
  if (*t == Operator::Dot) {
    ctx.next();
    const Token* name = ctx.peek();
    if (name != nullptr && (name->kind.is_identifier() || name->kind.is_ordinal())) {
      ctx.next();
      acc = make(ctx, Expression::Access{std::move(acc), TokenRef::borrow(*t), TokenRef::borrow(*name)});
      return true;
    }
    ctx.reset(start);
    return false;
  }
  if (!(*t == Operator::OpenBracket)) return false;
  // Nested brackets that never close would otherwise be read again by every
  // enclosing attempt.
  if (memo::failed(ctx, memo::Rule::BracketSuffix)) return false;
  if (bracket_suffix(ctx, acc)) return true;
  ctx.reset(start);
  memo::remember(ctx, memo::Rule::BracketSuffix);
  return false;
}

std::optional<CallParts> extension_call(ParserContext& ctx) {
  const auto start = ctx.checkpoint();
  ExprBox callee;
  const Token* t = ctx.peek();
  if (t != nullptr && *t == Operator::OpenParen) {
    if (ExprBox form = record_like(ctx)) {
      if (form->is_record()) {
        NodeList<TokenRef> taken;
        for (const Token& token : ctx.slice(start)) taken.push_back(TokenRef::borrow(token));
        const SourceDiagnostic error{ByteRange{taken.front()->range.start, taken.back()->range.end},
                                     DiagnosticCode::RecordLiteralInExtensionCaller};
        callee = make(ctx, Expression::Unknown{std::move(form), std::move(taken), {error}});
      } else {
        callee = std::move(form);
      }
    }
  }
  if (!callee) {
    if (auto name = helper::variable_token(ctx, false, true)) {
      ExprBox acc = make(ctx, Expression::Variable{std::move(*name)});
      while (access_suffix(ctx, acc)) {
      }
      callee = std::move(acc);
    }
  }
  if (callee) {
    auto args =
        arg_list(ctx, helper::token_or_insert(Operator::OpenParen, DiagnosticCode::MissingOpenParenAfterExtension));
    auto& [open, arguments, close] = *args;
    return CallParts{Callable{Callable::Expression{std::move(callee)}}, std::move(open), std::move(arguments),
                     std::move(close)};
  }
  ctx.reset(start);
  return pseudo_function(ctx, true);
}

std::optional<CallParts> pseudo_function(ParserContext& ctx, bool provided) {
  const Token* t = ctx.peek();
  if (t == nullptr || !(*t == Keyword::Type)) return std::nullopt;
  ctx.next();
  auto args = arg_list(ctx, helper::token_or_insert(Operator::OpenParen, DiagnosticCode::MissingOpenParenAfterType));
  auto& [open, arguments, close] = *args;
  const std::size_t expected = provided ? 0 : 1;
  bool invalid = arguments.size() != expected;
  if (!arguments.empty() && (arguments.front().element.is_spread() || arguments.front().has_tail_comma())) {
    invalid = true;
  }
  if (invalid) {
    // The arguments go, with whatever they reported.
    arguments.clear();
    ByteRange call{t->range.start, close.range().end};
    arguments.push_back(ArgumentItem::make(ArrayElementBase<Expression, Expression>::element(
        Expression::unknown_range({}, call, DiagnosticCode::InvalidTypeCall))));
  }
  return CallParts{Callable{Callable::Type{TokenRef::borrow(*t)}}, std::move(open), std::move(arguments),
                   std::move(close)};
}

ExprBox primary(ParserContext& ctx) {
  if (ExprBox kept = memo::take_kept(ctx)) return kept;
  // Each form starts with its own kind of token, so the first token picks
  // the one alternative that can succeed.
  const Token* t = ctx.peek();
  if (t == nullptr) return nullptr;
  const TokenKind& kind = t->kind;
  if (*t == Keyword::Type) return type_call(ctx);
  if (starts_block_like(*t)) return block_expressions::block_like_expression_box(ctx);
  if (kind.is_number() || kind.is_ordinal() || kind.is_string() || is_constant_keyword(*t)) {
    return literal_primary(ctx);
  }
  if (kind.is_interpolated_string()) return interpolation(ctx);
  if (*t == Operator::OpenParen) return record_like(ctx);
  if (*t == Operator::OpenBracket) return array(ctx);
  return variable_primary(ctx);
}

ExprBox record_like(ParserContext& ctx) {
  auto expression = [](ParserContext& c) { return expressions::expression_box(c); };
  auto list = record_helper::record_base(
      expression, [](ParserContext& c, const Token& key) { return interpolation_of(c, key); }, expression,
      expression, expression, placeholder)(ctx);
  if (!list) return nullptr;
  return record_like_node(ctx, *list);
}

ExprBox array(ParserContext& ctx) {
  auto spread_operand = [](ParserContext& c) -> ExprBox {
    std::size_t pos = c.previous_token_end();
    if (ExprBox e = expressions::expression_box(c)) return e;
    return std::make_unique<Expression>(
        Expression::unknown_range({}, ByteRange{pos, pos}, DiagnosticCode::BadArraySpread));
  };
  auto list = array_helper::array_base(
      helper::token(Operator::OpenBracket),
      helper::token_or_insert(Operator::CloseBracket, DiagnosticCode::MissingCloseBracket),
      [](ParserContext& c) { return iterable_box(c); }, spread_operand,
      [](std::size_t pos) { return value_of(expressions::expression_expected(pos)); })(ctx);
  if (!list) return nullptr;
  return array_node(ctx, *list);
}

ExprBox interpolation(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr || !t->kind.is_interpolated_string()) return nullptr;
  ctx.next();
  return interpolation_of(ctx, *t);
}

ExprBox interpolation_of(const ParserContext& ctx, const Token& token) {
  const auto* string = token.kind.get_if<TokenKind::InterpolatedString>();
  if (string == nullptr) throw InternalError("internal error: entered unreachable code: Expected InterpolatedString");
  auto borrow_all = [](std::span<const Token> tokens) {
    NodeList<TokenRef> refs;
    refs.reserve(tokens.size());
    for (const Token& t : tokens) refs.push_back(TokenRef::borrow(t));
    return refs;
  };

  NodeList<Expression> expressions;
  const auto& parts = string->parts;
  if (!parts.empty()) expressions.reserve(parts.size() - 1);
  const std::size_t lists = parts.empty() ? 0 : parts.size() - 1;
  std::size_t all_tokens = 0;
  for (std::size_t i = 0; i < lists; ++i) all_tokens += parts[i].count;
  memo::StringTables tables(ctx, token, lists, all_tokens);
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::span<const Token> tokens = string->tokens_of(parts[i]);
    tables.next(tokens);
    if (tokens.empty()) throw InternalError("Expected non-empty tokens in interpolation " + token.to_string());
    bool all_empty = true;
    for (const Token& t : tokens) all_empty = all_empty && t.kind.is_empty();
    if (all_empty) {
      expressions.push_back(Expression::unknown(borrow_all(tokens), DiagnosticCode::EmptyInterpolation));
      continue;
    }
    if (tokens.back().kind.is_eof()) {
      expressions.push_back(Expression::unknown(borrow_all(tokens), DiagnosticCode::UnterminatedInterpolation));
      continue;
    }
    ParserContext part = ctx.nested(tokens);
    memo::grant(ctx, tokens.size());
    auto e = expressions::expression_box(part);
    if (!e) {
      expressions.push_back(Expression::unknown(borrow_all(tokens), DiagnosticCode::BadInterpolation));
    } else if (part.at_end()) {
      expressions.push_back(std::move(*e));
    } else {
      auto left_over = borrow_all(tokens.subspan(part.index));
      const ByteRange range{left_over.front()->range.start, left_over.back()->range.end};
      expressions.push_back(build(ctx, Expression::Unknown{std::move(e), std::move(left_over),
                                                           {SourceDiagnostic{range, DiagnosticCode::BadInterpolation}}}));
    }
  }
  return make(ctx, Expression::InterpolatedString{&token, std::move(expressions)});
}

}  // namespace vaxo_core::parser::basic_expressions
