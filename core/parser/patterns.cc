#include "core/parser/patterns.h"

#include <utility>
#include <vector>

#include "core/lexer/combinator.h"
#include "core/parser/helper.h"
#include "core/parser/record_helper.h"

namespace vaxo_core::parser::patterns {
namespace {

using D = DiagnosticCode;

template <typename Alt>
PatBox make(Alt&& alt) {
  return std::make_unique<Pattern>(std::forward<Alt>(alt));
}

PatBox wrap(PatBox pattern, NodeList<TokenRef> tokens, DiagnosticCode error) {
  return make(Pattern::wrap_as_unknown(std::move(pattern), std::move(tokens), error));
}

PatBox unknown(NodeList<TokenRef> tokens, DiagnosticCode error) {
  return std::make_unique<Pattern>(Pattern::unknown(std::move(tokens), error));
}

NodeList<TokenRef> borrowed(std::span<const Token> taken) {
  NodeList<TokenRef> tokens;
  tokens.reserve(taken.size());
  for (const Token& t : taken) tokens.push_back(TokenRef::borrow(t));
  return tokens;
}

NodeList<TokenRef> token_list(std::optional<TokenRef> first, TokenRef second) {
  NodeList<TokenRef> tokens;
  if (first) tokens.push_back(std::move(*first));
  tokens.push_back(std::move(second));
  return tokens;
}

bool always(const Token&) { return true; }

// One operator token satisfying `pred`, borrowed; nothing consumed otherwise.
template <typename Pred>
std::optional<TokenRef> operator_token(ParserContext& ctx, Pred pred) {
  const Token* t = ctx.peek();
  if (t == nullptr) return std::nullopt;
  const auto* op = t->kind.get_if<TokenKind::Operator>();
  if (op == nullptr || !pred(op->op)) return std::nullopt;
  ctx.next();
  return TokenRef::borrow(*t);
}

// `left (sep right)*` folded from the left into Node{left, sep, right}; a
// separator without an operand after it is given back.
template <typename Node, typename Operand>
PatBox fold_chain(ParserContext& ctx, Keyword separator, Operand operand) {
  PatBox acc = operand(ctx);
  if (!acc) return nullptr;
  for (;;) {
    auto cp = ctx.checkpoint();
    std::optional<TokenRef> sep = helper::token(separator)(ctx);
    if (!sep) return acc;
    PatBox right = operand(ctx);
    if (!right) {
      ctx.reset(cp);
      return acc;
    }
    acc = make(Node{std::move(acc), std::move(*sep), std::move(right)});
    ctx.check_height(acc->height);
  }
}

// with_taken: the parser's result and the tokens it consumed.
template <typename F>
std::pair<PatBox, std::span<const Token>> with_taken(ParserContext& ctx, F f) {
  auto cp = ctx.checkpoint();
  PatBox p = f(ctx);
  if (!p) return {nullptr, std::span<const Token>()};
  return {std::move(p), ctx.slice(cp)};
}

// An array element or parameter: a pattern (or a placeholder before `,` or
// `]`); a bare range at its top is ambiguous.
PatBox element_pattern(ParserContext& ctx, bool rebind) {
  auto [p, taken] = with_taken(ctx, [rebind](ParserContext& c) {
    return pattern_or_insert_box(c, rebind, [](const Token& t) {
      return t == Operator::Comma || t == Operator::CloseBracket;
    });
  });
  if (!p) return nullptr;
  if (p->is<Pattern::Range>()) return wrap(std::move(p), borrowed(taken), D::AmbiguousRangePattern);
  return std::move(p);
}

// The value after a leading colon must name the field: a bind (or something
// already reported).
PatBox omit_named_pattern(ParserContext& ctx, bool rebind) {
  auto [p, taken] = with_taken(ctx, [rebind](ParserContext& c) { return pattern_or_insert_box(c, rebind, always); });
  if (!p) return nullptr;
  if (p->is_bind() || p->is_unknown()) return std::move(p);
  return wrap(std::move(p), borrowed(taken), D::BadOmitKeyRecordPattern);
}

// Every spread after the first (wherever it stands) becomes an element
// wrapping its operand, flagged over its `..`. The operand is moved, not
// copied: the item no longer holds it.
template <typename ShouldFlag>
void rewrite_spreads(NodeList<PatternItem>& items, DiagnosticCode error, ShouldFlag should_flag) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    auto* spread = items[i]->as_spread();
    if (spread == nullptr || !should_flag(i)) continue;
    NodeList<TokenRef> dots;
    dots.push_back(std::move(spread->spread));
    PatBox wrapped = wrap(std::move(spread->value), std::move(dots), error);
    using Entry = ArrayElementBase<Pattern, Pattern>;
    items[i].element = Entry{Entry::Element{std::move(wrapped)}};
  }
}

}  // namespace

