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

// Failure-memo keys of `pratt`: one per (minimum, allow_range).
constexpr std::uint32_t kPrattRuleKey = 0x50000000u;
constexpr std::uint32_t pratt_key(std::uint8_t min, bool allow_range) {
  return kPrattRuleKey | (std::uint32_t{min} << 1) | (allow_range ? 1u : 0u);
}

// The minimum of a slice bound: binds tighter than the range operators.
constexpr PrecedenceResult kAdditive{static_cast<std::uint8_t>(precedence_of(Operator::SpreadRange).value + 2)};
static_assert(kAdditive.value == 142);

bool is_range_op(const Token& t) { return t == Operator::SpreadRange || t == Operator::HalfOpenRange; }

Iterable value_of(Expression e) { return Iterable{Iterable::Value{std::move(e)}}; }

// An operand that may not be a range: `pratt` without range positions, run
// on the expression itself rather than through an Iterable (defined below).
std::optional<Expression> verified(ParserContext& ctx, PrecedenceResult precedence);

std::optional<Expression> additive(ParserContext& ctx) { return verified(ctx, kAdditive); }

// The loop of `pratt` after its first operand: takes every operator stronger
// than `min`, folding to the left; the first range ends it.
std::optional<Iterable> pratt_loop(ParserContext& ctx, Expression left, std::uint8_t min, bool allow_range) {
  for (;;) {
    const Token* t = ctx.peek();
    if (t == nullptr) break;
    PrecedenceResult p = precedence_of(t->kind);
    if (p.value <= min) break;
    ctx.next();
    auto step = pratt_infix(ctx, std::move(left), *t, p, allow_range);
    if (!step) return std::nullopt;
    auto* v = std::get_if<Iterable::Value>(&step->node);
    if (v == nullptr) return step;
    left = std::move(v->value);
  }
  return value_of(std::move(left));
}

template <typename E>
std::unique_ptr<E> box(E value) {
  return std::make_unique<E>(std::move(value));
}

// `(` arguments `)`, with `open` as the opener; never fails once `open` matched.
template <typename Open>
std::optional<ListParts<ArgumentItem>> arg_list(ParserContext& ctx, Open open) {
  auto expression = [](ParserContext& c) { return expressions::expression(c); };
  return array_helper::array_base(open, helper::token_or_insert(Operator::CloseParen, DiagnosticCode::MissingCloseParen),
                                  expression, expression,
                                  [](std::size_t pos) { return expressions::expression_expected(pos); })(ctx);
}


// True for the tokens an operand or a prefix operation can begin with.
bool can_start_operand(const Token& t) {
  switch (t.kind.tag()) {
    case TokenKind::Tag::Identifier:
    case TokenKind::Tag::Ordinal:
    case TokenKind::Tag::Number:
    case TokenKind::Tag::String:
    case TokenKind::Tag::InterpolatedString:
      return true;
    case TokenKind::Tag::Operator: {
      Operator op = t.kind.get_if<TokenKind::Operator>()->op;
      return op == Operator::OpenParen || op == Operator::OpenBracket || op == Operator::OpenBrace ||
             op == Operator::Plus || op == Operator::Minus || op == Operator::Exclamation;
    }
    case TokenKind::Tag::Keyword: {
      Keyword k = t.kind.get_if<TokenKind::Keyword>()->keyword;
      return k == Keyword::True || k == Keyword::False || k == Keyword::Nil || k == Keyword::Nan || k == Keyword::Inf ||
             k == Keyword::Underscore || k == Keyword::Global || k == Keyword::Not || k == Keyword::Type ||
             k == Keyword::If || k == Keyword::Fn || k == Keyword::Loop || k == Keyword::While ||
             k == Keyword::Match || k == Keyword::For || lexer::is_reserved(k);
    }
    case TokenKind::Tag::Eof:
    case TokenKind::Tag::Unknown:
    case TokenKind::Tag::Empty:
      return false;
  }
  return false;
}

