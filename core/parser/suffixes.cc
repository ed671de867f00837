// The suffix chains of the expression grammar: `postfix` reads a primary
// (primaries.cc) and folds calls, `::` calls, tagged strings, member access,
// `!`, and index and slice brackets onto it.
#include <utility>

#include "core/diagnostic/internal_error.h"
#include "core/parser/array_helper.h"
#include "core/parser/basic_expressions.h"
#include "core/parser/basic_expressions_detail.h"
#include "core/parser/expressions.h"
#include "core/parser/failure_memo.h"
#include "core/parser/helper.h"

namespace vaxo_core::parser::basic_expressions {

using detail::LoopEnd;
using detail::additive;
using detail::is_range_op;
using detail::operator_loop;
using detail::placeholder;
using detail::read_suffixes;
using expressions::ExprBox;
using expressions::make;

namespace {

// `(` arguments `)`, with `open` as the opener; never fails once `open` matched.
template <typename Open>
std::optional<ListParts<ArgumentItem>> arg_list(ParserContext& ctx, Open open) {
  auto expression = [](ParserContext& c) { return expressions::expression(c); };
  return array_helper::array_base(open, helper::token_or_insert(Operator::CloseParen, DiagnosticCode::MissingCloseParen),
                                  expression, expression, placeholder)(ctx);
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
  // Whether the bracket finds a form after a suffix chain of its content
  // depends only on where the chain ends (memo::Level), as for a whole
  // expression: a bracket that has none fails where another bracket's chain
  // went before, not after reading the rest of that chain again.
  memo::Level content(ctx, memo::Level::kBracket);
  auto content_fails = [&]() {
    content.failed();
    return fail();
  };
  ExprBox bound = detail::in_level(ctx, kSliceBound);
  if (!bound) return content_fails();
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
  const LoopEnd end = operator_loop(ctx, bound, 0, &range);
  if (end == LoopEnd::Failed) {
    memo::keep(ctx, std::move(bound));
    return content_fails();
  }
  auto close = close_bracket(ctx);
  if (!close) {
    if (end == LoopEnd::Value) {
      memo::keep(ctx, std::move(bound));
    } else {
      memo::keep(ctx, std::move(range->start));
      memo::keep(ctx, std::move(range->end));
    }
    return content_fails();
  }
  if (end == LoopEnd::Value) {
    index_node(ctx, acc, *t, bound, *close);
  } else {
    slice_node(ctx, acc, *t, range->start, std::move(range->op), range->end, *close);
  }
  return true;
}

}  // namespace

VAXO_NODE_BUILDER void detail::read_suffixes(ParserContext& ctx, ExprBox& acc) {
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

ExprBox postfix(ParserContext& ctx) {
  ExprBox operand = primary(ctx);
  if (operand) read_suffixes(ctx, operand);
  return operand;
}

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
        callee = make(ctx, Expression::wrap_as_unknown(std::move(form), std::move(taken),
                                                       DiagnosticCode::RecordLiteralInExtensionCaller));
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

}  // namespace vaxo_core::parser::basic_expressions