bool is_pattern_stop(const Token& t) {
  if (t.kind.is_eof()) return true;
  if (const auto* kw = t.kind.get_if<TokenKind::Keyword>()) {
    return lexer::stops_expression(kw->keyword);
  }
  if (const auto* op = t.kind.get_if<TokenKind::Operator>()) return lexer::stops_pattern(op->op);
  return false;
}

PatBox pattern_box(ParserContext& ctx, bool rebind) {
  // A plain name that no range operator, `and` or `or` follows is a whole
  // bind: the same node the chains and primary_pattern would build.
  const Token* first = ctx.peek();
  if (first != nullptr && first->kind.is_identifier() &&
      !first->kind.get_if<TokenKind::Identifier>()->name.starts_with('@')) {
    const std::size_t i = ctx.index + 1;
    const Token* after = i < ctx.tokens.size() ? &ctx.tokens[i] : nullptr;
    if (after == nullptr || !(*after == Operator::SpreadRange || *after == Operator::HalfOpenRange ||
                              *after == Keyword::And || *after == Keyword::Or)) {
      auto guard = ctx.enter();
      ctx.next();
      return std::make_unique<Pattern>(Pattern::PlainName{first});
    }
  }
  return or_pattern(ctx, rebind);
}

std::optional<Pattern> pattern(ParserContext& ctx, bool rebind) {
  PatBox p = pattern_box(ctx, rebind);
  if (!p) return std::nullopt;
  return std::move(*p);
}

PatBox or_pattern(ParserContext& ctx, bool rebind) {
  return fold_chain<Pattern::Or>(ctx, Keyword::Or, [rebind](ParserContext& c) { return and_pattern(c, rebind); });
}

PatBox and_pattern(ParserContext& ctx, bool rebind) {
  return fold_chain<Pattern::And>(ctx, Keyword::And,
                                  [rebind](ParserContext& c) { return primary_pattern(c, rebind); });
}

namespace {

bool range_operator_ahead(const ParserContext& ctx);

}  // namespace

PatBox primary_pattern(ParserContext& ctx, bool rebind) {
  auto guard = ctx.enter();
  // A name with no range operator after it is a constant or a bind: every
  // alternative before those needs another first token or that operator.
  const Token* first = ctx.peek();
  if (first != nullptr && first->kind.is_identifier() && !range_operator_ahead(ctx)) {
    if (first->kind.get_if<TokenKind::Identifier>()->name.starts_with('@')) return constant_pattern(ctx, false);
    return discard_bind_pattern(ctx, rebind);
  }
  auto cp = ctx.checkpoint();
  auto attempt = [&](PatBox p) {
    if (!p) ctx.reset(cp);
    return p;
  };
  if (auto p = attempt(relation_pattern(ctx))) return p;
  if (auto p = attempt(record_like_pattern(ctx, rebind))) return p;
  if (auto p = attempt(array_pattern(ctx, rebind))) return p;
  if (auto p = attempt(range_pattern(ctx))) return p;
  if (auto p = attempt(literal_constant_pattern(ctx, false))) return p;
  if (auto p = attempt(discard_bind_pattern(ctx, rebind))) return p;
  if (auto p = attempt(not_pattern(ctx, rebind))) return p;
  return attempt(unknown_pattern(ctx));
}

PatBox not_pattern(ParserContext& ctx, bool rebind) {
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> not_keyword = helper::token(Keyword::Not)(ctx);
  if (!not_keyword) return nullptr;
  PatBox operand = primary_pattern(ctx, rebind);
  if (!operand) {
    ctx.reset(cp);
    return nullptr;
  }
  return make(Pattern::Not{std::move(*not_keyword), std::move(operand)});
}

PatBox relation_pattern(ParserContext& ctx) {
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> op = operator_token(ctx, [](Operator o) { return lexer::is_relation(o); });
  if (!op) return nullptr;
  PatBox operand = literal_constant_pattern(ctx, true);
  if (!operand) {
    ctx.reset(cp);
    return nullptr;
  }
  return make(Pattern::Relation{std::move(*op), std::move(operand)});
}

namespace {

// A range's operator follows its first bound: one token, or a sign and a
// literal. Without one there, range_pattern would build a bound only to drop it.
bool range_operator_ahead(const ParserContext& ctx) {
  for (std::size_t ahead : {1, 2}) {
    std::size_t i = ctx.index + ahead;
    if (i < ctx.tokens.size() &&
        (ctx.tokens[i] == Operator::SpreadRange || ctx.tokens[i] == Operator::HalfOpenRange)) {
      return true;
    }
  }
  return false;
}

}  // namespace

