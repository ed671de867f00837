#include "core/parser/patterns.h"

#include <utility>
#include <vector>

#include "core/lexer/combinator.h"
#include "core/parser/helper.h"
#include "core/parser/record_helper.h"

namespace vaxo_core::parser::patterns {
namespace {

using D = DiagnosticCode;

std::vector<TokenRef> borrowed(std::span<const Token> taken) {
  std::vector<TokenRef> tokens;
  tokens.reserve(taken.size());
  for (const Token& t : taken) tokens.push_back(TokenRef::borrow(t));
  return tokens;
}

std::vector<TokenRef> token_list(std::optional<TokenRef> first, TokenRef second) {
  std::vector<TokenRef> tokens;
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
std::optional<Pattern> fold_chain(ParserContext& ctx, Keyword separator, Operand operand) {
  std::optional<Pattern> acc = operand(ctx);
  if (!acc) return std::nullopt;
  for (;;) {
    auto cp = ctx.checkpoint();
    std::optional<TokenRef> sep = helper::token(separator)(ctx);
    if (!sep) return acc;
    std::optional<Pattern> right = operand(ctx);
    if (!right) {
      ctx.reset(cp);
      return acc;
    }
    acc = Pattern(Node{boxed(std::move(*acc)), std::move(*sep), boxed(std::move(*right))});
    ctx.check_height(acc->height);
  }
}

// with_taken: the parser's result and the tokens it consumed.
template <typename F>
auto with_taken(ParserContext& ctx, F f) -> std::optional<std::pair<Pattern, std::span<const Token>>> {
  auto cp = ctx.checkpoint();
  std::optional<Pattern> p = f(ctx);
  if (!p) return std::nullopt;
  return std::pair{std::move(*p), ctx.slice(cp)};
}

// An array element or parameter: a pattern (or a placeholder before `,` or
// `]`); a bare range at its top is ambiguous.
std::optional<Pattern> element_pattern(ParserContext& ctx, bool rebind) {
  auto read = with_taken(ctx, [rebind](ParserContext& c) {
    return pattern_or_insert(c, rebind, [](const Token& t) {
      return t == Operator::Comma || t == Operator::CloseBracket;
    });
  });
  if (!read) return std::nullopt;
  auto& [p, taken] = *read;
  if (p.is<Pattern::Range>()) return Pattern::wrap_as_unknown(std::move(p), borrowed(taken), D::AmbiguousRangePattern);
  return std::move(p);
}

// The value after a leading colon must name the field: a bind (or something
// already reported).
std::optional<Pattern> omit_named_pattern(ParserContext& ctx, bool rebind) {
  auto read = with_taken(ctx, [rebind](ParserContext& c) { return pattern_or_insert(c, rebind, always); });
  if (!read) return std::nullopt;
  auto& [p, taken] = *read;
  if (p.is_bind() || p.is_unknown()) return std::move(p);
  return Pattern::wrap_as_unknown(std::move(p), borrowed(taken), D::BadOmitKeyRecordPattern);
}

// Every spread after the first (wherever it stands) becomes an element
// wrapping its operand, flagged over its `..`. The operand is moved, not
// copied: the item no longer holds it.
template <typename ShouldFlag>
void rewrite_spreads(std::vector<PatternItem>& items, DiagnosticCode error, ShouldFlag should_flag) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    auto* spread = items[i]->as_spread();
    if (spread == nullptr || !should_flag(i)) continue;
    std::vector<TokenRef> dots;
    dots.push_back(std::move(spread->spread));
    Pattern wrapped = Pattern::wrap_as_unknown(std::move(*spread->value), std::move(dots), error);
    items[i].element = ArrayElementBase<Pattern, Pattern>::element(std::move(wrapped));
  }
}

}  // namespace