void infix_in_place(ParserContext& ctx, Expression& left, const Token& op, Expression& right);

// The operator loop where no range is allowed, folding into `left` in place.
// False when a step fails (`left` is then spent).
bool value_loop(ParserContext& ctx, Expression& left, std::uint8_t min) {
  for (;;) {
    const Token* t = ctx.peek();
    if (t == nullptr) return true;
    PrecedenceResult p = precedence_of(t->kind);
    if (p.value <= min) return true;
    ctx.next();
    if (*t == Keyword::Is || *t == Operator::Question) {
      std::optional<Iterable> step = pratt_infix(ctx, std::move(left), *t, p, false);
      if (!step) return false;
      left = std::move(std::get<Iterable::Value>(step->node).value);
      continue;
    }
    // A plain binary operator builds its node straight into `left`.
    PrecedenceResult right_precedence = p;
    if (p.right_associative) --right_precedence.value;
    std::optional<Expression> right = verified(ctx, right_precedence);
    if (!right) return false;
    infix_in_place(ctx, left, *t, *right);
  }
}

std::optional<Expression> verified(ParserContext& ctx, PrecedenceResult precedence) {
  // As `pratt` with allow_range false, sharing its memo entries.
  const Token* first = ctx.peek();
  if (first == nullptr || !can_start_operand(*first)) return std::nullopt;
  auto guard = ctx.enter();
  memo::charge(ctx);
  const std::uint32_t key = pratt_key(precedence.value, false);
  const int slot = memo::pratt_slot(precedence.value, false);
  if (memo::failed(ctx, key, slot)) return std::nullopt;
  const auto start = ctx.checkpoint();
  std::optional<Expression> left = pratt_prefix(ctx);
  if (left && !value_loop(ctx, *left, precedence.value)) left.reset();
  if (!left) {
    ctx.reset(start);
    memo::remember(ctx, key, slot);
  }
  return left;
}

// The rules below recurse with the nesting of the source. They keep their
// own frames small by building nodes in separate, non-inlined functions, so
// that the stack a nesting level costs stays low in every build mode.
#define VAXO_NODE_BUILDER [[gnu::noinline]]

std::optional<Iterable> pratt_from_prefix(ParserContext& ctx, std::uint8_t min, bool allow_range) {
  std::optional<Expression> left = pratt_prefix(ctx);
  if (!left) return std::nullopt;
  return pratt_loop(ctx, std::move(*left), min, allow_range);
}

VAXO_NODE_BUILDER Expression prefix_node(ParserContext& ctx, const Token& op, Expression& operand) {
  return build(ctx, Expression::Prefix{TokenRef::borrow(op), box(std::move(operand))});
}

VAXO_NODE_BUILDER std::optional<Iterable> is_node(ParserContext& ctx, Expression& left, const Token& op,
                                                  Pattern& pattern) {
  return value_of(build(ctx, Expression::Is{box(std::move(left)), TokenRef::borrow(op), box(std::move(pattern))}));
}

std::optional<Iterable> is_step(ParserContext& ctx, Expression& left, const Token& op) {
  std::optional<Pattern> pattern = patterns::pattern(ctx, false);
  if (!pattern) return std::nullopt;
  return is_node(ctx, left, op, *pattern);
}

VAXO_NODE_BUILDER std::optional<Iterable> cond_node(ParserContext& ctx, Expression& left, const Token& op,
                                                    Expression& then, TokenRef& colon, Expression& otherwise) {
  return value_of(build(ctx, Expression::Cond{box(std::move(left)), TokenRef::borrow(op), box(std::move(then)),
                                              std::move(colon), box(std::move(otherwise))}));
}