PatBox range_pattern(ParserContext& ctx) {
  if (!range_operator_ahead(ctx)) return nullptr;
  auto cp = ctx.checkpoint();
  auto fail = [&]() -> PatBox {
    ctx.reset(cp);
    return nullptr;
  };
  PatBox start = literal_constant_pattern(ctx, true);
  if (!start) return fail();
  std::optional<TokenRef> op = operator_token(
      ctx, [](Operator o) { return o == Operator::SpreadRange || o == Operator::HalfOpenRange; });
  if (!op) return fail();
  PatBox end = literal_constant_pattern(ctx, true);
  if (!end) return fail();
  return make(Pattern::Range{range_guard(std::move(start)), std::move(*op), range_guard(std::move(end))});
}

Pattern range_guard(Pattern bound) { return std::move(*range_guard(std::make_unique<Pattern>(std::move(bound)))); }

PatBox range_guard(PatBox bound) {
  auto* literal = bound->get_if<Pattern::Literal>();
  if (literal == nullptr || literal->literal->kind.is_number_literal()) return bound;
  // The literal is dropped: nothing stands for the bound after the walk.
  NodeList<TokenRef> tokens = token_list(std::move(literal->prefix), std::move(literal->literal));
  return unknown(std::move(tokens), D::NonNumberInRange);
}

PatBox literal_constant_pattern(ParserContext& ctx, bool strict) {
  auto cp = ctx.checkpoint();
  if (auto p = constant_pattern(ctx, strict)) return p;
  ctx.reset(cp);
  return literal_pattern(ctx);
}

PatBox constant_pattern(ParserContext& ctx, bool strict) {
  // Only an identifier has a constant's text; a flagged `_`, `global` or
  // reserved word would be made only to be dropped.
  const Token* first = ctx.peek();
  if (first == nullptr || !first->kind.is_identifier()) return nullptr;
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> name = helper::variable_token(ctx, false, false);
  if (!name) return nullptr;
  // A flagged `_`, `global` or reserved word has no identifier text.
  std::optional<std::string_view> text = name->get().kind.to_id_name();
  if (!text) {
    ctx.reset(cp);
    return nullptr;
  }
  if (text->starts_with('@')) return make(Pattern::Constant{std::move(*name)});
  if (!strict) {
    ctx.reset(cp);
    return nullptr;
  }
  PatBox constant = make(Pattern::Constant{name->copy()});
  NodeList<TokenRef> tokens;
  tokens.push_back(std::move(*name));
  return wrap(std::move(constant), std::move(tokens), D::InvalidConstantLiteral);
}

PatBox literal_pattern(ParserContext& ctx) {
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> sign = operator_token(
      ctx, [](Operator o) { return o == Operator::Plus || o == Operator::Minus || o == Operator::Exclamation; });
  std::optional<TokenRef> literal = helper::literal_token(ctx);
  if (!literal) {
    ctx.reset(cp);
    return nullptr;
  }
  if (!sign) return make(Pattern::Literal{std::nullopt, std::move(*literal)});
  bool exclamation = *sign == Operator::Exclamation;
  if (!exclamation && literal->get().kind.is_number_literal()) {
    return make(Pattern::Literal{std::move(*sign), std::move(*literal)});
  }
  // Reported, and stands as the unsigned literal.
  PatBox unsigned_literal = make(Pattern::Literal{std::nullopt, literal->copy()});
  return wrap(std::move(unsigned_literal), token_list(std::move(sign), std::move(*literal)),
              exclamation ? D::ExclamationInLiteralPattern : D::NonNumberInArithmetic);
}

PatBox discard_bind_pattern(ParserContext& ctx, bool rebind) {
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> mut = helper::token(Keyword::Mut)(ctx);
  std::optional<TokenRef> name = helper::variable_token(ctx, true, false);
  if (!name) {
    ctx.reset(cp);
    return nullptr;
  }
  if (*name == Keyword::Underscore) {
    if (!mut) return make(Pattern::Discard{std::move(*name)});
    return unknown(token_list(std::move(mut), std::move(*name)), D::MutInDiscardPattern);
  }
  if (name->get().kind.is_unknown()) {
    // `global` or a reserved word: the flagged token carries the diagnostic.
    return make(Pattern::unknown_errors(token_list(std::move(mut), std::move(*name)), {}));
  }
  if (rebind && mut) {
    mut->wrap_as_unknown(D::MutInRebindPattern);
    return make(Pattern::Bind{std::move(mut), std::move(*name)});
  }
  std::optional<std::string_view> text = name->get().kind.to_id_name();
  if (text && text->starts_with('@')) {
    std::optional<TokenRef> mut_copy;
    if (mut) mut_copy = mut->copy();
    NodeList<TokenRef> tokens = token_list(std::move(mut_copy), name->copy());
    return wrap(make(Pattern::Bind{std::move(mut), std::move(*name)}), std::move(tokens), D::ConstantInBindPattern);
  }
  return make(Pattern::Bind{std::move(mut), std::move(*name)});
}

