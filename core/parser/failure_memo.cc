#include "core/parser/failure_memo.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>
#include <utility>
#include <variant>

#include "core/parser/ast.h"
#include "core/parser/expressions.h"

namespace vaxo_core::parser::memo {
namespace {


bool rebind_stop(const lexer::Token& t) {
  if (t.kind.is_eof()) return true;
  if (auto* op = t.kind.get_if<lexer::TokenKind::Operator>()) {
    return op->op == Operator::Assign || op->op == Operator::Semicolon || op->op == Operator::OpenBrace ||
           op->op == Operator::CloseBrace;
  }
  if (auto* kw = t.kind.get_if<lexer::TokenKind::Keyword>()) {
    return lexer::stops_expression(kw->keyword);
  }
  return false;
}

// Each set as one table per operator and keyword, made from the predicates
// themselves; every other kind is a stop only when it is Eof.
struct StopTable {
  bool operators[lexer::kOperatorCount];
  bool keywords[lexer::kKeywordCount];
};

template <typename Pred>
StopTable make_table(Pred pred) {
  StopTable table{};
  for (std::size_t i = 0; i < lexer::kOperatorCount; ++i) {
    table.operators[i] = pred(lexer::Token::make(TokenKind(static_cast<Operator>(i)), ByteRange{0, 0}));
  }
  for (std::size_t i = 0; i < lexer::kKeywordCount; ++i) {
    table.keywords[i] = pred(lexer::Token::make(TokenKind(static_cast<Keyword>(i)), ByteRange{0, 0}));
  }
  return table;
}

const StopTable kExpressionStops = make_table(expressions::is_expression_stop);
const StopTable kRebindStops = make_table(rebind_stop);

bool in_set(const lexer::Token& t, StopSet set) {
  const StopTable& table = set == StopSet::Expression ? kExpressionStops : kRebindStops;
  switch (t.kind.tag()) {
    case TokenKind::Tag::Operator:
      return table.operators[static_cast<std::size_t>(t.kind.get_if<TokenKind::Operator>()->op)];
    case TokenKind::Tag::Keyword:
      return table.keywords[static_cast<std::size_t>(t.kind.get_if<TokenKind::Keyword>()->keyword)];
    case TokenKind::Tag::Eof:
      return true;
    case TokenKind::Tag::Identifier:
    case TokenKind::Tag::Ordinal:
    case TokenKind::Tag::Number:
    case TokenKind::Tag::String:
    case TokenKind::Tag::InterpolatedString:
    case TokenKind::Tag::Unknown:
    case TokenKind::Tag::Empty:
      return false;
  }
  return false;
}

std::size_t scan(std::span<const lexer::Token> tokens, std::size_t from, StopSet set) {
  std::size_t i = from;
  while (i < tokens.size() && !in_set(tokens[i], set)) ++i;
  return i;
}

// A scan from before the last scanned stretch reuses its answer once it
// reaches the stretch.
template <typename Last>
std::size_t scan_until(std::span<const lexer::Token> tokens, std::size_t from, const Last& last, StopSet set) {
  std::size_t i = from;
  while (i < last.from && !in_set(tokens[i], set)) ++i;
  return i < last.from ? i : last.stop;
}

}  // namespace

std::size_t next_stop(const ParserContext& ctx, StopSet set) {
  Scope* s = ctx.state().memo_scope();
  const std::size_t at = ctx.index;
  if (s == nullptr || s->tokens_ != ctx.tokens.data()) return scan(ctx.tokens, at, set);
  Scope::LastScan& last = s->scans_[static_cast<int>(set)];
  // No stop lies in [last.from, last.stop), so any position in it shares the answer.
  if (last.from <= at && at <= last.stop) return last.stop;
  std::size_t stop = (at < last.from && last.from <= last.stop) ? scan_until(ctx.tokens, at, last, set)
                                                                  : scan(ctx.tokens, at, set);
  last = Scope::LastScan{at, stop};
  return stop;
}

void Level::failed() {
  if (scope_ == nullptr) return;
  if (scope_->level_bit_ >= 0 &&
      !(scope_->range_met_ && (scope_->level_bit_ == static_cast<int>(Rule::ChainFailsRange) ||
                                scope_->level_bit_ == static_cast<int>(Rule::ChainFailsBracket)))) {
    for (std::size_t i = base_; i < scope_->chain_marks_.size(); ++i) {
      scope_->level_table_->remember(scope_->chain_marks_[i], scope_->level_bit_);
    }
  }
  scope_->chain_marks_.erase(scope_->chain_marks_.begin() + static_cast<std::ptrdiff_t>(base_),
                             scope_->chain_marks_.end());
  scope_->doomed_ = false;
}

void grant(const ParserContext& ctx, std::size_t tokens) {
  Scope* s = ctx.state().memo_scope();
  if (s == nullptr) return;
  s->allowance_ += kWorkPerToken * tokens;
}

namespace detail {

void Table::grow(std::size_t size) {
  if (size > capacity_) {
    const std::size_t capacity = std::max(size, 2 * capacity_);
    auto heap = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    std::memcpy(heap.get(), own_, size_);
    heap_ = std::move(heap);
    own_ = heap_.get();
    capacity_ = capacity;
  }
  if (size > size_) std::memset(own_ + size_, 0, size - size_);
  size_ = size;
}

bool Table::overflow_failed(std::size_t at, int bit) const {
  const std::size_t page = at >> kPageShift;
  if (page >= pages_.size() || pages_[page] == nullptr) return false;
  return (pages_[page][at & ((std::size_t{1} << kPageShift) - 1)] >> bit) & 1u;
}

void Table::remember_overflow(std::size_t at, int bit) {
  const std::size_t page = at >> kPageShift;
  if (page >= pages_.size()) pages_.resize((size_ >> kPageShift) + 1);
  if (pages_[page] == nullptr) pages_[page] = std::make_unique<std::uint32_t[]>(std::size_t{1} << kPageShift);
  pages_[page][at & ((std::size_t{1} << kPageShift) - 1)] |= std::uint32_t{1} << bit;
  own_[at] |= kOverflow;
}

}  // namespace detail

namespace {
// Tokens sit at nearby, growing addresses: without mixing they would fill one
// long run of slots.
std::size_t token_hash(const lexer::Token* token) {
  std::uint64_t x = reinterpret_cast<std::uintptr_t>(token) * 0x9e3779b97f4a7c15ULL;
  return static_cast<std::size_t>(x ^ (x >> 29));
}
}  // namespace

std::size_t Scope::string_block(const lexer::Token* string, std::size_t words) {
  if (2 * (nested_count_ + 1) > nested_slots_.size()) rehash_nested(nested_count_ + 1);
  const std::size_t mask = nested_slots_.size() - 1;
  std::size_t i = token_hash(string) & mask;
  while (nested_slots_[i].string != nullptr &&
         (nested_slots_[i].string != string || nested_slots_[i].words != words)) {
    i = (i + 1) & mask;
  }
  NestedSlot& slot = nested_slots_[i];
  if (slot.string == nullptr) {
    slot = NestedSlot{string, words, nested_bits_.size()};
    ++nested_count_;
    nested_bits_.grow(nested_bits_.size() + words);
  }
  return slot.offset;
}

void Scope::rehash_nested(std::size_t count) {
  std::size_t size = nested_slots_.empty() ? 16 : nested_slots_.size();
  while (size < 2 * count) size *= 2;
  if (size == nested_slots_.size()) return;
  std::vector<NestedSlot> old = std::move(nested_slots_);
  nested_slots_.assign(size, NestedSlot{});
  const std::size_t mask = size - 1;
  for (const NestedSlot& slot : old) {
    if (slot.string == nullptr) continue;
    std::size_t i = token_hash(slot.string) & mask;
    while (nested_slots_[i].string != nullptr) i = (i + 1) & mask;
    nested_slots_[i] = slot;
  }
}

StringTables::StringTables(const ParserContext& ctx, const lexer::Token& string, std::size_t lists,
                           std::size_t tokens)
    : scope_(ctx.state().memo_scope()) {
  if (scope_ == nullptr) return;
  saved_list_ = scope_->last_nested_;
  saved_size_ = scope_->last_nested_size_;
  saved_offset_ = scope_->last_offset_;
  offset_ = scope_->string_block(&string, tokens + lists);
}

StringTables::~StringTables() {
  if (scope_ == nullptr) return;
  scope_->last_nested_ = saved_list_;
  scope_->last_nested_size_ = saved_size_;
  scope_->last_offset_ = saved_offset_;
}

void StringTables::next(std::span<const lexer::Token> tokens) {
  if (scope_ == nullptr) return;
  scope_->last_nested_ = tokens.data();
  scope_->last_nested_size_ = tokens.size();
  scope_->last_offset_ = offset_;
  offset_ += tokens.size() + 1;
}

Scope::Scope(ParserState& state, std::span<const lexer::Token> tokens)
    : state_(&state),
      tokens_(tokens.data()),
      allowance_(kWorkBase + kWorkPerToken * tokens.size()),
      outer_(state.memo_scope()) {
  bits_.grow(tokens.size() + 1);
  state.set_memo_scope(this);
}

Scope::~Scope() {
  for (Kept& k : kept_) delete k.node;
  state_->set_memo_scope(outer_);
}

}  // namespace vaxo_core::parser::memo