// The then-branch, or nothing when the conditional cannot be completed: a
// then-branch read as an Unknown stretch ends at a stop token, the `:` then
// goes in before it, and unless an operand starts there the else-branch is
// missing. Knowing that before building the stretch keeps a chain of
// unfinished conditionals linear.
std::optional<Expression> then_branch(ParserContext& ctx) {
  if (auto e = basic_expression(ctx)) return e;
  const std::size_t stop = memo::next_stop(ctx, memo::StopSet::Expression);
  if (stop == ctx.index || stop >= ctx.tokens.size() || !can_start_operand(ctx.tokens[stop])) return std::nullopt;
  return expressions::unknown_expression(ctx);
}

std::optional<Iterable> cond_step(ParserContext& ctx, Expression& left, const Token& op, PrecedenceResult otherwise_p) {
  std::optional<Expression> then = then_branch(ctx);
  if (!then) return std::nullopt;
  std::optional<TokenRef> colon = helper::token_or_insert(Operator::Colon, DiagnosticCode::MissingColon)(ctx);
  std::optional<Expression> otherwise = verified(ctx, otherwise_p);
  if (!otherwise) return std::nullopt;
  return cond_node(ctx, left, op, *then, *colon, *otherwise);
}

VAXO_NODE_BUILDER std::optional<Iterable> infix_node(ParserContext& ctx, Expression& left, const Token& op,
                                                     Expression& right, bool allow_range) {
  if (is_range_op(op)) {
    if (allow_range) {
      return Iterable{Iterable::Range{Range{box(std::move(left)), TokenRef::borrow(op), box(std::move(right))}}};
    }
    // Read as an addition once the diagnostics are collected.
    auto flagged = TokenRef::make(Token::unknown(op.range, Operator::Plus, DiagnosticCode::UnexpectedToken));
    return value_of(build(ctx, Expression::Infix{box(std::move(left)), std::move(flagged), box(std::move(right))}));
  }
  return value_of(build(ctx, Expression::Infix{box(std::move(left)), TokenRef::borrow(op), box(std::move(right))}));
}

// As infix_node without a range allowed, replacing `left` with the node.
VAXO_NODE_BUILDER void infix_in_place(ParserContext& ctx, Expression& left, const Token& op, Expression& right) {
  if (is_range_op(op)) {
    auto flagged = TokenRef::make(Token::unknown(op.range, Operator::Plus, DiagnosticCode::UnexpectedToken));
    left = build(ctx, Expression::Infix{box(std::move(left)), std::move(flagged), box(std::move(right))});
    return;
  }
  left = build(ctx, Expression::Infix{box(std::move(left)), TokenRef::borrow(op), box(std::move(right))});
}

// The suffixes of a postfix chain. Each one either joins its node to `acc`
// and returns true, or consumes nothing and returns false.
VAXO_NODE_BUILDER void extension_node(ParserContext& ctx, Expression& acc, const Token& colon_colon,
                                      CallParts& parts) {
  acc = build(ctx, Expression::Extension{box(std::move(acc)), TokenRef::borrow(colon_colon), std::move(parts.callee),
                                         std::move(parts.open_paren), std::move(parts.arguments),
                                         std::move(parts.close_paren)});
}