bool is_pattern_stop(const Token& t) {
  if (t.kind.is_eof()) return true;
  if (const auto* kw = t.kind.get_if<TokenKind::Keyword>()) {
    Keyword k = kw->keyword;
    return k == Keyword::If || k == Keyword::Fn || k == Keyword::Loop || k == Keyword::While || k == Keyword::Match ||
           k == Keyword::For || k == Keyword::Let || k == Keyword::Const;
  }
  if (const auto* op = t.kind.get_if<TokenKind::Operator>()) {
    Operator o = op->op;
    return o == Operator::Comma || o == Operator::Assign || o == Operator::Semicolon || o == Operator::OpenBrace ||
           o == Operator::CloseBrace || o == Operator::OpenBracket || o == Operator::CloseBracket ||
           o == Operator::OpenParen || o == Operator::CloseParen;
  }
  return false;
}

std::optional<Pattern> pattern(ParserContext& ctx, bool rebind) { return or_pattern(ctx, rebind); }

std::optional<Pattern> or_pattern(ParserContext& ctx, bool rebind) {
  return fold_chain<Pattern::Or>(ctx, Keyword::Or, [rebind](ParserContext& c) { return and_pattern(c, rebind); });
}

std::optional<Pattern> and_pattern(ParserContext& ctx, bool rebind) {
  return fold_chain<Pattern::And>(ctx, Keyword::And,
                                  [rebind](ParserContext& c) { return primary_pattern(c, rebind); });
}