PatBox record_like_pattern(ParserContext& ctx, bool rebind) {
  auto named = [rebind](ParserContext& c) { return pattern_or_insert_box(c, rebind, always); };
  auto interpolate_name = [](const Token& key) {
    NodeList<TokenRef> tokens;
    tokens.push_back(TokenRef::borrow(key));
    return unknown(std::move(tokens), D::InterpolatedNameRecordPattern);
  };
  auto omit_named = [rebind](ParserContext& c) { return omit_named_pattern(c, rebind); };
  auto unnamed = [rebind](ParserContext& c) { return pattern_box(c, rebind); };
  auto spread = [rebind](ParserContext& c) { return pattern_spread_box(c, rebind); };
  auto list = record_helper::record_base(named, interpolate_name, omit_named, unnamed, spread, pattern_expected)(ctx);
  if (!list) return nullptr;
  auto& [open, members, close] = *list;

  if (members.size() == 1 && !members.front().has_tail_comma() && members.front()->is_unnamed()) {
    auto only = std::get<RecordElementBase<Pattern, Pattern>::Unnamed>(std::move(members.front()).unwrap().node);
    return make(Pattern::Grouping{std::move(open), std::move(only.value), std::move(close)});
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    auto* spread_member = std::get_if<RecordElementBase<Pattern, Pattern>::Spread>(&members[i]->node);
    if (spread_member == nullptr) continue;
    if (spread_member->value->is_spread_discard()) {
      spread_member->spread.wrap_as_unknown(D::SpreadDiscardInRecordPattern);
    } else if (i + 1 != members.size()) {
      spread_member->spread.wrap_as_unknown(D::MispositionedSpreadInRecordPattern);
    }
  }
  return make(Pattern::Record{std::move(open), std::move(members), std::move(close)});
}

PatBox array_pattern(ParserContext& ctx, bool rebind) {
  PatBox array =
      array_pattern_like(ctx, Operator::OpenBracket, Operator::CloseBracket, D::MissingCloseBracket, rebind);
  if (!array) return nullptr;
  auto* node = array->get_if<Pattern::Array>();
  if (node == nullptr) throw InternalError("internal error: entered unreachable code: expected an array pattern");
  bool seen = false;
  rewrite_spreads(node->items, D::DuplicateSpreadPattern, [&](std::size_t) { return std::exchange(seen, true); });
  array->refresh();
  return array;
}

PatBox array_pattern_like(ParserContext& ctx, Operator open, Operator close, DiagnosticCode missing_close,
                          bool rebind) {
  auto element = [rebind](ParserContext& c) { return element_pattern(c, rebind); };
  auto spread = [rebind](ParserContext& c) { return pattern_spread_box(c, rebind); };
  auto list = array_helper::array_base(helper::token(open), helper::token_or_insert(close, missing_close), element,
                                       spread, pattern_expected)(ctx);
  if (!list) return nullptr;
  auto& [opener, items, closer] = *list;
  return make(Pattern::Array{std::move(opener), std::move(items), std::move(closer)});
}

PatBox pattern_spread_box(ParserContext& ctx, bool rebind) {
  std::size_t pos = ctx.previous_token_end();
  auto cp = ctx.checkpoint();
  PatBox operand = pattern_box(ctx, rebind);
  if (!operand) {
    ctx.reset(cp);
    return make(Pattern::SpreadDiscard{pos});
  }
  if (auto* discard = operand->get_if<Pattern::Discard>()) {
    NodeList<TokenRef> tokens;
    tokens.push_back(discard->underscore.copy());
    return wrap(std::move(operand), std::move(tokens), D::DiscardInSpreadPattern);
  }
  return operand;
}

PatBox unknown_pattern(ParserContext& ctx) {
  auto taken = lexer::take_till(lexer::kOneOrMore, [](const Token* t) { return is_pattern_stop(*t); })(ctx);
  if (!taken) return nullptr;
  return unknown(borrowed(*taken), D::UnknownPattern);
}

Pattern pattern_expected(std::size_t pos) {
  NodeList<TokenRef> tokens;
  tokens.push_back(TokenRef::make(Token::empty(pos)));
  return Pattern::unknown_range(std::move(tokens), ByteRange{pos, pos}, D::PatternExpected);
}

}  // namespace vaxo_core::parser::patterns