bool extension_suffix(ParserContext& ctx, Expression& acc, const Token& colon_colon) {
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

VAXO_NODE_BUILDER void tagged_string_node(ParserContext& ctx, Expression& acc, Expression string) {
  acc = build(ctx, Expression::TaggedString{box(std::move(acc)), box(std::move(string))});
}

VAXO_NODE_BUILDER void call_node(ParserContext& ctx, Expression& acc, ListParts<ArgumentItem>& args) {
  auto& [open, arguments, close] = args;
  acc = build(ctx, Expression::Call{Callable{Callable::Expression{box(std::move(acc))}}, std::move(open),
                                    std::move(arguments), std::move(close)});
}

bool call_suffix(ParserContext& ctx, Expression& acc) {
  std::optional<ListParts<ArgumentItem>> args = arg_list(ctx, helper::token(Operator::OpenParen));
  if (!args) return false;
  call_node(ctx, acc, *args);
  return true;
}

bool access_suffix(ParserContext& ctx, Expression& acc) {
  std::optional<AccessIndex> suffix = access_index(ctx);
  if (!suffix) return false;
  acc = apply_access_index(ctx, std::move(acc), std::move(*suffix));
  return true;
}

VAXO_NODE_BUILDER void read_suffixes(ParserContext& ctx, Expression& acc) {
  for (;;) {
    const Token* t = ctx.peek();
    if (t == nullptr) return;
    if (*t == Operator::ColonColon) {
      if (extension_suffix(ctx, acc, *t)) continue;
      return;
    }
    if (t->kind.is_string()) {
      ctx.next();
      tagged_string_node(ctx, acc, Expression(Expression::Literal{TokenRef::borrow(*t)}));
      continue;
    }
    if (t->kind.is_interpolated_string()) {
      tagged_string_node(ctx, acc, *interpolation(ctx));
      continue;
    }
    if (*t == Operator::Exclamation || *t == Operator::Dot || *t == Operator::OpenBracket) {
      if (access_suffix(ctx, acc)) continue;
      return;
    }
    if (*t == Operator::OpenParen && call_suffix(ctx, acc)) continue;
    return;
  }
}

bool starts_block_like(const Token& t) {
  return t == Operator::OpenBrace || t == Keyword::If || t == Keyword::Fn || t == Keyword::Loop ||
         t == Keyword::While || t == Keyword::Match || t == Keyword::For;
}

VAXO_NODE_BUILDER std::optional<Expression> type_call(ParserContext& ctx) {
  std::optional<CallParts> call = pseudo_function(ctx, false);
  if (!call) return std::nullopt;
  return build(ctx, Expression::Call{std::move(call->callee), std::move(call->open_paren), std::move(call->arguments),
                                     std::move(call->close_paren)});
}

VAXO_NODE_BUILDER std::optional<Expression> literal_primary(ParserContext& ctx) {
  std::optional<TokenRef> literal = helper::literal_token(ctx);
  if (!literal) return std::nullopt;
  return Expression(Expression::Literal{std::move(*literal)});
}

VAXO_NODE_BUILDER std::optional<Expression> variable_primary(ParserContext& ctx) {
  std::optional<TokenRef> name = helper::variable_token(ctx, false, true);
  if (!name) return std::nullopt;
  return Expression(Expression::Variable{std::move(*name)});
}

// A parenthesised list with exactly one positional member and no comma is a
// grouping; anything else a record.
VAXO_NODE_BUILDER Expression record_like_node(ParserContext& ctx, ListParts<RecordItem>& list) {
  auto& [open, members, close] = list;
  if (members.size() == 1 && !members.front().has_tail_comma() && members.front().element.is_unnamed()) {
    auto& unnamed = std::get<RecordElementBase<Expression, Expression>::Unnamed>(members.front().element.node);
    return build(ctx, Expression::Grouping{std::move(open), std::move(unnamed.value), std::move(close)});
  }
  return build(ctx, Expression::Record{std::move(open), std::move(members), std::move(close)});
}

VAXO_NODE_BUILDER Expression array_node(ParserContext& ctx, ListParts<ArrayLiteralItem>& list) {
  auto& [open, items, close] = list;
  return build(ctx, Expression::Array{std::move(open), std::move(items), std::move(close)});
}

}  // namespace

std::optional<Expression> verify_expr(Iterable iterable) {
  auto* v = std::get_if<Iterable::Value>(&iterable.node);
  if (v == nullptr) return std::nullopt;
  return std::move(v->value);
}

std::optional<Iterable> pratt(ParserContext& ctx, PrecedenceResult precedence, bool allow_range) {
  // A token no operand starts with fails at once: nothing to remember.
  const Token* first = ctx.peek();
  if (first == nullptr || !can_start_operand(*first)) return std::nullopt;
  auto guard = ctx.enter();
  memo::charge(ctx);
  const std::uint32_t key = pratt_key(precedence.value, allow_range);
  const int slot = memo::pratt_slot(precedence.value, allow_range);
  if (memo::failed(ctx, key, slot)) return std::nullopt;
  const auto start = ctx.checkpoint();
  std::optional<Iterable> result = pratt_from_prefix(ctx, precedence.value, allow_range);
  if (!result) {
    ctx.reset(start);
    memo::remember(ctx, key, slot);
  }
  return result;
}