std::optional<Pattern> primary_pattern(ParserContext& ctx, bool rebind) {
  auto guard = ctx.enter();
  auto cp = ctx.checkpoint();
  auto attempt = [&](std::optional<Pattern> p) {
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

std::optional<Pattern> not_pattern(ParserContext& ctx, bool rebind) {
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> not_keyword = helper::token(Keyword::Not)(ctx);
  if (!not_keyword) return std::nullopt;
  std::optional<Pattern> operand = primary_pattern(ctx, rebind);
  if (!operand) {
    ctx.reset(cp);
    return std::nullopt;
  }
  return Pattern(Pattern::Not{std::move(*not_keyword), boxed(std::move(*operand))});
}

std::optional<Pattern> relation_pattern(ParserContext& ctx) {
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> op = operator_token(ctx, [](Operator o) { return lexer::is_relation(o); });
  if (!op) return std::nullopt;
  std::optional<Pattern> operand = literal_constant_pattern(ctx, true);
  if (!operand) {
    ctx.reset(cp);
    return std::nullopt;
  }
  return Pattern(Pattern::Relation{std::move(*op), boxed(std::move(*operand))});
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

std::optional<Pattern> range_pattern(ParserContext& ctx) {
  if (!range_operator_ahead(ctx)) return std::nullopt;
  auto cp = ctx.checkpoint();
  auto fail = [&]() -> std::optional<Pattern> {
    ctx.reset(cp);
    return std::nullopt;
  };
  std::optional<Pattern> start = literal_constant_pattern(ctx, true);
  if (!start) return fail();
  std::optional<TokenRef> op = operator_token(
      ctx, [](Operator o) { return o == Operator::SpreadRange || o == Operator::HalfOpenRange; });
  if (!op) return fail();
  std::optional<Pattern> end = literal_constant_pattern(ctx, true);
  if (!end) return fail();
  return Pattern(Pattern::Range{boxed(range_guard(std::move(*start))), std::move(*op),
                                boxed(range_guard(std::move(*end)))});
}

Pattern range_guard(Pattern bound) {
  auto* literal = bound.get_if<Pattern::Literal>();
  if (literal == nullptr || literal->literal->kind.is_number_literal()) return bound;
  // The literal is dropped: nothing stands for the bound after the walk.
  std::vector<TokenRef> tokens = token_list(std::move(literal->prefix), std::move(literal->literal));
  return Pattern::unknown(std::move(tokens), D::NonNumberInRange);
}

std::optional<Pattern> literal_constant_pattern(ParserContext& ctx, bool strict) {
  auto cp = ctx.checkpoint();
  if (auto p = constant_pattern(ctx, strict)) return p;
  ctx.reset(cp);
  return literal_pattern(ctx);
}

std::optional<Pattern> constant_pattern(ParserContext& ctx, bool strict) {
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> name = helper::variable_token(ctx, false, false);
  if (!name) return std::nullopt;
  // A flagged `_`, `global` or reserved word has no identifier text.
  std::optional<std::string_view> text = name->get().kind.to_id_name();
  if (!text) {
    ctx.reset(cp);
    return std::nullopt;
  }
  if (text->starts_with('@')) return Pattern(Pattern::Constant{std::move(*name)});
  if (!strict) {
    ctx.reset(cp);
    return std::nullopt;
  }
  Pattern constant = Pattern::Constant{name->copy()};
  std::vector<TokenRef> tokens;
  tokens.push_back(std::move(*name));
  return Pattern::wrap_as_unknown(std::move(constant), std::move(tokens), D::InvalidConstantLiteral);
}

std::optional<Pattern> literal_pattern(ParserContext& ctx) {
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> sign = operator_token(
      ctx, [](Operator o) { return o == Operator::Plus || o == Operator::Minus || o == Operator::Exclamation; });
  std::optional<TokenRef> literal = helper::literal_token(ctx);
  if (!literal) {
    ctx.reset(cp);
    return std::nullopt;
  }
  if (!sign) return Pattern(Pattern::Literal{std::nullopt, std::move(*literal)});
  bool exclamation = *sign == Operator::Exclamation;
  if (!exclamation && literal->get().kind.is_number_literal()) {
    return Pattern(Pattern::Literal{std::move(*sign), std::move(*literal)});
  }
  // Reported, and stands as the unsigned literal.
  Pattern unsigned_literal = Pattern::Literal{std::nullopt, literal->copy()};
  return Pattern::wrap_as_unknown(std::move(unsigned_literal), token_list(std::move(sign), std::move(*literal)),
                                  exclamation ? D::ExclamationInLiteralPattern : D::NonNumberInArithmetic);
}

std::optional<Pattern> discard_bind_pattern(ParserContext& ctx, bool rebind) {
  auto cp = ctx.checkpoint();
  std::optional<TokenRef> mut = helper::token(Keyword::Mut)(ctx);
  std::optional<TokenRef> name = helper::variable_token(ctx, true, false);
  if (!name) {
    ctx.reset(cp);
    return std::nullopt;
  }
  if (*name == Keyword::Underscore) {
    if (!mut) return Pattern(Pattern::Discard{std::move(*name)});
    return Pattern::unknown(token_list(std::move(mut), std::move(*name)), D::MutInDiscardPattern);
  }
  if (name->get().kind.is_unknown()) {
    // `global` or a reserved word: the flagged token carries the diagnostic.
    return Pattern::unknown_errors(token_list(std::move(mut), std::move(*name)), {});
  }
  if (rebind && mut) {
    mut->wrap_as_unknown(D::MutInRebindPattern);
    return Pattern(Pattern::Bind{std::move(mut), std::move(*name)});
  }
  std::optional<std::string_view> text = name->get().kind.to_id_name();
  if (text && text->starts_with('@')) {
    std::optional<TokenRef> mut_copy;
    if (mut) mut_copy = mut->copy();
    std::vector<TokenRef> tokens = token_list(std::move(mut_copy), name->copy());
    return Pattern::wrap_as_unknown(Pattern::Bind{std::move(mut), std::move(*name)}, std::move(tokens),
                                    D::ConstantInBindPattern);
  }
  return Pattern(Pattern::Bind{std::move(mut), std::move(*name)});
}

std::optional<Pattern> record_like_pattern(ParserContext& ctx, bool rebind) {
  auto named = [rebind](ParserContext& c) { return pattern_or_insert(c, rebind, always); };
  auto interpolate_name = [](const Token& key) {
    std::vector<TokenRef> tokens;
    tokens.push_back(TokenRef::borrow(key));
    return Pattern::unknown(std::move(tokens), D::InterpolatedNameRecordPattern);
  };
  auto omit_named = [rebind](ParserContext& c) { return omit_named_pattern(c, rebind); };
  auto unnamed = [rebind](ParserContext& c) { return pattern(c, rebind); };
  auto spread = [rebind](ParserContext& c) { return std::optional<Pattern>(pattern_spread(c, rebind)); };
  auto list = record_helper::record_base(named, interpolate_name, omit_named, unnamed, spread, pattern_expected)(ctx);
  if (!list) return std::nullopt;
  auto& [open, members, close] = *list;

  if (members.size() == 1 && !members.front().has_tail_comma() && members.front()->is_unnamed()) {
    auto& only = std::get<RecordElementBase<Pattern, Pattern>::Unnamed>(members.front()->node);
    return Pattern(Pattern::Grouping{std::move(open), std::move(only.value), std::move(close)});
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
  return Pattern(Pattern::Record{std::move(open), std::move(members), std::move(close)});
}

std::optional<Pattern> array_pattern(ParserContext& ctx, bool rebind) {
  std::optional<Pattern> array =
      array_pattern_like(ctx, Operator::OpenBracket, Operator::CloseBracket, D::MissingCloseBracket, rebind);
  if (!array) return std::nullopt;
  auto* node = array->get_if<Pattern::Array>();
  if (node == nullptr) throw InternalError("internal error: entered unreachable code: expected an array pattern");
  bool seen = false;
  rewrite_spreads(node->items, D::DuplicateSpreadPattern, [&](std::size_t) { return std::exchange(seen, true); });
  array->refresh();
  return array;
}

std::optional<Pattern> array_pattern_like(ParserContext& ctx, Operator open, Operator close,
                                          DiagnosticCode missing_close, bool rebind) {
  auto element = [rebind](ParserContext& c) { return element_pattern(c, rebind); };
  auto spread = [rebind](ParserContext& c) { return std::optional<Pattern>(pattern_spread(c, rebind)); };
  auto list = array_helper::array_base(helper::token(open), helper::token_or_insert(close, missing_close), element,
                                       spread, pattern_expected)(ctx);
  if (!list) return std::nullopt;
  auto& [opener, items, closer] = *list;
  return Pattern(Pattern::Array{std::move(opener), std::move(items), std::move(closer)});
}

Pattern pattern_spread(ParserContext& ctx, bool rebind) {
  std::size_t pos = ctx.previous_token_end();
  auto cp = ctx.checkpoint();
  std::optional<Pattern> operand = pattern(ctx, rebind);
  if (!operand) {
    ctx.reset(cp);
    return Pattern::SpreadDiscard{pos};
  }
  if (auto* discard = operand->get_if<Pattern::Discard>()) {
    std::vector<TokenRef> tokens;
    tokens.push_back(discard->underscore.copy());
    return Pattern::wrap_as_unknown(std::move(*operand), std::move(tokens), D::DiscardInSpreadPattern);
  }
  return std::move(*operand);
}

std::optional<Pattern> unknown_pattern(ParserContext& ctx) {
  auto taken = lexer::take_till(lexer::kOneOrMore, [](const Token* t) { return is_pattern_stop(*t); })(ctx);
  if (!taken) return std::nullopt;
  return Pattern::unknown(borrowed(*taken), D::UnknownPattern);
}

Pattern pattern_expected(std::size_t pos) {
  std::vector<TokenRef> tokens;
  tokens.push_back(TokenRef::make(Token::empty(pos)));
  return Pattern::unknown_range(std::move(tokens), ByteRange{pos, pos}, D::PatternExpected);
}

}  // namespace vaxo_core::parser::patterns