namespace vaxo_core::parser::memo {
namespace {

// The tokens [first, end) a node read from `tokens` spans, found from its
// byte range: every part of it is a token it took or a zero-width one made
// at the end of the token before. False where a zero-width token of the
// list at either edge leaves it open; the end of input is no such token, as
// only the script itself takes it.
bool span_of(std::span<const lexer::Token> tokens, ByteRange r, std::size_t& first, std::size_t& end) {
  auto starts_before = [](const lexer::Token& t, std::size_t pos) { return t.range.start < pos; };
  first = static_cast<std::size_t>(std::lower_bound(tokens.begin(), tokens.end(), r.start, starts_before) -
                                   tokens.begin());
  if (first >= tokens.size() || tokens[first].range.start != r.start || tokens[first].range.end == r.start) {
    return false;
  }
  end = static_cast<std::size_t>(
      std::lower_bound(tokens.begin() + static_cast<std::ptrdiff_t>(first) + 1, tokens.end(), r.end, starts_before) -
      tokens.begin());
  const lexer::Token& last = tokens[end - 1];
  if (last.range.end != r.end || last.range.start == last.range.end) return false;
  return end == tokens.size() || tokens[end].range.start != tokens[end].range.end || tokens[end].range.start != r.end ||
         tokens[end].kind.is_eof();
}

constexpr std::size_t kKeptSpan = 16;

std::size_t kept_hash(const lexer::Token* list, std::size_t at) {
  std::uint64_t x = (reinterpret_cast<std::uintptr_t>(list) + at * 0x100000001b3ULL) * 0x9e3779b97f4a7c15ULL;
  return static_cast<std::size_t>(x ^ (x >> 29));
}

}  // namespace

Scope::Kept* Scope::kept_slot(const lexer::Token* list, std::size_t at) {
  if (kept_.empty()) return nullptr;
  const std::size_t mask = kept_.size() - 1;
  for (std::size_t i = kept_hash(list, at) & mask;; i = (i + 1) & mask) {
    Kept& k = kept_[i];
    if (k.list == nullptr) return nullptr;
    if (k.list == list && k.at == at) return &k;
  }
}

void Scope::put_kept(const lexer::Token* list, std::size_t at, std::size_t end, std::unique_ptr<Expression> node) {
  if (Kept* k = kept_slot(list, at)) {
    if (k->node != nullptr) return;  // the same primary, read twice: one is enough
    k->end = end;
    k->node = node.release();
    ++kept_live_;
    return;
  }
  if (2 * (kept_slots_used_ + 1) > kept_.size()) {
    std::vector<Kept> old = std::move(kept_);
    kept_.assign(old.empty() ? 64 : 2 * old.size(), Kept{});
    kept_slots_used_ = 0;
    for (const Kept& k : old) {
      if (k.list == nullptr) continue;
      const std::size_t mask = kept_.size() - 1;
      std::size_t i = kept_hash(k.list, k.at) & mask;
      while (kept_[i].list != nullptr) i = (i + 1) & mask;
      kept_[i] = k;
      ++kept_slots_used_;
    }
  }
  const std::size_t mask = kept_.size() - 1;
  std::size_t i = kept_hash(list, at) & mask;
  while (kept_[i].list != nullptr) i = (i + 1) & mask;
  kept_[i] = Kept{list, at, end, node.release()};
  ++kept_slots_used_;
  ++kept_live_;
}

std::unique_ptr<Expression> Scope::take_kept_at(ParserContext& ctx, bool statement) {
  const Place p = place(ctx);
  constexpr int kKeptBit = static_cast<int>(Rule::Kept);
  if (p.table == nullptr) return nullptr;
  const bool here = p.table->failed(p.at, kKeptBit);
  const bool before = ctx.index > 0 && p.table->failed(p.at - 1, kKeptBit);
  if (!here && !before) return nullptr;
  Kept* k = here ? kept_slot(ctx.tokens.data(), ctx.index) : nullptr;
  if ((k == nullptr || k->node == nullptr) && before) {
    // Nothing here, but maybe in a kept bracket that opens just before,
    // which a rule left unread (a pattern took the bracket alone): its
    // members are kept in its place.
    Kept* outer = kept_slot(ctx.tokens.data(), ctx.index - 1);
    if (outer != nullptr && outer->node != nullptr &&
        (outer->node->is<Expression::Grouping>() || outer->node->is<Expression::Record>() ||
         outer->node->is<Expression::Array>())) {
      std::unique_ptr<Expression> bracket(std::exchange(outer->node, nullptr));
      --kept_live_;
      if (auto* g = bracket->get_if<Expression::Grouping>()) {
        keep(ctx, std::move(g->expression));
      } else if (auto* r = bracket->get_if<Expression::Record>()) {
        for (RecordItem& item : r->elements) {
          std::visit([&](auto& member) { keep(ctx, std::move(member.value)); }, item.element.node);
        }
      } else {
        for (ArrayLiteralItem& item : bracket->get_if<Expression::Array>()->items) {
          if (auto* spread = item.element.as_spread()) {
            keep(ctx, std::move(spread->value));
            continue;
          }
          Iterable& element = *item.element.as_element()->value;
          if (auto* value = std::get_if<Iterable::Value>(&element.node)) {
            keep(ctx, std::make_unique<Expression>(std::move(value->value)));
          } else {
            Range& range = std::get<Iterable::Range>(element.node).range;
            keep(ctx, std::move(range.start));
            keep(ctx, std::move(range.end));
          }
        }
      }
      k = kept_slot(ctx.tokens.data(), ctx.index);
    }
  }
  if (k == nullptr || k->node == nullptr || (statement && !k->node->is_block_like())) return nullptr;
  std::unique_ptr<Expression> node(std::exchange(k->node, nullptr));
  --kept_live_;
  ctx.index = k->end;
  return node;
}

void keep(const ParserContext& ctx, std::unique_ptr<Expression> dropped) {
  Scope* s = ctx.state().memo_scope();
  if (s == nullptr || dropped == nullptr) return;
  // Names and literals, the most common drops, hold no primary.
  if (dropped->is<Expression::Variable>() || dropped->is<Expression::Literal>()) return;
  const Scope::Place place = Scope::place(ctx);
  if (place.table == nullptr) return;
  std::vector<std::unique_ptr<Expression>>& pending = s->keep_pending_;
  // A call's arguments, read again as a record's or an array's members
  // when the callee is dropped into an Unknown stretch.
  auto push_arguments = [&](NodeList<ArgumentItem>& arguments) {
    for (ArgumentItem& item : arguments) {
      visit_node([&](auto& argument) { pending.push_back(std::move(argument.value)); }, item.element.node);
    }
  };
  pending.push_back(std::move(dropped));
  while (!pending.empty()) {
    std::unique_ptr<Expression> e = std::move(pending.back());
    pending.pop_back();
    if (e == nullptr) continue;
    bool primary = false;
    std::visit(
        [&](auto& n) {
          using T = std::remove_cvref_t<decltype(n)>;
          if constexpr (std::is_same_v<T, Expression::Infix>) {
            pending.push_back(std::move(n.left));
            pending.push_back(std::move(n.right));
          } else if constexpr (std::is_same_v<T, Expression::Prefix>) {
            pending.push_back(std::move(n.operand));
          } else if constexpr (std::is_same_v<T, Expression::Is> || std::is_same_v<T, Expression::NonNil>) {
            pending.push_back(std::move(n.expression));
          } else if constexpr (std::is_same_v<T, Expression::Cond>) {
            pending.push_back(std::move(n.condition));
            pending.push_back(std::move(n.then_expression));
            pending.push_back(std::move(n.otherwise->else_expression));
          } else if constexpr (std::is_same_v<T, Expression::Call>) {
            if (n.callee.node.as_type() != nullptr) {
              primary = true;  // `type(...)`
              return;
            }
            pending.push_back(n.callee.node.take_expression());
            push_arguments(n.arguments);
          } else if constexpr (std::is_same_v<T, Expression::Access>) {
            pending.push_back(std::move(n.object));
          } else if constexpr (std::is_same_v<T, Expression::Index>) {
            pending.push_back(std::move(n.object));
            pending.push_back(std::move(n.index));
          } else if constexpr (std::is_same_v<T, Expression::Slice>) {
            pending.push_back(std::move(n.object));
            pending.push_back(std::move(n.bounds->start));
            pending.push_back(std::move(n.bounds->end));
          } else if constexpr (std::is_same_v<T, Expression::TaggedString>) {
            pending.push_back(std::move(n.tag));
          } else if constexpr (std::is_same_v<T, Expression::Extension>) {
            pending.push_back(std::move(n.receiver));
            pending.push_back(n.call->callee.node.take_expression());
            push_arguments(n.call->arguments);
          } else if constexpr (std::is_same_v<T, Expression::Literal> || std::is_same_v<T, Expression::Variable> ||
                               std::is_same_v<T, Expression::Unknown>) {
            // A leaf is read again at no cost; an Unknown stretch is no primary.
          } else {
            primary = true;
          }
        },
        e->node);
    if (!primary) continue;
    std::size_t first = 0;
    std::size_t end = 0;
    // A short primary costs less to read again than to keep; fewer bytes
    // than that many tokens need no search.
    const ByteRange r = e->cached_range();
    if (r.end - r.start < kKeptSpan || !span_of(ctx.tokens, r, first, end) || end - first < kKeptSpan) continue;
    place.table->remember(place.at - ctx.index + first, static_cast<int>(Rule::Kept));
    s->put_kept(ctx.tokens.data(), first, end, std::move(e));
  }
}

}  // namespace vaxo_core::parser::memo