std::optional<Expression> pratt_prefix(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr) return std::nullopt;
  PrecedenceResult p = precedence_of(t->kind);
  if (!p.can_be_prefix) return postfix(ctx);
  const auto start = ctx.checkpoint();
  ctx.next();
  auto operand = verified(ctx, p);
  if (!operand) {
    ctx.reset(start);
    return std::nullopt;
  }
  return prefix_node(ctx, *t, *operand);
}

std::optional<Iterable> pratt_infix(ParserContext& ctx, Expression left, const Token& op, PrecedenceResult precedence,
                                    bool allow_range) {
  if (op == Keyword::Is) return is_step(ctx, left, op);
  PrecedenceResult right_precedence = precedence;
  if (precedence.right_associative) --right_precedence.value;
  if (op == Operator::Question) return cond_step(ctx, left, op, right_precedence);
  auto right = verified(ctx, right_precedence);
  if (!right) return std::nullopt;
  return infix_node(ctx, left, op, *right, allow_range);
}

std::optional<Expression> basic_expression(ParserContext& ctx) { return verified(ctx, PrecedenceResult{}); }

std::optional<Iterable> iterable(ParserContext& ctx) { return pratt(ctx, PrecedenceResult{}, true); }

std::optional<Expression> postfix(ParserContext& ctx) {
  std::optional<Expression> operand = primary(ctx);
  if (operand) read_suffixes(ctx, *operand);
  return operand;
}

// `[` ... `]` after an operand: a slice or an index. Fails, consuming
// nothing, when no form matches.
std::optional<AccessIndex> bracket_suffix(ParserContext& ctx) {
  const auto start = ctx.checkpoint();
  const Token* t = ctx.next();
  auto fail = [&]() -> std::optional<AccessIndex> {
    ctx.reset(start);
    return std::nullopt;
  };
  auto close_bracket = helper::token(Operator::CloseBracket);

  // `[..e]`, `[..]`: no other form can start with a range operator.
  const Token* first = ctx.peek();
  if (first == nullptr) return fail();
  if (is_range_op(*first)) {
    ctx.next();
    const auto before_end = ctx.checkpoint();
    auto end = additive(ctx);
    if (!end) ctx.reset(before_end);
    auto close = close_bracket(ctx);
    if (!close) return fail();
    return AccessIndex{AccessIndex::Slice{TokenRef::borrow(*t), nullptr, TokenRef::borrow(*first),
                                          end ? box(std::move(*end)) : nullptr, std::move(*close)}};
  }

  // The content is read once: its part that binds tighter than a range
  // operator is the same in every bracket form, so the forms are told apart
  // by what follows it. `[s..]` is the one form whose continuation cannot
  // parse (no operand follows the range operator); every other form is the
  // operator loop continued from the bound, followed by `]`.
  auto bound = additive(ctx);
  if (!bound) return fail();
  const Token* after = ctx.peek();
  if (after != nullptr && is_range_op(*after) && ctx.index + 1 < ctx.tokens.size() &&
      ctx.tokens[ctx.index + 1] == Operator::CloseBracket) {
    ctx.next();
    auto close = close_bracket(ctx);
    return AccessIndex{AccessIndex::Slice{TokenRef::borrow(*t), box(std::move(*bound)), TokenRef::borrow(*after),
                                          nullptr, std::move(*close)}};
  }
  auto content = pratt_loop(ctx, std::move(*bound), 0, true);
  if (!content) return fail();
  auto close = close_bracket(ctx);
  if (!close) return fail();
  if (auto* v = std::get_if<Iterable::Value>(&content->node)) {
    return AccessIndex{AccessIndex::Index{TokenRef::borrow(*t), box(std::move(v->value)), std::move(*close)}};
  }
  auto& r = std::get<Iterable::Range>(content->node).range;
  return AccessIndex{AccessIndex::Slice{TokenRef::borrow(*t), std::move(r.start), std::move(r.op), std::move(r.end),
                                        std::move(*close)}};
}

std::optional<AccessIndex> access_index(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr) return std::nullopt;
  const auto start = ctx.checkpoint();

  if (*t == Operator::Exclamation) {
    ctx.next();
    return AccessIndex{AccessIndex::NonNil{TokenRef::borrow(*t)}};
  }
  if (*t == Operator::Dot) {
    ctx.next();
    const Token* name = ctx.peek();
    if (name != nullptr && (name->kind.is_identifier() || name->kind.is_ordinal())) {
      ctx.next();
      return AccessIndex{AccessIndex::Access{TokenRef::borrow(*t), TokenRef::borrow(*name)}};
    }
    ctx.reset(start);
    return std::nullopt;
  }
  if (!(*t == Operator::OpenBracket)) return std::nullopt;
  // Nested brackets that never close would otherwise be read again by every
  // enclosing attempt.
  constexpr std::uint32_t kBracketRuleKey = 0x50001000u;
  constexpr int kBracketBit = static_cast<int>(memo::Rule::BracketSuffix);
  if (memo::failed(ctx, kBracketRuleKey, kBracketBit)) return std::nullopt;
  auto suffix = bracket_suffix(ctx);
  if (!suffix) {
    ctx.reset(start);
    memo::remember(ctx, kBracketRuleKey, kBracketBit);
  }
  return suffix;
}

Expression apply_access_index(ParserContext& ctx, Expression object, AccessIndex suffix) {
  return std::visit(
      [&](auto&& s) -> Expression {
        using S = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<S, AccessIndex::Access>) {
          return build(ctx, Expression::Access{box(std::move(object)), std::move(s.dot), std::move(s.name)});
        } else if constexpr (std::is_same_v<S, AccessIndex::Index>) {
          return build(ctx, Expression::Index{box(std::move(object)), std::move(s.open_bracket), std::move(s.index),
                                              std::move(s.close_bracket)});
        } else if constexpr (std::is_same_v<S, AccessIndex::Slice>) {
          return build(ctx, Expression::Slice{box(std::move(object)), std::move(s.open_bracket), std::move(s.start),
                                              std::move(s.op), std::move(s.end), std::move(s.close_bracket)});
        } else {
          return build(ctx, Expression::NonNil{box(std::move(object)), std::move(s.exclamation)});
        }
      },
      std::move(suffix.node));
}

std::optional<CallParts> extension_call(ParserContext& ctx) {
  const auto start = ctx.checkpoint();
  std::optional<Expression> callee;
  const Token* t = ctx.peek();
  if (t != nullptr && *t == Operator::OpenParen) {
    if (auto form = record_like(ctx)) {
      if (form->is_record()) {
        std::vector<TokenRef> taken;
        for (const Token& token : ctx.slice(start)) taken.push_back(TokenRef::borrow(token));
        callee = build(ctx, Expression::wrap_as_unknown(std::move(*form), std::move(taken),
                                                        DiagnosticCode::RecordLiteralInExtensionCaller));
      } else {
        callee = std::move(form);
      }
    }
  }
  if (!callee) {
    if (auto name = helper::variable_token(ctx, false, true)) {
      Expression acc = build(ctx, Expression::Variable{std::move(*name)});
      while (auto suffix = access_index(ctx)) acc = apply_access_index(ctx, std::move(acc), std::move(*suffix));
      callee = std::move(acc);
    }
  }
  if (callee) {
    auto args =
        arg_list(ctx, helper::token_or_insert(Operator::OpenParen, DiagnosticCode::MissingOpenParenAfterExtension));
    auto& [open, arguments, close] = *args;
    return CallParts{Callable{Callable::Expression{box(std::move(*callee))}}, std::move(open), std::move(arguments),
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

std::optional<Expression> primary(ParserContext& ctx) {
  // Each form starts with its own kind of token, so the first token picks
  // the one alternative that can succeed.
  const Token* t = ctx.peek();
  if (t == nullptr) return std::nullopt;
  const TokenKind& kind = t->kind;
  if (*t == Keyword::Type) return type_call(ctx);
  if (starts_block_like(*t)) return block_expressions::block_like_expression(ctx);
  if (kind.is_number() || kind.is_ordinal() || kind.is_string() || *t == Keyword::True || *t == Keyword::False ||
      *t == Keyword::Nil || *t == Keyword::Nan || *t == Keyword::Inf) {
    return literal_primary(ctx);
  }
  if (kind.is_interpolated_string()) return interpolation(ctx);
  if (*t == Operator::OpenParen) return record_like(ctx);
  if (*t == Operator::OpenBracket) return array(ctx);
  return variable_primary(ctx);
}

std::optional<Expression> record_like(ParserContext& ctx) {
  auto expression = [](ParserContext& c) { return expressions::expression(c); };
  auto list = record_helper::record_base(
      expression, [](ParserContext& c, const Token& key) { return to_interpolate_expr(c, key); }, expression,
      expression, expression, [](std::size_t pos) { return expressions::expression_expected(pos); })(ctx);
  if (!list) return std::nullopt;
  return record_like_node(ctx, *list);
}

std::optional<Expression> array(ParserContext& ctx) {
  auto spread_operand = [](ParserContext& c) -> std::optional<Expression> {
    std::size_t pos = c.previous_token_end();
    if (auto e = expressions::expression(c)) return e;
    return Expression::unknown_range({}, ByteRange{pos, pos}, DiagnosticCode::BadArraySpread);
  };
  auto list = array_helper::array_base(
      helper::token(Operator::OpenBracket),
      helper::token_or_insert(Operator::CloseBracket, DiagnosticCode::MissingCloseBracket),
      [](ParserContext& c) { return iterable(c); }, spread_operand,
      [](std::size_t pos) { return value_of(expressions::expression_expected(pos)); })(ctx);
  if (!list) return std::nullopt;
  return array_node(ctx, *list);
}

std::optional<Expression> interpolation(ParserContext& ctx) {
  const Token* t = ctx.peek();
  if (t == nullptr || !t->kind.is_interpolated_string()) return std::nullopt;
  ctx.next();
  return to_interpolate_expr(ctx, *t);
}

Expression to_interpolate_expr(const ParserContext& ctx, const Token& token) {
  const auto* string = token.kind.get_if<TokenKind::InterpolatedString>();
  if (string == nullptr) throw InternalError("internal error: entered unreachable code: Expected InterpolatedString");
  auto borrow_all = [](std::span<const Token> tokens) {
    std::vector<TokenRef> refs;
    refs.reserve(tokens.size());
    for (const Token& t : tokens) refs.push_back(TokenRef::borrow(t));
    return refs;
  };

  std::vector<Expression> expressions;
  const auto& parts = string->parts;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::vector<Token>& tokens = parts[i].tokens;
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
    auto e = expressions::expression(part);
    if (!e) {
      expressions.push_back(Expression::unknown(borrow_all(tokens), DiagnosticCode::BadInterpolation));
    } else if (part.at_end()) {
      expressions.push_back(std::move(*e));
    } else {
      auto left_over = borrow_all(std::span<const Token>(tokens).subspan(part.index));
      expressions.push_back(
          build(ctx, Expression::wrap_as_unknown(std::move(*e), std::move(left_over), DiagnosticCode::BadInterpolation)));
    }
  }
  return build(ctx, Expression::InterpolatedString{&token, std::move(expressions)});
}

}  // namespace vaxo_core::parser::basic_expressions
